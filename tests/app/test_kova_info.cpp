// `kova info` and `kova locate`: the printed texts (codes named, reals as
// the shortest decimal that reads back), titles decoded and escaped for JSON,
// and the errors for missing and invalid images; then the built program: an
// image whose geolocation summary fails, titles in JSON, locate's usage
// errors, and a standard output that cannot be written.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/info_command.h"
#include "app/platform/base/errors.h"
#include "image/format.h"
#include "image/kova_img.h"
#include "image/real48.h"
#include "support/images.h"
#include "support/kova_run.h"
#include "support/temp_dir.h"

namespace kova::cli {
namespace {

using testing::TempDir;
using testing::WriteAllBytes;
using testing::WriteImage;

// The label of the extent's numbers.
const std::string kExtentOf =
    "pixel positions (0 and Columns-1, 0 and Rows-1): the lower-right corners of the corner "
    "cells of a converted grid";

const std::string kTitleText = "Rain \"dekad\" 1\\2\tsum\x01\xe9";

// A 3 x 5 latitude/longitude image at 50 N 10 E, pixels 0.5 wide and 0.25
// high, whose title holds characters that JSON must escape.
KovaHeader SampleHeader() {
  KovaHeader h = testing::ImageHeader(3, 3, 5, kTitleText);
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

class InfoOfAnImage : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteImage(path_, SampleHeader());
    image_.SetFileName(path_);
    ASSERT_EQ(image_.Status(), 1);
  }

  const std::string padding_ = std::string(80 - kTitleText.size(), ' ');
  TempDir dir_;
  const std::string path_ = dir_.file("sample.img");
  TKovaImg image_;
};

TEST_F(InfoOfAnImage, TextIsOneLinePerFieldWithCodesNamed) {
  // The title is not UTF-8, so it is read as Windows-1252; its control
  // bytes are shown escaped.
  EXPECT_EQ(FormatInfoText(image_),
            "Status: 1 (valid image)\n"
            "ImageType: 200\n"
            "ProjectionType: 3 (latitude/longitude grid)\n"
            "Rows: 3\n"
            "Columns: 5\n"
            "Title: \"Rain \"dekad\" 1\\2\\x09sum\\x01\xc3\xa9" +
                padding_ +
                "\"\n"
                "OriginLatitude: 50\n"
                "OriginLongitude: 10\n"
                "OriginColumn: 0\n"
                "OriginRow: 0\n"
                "PixelWidth: 0.5\n"
                "PixelHeight: 0.25\n"
                "StdParallel1: -0.1\n"
                "StdParallel2: 0.3333333333335\n"
                "MinCode: 0\n"
                "MaxCode: 253\n"
                "NoDataCode: 254\n"
                "ScaleFactor: 0.1\n"
                "ScaleOffset: -2.5\n"
                "Decimals: 1\n"
                "MinValue: -2.5 (code 0)\n"
                "MaxValue: 22.8 (code 253)\n"
                "PixelSizeKm: " +
                ShortestDecimal(image_.PixelSizeKm()) +
                "\n"
                "ExtentOf: " +
                kExtentOf +
                "\n"
                "MinLatitude: 49.5\n"
                "MaxLatitude: 50\n"
                "MinLongitude: 10\n"
                "MaxLongitude: 12\n");
}

TEST_F(InfoOfAnImage, JsonKeepsCodesAsNumbersAndNamesThemApart) {
  EXPECT_EQ(FormatInfoJson(image_),
            "{\n"
            "  \"Status\": 1,\n"
            "  \"StatusName\": \"valid image\",\n"
            "  \"ImageType\": 200,\n"
            "  \"ProjectionType\": 3,\n"
            "  \"ProjectionName\": \"latitude/longitude grid\",\n"
            "  \"Rows\": 3,\n"
            "  \"Columns\": 5,\n"
            "  \"Title\": \"Rain \\\"dekad\\\" 1\\\\2\\tsum\\u0001\xc3\xa9" +
                padding_ +
                "\",\n"
                "  \"OriginLatitude\": 50,\n"
                "  \"OriginLongitude\": 10,\n"
                "  \"OriginColumn\": 0,\n"
                "  \"OriginRow\": 0,\n"
                "  \"PixelWidth\": 0.5,\n"
                "  \"PixelHeight\": 0.25,\n"
                "  \"StdParallel1\": -0.1,\n"
                "  \"StdParallel2\": 0.3333333333335,\n"
                "  \"MinCode\": 0,\n"
                "  \"MaxCode\": 253,\n"
                "  \"NoDataCode\": 254,\n"
                "  \"ScaleFactor\": 0.1,\n"
                "  \"ScaleOffset\": -2.5,\n"
                "  \"Decimals\": 1,\n"
                "  \"MinValue\": -2.5,\n"
                "  \"MaxValue\": 22.8,\n"
                "  \"PixelSizeKm\": " +
                ShortestDecimal(image_.PixelSizeKm()) +
                ",\n"
                "  \"ExtentOf\": \"" +
                kExtentOf +
                "\",\n"
                "  \"MinLatitude\": 49.5,\n"
                "  \"MaxLatitude\": 50,\n"
                "  \"MinLongitude\": 10,\n"
                "  \"MaxLongitude\": 12\n"
                "}\n");
}

// The values of the lowest and highest code that carry one, by the type's
// codes and scaling: a NoDataCode at the bottom of the range is skipped.
struct CodeValueCase {
  int image_type;
  std::string min_value, max_value;  // "value (code N)"
};

class CodeValues : public ::testing::TestWithParam<CodeValueCase> {};

TEST_P(CodeValues, AreShownInTextAndJson) {
  TempDir dir;
  KovaHeader header = SampleHeader();
  header.ImageType = static_cast<std::uint8_t>(GetParam().image_type);
  WriteImage(dir.file("t.img"), header);
  TKovaImg image;
  image.SetFileName(dir.file("t.img"));
  ASSERT_EQ(image.Status(), 1);
  const auto number = [](const std::string& text) { return text.substr(0, text.find(' ')); };
  EXPECT_NE(FormatInfoText(image).find("\nMinValue: " + GetParam().min_value +
                                       "\nMaxValue: " + GetParam().max_value + "\n"),
            std::string::npos)
      << FormatInfoText(image);
  EXPECT_NE(
      FormatInfoJson(image).find("\n  \"MinValue\": " + number(GetParam().min_value) +
                                 ",\n  \"MaxValue\": " + number(GetParam().max_value) + ",\n"),
      std::string::npos)
      << FormatInfoJson(image);
}

INSTANTIATE_TEST_SUITE_P(Types, CodeValues,
                         ::testing::Values(CodeValueCase{0, "1 (code 1)", "255 (code 255)"},
                                           CodeValueCase{100, "-254 (code 1)", "254 (code 255)"},
                                           CodeValueCase{13, "-0.3125 (code 2)",
                                                         "0.66796875 (code 253)"},
                                           CodeValueCase{200, "-2.5 (code 0)", "22.8 (code 253)"}));

TEST_F(InfoOfAnImage, AFailedSummaryLeavesItsItemsUnavailable) {
  const std::string text = FormatInfoText(image_, true);
  EXPECT_NE(text.find("PixelSizeKm: unavailable\nExtentOf: " + kExtentOf + "\n" +
                      "MinLatitude: unavailable\nMaxLatitude: unavailable\n"
                      "MinLongitude: unavailable\nMaxLongitude: unavailable\n"),
            std::string::npos)
      << text;
  const std::string json = FormatInfoJson(image_, true);
  EXPECT_NE(json.find("\"PixelSizeKm\": null,\n  \"ExtentOf\": \"" + kExtentOf + "\",\n" +
                      "  \"MinLatitude\": null,\n  \"MaxLatitude\": null,\n"
                      "  \"MinLongitude\": null,\n  \"MaxLongitude\": null\n}"),
            std::string::npos)
      << json;
}

// --- Numbers as the shortest decimal that reads back -----------------------------

struct DecimalCase {
  const char* label;
  double value;
  const char* text;
};

class ShortestDecimalTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(ShortestDecimalTest, IsTheShortestThatReadsBack) {
  EXPECT_EQ(ShortestDecimal(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Reals, ShortestDecimalTest,
    ::testing::Values(
        // A cell size stored from a 4-byte float: the float's own shortest.
        DecimalCase{"FloatTenth", static_cast<double>(0.1f), "0.1"},
        DecimalCase{"FloatCorner", static_cast<double>(-17.025f), "-17.025"},
        // 6-byte reals: the fewest digits that round back to the same real.
        DecimalCase{"Real48Tenth", static_cast<double>(RoundToReal48(0.1L)), "0.1"},
        DecimalCase{"Real48Third", static_cast<double>(RoundToReal48(1.0L / 3)), "0.3333333333335"},
        DecimalCase{"Real48Big", static_cast<double>(RoundToReal48(123456.789L)), "123456.789"},
        // Neither: the double's shortest.
        DecimalCase{"DoubleTenth", 0.1, "0.1"},
        DecimalCase{"DoubleThird", 1.0 / 3, "0.3333333333333333"},
        DecimalCase{"Integer", 254.0, "254"}, DecimalCase{"Zero", 0.0, "0"},
        DecimalCase{"Small", 1e-5, "1e-05"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ShortestDecimalReadsBack, ForManyReals) {
  // Every printed 6-byte real reads back to itself, and one digit fewer
  // would not.
  for (long double x = 1e-6L; x < 1e9L; x *= 1.37L) {
    const long double stored = RoundToReal48(x);
    const std::string text = ShortestDecimal(static_cast<double>(stored));
    SCOPED_TRACE(text);
    if (static_cast<double>(static_cast<float>(stored)) == static_cast<double>(stored)) continue;
    EXPECT_EQ(RoundToReal48(std::strtold(text.c_str(), nullptr)), stored);
  }
}

// --- Titles: UTF-8 when valid, else Windows-1252; JSON strings -------------------

struct TitleCase {
  const char* label;
  std::string bytes;
  std::string json;  // the contents of the JSON string
};

class TitleJsonTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleJsonTest, DecodesAndEscapes) {
  EXPECT_EQ(JsonEscape(TitleAsUtf8(GetParam().bytes)), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleJsonTest,
    ::testing::Values(
        TitleCase{"Plain", "plain text 123 /", "plain text 123 /"},
        TitleCase{"QuoteBackslash", "say \"hi\" a\\b", "say \\\"hi\\\" a\\\\b"},
        TitleCase{"Controls", std::string("\b\f\n\r\t\0\x01\x1f\x7f", 9),
                  "\\b\\f\\n\\r\\t\\u0000\\u0001\\u001f\\u007f"},
        TitleCase{"Utf8Kept", "Jyv\xc3\xa4skyl\xc3\xa4 \xe2\x82\xac",
                  "Jyv\xc3\xa4skyl\xc3\xa4 \xe2\x82\xac"},
        TitleCase{"Windows1252", "Jyv\xe4skyl\xe4", "Jyv\xc3\xa4skyl\xc3\xa4"},
        TitleCase{"Windows1252Euro", "\x80 \x99 \x9f", "\xe2\x82\xac \xe2\x84\xa2 \xc5\xb8"},
        TitleCase{"Windows1252Unassigned", "\x81\x8d", "\\u0081\\u008d"},
        TitleCase{"Utf8C1Escaped", "\xc2\x85", "\\u0085"},
        TitleCase{"BrokenUtf8IsWindows1252", "\xc3\xa4\xe4", "\xc3\x83\xc2\xa4\xc3\xa4"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FormatLocation, LongitudeFirstShortest) {
  const struct {
    double longitude, latitude;
    const char* line;
  } cases[] = {
      {12, 49.5, "12 49.5\n"},
      {static_cast<double>(RoundToReal48(0.1L)), static_cast<double>(RoundToReal48(-0.3L)),
       "0.1 -0.3\n"},
      {190.5, -89.95, "190.5 -89.95\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLocation(c.longitude, c.latitude), c.line);
  EXPECT_EQ(FormatLocation(12, 49.5, true), "{\"Longitude\": 12, \"Latitude\": 49.5}\n");
}

TEST(FormatInvalidInfo, ShowsTheStatusAlone) {
  EXPECT_EQ(FormatInvalidInfo(2, false), "Status: 2 (not a valid Kova image)\n");
  EXPECT_EQ(FormatInvalidInfo(2, true),
            "{\n  \"Status\": 2,\n  \"StatusName\": \"not a valid Kova image\"\n}\n");
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

// --- The built program ------------------------------------------------------------

namespace kova::testing {
namespace {

// An 11 x 11 image with the given projection, its centre pixel (5, 5) at the
// projection origin and pixels `pixel` map units wide and high.
KovaHeader CentredHeader(std::uint8_t projection, long double pixel, const std::string& title) {
  KovaHeader h = ImageHeader(projection, 11, 11, title);
  h.OriginLatitude = EncodeReal48(0);
  h.OriginLongitude = EncodeReal48(20);
  h.OriginColumn = EncodeReal48(5);
  h.OriginRow = EncodeReal48(5);
  h.PixelWidth = EncodeReal48(pixel);
  h.PixelHeight = EncodeReal48(pixel);
  h.ScaleFactor = EncodeReal48(1);
  return h;
}

using KovaInfo = KovaTest;

// Hammer, normalised to the unit disc: the corners at 0.95, 0.95 lie off the
// globe, the centre on it.
TEST_F(KovaInfo, AnOffGlobeSummaryLeavesTheHeaderAndTheCentre) {
  WriteImage(dir_.file("hammer.img"), CentredHeader(2, 0.19L, "Hammer"));

  const KovaResult text = Kova({"info", "hammer.img"});
  EXPECT_EQ(text.code, 1);
  EXPECT_NE(text.out.find("ProjectionType: 2 (Hammer equal-area)\n"), std::string::npos);
  EXPECT_NE(text.out.find("PixelWidth: 0.19\n"), std::string::npos);
  EXPECT_NE(text.out.find("MinLatitude: unavailable\n"), std::string::npos);
  EXPECT_EQ(text.err.rfind("kova: geolocation summary unavailable: ", 0), 0u) << text.err;
  EXPECT_NE(text.err.find("hammer.img"), std::string::npos) << text.err;

  const KovaResult json = Kova({"info", "--json", "hammer.img"});
  EXPECT_EQ(json.code, 1);
  EXPECT_NE(json.out.find("\"PixelSizeKm\": null,"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"MaxLongitude\": null\n}\n"), std::string::npos) << json.out;

  const KovaResult centre = Kova({"locate", "hammer.img", "5", "5"});
  // The iteration ends within its tolerance of the equator.
  ASSERT_EQ(centre.out.substr(0, 3), "20 ") << centre.out;
  EXPECT_LT(std::fabs(std::strtod(centre.out.c_str() + 3, nullptr)), 1e-9) << centre.out;
  EXPECT_EQ(centre.err, "");
  EXPECT_EQ(centre.code, 0);

  const KovaResult corner = Kova({"locate", "hammer.img", "0", "0"});
  EXPECT_EQ(corner.code, 1);
  EXPECT_EQ(corner.out, "");
  EXPECT_NE(corner.err.find("hammer.img, column 0, row 0"), std::string::npos) << corner.err;
}

// Lambert azimuthal equal-area on a sphere of radius 6370997 m: corners
// 15,000 km out in both directions lie beyond the globe, whose lines about
// that go to standard error, so that standard output stays one JSON object.
TEST_F(KovaInfo, DeclinedPointsAreReportedOnStandardErrorOnly) {
  WriteImage(dir_.file("lamaz.img"), CentredHeader(6, 3.0e6L, "Lambert azimuthal"));
  const KovaResult json = Kova({"info", "--json", "lamaz.img"});
  EXPECT_EQ(json.out.rfind("{\n  \"Status\": 1,", 0), 0u) << json.out;
  EXPECT_EQ(json.out.substr(json.out.size() - 2), "}\n");
  EXPECT_EQ(json.out.find("lamaz_inverse"), std::string::npos);
  EXPECT_NE(json.err.find("Error in lamaz_inverse"), std::string::npos) << json.err;
}

struct TitleCase {
  const char* label;
  std::string title;
  std::string json_title;  // as a JSON reader gives it back
  std::string text_title;  // as the text form shows it
};

class KovaInfoTitles : public KovaInfo, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(KovaInfoTitles, JsonParsesAndTextIsEscaped) {
  WriteImage(dir_.file("t.img"), CentredHeader(3, 1, GetParam().title));
  const std::string pad(80 - GetParam().title.size(), ' ');
  const KovaResult text = Kova({"info", "t.img"});
  EXPECT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("Title: \"" + GetParam().text_title + pad + "\"\n"), std::string::npos)
      << text.out;

  const KovaResult json = Kova({"info", "--json", "t.img"});
  EXPECT_EQ(json.code, 0) << json.err;
#ifndef _WIN32  // python3 of the build machine
  // Read back by an independent JSON reader.
  WriteText(dir_.file("t.json"), json.out);
  std::string command = "cd " + ShellQuoted(dir_.path().string()) +
                        " && python3 -c \"import json,sys; sys.stdout.buffer.write("
                        "json.load(open('t.json', encoding='utf-8'))['Title'].encode('utf-8'))\""
                        " > title.txt";
  ASSERT_EQ(std::system(command.c_str()), 0) << json.out;
  EXPECT_EQ(ReadText(dir_.path() / "title.txt"), GetParam().json_title + pad);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Titles, KovaInfoTitles,
    ::testing::Values(TitleCase{"Ascii", "Rain dekad 1", "Rain dekad 1", "Rain dekad 1"},
                      TitleCase{"Utf8", "Jyv\xc3\xa4skyl\xc3\xa4 \xe2\x82\xac",
                                "Jyv\xc3\xa4skyl\xc3\xa4 \xe2\x82\xac",
                                "Jyv\xc3\xa4skyl\xc3\xa4 \xe2\x82\xac"},
                      TitleCase{"Windows1252", "Jyv\xe4skyl\xe4 \x80",
                                "Jyv\xc3\xa4skyl\xc3\xa4 \xe2\x82\xac",
                                "Jyv\xc3\xa4skyl\xc3\xa4 \xe2\x82\xac"},
                      TitleCase{"Controls", "a\x1b[31m\x07\"q\"\\", "a\x1b[31m\x07\"q\"\\",
                                "a\\x1b[31m\\x07\"q\"\\"}),
    [](const auto& info) { return std::string(info.param.label); });

struct LocateCase {
  const char* label;
  std::vector<std::string> args;
  int code;
  std::string out;
  std::string err_start;
};

class KovaLocate : public KovaInfo, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(KovaLocate, AnswersOrRefuses) {
  WriteImage(dir_.file("g.img"), CentredHeader(3, 0.1L, "grid"));
  std::vector<std::string> args{"locate", "g.img"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const KovaResult result = Kova(args);
  EXPECT_EQ(result.code, GetParam().code);
  EXPECT_EQ(result.out, GetParam().out);
  EXPECT_EQ(result.err.substr(0, GetParam().err_start.size()), GetParam().err_start) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Positions, KovaLocate,
    ::testing::Values(
        LocateCase{"Centre", {"5", "5"}, 0, "20 0\n", ""},
        LocateCase{"Shortest", {"6", "2"}, 0, "20.1 0.3\n", ""},
        LocateCase{"Json", {"5", "5", "--json"}, 0, "{\"Longitude\": 20, \"Latitude\": 0}\n", ""},
        LocateCase{"BeyondTheImage",
                   {"11", "5"},
                   0,
                   "20.6 0\n",
                   "kova: note: position beyond the image's 11 columns and 11 rows\n"},
        LocateCase{"NegativeColumn",
                   {"-1", "5"},
                   2,
                   "",
                   "kova: a pixel position is a number of 0 or more (column -1, row 5)\n"},
        LocateCase{"NegativeRow", {"5", "-0.5"}, 2, "", "kova: a pixel position is a number"},
        LocateCase{"NotANumber", {"nan", "5"}, 2, "", "kova: "},
        LocateCase{"NotNumeric", {"five", "5"}, 2, "", "kova: "}),
    [](const auto& info) { return std::string(info.param.label); });

#ifndef _WIN32  // /dev/full
TEST_F(KovaInfo, AFullStandardOutputIsAnError) {
  WriteImage(dir_.file("g.img"), CentredHeader(3, 1, "grid"));
  const std::string command = "cd " + ShellQuoted(dir_.path().string()) + " && " + KOVA_PROGRAM +
                              " info g.img >/dev/full 2>err.txt";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(ReadText(dir_.path() / "err.txt"),
            "kova: cannot write to standard output: No space left on device\n");
}
#endif

}  // namespace
}  // namespace kova::testing
