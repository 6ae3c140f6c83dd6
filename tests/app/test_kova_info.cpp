// `kova info` and `kova locate` through the built program: an image whose
// geolocation summary fails, titles in JSON, locate's usage errors, and a
// standard output that cannot be written.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/format.h"
#include "image/real48.h"
#include "kova_run.h"
#include "support/temp_dir.h"

namespace kova::testing {
namespace {

// An 11 x 11 image with the given projection, its centre pixel (5, 5) at the
// projection origin and pixels `pixel` map units wide and high.
KovaHeader CentredHeader(std::uint8_t projection, long double pixel, const std::string& title) {
  KovaHeader h;
  h.ImageType = 200;
  h.ProjectionType = projection;
  h.Rows = 11;
  h.Columns = 11;
  h.Title.fill(' ');
  for (std::size_t i = 0; i < title.size() && i < h.Title.size(); ++i) h.Title[i] = title[i];
  h.OriginLatitude = EncodeReal48(0);
  h.OriginLongitude = EncodeReal48(20);
  h.OriginColumn = EncodeReal48(5);
  h.OriginRow = EncodeReal48(5);
  h.PixelWidth = EncodeReal48(pixel);
  h.PixelHeight = EncodeReal48(pixel);
  h.ScaleFactor = EncodeReal48(1);
  return h;
}

void WriteImage(const std::string& path, const KovaHeader& h) {
  const HeaderBytes header = EncodeHeader(h);
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  bytes.resize(bytes.size() + static_cast<std::size_t>(h.Rows * h.Columns), 254);
  WriteAllBytes(path, bytes);
}

class KovaInfo : public ::testing::Test {
 protected:
  KovaResult Kova(const std::vector<std::string>& args) const { return RunKova(dir_.path(), args); }
  TempDir dir_;
};

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
