// The image component: attaching, write-through of single fields, the two
// refusals, image creation and row coding, and the geolocation summary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "app/platform/base/errors.h"
#include "image/format.h"
#include "image/kova_img.h"
#include "support/images.h"
#include "support/open_handles.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

using testing::ReadAllBytes;
using testing::RecordingUi;
using testing::TempDir;
using testing::WriteAllBytes;

// A type 200, latitude/longitude header of the given size.
KovaHeader MakeHeader(std::int16_t rows, std::int16_t columns) {
  KovaHeader h = testing::ImageHeader(3, rows, columns);
  h.OriginLatitude = EncodeReal48(50);
  h.OriginLongitude = EncodeReal48(10);
  h.PixelWidth = EncodeReal48(0.5);
  h.PixelHeight = EncodeReal48(0.25);
  h.ScaleFactor = EncodeReal48(0.5);
  h.ScaleOffset = EncodeReal48(10);
  h.Decimals = 1;
  return h;
}

// A header and `raster_bytes` bytes of code 7 behind it.
void WriteImage(const std::string& path, const KovaHeader& h, std::size_t raster_bytes) {
  testing::WriteImage(path, h, raster_bytes, 7);
}

using testing::OpenDescriptorCount;

class KovaImgTest : public ::testing::Test {
 protected:
  TempDir dir;
  RecordingUi ui;
  TKovaImg img;

  std::string Image(std::int16_t rows, std::int16_t columns, const char* name = "a.img") {
    const std::string path = dir.file(name);
    WriteImage(path, MakeHeader(rows, columns), static_cast<std::size_t>(rows * columns));
    return path;
  }
};

TEST_F(KovaImgTest, RefusalsShowTheirTextsInAnErrorBox) {
  const std::string path = dir.file("short.img");
  WriteAllBytes(path, std::vector<std::uint8_t>(300, 0));
  img.SetFileName(path);
  EXPECT_EQ(img.Status(), 2);
  EXPECT_TRUE(ui.messages.empty()) << "an invalid file is attached without a message";

  img.SetRows(5);
  img.WriteRow(std::vector<double>(4, 0.0), 0);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_EQ(ui.messages[0].text, "No valid image attached");
  EXPECT_EQ(ui.messages[1].kind, MessageKind::Error);
  EXPECT_EQ(ui.messages[1].caption, "Error");
  EXPECT_EQ(ui.messages[1].text, "Cannot perform this action on a closed image");
  EXPECT_EQ(ReadAllBytes(path), std::vector<std::uint8_t>(300, 0));
}

TEST_F(KovaImgTest, NothingAttachedYetRefusesSilently) {
  img.SetOriginLatitude(12.5);
  img.CreateImage(dir.file("never.img"), false);
  img.OpenRaster();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(FileExists(dir.file("never.img")));
}

TEST_F(KovaImgTest, ValidityOfAttachedFiles) {
  struct Case {
    std::size_t size;
    std::uint8_t image_type, projection;
    int status;
  };
  const Case cases[] = {
      {511, 200, 3, 2}, {512, 200, 3, 1}, {600, 2, 3, 2},
      {600, 200, 1, 2}, {600, 200, 7, 1}, {512, 114, 9, 1},
  };
  for (const Case& c : cases) {
    KovaHeader h = MakeHeader(1, 1);
    h.ImageType = c.image_type;
    h.ProjectionType = c.projection;
    const HeaderBytes bytes = EncodeHeader(h);
    std::vector<std::uint8_t> file(c.size, 0);
    std::copy_n(bytes.begin(), std::min<std::size_t>(c.size, bytes.size()), file.begin());
    WriteAllBytes(dir.file("v.img"), file);
    img.SetFileName(dir.file("v.img"));
    EXPECT_EQ(img.Status(), c.status) << "size " << c.size << " type " << int(c.image_type)
                                      << " projection " << int(c.projection);
  }
}

TEST_F(KovaImgTest, MissingFileRaisesAndKeepsStatus) {
  img.SetFileName(Image(2, 2));
  EXPECT_THROW(
      {
        try {
          img.SetFileName(dir.file("missing.img"));
        } catch (const FileError& e) {
          EXPECT_STREQ(e.what(), "File not found");
          throw;
        }
      },
      FileError);
  EXPECT_EQ(img.Status(), 1);
  EXPECT_EQ(img.FileName(), dir.file("missing.img"));
}

TEST_F(KovaImgTest, SettingColumnsRewritesExactlyItsTwoBytes) {
  const std::string path = Image(3, 4);
  img.SetFileName(path);
  std::vector<std::uint8_t> before = ReadAllBytes(path);
  img.SetColumns(0x0102);
  std::vector<std::uint8_t> after = ReadAllBytes(path);
  ASSERT_EQ(after.size(), before.size());
  before[32] = 0x02;
  before[33] = 0x01;
  EXPECT_EQ(after, before);
  EXPECT_EQ(img.Columns(), 0x0102);
}

TEST_F(KovaImgTest, EachSetterWritesItsFieldAtItsOffset) {
  struct Case {
    const char* name;
    void (*set)(TKovaImg&);
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"ImageType", [](TKovaImg& i) { i.SetImageType(6); }, 22, {6}},
      {"Rows", [](TKovaImg& i) { i.SetRows(-2); }, 30, {0xFE, 0xFF}},
      {"OriginLatitude", [](TKovaImg& i) { i.SetOriginLatitude(1.0); }, 120, {0x81, 0, 0, 0, 0, 0}},
      {"OriginLongitude",
       [](TKovaImg& i) { i.SetOriginLongitude(-1.0); },
       126,
       {0x81, 0, 0, 0, 0, 0x80}},
      {"OriginColumn", [](TKovaImg& i) { i.SetOriginColumn(2.0); }, 132, {0x82, 0, 0, 0, 0, 0}},
      {"OriginRow", [](TKovaImg& i) { i.SetOriginRow(0.5); }, 138, {0x80, 0, 0, 0, 0, 0}},
      {"PixelWidth",
       [](TKovaImg& i) { i.SetPixelWidth(0.1); },
       144,
       {0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0x4C}},
      {"PixelHeight", [](TKovaImg& i) { i.SetPixelHeight(-256); }, 150, {0x89, 0, 0, 0, 0, 0x80}},
      {"ScaleFactor", [](TKovaImg& i) { i.SetScaleFactor(2.0); }, 171, {0x82, 0, 0, 0, 0, 0}},
      {"ScaleOffset", [](TKovaImg& i) { i.SetScaleOffset(0.0); }, 177, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const std::string path = Image(2, 3);
    img.SetFileName(path);
    std::vector<std::uint8_t> expected = ReadAllBytes(path);
    std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + c.offset);
    c.set(img);
    EXPECT_EQ(ReadAllBytes(path), expected) << c.name;
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(KovaImgTest, UnchangedValueLeavesTheFileAlone) {
  const std::string path = Image(3, 4);
  img.SetFileName(path);
  std::remove(path.c_str());  // any write attempt would now be refused with a message
  img.SetRows(3);
  img.SetColumns(4);
  img.SetOriginLatitude(50);
  img.SetScaleFactor(0.5);
  img.SetImageType(200);
  img.SetTitle(std::string(80, ' '));
  EXPECT_TRUE(ui.messages.empty());
  img.SetRows(4);  // a change reaches the vanished file
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "No valid image attached");
  EXPECT_EQ(img.Rows(), 4) << "the copies take the new value before the write";
}

TEST_F(KovaImgTest, TitleIsPaddedOrCutToEightyCharacters) {
  const std::string path = Image(1, 1);
  img.SetFileName(path);
  const std::string long_title(90, 'x');
  img.SetTitle(long_title);
  std::vector<std::uint8_t> bytes = ReadAllBytes(path);
  EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 118), std::string(80, 'x'));
  EXPECT_EQ(bytes[118], 0) << "the byte behind the title is untouched";
  img.SetTitle("");
  bytes = ReadAllBytes(path);
  EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 118), std::string(80, ' '));
  EXPECT_EQ(img.Title(), std::string(80, ' '));
}

// A title cut at 80 bytes ends on a whole UTF-8 character; bytes that are
// no UTF-8 are cut where they fall.
struct TitleCut {
  const char* label;
  std::string text;
  std::string kept;  // then padded to 80 with spaces
};

class TitleCuts : public ::testing::TestWithParam<TitleCut> {};

TEST_P(TitleCuts, EndOnACharacterBoundary) {
  std::string expected = GetParam().kept;
  expected.resize(80, ' ');
  EXPECT_EQ(PadRight(GetParam().text, 80), expected);
}

const std::string kX79(79, 'x');

INSTANTIATE_TEST_SUITE_P(
    Table, TitleCuts,
    ::testing::Values(TitleCut{"TwoByteCharacterAcrossTheCut", kX79 + "\xc3\xa9z", kX79},
                      TitleCut{"ThreeByteCharacterAcrossTheCut", kX79.substr(1) + "\xe2\x82\xacz",
                               kX79.substr(1)},
                      TitleCut{"FourByteCharacterAcrossTheCut",
                               kX79.substr(2) + "\xf0\x9f\x8c\xa7z", kX79.substr(2)},
                      TitleCut{"CharacterEndingAtTheCut", kX79.substr(1) + "\xc3\xa9z",
                               kX79.substr(1) + "\xc3\xa9"},
                      TitleCut{"Windows1252BytesCutWhereTheyFall", kX79 + "\xe9\xe9",
                               kX79 + "\xe9"},
                      TitleCut{"StrayContinuationBytesCutWhereTheyFall",
                               kX79.substr(1) + "\x80\x80\x80", kX79.substr(1) + "\x80\x80"},
                      TitleCut{"ShortTitleUntouched", "r\xc3\xa9gion", "r\xc3\xa9gion"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(KovaImgTest, ImageTypeTwoMakesTheFileInvalidOnTheNextAttach) {
  const std::string path = Image(2, 2);
  img.SetFileName(path);
  img.SetImageType(2);
  EXPECT_EQ(ReadAllBytes(path)[22], 2);
  EXPECT_EQ(img.MinCode(), 0) << "changing the type does not apply its defaults";
  img.SetFileName(path);
  EXPECT_EQ(img.Status(), 2);
}

TEST_F(KovaImgTest, TypeDefaultsApplyToTheCopyNotTheFile) {
  KovaHeader h = MakeHeader(2, 2);
  h.ImageType = 6;
  h.MinCode = 9;
  h.ScaleFactor = EncodeReal48(123);
  const std::string path = dir.file("t6.img");
  WriteImage(path, h, 4);
  const std::vector<std::uint8_t> before = ReadAllBytes(path);
  img.SetFileName(path);
  EXPECT_EQ(img.MinCode(), 2);
  EXPECT_EQ(img.ScaleFactor(),
            static_cast<double>(DecodeReal48({0x7A, 0x71, 0x3D, 0x0A, 0xD7, 0x23})));
  EXPECT_EQ(img.ScaleOffset(), -1.0);
  EXPECT_EQ(ReadAllBytes(path), before);
}

TEST_F(KovaImgTest, InvalidAttachKeepsThePreviousPropertyCopies) {
  img.SetFileName(Image(3, 4));
  WriteAllBytes(dir.file("bad.img"), std::vector<std::uint8_t>(600, 0xFF));
  img.SetFileName(dir.file("bad.img"));
  EXPECT_EQ(img.Status(), 2);
  EXPECT_EQ(img.Rows(), 3);
  EXPECT_EQ(img.Header().ImageType, 0xFF) << "the header copy holds what was read";
}

TEST_F(KovaImgTest, SuspendedWriteThroughLeavesTheFileAsItIs) {
  const std::string path = Image(3, 4, "template.img");
  const std::vector<std::uint8_t> before = ReadAllBytes(path);
  img.SetFileName(path);
  img.SuspendWriteThrough();
  img.SetColumns(7);
  img.SetRows(5);
  img.SetOriginLatitude(-33.25);
  img.SetScaleFactor(0.125);
  EXPECT_EQ(ReadAllBytes(path), before);
  EXPECT_EQ(img.Header().Columns, 7);
  EXPECT_EQ(DecodeReal48(img.Header().OriginLatitude), -33.25L);

  const std::string out = dir.file("out.img");
  img.CreateImage(out, false);
  const std::vector<std::uint8_t> created = ReadAllBytes(out);
  ASSERT_EQ(created.size(), 512u + 35u);
  EXPECT_EQ(created[32], 7);
  EXPECT_EQ(created[30], 5);
  EXPECT_EQ(ReadAllBytes(path), before);

  img.SetFileName(out);  // a new attach writes through again
  img.SetColumns(6);
  EXPECT_EQ(ReadAllBytes(out)[32], 6);
}

TEST_F(KovaImgTest, CreateImageFillsTheRasterWithNoDataCodes) {
  struct Case {
    std::int16_t rows, columns;
    bool header_only;
    std::size_t size;
  };
  const Case cases[] = {{3, 4, false, 524},  {3, 4, true, 512},         {0, 0, false, 512},
                        {-3, 4, false, 512}, {300, 800, false, 240512}, {1, 8193, false, 8705}};
  for (const Case& c : cases) {
    KovaHeader h = MakeHeader(c.rows, c.columns);
    WriteImage(dir.file("src.img"), h, 0);
    if (c.columns == 0) {
      // The pixel size of a column-less image divides by zero; the image is
      // attached all the same.
      EXPECT_THROW(img.SetFileName(dir.file("src.img")), FloatDivideByZeroError);
    } else {
      img.SetFileName(dir.file("src.img"));
    }
    ASSERT_EQ(img.Status(), 1);
    img.CreateImage(dir.file("new.img"), c.header_only);
    const std::vector<std::uint8_t> bytes = ReadAllBytes(dir.file("new.img"));
    ASSERT_EQ(bytes.size(), c.size) << c.rows << "x" << c.columns;
    for (std::size_t i = 512; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 254) << i;
  }
}

TEST_F(KovaImgTest, CreatedHeaderCarriesTheCreatorTitleAndZerosOutsideTheFields) {
  const std::string path = Image(3, 4);
  std::vector<std::uint8_t> junk = ReadAllBytes(path);
  for (std::size_t i : {0u, 5u, 21u, 24u, 29u, 34u, 118u, 184u, 511u}) junk[i] = 0xAB;
  WriteAllBytes(path, junk);
  img.SetFileName(path);
  img.SetTitle("my title");
  img.CreateImage(dir.file("new.img"), true);

  const std::vector<std::uint8_t> bytes = ReadAllBytes(dir.file("new.img"));
  const std::string title(bytes.begin() + 38, bytes.begin() + 118);
  EXPECT_EQ(title, PadRight(CreatorText(), 80));
  EXPECT_EQ(CreatorText().size(), 23u);
  EXPECT_EQ(CreatorText().rfind("Vek/Brakkedal 1994-", 0), 0u);
  EXPECT_EQ(img.Title(), PadRight("my title", 80)) << "the property copy keeps its title";
  for (std::size_t i : {0u, 5u, 21u, 24u, 29u, 34u, 118u, 184u, 511u}) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes[22], 200);
  EXPECT_EQ(bytes[23], 3);
}

TEST_F(KovaImgTest, CreateImageRestoresTheCursorAlsoOnFailure) {
  img.SetFileName(Image(3, 4));
  EXPECT_THROW(img.CreateImage(dir.file("no/such/dir/x.img"), false), FileError);
  ASSERT_EQ(ui.cursors.size(), 2u);
  EXPECT_EQ(ui.cursors[0], CursorKind::Busy);
  EXPECT_EQ(ui.cursors[1], CursorKind::Default);
}

TEST_F(KovaImgTest, WriteRowCodesValuesWithRoundingHalfToEven) {
  const std::string path = Image(2, 6);
  img.SetFileName(path);
  img.OpenRaster();
  img.WriteRow(std::vector<double>{10, 10.25, 10.75, 136.5, 137, -1e7}, 1);
  img.CloseRaster();
  const std::vector<std::uint8_t> bytes = ReadAllBytes(path);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 518, bytes.end()),
            (std::vector<std::uint8_t>{0, 0, 2, 253, 254, 254}));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 512, bytes.begin() + 518),
            std::vector<std::uint8_t>(6, 7))
      << "row 0 untouched";
}

// The code of a value worked out the slow, exact way: the quotient at
// extended precision rounded to a double, then the code range and rounding
// half to even.
std::uint8_t ReferenceCode(double value, long double offset, long double factor) {
  const double q = static_cast<double>((value - offset) / factor);
  if (std::isnan(q) || q > 253 || q < 0) return 254;
  return static_cast<std::uint8_t>(std::nearbyint(q));
}

TEST_F(KovaImgTest, RowCodesAgreeWithTheExactQuotientAlsoNextToHalves) {
  std::mt19937_64 rng(8675309);
  const double factors[] = {0.5, 0.1, 0.0123456789, 3.75, -0.25, 1e-6, 12345.678};
  const double offsets[] = {10, -3.3, 0, 1e6, -0.001};
  for (double f : factors) {
    for (double o : offsets) {
      const std::string path = Image(1, 800);
      img.SetFileName(path);
      img.SetScaleFactor(f);
      img.SetScaleOffset(o);
      const long double factor = img.ScaleFactor();
      const long double offset = img.ScaleOffset();
      std::vector<double> values(800);
      std::uniform_real_distribution<double> anywhere(-10, 265);
      std::uniform_int_distribution<int> code(0, 253);
      std::uniform_int_distribution<int> ulps(-4, 4);
      for (std::size_t i = 0; i < values.size(); ++i) {
        double v;
        if (i % 4 == 0) {
          v = static_cast<double>(offset + anywhere(rng) * factor);
        } else {  // next to a half between two codes, or on a code-range edge
          const long double at = i % 4 == 1 ? code(rng) + 0.5L : (i % 8 == 2 ? 0.0L : 253.0L);
          v = static_cast<double>(offset + at * factor);
          for (int n = ulps(rng); n != 0; n += n > 0 ? -1 : 1)
            v = std::nextafter(v, n > 0 ? INFINITY : -INFINITY);
        }
        values[i] = v;
      }
      values[7] = std::nan("");
      img.OpenRaster();
      img.WriteRow(values, 0);
      img.CloseRaster();
      const std::vector<std::uint8_t> bytes = ReadAllBytes(path);
      for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(bytes[512 + i], ReferenceCode(values[i], offset, factor))
            << "factor " << f << " offset " << o << " value " << std::hexfloat << values[i];
      }
    }
  }
}

TEST_F(KovaImgTest, WriteRowRoundsTheRowNumberHalfToEven) {
  struct Case {
    double row;
    int written;  // -1: nothing written
  };
  const Case cases[] = {{2.5, 2},  {3.5, 4}, {2.4, 2},   {9, 9},
                        {9.2, -1}, {10, -1}, {-0.1, -1}, {std::nan(""), -1}};
  for (const Case& c : cases) {
    const std::string path = Image(10, 3);
    img.SetFileName(path);
    img.OpenRaster();
    img.WriteRow(std::vector<double>{10, 10, 10}, c.row);
    img.CloseRaster();
    const std::vector<std::uint8_t> bytes = ReadAllBytes(path);
    for (int r = 0; r < 10; ++r) {
      const std::uint8_t expected = r == c.written ? 0 : 7;
      for (int col = 0; col < 3; ++col)
        ASSERT_EQ(bytes[512 + r * 3 + col], expected) << "row " << c.row << " -> " << r;
    }
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(KovaImgTest, WriteRowWithTooFewValuesWritesThoseItHasThenRaises) {
  const std::string path = Image(1, 4);
  img.SetFileName(path);
  img.OpenRaster();
  EXPECT_THROW(img.WriteRow(std::vector<double>{10, 11}, 0), RangeError);
  img.CloseRaster();
  const std::vector<std::uint8_t> bytes = ReadAllBytes(path);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 512, bytes.end()),
            (std::vector<std::uint8_t>{0, 2, 7, 7}));
}

TEST_F(KovaImgTest, WriteRowWithZeroScaleFactorFaultsBeforeWriting) {
  const std::string path = Image(1, 2);
  img.SetFileName(path);
  img.SetScaleFactor(0);
  img.OpenRaster();
  EXPECT_THROW(img.WriteRow(std::vector<double>{11, 10}, 0), FloatDivideByZeroError);
  EXPECT_THROW(img.WriteRow(std::vector<double>{10, 11}, 0), FloatInvalidOperationError);
  img.CloseRaster();
  const std::vector<std::uint8_t> bytes = ReadAllBytes(path);
  EXPECT_EQ(bytes[512], 7);
  EXPECT_EQ(bytes[513], 7);
}

// A quotient (value - offset) / factor beyond the double range is a
// floating-point overflow, as on the exact way; one just inside is no data.
TEST_F(KovaImgTest, WriteRowQuotientBeyondTheDoubleRangeOverflows) {
  struct Case {
    const char* name;
    double value;
    bool overflows;
  };
  const Case cases[] = {
      {"LargeNegative", -0x1.80bda254c231p+1022, true}, {"LargePositive", 0x1.fp+1020, true},
      {"LargestDouble", 1.7976931348623157e308, true},  {"FarButFinite", 1e300, false},
      {"NegativeInfinity", -HUGE_VAL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Image(1, 2);
    img.SetFileName(path);
    img.SetScaleFactor(0.0080108642578125);  // 0x1.068p-7, exact in a 6-byte real
    img.SetScaleOffset(0);
    img.OpenRaster();
    if (c.overflows) {
      EXPECT_THROW(img.WriteRow(std::vector<double>{c.value, 1.0}, 0), FloatOverflowError);
    } else {
      img.WriteRow(std::vector<double>{c.value, 1.0}, 0);
      img.CloseRaster();
      EXPECT_EQ(ReadAllBytes(path)[512], img.NoDataCode());
    }
    img.CloseRaster();
  }
}

TEST_F(KovaImgTest, RowsWrittenIntoAHeaderOnlyImageExtendTheFile) {
  img.SetFileName(Image(3, 2));
  img.CreateImage(dir.file("h.img"), true);
  img.SetFileName(dir.file("h.img"));
  img.OpenRaster();
  img.WriteRow(std::vector<double>{10, 11}, 2);
  img.CloseRaster();
  const std::vector<std::uint8_t> bytes = ReadAllBytes(dir.file("h.img"));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 512, bytes.end()),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 2}));
}

TEST_F(KovaImgTest, AfterCloseRasterWriteRowIsRefused) {
  const std::string path = Image(1, 1);
  img.SetFileName(path);
  img.OpenRaster();
  img.CloseRaster();
  img.WriteRow(std::vector<double>{10}, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Cannot perform this action on a closed image");
}

TEST_F(KovaImgTest, AttachingOrDestroyingClosesTheRasterHandle) {
  const int before = OpenDescriptorCount();
  {
    TKovaImg other;
    other.SetFileName(Image(1, 1));
    other.OpenRaster();
    EXPECT_TRUE(other.RasterOpen());
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
    other.SetFileName(Image(1, 1, "b.img"));
    EXPECT_FALSE(other.RasterOpen());
    EXPECT_EQ(OpenDescriptorCount(), before);
    other.OpenRaster();
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// --- Geolocation ------------------------------------------------------------

TEST_F(KovaImgTest, LatitudeLongitudeGridGeolocation) {
  img.SetFileName(Image(3, 5));
  double lon = 0, lat = 0;
  img.PixelToLatLon(lon, lat, 4, 2);
  EXPECT_EQ(lon, 12.0);
  EXPECT_EQ(lat, 49.5);
  EXPECT_EQ(img.MinLongitude(), 10.0);
  EXPECT_EQ(img.MaxLongitude(), 12.0);
  EXPECT_EQ(img.MinLatitude(), 49.5);
  EXPECT_EQ(img.MaxLatitude(), 50.0);
  const double expected = std::cos(49.75 * std::numbers::pi / 180) * (2.0 * 4000 / 180);
  EXPECT_NEAR(img.PixelSizeKm(), expected, 1e-4);
  EXPECT_NEAR(img.PixelSizeKm(), 28.72, 0.01);
}

TEST_F(KovaImgTest, NegativePositionsGiveMinusOne) {
  img.SetFileName(Image(3, 5));
  const double positions[][2] = {{0, -0.5}, {-1, 0}, {std::nan(""), 0}, {0, std::nan("")}};
  for (const auto& p : positions) {
    double lon = 0, lat = 0;
    img.PixelToLatLon(lon, lat, p[0], p[1]);
    EXPECT_EQ(lon, -1.0);
    EXPECT_EQ(lat, -1.0);
  }
}

TEST_F(KovaImgTest, ProjectionWithoutInverseGivesZeroExtent) {
  for (std::uint8_t projection : {0, 7}) {
    KovaHeader h = MakeHeader(3, 5);
    h.ProjectionType = projection;
    WriteImage(dir.file("p.img"), h, 15);
    img.SetFileName(dir.file("p.img"));
    EXPECT_EQ(img.PixelSizeKm(), 0.0f);
    EXPECT_EQ(img.MinLatitude(), 0.0);
    EXPECT_EQ(img.MaxLatitude(), 0.0);
    EXPECT_EQ(img.MinLongitude(), 0.0);
    EXPECT_EQ(img.MaxLongitude(), 0.0);
  }
}

TEST_F(KovaImgTest, ZeroColumnsFaultsTheAttachAfterTheCopiesAreFilled) {
  KovaHeader h = MakeHeader(3, 0);
  WriteImage(dir.file("z.img"), h, 0);
  EXPECT_THROW(img.SetFileName(dir.file("z.img")), FloatDivideByZeroError);
  EXPECT_EQ(img.Status(), 1);
  EXPECT_EQ(img.Rows(), 3);
}

}  // namespace
}  // namespace kova

namespace kova {
namespace {

// The one-pass image of a grid against the component's step-by-step way:
// CreateImage, attach, SetTitle, OpenRaster, WriteRow per row, CloseRaster.
struct OnePassCase {
  const char* label;
  std::int16_t rows, columns;
  std::string title;
  double factor, offset;
};

void PrintTo(const OnePassCase& c, std::ostream* os) {
  *os << c.label;
}

class OnePass : public KovaImgTest, public ::testing::WithParamInterface<OnePassCase> {};

TEST_P(OnePass, GivesTheBytesAndStateOfTheStepByStepWay) {
  const OnePassCase& c = GetParam();
  const std::size_t cells = static_cast<std::size_t>(c.rows) * static_cast<std::size_t>(c.columns);
  std::vector<float> values(cells);
  std::vector<std::uint8_t> no_data(cells);
  std::mt19937_64 rng(static_cast<std::uint64_t>(cells));
  std::uniform_real_distribution<double> codes(-3, 256);
  for (std::size_t i = 0; i < cells; ++i) {
    values[i] = static_cast<float>(c.offset + std::round(codes(rng) * 2) / 2 * c.factor);
    no_data[i] = i % 10 == 3;
  }
  // Both ways start from the same template, prepared alike.
  const std::string template_path = Image(1, 1, "template.img");
  auto prepare = [&] {
    img.SetFileName(template_path);
    img.SuspendWriteThrough();
    img.SetRows(c.rows);
    img.SetColumns(c.columns);
    img.SetScaleFactor(c.factor);
    img.SetScaleOffset(c.offset);
  };

  prepare();
  const std::string slow = dir.file("slow.img");
  img.CreateImage(slow, false);
  img.SetFileName(slow);
  img.SetTitle(c.title);
  img.OpenRaster();
  std::vector<double> row(static_cast<std::size_t>(c.columns));
  for (int r = 0; r < c.rows; ++r) {
    for (std::size_t k = 0; k < row.size(); ++k) {
      const std::size_t i = static_cast<std::size_t>(r) * row.size() + k;
      row[k] = no_data[i] ? std::nan("") : values[i];
    }
    img.WriteRow(row, r);
  }
  img.CloseRaster();
  const KovaHeader slow_header = img.Header();
  const std::vector<CursorKind> slow_cursors = ui.cursors;
  ui.cursors.clear();

  prepare();
  const std::string fast = dir.file("fast.img");
  WriteAllBytes(fast, {});
  std::vector<std::uint8_t> written;
  int pieces = 0;
  img.CreateImageWithRaster(fast, c.title, values, no_data,
                            [&](const void* data, std::size_t count) {
                              const auto* bytes = static_cast<const std::uint8_t*>(data);
                              written.insert(written.end(), bytes, bytes + count);
                              ++pieces;
                            });
  EXPECT_EQ(written, ReadAllBytes(slow));
  EXPECT_EQ(pieces, static_cast<int>((512 + cells + kImageWriteChunk - 1) / kImageWriteChunk));
  EXPECT_EQ(img.Status(), 1);
  EXPECT_EQ(img.FileName(), fast);
  EXPECT_FALSE(img.RasterOpen());
  EXPECT_TRUE(img.WriteThrough());
  EXPECT_TRUE(img.Header() == slow_header);
  EXPECT_EQ(ui.cursors, slow_cursors);
  EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OnePass,
    ::testing::Values(OnePassCase{"OneCell", 1, 1, "t", 0.5, 10},
                      OnePassCase{"OddWidth", 3, 37, "Created from a grid", 0.1, -3.3},
                      OnePassCase{"TitleOfEightyCharacters", 2, 5, std::string(80, 'x'), 2, 0},
                      OnePassCase{"TitleCut", 2, 5, std::string(95, 'y'), 1e-6, 1e6},
                      OnePassCase{"LargestWindowGrid", 300, 800, "w", 0.0123456789, -0.001},
                      OnePassCase{"SeveralPieces", 1100, 1000, "p", 12345.678, 7}));

TEST_F(KovaImgTest, OnePassOnAnInvalidImageRefusesAsCreateImageDoes) {
  const std::string path = dir.file("bad.img");
  WriteImage(path, MakeHeader(2, 2), 4);
  img.SetFileName(path);
  img.SetImageType(2);  // written through: the file is no longer a valid image
  img.SetFileName(path);
  ASSERT_EQ(img.Status(), 2);
  const std::string out = dir.file("out.img");
  WriteAllBytes(out, {});
  int pieces = 0;
  img.CreateImageWithRaster(out, "t", std::vector<float>(4), std::vector<std::uint8_t>(4),
                            [&](const void*, std::size_t) { ++pieces; });
  EXPECT_EQ(pieces, 0);
  EXPECT_EQ(img.Status(), 2);  // the empty file attached
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "No valid image attached");
  EXPECT_EQ(ui.cursors, (std::vector<CursorKind>{CursorKind::Busy, CursorKind::Default}));
}

TEST_F(KovaImgTest, OnePassWithTooFewValuesRaisesRangeError) {
  img.SetFileName(Image(2, 3));
  img.SuspendWriteThrough();
  const std::string out = dir.file("out.img");
  WriteAllBytes(out, {});
  EXPECT_THROW(
      img.CreateImageWithRaster(out, "t", std::vector<float>(5), std::vector<std::uint8_t>(6),
                                [](const void*, std::size_t) {}),
      RangeError);
}

}  // namespace
}  // namespace kova
