// `kova info` and `kova locate`: the printed texts, the JSON escaping of
// titles, and the errors for missing and invalid images.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/info_command.h"
#include "app/platform/errors.h"
#include "image/format.h"
#include "image/kova_img.h"
#include "image/real48.h"
#include "support/temp_dir.h"

namespace kova::cli {
namespace {

using testing::TempDir;
using testing::WriteAllBytes;

const std::string kTitleText = "Rain \"dekad\" 1\\2\tsum\x01\xe9";

// A 3 x 5 latitude/longitude image at 50 N 10 E, pixels 0.5 wide and 0.25
// high, whose title holds characters that JSON must escape.
KovaHeader SampleHeader() {
  KovaHeader h;
  h.ImageType = 200;
  h.ProjectionType = 3;
  h.Rows = 3;
  h.Columns = 5;
  h.Title.fill(' ');
  for (std::size_t i = 0; i < kTitleText.size(); ++i) h.Title[i] = kTitleText[i];
  h.OriginLatitude = EncodeReal48(50);
  h.OriginLongitude = EncodeReal48(10);
  h.PixelWidth = EncodeReal48(0.5);
  h.PixelHeight = EncodeReal48(0.25);
  h.StdParallel1 = EncodeReal48(-0.1L);
  h.StdParallel2 = EncodeReal48(1.0L / 3);
  h.ScaleFactor = EncodeReal48(0.1L);
  h.ScaleOffset = EncodeReal48(-2.5L);
  return h;
}

void WriteImage(const std::string& path, const KovaHeader& h) {
  const HeaderBytes header = EncodeHeader(h);
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  bytes.resize(bytes.size() + static_cast<std::size_t>(h.Rows * h.Columns), 254);
  WriteAllBytes(path, bytes);
}

std::string Full(long double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(value));
  return buffer;
}

class InfoOfAnImage : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteImage(path_, SampleHeader());
    image_.SetFileName(path_);
    ASSERT_EQ(image_.Status(), 1);
  }

  const std::string title_ = kTitleText + std::string(80 - kTitleText.size(), ' ');
  // The stored reals that are not exact in binary, at full precision.
  const std::string minus_tenth_ = Full(RoundToReal48(-0.1L));
  const std::string third_ = Full(RoundToReal48(1.0L / 3));
  const std::string tenth_ = Full(RoundToReal48(0.1L));
  // cos(49.75 degrees) x 2 x 4000 / 180 as a 4-byte float.
  const std::string pixel_km_ = "28.7166214";
  TempDir dir_;
  const std::string path_ = dir_.file("sample.img");
  TKovaImg image_;
};

TEST_F(InfoOfAnImage, TextIsOneLinePerFieldInHeaderOrder) {
  ASSERT_EQ(title_.size(), 80u);
  EXPECT_EQ(FormatInfoText(image_),
            "Status: 1\n"
            "ImageType: 200\n"
            "ProjectionType: 3\n"
            "Rows: 3\n"
            "Columns: 5\n"
            "Title: \"" +
                title_ +
                "\"\n"
                "OriginLatitude: 50\n"
                "OriginLongitude: 10\n"
                "OriginColumn: 0\n"
                "OriginRow: 0\n"
                "PixelWidth: 0.5\n"
                "PixelHeight: 0.25\n"
                "StdParallel1: " +
                minus_tenth_ +
                "\n"
                "StdParallel2: " +
                third_ +
                "\n"
                "MinCode: 0\n"
                "MaxCode: 253\n"
                "NoDataCode: 254\n"
                "ScaleFactor: " +
                tenth_ +
                "\n"
                "ScaleOffset: -2.5\n"
                "Decimals: 1\n"
                "PixelSizeKm: " +
                pixel_km_ +
                "\n"
                "MinLatitude: 49.5\n"
                "MaxLatitude: 50\n"
                "MinLongitude: 10\n"
                "MaxLongitude: 12\n");
}

TEST_F(InfoOfAnImage, JsonHasTheSameItemsAndAnEscapedTitle) {
  EXPECT_EQ(FormatInfoJson(image_),
            "{\n"
            "  \"Status\": 1,\n"
            "  \"ImageType\": 200,\n"
            "  \"ProjectionType\": 3,\n"
            "  \"Rows\": 3,\n"
            "  \"Columns\": 5,\n"
            "  \"Title\": \"Rain \\\"dekad\\\" 1\\\\2\\tsum\\u0001\\u00e9" +
                std::string(80 - kTitleText.size(), ' ') +
                "\",\n"
                "  \"OriginLatitude\": 50,\n"
                "  \"OriginLongitude\": 10,\n"
                "  \"OriginColumn\": 0,\n"
                "  \"OriginRow\": 0,\n"
                "  \"PixelWidth\": 0.5,\n"
                "  \"PixelHeight\": 0.25,\n"
                "  \"StdParallel1\": " +
                minus_tenth_ +
                ",\n"
                "  \"StdParallel2\": " +
                third_ +
                ",\n"
                "  \"MinCode\": 0,\n"
                "  \"MaxCode\": 253,\n"
                "  \"NoDataCode\": 254,\n"
                "  \"ScaleFactor\": " +
                tenth_ +
                ",\n"
                "  \"ScaleOffset\": -2.5,\n"
                "  \"Decimals\": 1,\n"
                "  \"PixelSizeKm\": " +
                pixel_km_ +
                ",\n"
                "  \"MinLatitude\": 49.5,\n"
                "  \"MaxLatitude\": 50,\n"
                "  \"MinLongitude\": 10,\n"
                "  \"MaxLongitude\": 12\n"
                "}\n");
}

TEST_F(InfoOfAnImage, RealsArePrintedToTheLastBit) {
  // Each printed real reads back as exactly the property's value.
  EXPECT_EQ(std::stod(minus_tenth_), image_.StdParallel1());
  EXPECT_EQ(std::stod(third_), image_.StdParallel2());
  EXPECT_EQ(std::stod(tenth_), image_.ScaleFactor());
  EXPECT_EQ(std::stof(pixel_km_), image_.PixelSizeKm());
  EXPECT_EQ(third_.size(), std::string("0.33333333333333331").size());
}

TEST(JsonEscape, EscapesWhatJsonStringsCannotHold) {
  const struct {
    std::string text, escaped;
  } cases[] = {
      {"", ""},
      {"plain text 123", "plain text 123"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"a\\b", "a\\\\b"},
      {"/", "/"},
      {"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
      {std::string("\0", 1), "\\u0000"},
      {"\x01\x1f", "\\u0001\\u001f"},
      {" \x7f~", " \x7f~"},
      {"\x80\xa0\xff", "\\u0080\\u00a0\\u00ff"},
      {"Jyv\xe4skyl\xe4", "Jyv\\u00e4skyl\\u00e4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.escaped);
    EXPECT_EQ(JsonEscape(c.text), c.escaped);
  }
}

TEST(FormatLocation, LongitudeFirstAtFullPrecision) {
  const struct {
    double longitude, latitude;
    const char* line;
  } cases[] = {
      {12, 49.5, "12 49.5\n"},
      {-1, -1, "-1 -1\n"},
      {0.1, -0.2, "0.10000000000000001 -0.20000000000000001\n"},
      {190.5, -89.950000000000003, "190.5 -89.950000000000003\n"},
      {1e-5, 0, "1.0000000000000001e-05 0\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLocation(c.longitude, c.latitude), c.line);
}

TEST(FormatInvalidInfo, ShowsTheStatusAlone) {
  EXPECT_EQ(FormatInvalidInfo(2, false), "Status: 2\n");
  EXPECT_EQ(FormatInvalidInfo(2, true), "{\n  \"Status\": 2\n}\n");
}

// Both commands stop with an error for an image that is missing or not valid.
TEST(InfoAndLocateErrors, MissingAndInvalidImages) {
  TempDir dir;
  const std::string missing = dir.file("missing.img");
  const std::string short_file = dir.file("short.img");
  const std::string bad_type = dir.file("bad_type.img");
  WriteAllBytes(short_file, std::vector<std::uint8_t>(511, 0));
  KovaHeader h = SampleHeader();
  h.ImageType = 2;  // not an image type
  WriteImage(bad_type, h);

  const struct {
    std::string path, message;
  } cases[] = {
      {missing, "File not found: " + missing},
      {dir.file("no-folder/x.img"), "Invalid filename: " + dir.file("no-folder/x.img")},
      {short_file, "The file " + short_file + " is not a valid Kova image"},
      {bad_type, "The file " + bad_type + " is not a valid Kova image"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    for (const bool json : {false, true}) {
      try {
        RunInfo(InfoOptions{c.path, json});
        ADD_FAILURE() << "info did not fail";
      } catch (const KovaError& error) {
        EXPECT_EQ(std::string(error.what()), c.message);
      }
    }
    try {
      RunLocate(LocateOptions{c.path, 1, 1});
      ADD_FAILURE() << "locate did not fail";
    } catch (const KovaError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

}  // namespace
}  // namespace kova::cli
