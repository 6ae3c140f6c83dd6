// A grid in memory into an image: the same bytes as the Tarvo file it came
// from, grids beyond the window's 800 x 300 for kova convert, and the limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/conversion.h"
#include "app/grid_data.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/pipeline/converter.h"
#include "app/platform/base/errors.h"
#include "bench/max_grid.h"
#include "conversion_test_util.h"
#include "image/kova_img.h"
#include "image/template_image.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

namespace fs = std::filesystem;
using testing::ConvertFirstImage;
using testing::GridText;
using testing::RawImage;
using testing::ReadAllBytes;
using testing::ReadRawImage;
using testing::RecordingUi;
using testing::TempDir;
using testing::WriteTemplate;
using testing::WriteText;

// Values with three decimals, every seventh cell no data (NaN).
std::vector<double> SampleValues(int cols, int rows) {
  std::vector<double> values;
  for (int i = 0; i < cols * rows; ++i) {
    values.push_back(i % 7 == 3 ? std::nan("") : (i * 37 % 1000) / 8.0 - 20.125);
  }
  return values;
}

GridData SampleGrid(int cols, int rows, const std::string& name) {
  GridData grid;
  grid.Cols = cols;
  grid.Rows = rows;
  grid.Left = -12.5f;
  grid.Bottom = 30.25f;
  grid.CellWidth = 0.25f;
  grid.CellHeight = 0.25f;
  grid.SourceName = name;
  for (double v : SampleValues(cols, rows)) {
    grid.Values.push_back(std::isnan(v) ? kNoDataMarker : static_cast<float>(v));
    grid.NoData.push_back(std::isnan(v) ? 1 : 0);
  }
  return grid;
}

class GridConversion : public ::testing::Test {
 protected:
  GridConversion() { WriteTemplate(template_path_); }

  RecordingUi ui_;
  TempDir dir_;
  std::string template_path_ = dir_.file("template.img");
  TKovaImg image_;
};

// Grid sizes around the window's limits and beyond them.
class SameBytesBothWays : public GridConversion,
                          public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(SameBytesBothWays, FromTheFileAndFromMemory) {
  const auto [cols, rows] = GetParam();
  const std::string input = dir_.file("g.asc");
  WriteText(input, GridText(cols, rows, -12.5, 30.25, 0.25, SampleValues(cols, rows)));
  GridData grid;
  ConvertFirstImage(image_, grid, template_path_, input, dir_.file("file.img")).Commit();
  ConvertGrid(image_, template_path_, SampleGrid(cols, rows, "g.asc"), dir_.file("memory.img"))
      .Commit();

  const RawImage image = ReadRawImage(dir_.file("file.img"));
  ASSERT_EQ(image.bytes.size(), 512u + static_cast<std::size_t>(cols) * rows);
  EXPECT_EQ(image.Columns(), cols);
  EXPECT_EQ(image.Rows(), rows);
  if (cols * rows > 3) {
    EXPECT_EQ(image.bytes[512 + 3], 254);  // a no-data cell
  }
  EXPECT_EQ(image.bytes, ReadAllBytes(dir_.file("memory.img")));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SameBytesBothWays,
                         ::testing::Values(std::pair{1, 1}, std::pair{7, 3}, std::pair{800, 300},
                                           std::pair{801, 2}, std::pair{3, 301},
                                           std::pair{1500, 700}));

TEST_F(GridConversion, TheWindowsRunStopsAtItsLimitsKovaConvertDoesNot) {
  const std::string input = dir_.file("wide.asc");
  WriteText(input, GridText(900, 2, 0, 0, 1, SampleValues(900, 2)));
  for (const bool window : {true, false}) {
    ConversionSettings settings{template_path_, std::nullopt};
    if (!window) settings.grid_limits = kImageGridLimits;
    Converter converter(image_, settings, dir_.path());
    if (window) {
      EXPECT_THROW(converter.Run(input, dir_.file("wide.img")), RangeError);
      EXPECT_FALSE(fs::exists(dir_.file("wide.img")));
    } else {
      converter.Run(input, dir_.file("wide.img"));
      EXPECT_EQ(ReadRawImage(dir_.file("wide.img")).Columns(), 900);
    }
  }
}

struct BadMemoryGrid {
  const char* label;
  int cols, rows;
  std::size_t values, no_data;
  float cell_width, cell_height;
  bool range_error;  // else ConversionError
};

class BadGridsInMemory : public GridConversion,
                         public ::testing::WithParamInterface<BadMemoryGrid> {};

TEST_P(BadGridsInMemory, AreRefusedBeforeAnyOutput) {
  const BadMemoryGrid& c = GetParam();
  GridData grid = SampleGrid(2, 2, "bad.asc");
  grid.Cols = c.cols;
  grid.Rows = c.rows;
  grid.Values.resize(c.values);
  grid.NoData.resize(c.no_data);
  grid.CellWidth = c.cell_width;
  grid.CellHeight = c.cell_height;
  const std::string output = dir_.file("bad.img");
  if (c.range_error) {
    EXPECT_THROW(ConvertGrid(image_, template_path_, grid, output).Commit(), RangeError);
  } else {
    EXPECT_THROW(ConvertGrid(image_, template_path_, grid, output).Commit(), ConversionError);
  }
  EXPECT_FALSE(fs::exists(output));
}

std::string BadMemoryGridName(const ::testing::TestParamInfo<BadMemoryGrid>& info) {
  return info.param.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadGridsInMemory,
    ::testing::Values(BadMemoryGrid{"TooFewValues", 2, 2, 3, 3, 1, 1, true},
                      BadMemoryGrid{"FlagsMissing", 2, 2, 4, 3, 1, 1, true},
                      BadMemoryGrid{"ColumnsBeyond16Bits", 40000, 1, 40000, 40000, 1, 1, true},
                      BadMemoryGrid{"ZeroCellWidth", 2, 2, 4, 4, 0, 1, false},
                      BadMemoryGrid{"NegativeCellHeight", 2, 2, 4, 4, 1, -1, false}),
    BadMemoryGridName);

TEST_F(GridConversion, NonSquareCellsSetWidthAndHeightEachFromItsOwnSize) {
  GridData grid = SampleGrid(4, 2, "ns.asc");
  grid.CellWidth = 0.5f;
  grid.CellHeight = 0.25f;
  ConvertGrid(image_, template_path_, grid, dir_.file("ns.img")).Commit();
  const RawImage image = ReadRawImage(dir_.file("ns.img"));
  EXPECT_EQ(image.PixelWidth(), 0.5);
  EXPECT_EQ(image.PixelHeight(), 0.25);
  EXPECT_EQ(image.OriginLongitude(), -11.5);  // -12.5 + 4 * 0.5 / 2
  EXPECT_EQ(image.OriginLatitude(), 30.5);    // 30.25 + 2 * 0.25 / 2
  EXPECT_EQ(image.Title().rfind("Created from Tarvo ns.asc by Tarvo2Kova; ", 0), 0u);
}

}  // namespace
}  // namespace kova

namespace kova {
namespace {

// Images whose bytes must not change when the conversion is made faster:
// checksums of the images that the conversion wrote before its one-pass
// coding, for the example grids and the benchmark's maximum-size grid. The
// title (bytes 38 to 117) is left out, as it carries the contact address of
// the build.
std::uint64_t ChecksumWithoutTitle(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;  // 64-bit FNV-1a
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i >= 38 && i < 118) continue;
    hash = (hash ^ bytes[i]) * 0x100000001b3u;
  }
  return hash;
}

// A header in the usual order and values for it.
const std::string kUsualHeader =
    "ncols 4\nnrows 3\nxllcorner -10.5\nyllcorner 20.25\ncellsize 0.25\nNODATA_value -9999\n";
const std::string kUsualValues = "1 2 3 4\n5 -9999 7 8\n9 10 11 12\n";

struct KnownImage {
  const char* label;
  std::string grid_text;  // empty: read from examples/<label>.asc
  std::size_t size;
  std::uint64_t checksum;
};

void PrintTo(const KnownImage& k, std::ostream* os) {
  *os << k.label;
}

class KnownImages : public GridConversion, public ::testing::WithParamInterface<KnownImage> {};

TEST_P(KnownImages, KeepTheirBytes) {
  const KnownImage& k = GetParam();
  const std::string input = dir_.file(std::string(k.label) + ".asc");
  if (k.grid_text.empty()) {
    fs::copy_file(fs::path(KOVA_SOURCE_DIR) / "examples" / (std::string(k.label) + ".asc"), input);
  } else {
    WriteText(input, k.grid_text);
  }
  WriteTemplateImage(template_path_);  // the shipped template
  Converter converter(image_, {template_path_, std::nullopt}, dir_.path());
  converter.Run(input, dir_.file("out.img"));
  const std::vector<std::uint8_t> bytes = ReadAllBytes(dir_.file("out.img"));
  EXPECT_EQ(bytes.size(), k.size);
  EXPECT_EQ(ChecksumWithoutTitle(bytes), k.checksum) << std::hex << ChecksumWithoutTitle(bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, KnownImages,
    ::testing::Values(KnownImage{"rain_dekad1", "", 2912, 0xc1424a9474dc6ff9u},
                      KnownImage{"rain_dekad2", "", 2912, 0x2f98adf2b9b23fbdu},
                      KnownImage{"rain_dekad3", "", 2912, 0xdaa7312747f363dbu},
                      KnownImage{"maximum", bench::MaximumGridText(), 240512, 0xbf94eb4ec58046c3u},
                      KnownImage{"keywords", kUsualHeader + kUsualValues, 524, 0x3d5b492c2af43e99u},
                      KnownImage{"upper_case_crlf",
                                 "NCOLS 4\r\nNROWS 3\r\nXLLCORNER 100\r\n"
                                 "YLLCORNER -45\r\nCELLSIZE 1e-3\r\n"
                                 "NODATA_VALUE nan\r\n1.5 2 3 4\r\n"
                                 "5 nan 7 8\r\n9 10 11 -12\r\n",
                                 524, 0xcb9603a3138922efu},
                      KnownImage{"unknown_keywords",
                                 "a 3\nb 2\nc 5\nd 6\ne 0.5\nf NA\n"
                                 "1 NA 3\n4 5 6\n",
                                 518, 0x3004476cd091c85cu}));

// A header in another order, letter case or spelling, or giving the centre
// of the lower-left cell, makes the image of the same header in the usual
// order, byte for byte.
class HeaderVariants : public GridConversion, public ::testing::WithParamInterface<const char*> {};

TEST_P(HeaderVariants, MakeTheImageOfTheUsualOrder) {
  WriteTemplateImage(template_path_);
  auto convert = [&](const std::string& folder, const std::string& text) {
    fs::create_directory(dir_.file(folder));
    const std::string input = dir_.file(folder + "/g.asc");
    WriteText(input, text);
    Converter converter(image_, {template_path_, std::nullopt}, dir_.path());
    converter.Run(input, dir_.file(folder + "/g.img"));
    return ReadAllBytes(dir_.file(folder + "/g.img"));
  };
  EXPECT_EQ(convert("variant", std::string(GetParam()) + kUsualValues),
            convert("usual", kUsualHeader + kUsualValues));
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderVariants,
    ::testing::Values("nrows 3\nncols 4\nyllcorner 20.25\nxllcorner -10.5\ncellsize 0.25\n"
                      "NODATA_value -9999\n",
                      "NODATA_VALUE -9999\nCELLSIZE 0.25\nYLLCORNER 20.25\nXLLCORNER -10.5\n"
                      "NROWS 3\nNCOLS 4\n",
                      "columns 4\nrows 3\nleftedge -10.5\nbottomedge 20.25\ncell 0.25\n"
                      "nodata -9999\n",
                      "ncols 4\nnrows 3\nxllcenter -10.375\nyllcentre 20.375\ncellsize 0.25\n"
                      "NODATA_value -9999\n",
                      "ncols 4\nnrows 3\nxllcorner -10.5\nyllcorner 20.25\ndx 0.25\ndy 0.25\n"
                      "NODATA_value -9999\n"));

}  // namespace
}  // namespace kova
