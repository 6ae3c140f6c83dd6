// The conversion run: names, messages, settings, the template, the mended
// faults, and the images it writes, read back from their raw bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "app/conversion.h"
#include "app/pipeline/convert_entry.h"
#include "app/pipeline/converter.h"
#include "app/platform/base/errors.h"
#include "app/platform/process.h"
#include "app/platform/settings.h"
#include "conversion_test_util.h"
#include "image/kova_img.h"
#include "image/real48.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

namespace fs = std::filesystem;
using testing::ConvertFirstImage;
using testing::CurrentDirGuard;
using testing::GridText;
using testing::Native;
using testing::RawImage;
using testing::ReadAllBytes;
using testing::ReadRawImage;
using testing::RecordingUi;
using testing::TempDir;
using testing::WriteTemplate;
using testing::WriteText;

constexpr double kNoData = std::numeric_limits<double>::quiet_NaN();

// The message of the error `action` raises; fails the test when it raises none.
template <typename Error>
std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  ADD_FAILURE() << "the expected error was not raised";
  return {};
}

class ConversionRun : public ::testing::Test {
 protected:
  ConversionRun() {
    fs::create_directory(dir_.file("data"));
    fs::create_directory(dir_.file("program"));
    template_path_ = dir_.file("program/template.img");
    WriteTemplate(template_path_);
    settings_.template_path = template_path_;
  }

  // A small valid grid.
  void WriteGrid(const std::string& path, int cols = 3, int rows = 2) {
    std::vector<double> values;
    for (int i = 0; i < cols * rows; ++i) values.push_back(i * 1.5);
    WriteText(path, GridText(cols, rows, 10.0, 20.0, 0.5, values));
  }

  Converter MakeConverter(const std::string& list_directory) {
    return Converter(image_, settings_, list_directory);
  }

  std::string LastMessage() const {
    return ui_.messages.empty() ? std::string() : ui_.messages.back().text;
  }

  CurrentDirGuard cwd_guard_;
  RecordingUi ui_;
  TempDir dir_;
  std::string template_path_;
  ConversionSettings settings_;
  TKovaImg image_;
};

// --- Outputs held back until committed ------------------------------------------

TEST_F(ConversionRun, AConvertedFileAppearsOnlyWhenCommitted) {
  const std::string input = dir_.file("data/grid.asc");
  const std::string output = dir_.file("out.img");
  WriteGrid(input, 3, 2);
  WriteText(output, "earlier image");
  const auto names = [&] {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
#ifdef _WIN32  // the hidden temporary file has a name there until the commit
      if (entry.path().filename().string().front() == '.') continue;
#endif
      found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
  };
  const auto names_before = names();
  GridData grid;
  { SafeOutput dropped = ConvertFirstImage(image_, grid, template_path_, input, output); }
  SafeOutput pending = ConvertFirstImage(image_, grid, template_path_, input, output);
  const auto earlier = ReadAllBytes(output);
  EXPECT_EQ(std::string(earlier.begin(), earlier.end()), "earlier image");
  EXPECT_EQ(names(), names_before);
  pending.Commit();
  EXPECT_EQ(names(), names_before);
  const RawImage image = ReadRawImage(output);
  EXPECT_EQ(image.bytes.size(), 512u + 6u);
  EXPECT_EQ(image.Pixel(1, 2), 253);
}

// --- Single files and patterns ------------------------------------------------

TEST_F(ConversionRun, SingleFileWritesTheImageAndNamesItInTheMessage) {
  const std::string input = dir_.file("data/grid.asc");
  const std::string output = dir_.file("out.img");
  WriteGrid(input, 3, 2);
  MakeConverter(dir_.path()).Run(input, output);

  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].kind, MessageKind::Information);
  EXPECT_EQ(ui_.messages[0].caption, "Information");
  EXPECT_EQ(ui_.messages[0].text, "Image " + output + " created successfully");
  ASSERT_FALSE(ui_.cursors.empty());
  EXPECT_EQ(ui_.cursors.front(), CursorKind::Busy);
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);

  const RawImage image = ReadRawImage(output);
  ASSERT_EQ(image.bytes.size(), 512u + 6u);
  EXPECT_EQ(image.ImageType(), 200);
  EXPECT_EQ(image.ProjectionType(), 3);
  EXPECT_EQ(image.Columns(), 3);
  EXPECT_EQ(image.Rows(), 2);
  EXPECT_EQ(image.OriginLongitude(), 10.75);  // (10 + 11.5) / 2
  EXPECT_EQ(image.OriginLatitude(), 20.5);    // (20 + 21) / 2
  EXPECT_EQ(image.OriginColumn(), 0.5);       // 3 / 2 - 1
  EXPECT_EQ(image.OriginRow(), 0.0);
  EXPECT_EQ(image.PixelWidth(), 0.5);
  EXPECT_EQ(image.PixelHeight(), 0.5);
  EXPECT_EQ(image.Title(), PadRight("Created from Tarvo grid.asc by Tarvo2Kova; " +
                                        std::string(KOVA_CONTACT_EMAIL),
                                    80));
  EXPECT_EQ(image.Pixel(0, 0), 0);
  EXPECT_EQ(image.Pixel(1, 2), 253);
}

TEST_F(ConversionRun, SingleFileOutputNameIsUsedAsTyped) {
  CurrentDirGuard guard;
  fs::current_path(dir_.path());
  WriteGrid(dir_.file("grid.asc"));
  MakeConverter(dir_.path()).Run("grid.asc", "result");  // relative names, no extension
  EXPECT_TRUE(fs::is_regular_file(dir_.file("result")));
  EXPECT_FALSE(fs::exists(dir_.file("result.img")));
  EXPECT_EQ(LastMessage(), "Image result created successfully");
}

struct PatternCase {
  const char* label;
  std::vector<std::string> files;    // created in data/
  std::string pattern;               // relative to the temporary folder
  std::vector<std::string> outputs;  // expected, in data/
  std::string message;               // {dir} stands for the data folder
};

class PatternRun : public ConversionRun, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(PatternRun, ConvertsEveryMatchBesideItsInput) {
  const PatternCase& c = GetParam();
  for (const std::string& name : c.files) WriteGrid(dir_.file("data/" + name));
  const std::string data = fs::canonical(dir_.file("data")).string();

  const ExpandedNames names = MakeConverter(fs::canonical(dir_.path()).string())
                                  .ExpandInputPattern(c.pattern, "ignored.img");
  std::vector<std::string> expected_outputs;
  for (const std::string& name : c.outputs) expected_outputs.push_back(data + Native("/") + name);
  EXPECT_EQ(names.OutputNames, expected_outputs);
  ASSERT_EQ(names.InputNames.size(), names.OutputNames.size());

  MakeConverter(fs::canonical(dir_.path()).string()).Run(c.pattern, "ignored.img");
  std::string message = c.message;
  if (auto at = message.find("{dir}/"); at != std::string::npos) {
    message.replace(at, 6, data + Native("/"));
  }
  EXPECT_EQ(LastMessage(), message);
  for (const std::string& output : expected_outputs) {
    EXPECT_EQ(ReadRawImage(output).ImageType(), 200) << output;
  }
  EXPECT_FALSE(fs::exists(dir_.file("ignored.img")));
  EXPECT_FALSE(fs::exists(dir_.file("data/ignored.img")));
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternRun,
    ::testing::Values(
        PatternCase{"NoMatch", {"a.txt"}, "data/*.asc", {}, "Number of images created: 0"},
        PatternCase{"OneMatch",
                    {"a.asc", "b.txt"},
                    "data/*.asc",
                    {"a.img"},
                    "Image {dir}/a.img created successfully"},
        PatternCase{"SeveralSorted",
                    {"c.asc", "A.asc", "b.asc"},
                    "data/*.asc",
                    {"A.img", "b.img", "c.img"},
                    "Number of images created: 3"},
        PatternCase{"QuestionMark",
                    {"r1.asc", "r2.asc", "r10.asc"},
                    "data/r?.asc",
                    {"r1.img", "r2.img"},
                    "Number of images created: 2"},
        PatternCase{"SeveralMasks",
                    {"a.asc", "b.grd", "c.txt"},
                    "data/*.asc;*.grd",
                    {"a.img", "b.img"},
                    "Number of images created: 2"},
        PatternCase{"FileOfTwoMasksTwice",
                    {"a.asc", "b.asc"},
                    "data/*.asc;a*",
                    {"a.img", "a.img", "b.img"},
                    "Number of images created: 3"},
        PatternCase{"ExtensionReplaced",
                    {"a.b.asc", "grid"},
                    "data/*",
                    {"a.b.img", "grid.img"},
                    "Number of images created: 2"},
        PatternCase{"RelativeDirectoryWithDots",
                    {"a.asc"},
                    "data/../data/*.asc",
                    {"a.img"},
                    "Image {dir}/a.img created successfully"}),
    [](const ::testing::TestParamInfo<PatternCase>& info) {
      return std::string(info.param.label);
    });

TEST_F(ConversionRun, HiddenFilesAndDirectoriesAreNotConverted) {
  WriteGrid(dir_.file("data/seen.asc"));
  WriteGrid(dir_.file("data/.hidden.asc"));
  fs::create_directory(dir_.file("data/folder.asc"));
  MakeConverter(dir_.path()).Run(dir_.file("data/*.asc"), "");
  EXPECT_EQ(LastMessage(), "Image " + fs::canonical(dir_.file("data")).string() +
                               Native("/seen.img") + " created successfully");
  EXPECT_FALSE(fs::exists(dir_.file("data/.hidden.img")));
  EXPECT_FALSE(fs::exists(dir_.file("data/folder.img")));
}

TEST_F(ConversionRun, ListDirectoryIsKeptFromRunToRunAndTheCurrentDirectoryFollows) {
  fs::create_directory(dir_.file("data/sub"));
  WriteGrid(dir_.file("data/sub/a.asc"));
  const std::string base = fs::canonical(dir_.path()).string();
  Converter converter = MakeConverter(base);

  converter.Run("data/*.asc", "");  // relative to the ListDirectory
  EXPECT_EQ(LastMessage(), "Number of images created: 0");
  EXPECT_EQ(converter.ListDirectory(), base + Native("/data"));
  EXPECT_EQ(CurrentDirectory(), base + Native("/data"));

  converter.Run("sub/*.asc", "");  // relative to the new ListDirectory
  EXPECT_EQ(converter.ListDirectory(), base + Native("/data/sub"));
  EXPECT_EQ(LastMessage(), "Image " + base + Native("/data/sub/a.img") + " created successfully");

  WriteGrid(dir_.file("data/sub/b.asc"));  // the search is made afresh
  converter.Run("*.asc", "");              // no directory part: the ListDirectory stays
  EXPECT_EQ(converter.ListDirectory(), base + Native("/data/sub"));
  EXPECT_EQ(LastMessage(), "Number of images created: 2");
}

TEST_F(ConversionRun, AMissingPatternDirectoryStopsTheRun) {
  Converter converter = MakeConverter(dir_.path());
  const std::string base = dir_.path().string();
  EXPECT_EQ(ErrorText<FileError>([&] { converter.Run("nosuch/*.asc", ""); }),
            "File not found: folder " + base + Native("/") + "nosuch/");
  EXPECT_EQ(ErrorText<FileError>([&] { converter.Run("nosuch/deeper/*.asc", ""); }),
            "Invalid filename: folder " + base + Native("/") + "nosuch/deeper/");
  EXPECT_EQ(converter.ListDirectory(), dir_.path().string());
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);
}

TEST_F(ConversionRun, AMissingSingleInputStopsTheRun) {
  Converter converter = MakeConverter(dir_.path());
  EXPECT_EQ(ErrorText<FileError>([&] { converter.Run(dir_.file("none.asc"), dir_.file("o.img")); }),
            "File not found: " + dir_.file("none.asc"));
  EXPECT_EQ(
      ErrorText<FileError>([&] { converter.Run(dir_.file("no/none.asc"), dir_.file("o.img")); }),
      "Invalid filename: " + dir_.file("no/none.asc"));
  EXPECT_FALSE(fs::exists(dir_.file("o.img")));
}

// The window refuses a folder as input, and an output whose folder is missing,
// as kova convert does; with either separator of the platform.
TEST_F(ConversionRun, FolderRefusalsOfTheWindowRun) {
  WriteGrid(dir_.file("data/grid.asc"));
  const char separator = static_cast<char>(fs::path::preferred_separator);
  const std::string folder = dir_.file("data");
  const struct {
    std::string input, output, error;
  } kCases[] = {
      {folder, dir_.file("o.img"),
       folder + " is a folder; its grids are converted with a pattern such as \"" + folder +
           separator + "*.asc\""},
      {folder + separator, dir_.file("o.img"),
       folder + separator + " is a folder; its grids are converted with a pattern such as \"" +
           folder + separator + "*.asc\""},
      {dir_.file("data/grid.asc"), dir_.file("none") + separator + "o.img",
       "The folder " + dir_.file("none") + " does not exist: output " + dir_.file("none") +
           separator + "o.img (converting " + dir_.file("data/grid.asc") + ")"},
  };
  Converter converter = MakeConverter(dir_.path());
  for (const auto& c : kCases) {
    EXPECT_EQ(ErrorText<ConversionError>([&] { converter.Run(c.input, c.output); }), c.error);
  }
  // A bare name, or one in an existing folder, is left to the conversion.
  RefuseMissingOutputFolder("o.img", dir_.file("data/grid.asc"));
  RefuseMissingOutputFolder(folder + separator + "o.img", dir_.file("data/grid.asc"));
  EXPECT_FALSE(fs::exists(dir_.file("o.img")));
}

// --- Title, settings, template ----------------------------------------------------

TEST_F(ConversionRun, TheTitleIsCutAt80Characters) {
  const std::string name = "rainfall_estimate_of_the_first_dekad_of_the_year.asc";
  WriteGrid(dir_.file("data/" + name));
  MakeConverter(dir_.path()).Run(dir_.file("data/" + name), dir_.file("out.img"));
  const std::string full = ImageTitleFor(name);
  ASSERT_GT(full.size(), 80u);
  EXPECT_EQ(ReadRawImage(dir_.file("out.img")).Title(), full.substr(0, 80));
}

TEST_F(ConversionRun, SettingsAreWrittenBeforeARunThatFails) {
  const std::string ini = dir_.file("program/tarvo2kova.ini");
  settings_.settings_path = ini;
  Converter converter = MakeConverter(dir_.path());
  EXPECT_THROW(converter.Run(dir_.file("missing.asc"), "out.img"), FileError);
  EXPECT_EQ(ReadProfileString(ini, "files", "edit1"), dir_.file("missing.asc"));
  EXPECT_EQ(ReadProfileString(ini, "files", "edit2"), "out.img");
}

TEST_F(ConversionRun, UnwritableSettingsStopTheRunBeforeAnyConversion) {
  settings_.settings_path = dir_.file("nofolder/tarvo2kova.ini");
  WriteGrid(dir_.file("data/a.asc"));
  Converter converter = MakeConverter(dir_.path());
  EXPECT_EQ(ErrorText<SettingsWriteError>(
                [&] { converter.Run(dir_.file("data/a.asc"), dir_.file("a.img")); }),
            "Unable to write to " + dir_.file("nofolder/tarvo2kova.ini"));
  EXPECT_FALSE(fs::exists(dir_.file("a.img")));
}

TEST_F(ConversionRun, EmptyInputOrSingleOutputIsRejectedAfterTheSettingsWereSaved) {
  const std::string ini = dir_.file("program/tarvo2kova.ini");
  settings_.settings_path = ini;
  Converter converter = MakeConverter(dir_.path());
  EXPECT_EQ(ErrorText<ConversionError>([&] { converter.Run("", "out.img"); }),
            "No input file name given");
  EXPECT_EQ(ReadProfileString(ini, "files", "edit2"), "out.img");

  WriteGrid(dir_.file("data/a.asc"));
  EXPECT_EQ(ErrorText<ConversionError>([&] { converter.Run(dir_.file("data/a.asc"), ""); }),
            "No output file name given for " + dir_.file("data/a.asc"));
  EXPECT_EQ(ReadProfileString(ini, "files", "edit1"), dir_.file("data/a.asc"));
  EXPECT_EQ(ReadProfileString(ini, "files", "edit2"), "");
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);
}

TEST_F(ConversionRun, TheTemplateStaysByteIdentical) {
  const auto before = ReadAllBytes(template_path_);
  WriteGrid(dir_.file("data/a.asc"), 5, 4);
  WriteGrid(dir_.file("data/b.asc"), 2, 7);
  MakeConverter(dir_.path()).Run(dir_.file("data/*.asc"), "");
  EXPECT_EQ(LastMessage(), "Number of images created: 2");
  EXPECT_EQ(ReadAllBytes(template_path_), before);
  EXPECT_EQ(ReadRawImage(dir_.file("data/b.img")).Rows(), 7);
}

TEST_F(ConversionRun, AMissingTemplateIsFileNotFound) {
  settings_.template_path = dir_.file("program/none.img");
  WriteGrid(dir_.file("data/a.asc"));
  Converter converter = MakeConverter(dir_.path());
  EXPECT_EQ(
      ErrorText<FileError>([&] { converter.Run(dir_.file("data/a.asc"), dir_.file("a.img")); }),
      "File not found: template " + dir_.file("program/none.img") + " (converting " +
          dir_.file("data/a.asc") + ")");
  EXPECT_FALSE(fs::exists(dir_.file("a.img")));
}

TEST_F(ConversionRun, AnInvalidTemplateStopsTheRunNamingIt) {
  WriteTemplate(template_path_, /*image_type=*/2);  // not a valid type code
  const auto before = ReadAllBytes(template_path_);
  WriteGrid(dir_.file("data/a.asc"));
  Converter converter = MakeConverter(dir_.path());
  const int descriptors = testing::OpenDescriptorCount();
  EXPECT_EQ(
      ErrorText<ConversionError>(
          [&] { converter.Run(dir_.file("data/a.asc"), dir_.file("a.img")); }),
      "The template " + template_path_ + " is not a valid Kova image: " + dir_.file("data/a.asc"));
  EXPECT_EQ(testing::OpenDescriptorCount(), descriptors);  // the grid file was closed
  EXPECT_FALSE(fs::exists(dir_.file("a.img")));
  EXPECT_EQ(ReadAllBytes(template_path_), before);
  EXPECT_TRUE(ui_.messages.empty());  // no component refusal boxes either
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);
}

// --- Faulty grids leave no image ----------------------------------------------------

struct BadGridCase {
  const char* label;
  std::string text;
  bool conversion_error;  // ConversionError naming the file; else Range check error
};

std::string Ones(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "1 ";
  return text + "\n";
}

class BadGridRun : public ConversionRun, public ::testing::WithParamInterface<BadGridCase> {};

TEST_P(BadGridRun, StopsWithAnErrorAndCreatesNoImage) {
  const std::string input = dir_.file("data/bad.asc");
  const std::string output = dir_.file("bad.img");
  WriteText(input, GetParam().text);
  Converter converter = MakeConverter(dir_.path());
  const int descriptors = testing::OpenDescriptorCount();
  if (GetParam().conversion_error) {
    const std::string text = ErrorText<ConversionError>([&] { converter.Run(input, output); });
    EXPECT_EQ(text.rfind("Grid file " + input + " ", 0), 0u) << text;
  } else {
    const std::string text = ErrorText<RangeError>([&] { converter.Run(input, output); });
    EXPECT_EQ(text.rfind("Range check error: " + input + ", grid of ", 0), 0u) << text;
  }
  EXPECT_EQ(testing::OpenDescriptorCount(), descriptors);
  EXPECT_FALSE(fs::exists(output));
  EXPECT_TRUE(ui_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Grids, BadGridRun,
    ::testing::Values(
        BadGridCase{"EndsBeforeToken12", "columns 2\nrows 1\nleft 0\nbottom 0\ncell 1\n", true},
        BadGridCase{"TooFewValues", "columns 2\nrows 2\nl 0\nb 0\nc 1\nn -9999\n1 2\n3\n", true},
        BadGridCase{"NoValues", "columns 2\nrows 2\nl 0\nb 0\nc 1\nn -9999\n", true},
        BadGridCase{"TooManyValues", "columns 2\nrows 1\nl 0\nb 0\nc 1\nn -9999\n1 2\n3\n", true},
        BadGridCase{"ZeroColumns", "columns 0\nrows 1\nl 0\nb 0\nc 1\nn -9999\n", true},
        BadGridCase{"NegativeRows", "columns 1\nrows -2\nl 0\nb 0\nc 1\nn -9999\n1 2\n", true},
        BadGridCase{"ColumnsBeyond16Bits", "columns 40000\nrows 1\nl 0\nb 0\nc 1\nn -9\n1\n",
                    false},
        BadGridCase{"ColumnsBeyond800", "columns 801\nrows 1\nl 0\nb 0\nc 1\nn -9\n" + Ones(801),
                    false}),
    [](const ::testing::TestParamInfo<BadGridCase>& info) {
      return std::string(info.param.label);
    });

// --- Value scaling ------------------------------------------------------------------

// The code WriteRow gives a value (codes 0..253, no data 254).
int CodeOf(double value, const ValueScaling& s) {
  const double q = static_cast<double>((static_cast<long double>(value) - s.ScaleOffset) /
                                       static_cast<long double>(s.ScaleFactor));
  if (std::isnan(q) || q > 253 || q < 0) return 254;
  return static_cast<int>(std::nearbyint(q));
}

bool IsReal48(double value) {
  return static_cast<double>(RoundToReal48(value)) == value;
}

TEST(ValueScaling, ExtremesAlwaysCodeTo0And253) {
  // Pairs where the plain (max - min) / 253, rounded to a 6-byte real, puts
  // the largest value above 253 must turn up in this sweep, or the test
  // would not be testing the correction.
  int plain_failures = 0;
  for (int i = 1; i <= 4000; ++i) {
    const float low = static_cast<float>(-3.7 * i);
    const float high = static_cast<float>(1.3 + 0.77 * i * i);
    const long double plain =
        RoundToReal48(static_cast<double>((static_cast<long double>(high) - low) / 253));
    if ((static_cast<long double>(high) - low) / plain > 253) ++plain_failures;

    const ValueScaling s = ChooseValueScaling(low, high);
    ASSERT_EQ(CodeOf(low, s), 0) << low << " " << high;
    ASSERT_EQ(CodeOf(high, s), 253) << low << " " << high;
    ASSERT_TRUE(IsReal48(s.ScaleFactor) && IsReal48(s.ScaleOffset));
  }
  EXPECT_GT(plain_failures, 0);
}

struct ScalingCase {
  const char* label;
  float low;
  float high;
  double factor;  // NaN: only the codes are checked
  double offset;
};

class ValueScalingCases : public ::testing::TestWithParam<ScalingCase> {};

TEST_P(ValueScalingCases, GivesTheExpectedFactorAndCodes) {
  const ScalingCase& c = GetParam();
  const ValueScaling s = ChooseValueScaling(c.low, c.high);
  if (!std::isnan(c.factor)) {
    EXPECT_EQ(s.ScaleFactor, c.factor);
  }
  if (!std::isnan(c.offset)) {
    EXPECT_EQ(s.ScaleOffset, c.offset);
  }
  if (c.high >= c.low) {
    EXPECT_EQ(CodeOf(c.low, s), 0);
    EXPECT_EQ(CodeOf(c.high, s), c.high > c.low ? 253 : 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Scaling, ValueScalingCases,
                         ::testing::Values(ScalingCase{"Plain", 0.0f, 253.0f, 1.0, 0.0},
                                           ScalingCase{"AllEqual", 7.25f, 7.25f, 1.0, 7.25},
                                           ScalingCase{"AllEqualNegative", -3e9f, -3e9f, 1.0, -3e9},
                                           ScalingCase{"NoValidValue", 1.0f, -1.0f, 1.0, 0.0},
                                           ScalingCase{"BelowTheMarker", -5e7f, -2e7f, NAN, -5e7},
                                           ScalingCase{"BeyondTheReaderStartValues", 2e11f, 3e11f,
                                                       NAN, static_cast<double>(2e11f)},
                                           ScalingCase{"TinyNegativeMinimum", -1e-40f, 1.0f, NAN,
                                                       NAN},
                                           ScalingCase{"TinyRange", 1.0f, 1.0000001f, NAN, 1.0}),
                         [](const ::testing::TestParamInfo<ScalingCase>& info) {
                           return std::string(info.param.label);
                         });

// --- Images, decoded from their bytes ---------------------------------------------------

// Converts `values` (NaN = no data) and checks every pixel against them.
void ConvertAndCheck(const TempDir& dir, const std::string& template_path, int cols, int rows,
                     const std::vector<double>& values) {
  const std::string input = dir.file("grid.asc");
  const std::string output = dir.file("grid.img");
  WriteText(input, GridText(cols, rows, -20.0, 5.0, 0.1, values));
  TKovaImg image;
  ConversionSettings settings;
  settings.template_path = template_path;
  Converter(image, settings, dir.path().string()).Run(input, output);

  const RawImage raw = ReadRawImage(output);
  ASSERT_EQ(raw.bytes.size(), 512u + static_cast<std::size_t>(cols) * rows);
  ASSERT_EQ(raw.Columns(), cols);
  ASSERT_EQ(raw.Rows(), rows);
  const double factor = raw.ScaleFactor();
  const double offset = raw.ScaleOffset();
  ASSERT_NE(factor, 0.0);
  double valid_min = std::numeric_limits<double>::infinity();
  double valid_max = -valid_min;
  for (double v : values) {
    if (std::isnan(v)) continue;
    valid_min = std::min(valid_min, static_cast<double>(static_cast<float>(v)));
    valid_max = std::max(valid_max, static_cast<double>(static_cast<float>(v)));
  }
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const double v = values[static_cast<std::size_t>(r) * cols + c];
      const int code = raw.Pixel(r, c);
      SCOPED_TRACE("row " + std::to_string(r) + " column " + std::to_string(c));
      if (std::isnan(v)) {
        ASSERT_EQ(code, 254);
        continue;
      }
      ASSERT_LE(code, 253);
      const double stored = static_cast<float>(v);
      ASSERT_LE(std::fabs(code * factor + offset - stored), factor / 2 * (1 + 1e-9)) << v;
      if (stored == valid_min) {
        ASSERT_EQ(code, 0);
      }
      if (stored == valid_max && valid_max > valid_min) {
        ASSERT_EQ(code, 253);
      }
    }
  }
}

class ImageContents : public ::testing::Test {
 protected:
  ImageContents() { WriteTemplate(template_path_); }
  RecordingUi ui_;
  TempDir dir_;
  std::string template_path_ = dir_.file("template.img");
};

TEST_F(ImageContents, ARainfallFieldDecodesWithinHalfAStep) {
  const int cols = 60;
  const int rows = 40;
  std::vector<double> values;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const bool lake = (c - 8) * (c - 8) + 4 * (r - 6) * (r - 6) < 30;
      values.push_back(
          lake ? kNoData
               : std::round((12.0 +
                             55.0 * std::exp(-((c - 30) * (c - 30) + (r - 20) * (r - 20)) / 120.0) +
                             3.0 * std::sin(c * 0.7 + r)) *
                            10.0) /
                     10.0);
    }
  }
  ConvertAndCheck(dir_, template_path_, cols, rows, values);
}

TEST_F(ImageContents, TheLargestGridIsWrittenWhole) {
  std::vector<double> values;
  for (int i = 0; i < 800 * 300; ++i) values.push_back(i % 997 == 0 ? kNoData : (i % 1237) * 0.25);
  ConvertAndCheck(dir_, template_path_, 800, 300, values);
}

TEST_F(ImageContents, AllEqualValuesDecodeToThatValue) {
  ConvertAndCheck(dir_, template_path_, 3, 2, {4.5, 4.5, kNoData, 4.5, 4.5, 4.5});
  const RawImage raw = ReadRawImage(dir_.file("grid.img"));
  EXPECT_EQ(raw.ScaleOffset(), 4.5);
  EXPECT_EQ(raw.Pixel(0, 0), 0);
  EXPECT_EQ(raw.Pixel(0, 2), 254);
}

TEST_F(ImageContents, AGridWithoutValidValuesIsAllNoData) {
  ConvertAndCheck(dir_, template_path_, 4, 3, std::vector<double>(12, kNoData));
  const RawImage raw = ReadRawImage(dir_.file("grid.img"));
  for (std::size_t i = 512; i < raw.bytes.size(); ++i) ASSERT_EQ(raw.bytes[i], 254);
}

TEST_F(ImageContents, NoDataNeverCollidesWithValuesBelowTheMarker) {
  ConvertAndCheck(dir_, template_path_, 4, 2,
                  {-5e7, -2e7, kNoData, -1.5e7, kNoData, -3e7, -4e7, -2.5e7});
  const RawImage raw = ReadRawImage(dir_.file("grid.img"));
  EXPECT_EQ(raw.Pixel(0, 0), 0);
  EXPECT_EQ(raw.Pixel(0, 2), 254);
  EXPECT_EQ(raw.Pixel(1, 0), 254);
}

TEST_F(ImageContents, AValidValueEqualToTheMarkerIsData) {
  ConvertAndCheck(dir_, template_path_, 3, 2, {-1e7, -2e7, kNoData, 0, -5e6, kNoData});
  const RawImage raw = ReadRawImage(dir_.file("grid.img"));
  EXPECT_EQ(raw.Pixel(0, 1), 0);
  EXPECT_EQ(raw.Pixel(1, 0), 253);
  EXPECT_NE(raw.Pixel(0, 0), 254) << "-10000000 written in the grid is a value";
  EXPECT_EQ(raw.Pixel(0, 2), 254);
  EXPECT_EQ(raw.Pixel(1, 2), 254);
}

TEST_F(ImageContents, ValuesBeyondTheReaderStartValuesUseTheWholeCodeRange) {
  ConvertAndCheck(dir_, template_path_, 3, 1, {-3e9, -2.5e9, -2e9});
  const RawImage raw = ReadRawImage(dir_.file("grid.img"));
  EXPECT_EQ(raw.Pixel(0, 2), 253);
  ConvertAndCheck(dir_, template_path_, 3, 1, {2e11, 2.5e11, 3e11});
  EXPECT_EQ(ReadRawImage(dir_.file("grid.img")).Pixel(0, 0), 0);
}

TEST_F(ImageContents, ExtremesCodeTo0And253WhereThePlainFactorWouldFail) {
  // Look for a pair whose plain factor puts the maximum above 253.
  for (int i = 1; i <= 4000; ++i) {
    const float low = static_cast<float>(-3.7 * i);
    const float high = static_cast<float>(1.3 + 0.77 * i * i);
    const long double plain =
        RoundToReal48(static_cast<double>((static_cast<long double>(high) - low) / 253));
    if ((static_cast<long double>(high) - low) / plain <= 253) continue;
    ConvertAndCheck(dir_, template_path_, 3, 1, {low, (low + high) / 2, high});
    const RawImage raw = ReadRawImage(dir_.file("grid.img"));
    EXPECT_EQ(raw.Pixel(0, 0), 0);
    EXPECT_EQ(raw.Pixel(0, 2), 253);
    return;
  }
  FAIL() << "no pair found that the plain factor gets wrong";
}

TEST_F(ImageContents, TheOutputKeepsTheTemplateProjectionAndType200Codes) {
  WriteTemplate(template_path_, /*image_type=*/10, /*projection=*/6);
  const std::string input = dir_.file("g.asc");
  WriteText(input, GridText(2, 2, 0, 0, 1000, {1, 2, 3, 4}));
  TKovaImg image;
  Converter(image, ConversionSettings{template_path_, std::nullopt}, dir_.path().string())
      .Run(input, dir_.file("g.img"));
  const RawImage raw = ReadRawImage(dir_.file("g.img"));
  EXPECT_EQ(raw.ProjectionType(), 6);
  EXPECT_EQ(raw.ImageType(), 200);
  EXPECT_EQ(raw.Pixel(0, 0), 0);
  EXPECT_EQ(raw.Pixel(1, 1), 253);
}

}  // namespace
}  // namespace kova
