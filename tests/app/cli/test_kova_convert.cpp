// `kova convert` through the built program: inputs and patterns, -o, the
// no-overwrite rule, a series that stops or goes on, usage errors, messages
// that say where, and a parallel series that equals the sequential one.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>  // open of the files the interrupted run writes to
#include <sys/wait.h>
#include <unistd.h>  // fork, exec: a run that the test interrupts
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/kova_run.h"
#include "support/temp_dir.h"

namespace kova::testing {
namespace {

namespace fs = std::filesystem;

// A folder of grids r1.asc ... rN.asc; those named in `bad` hold `bad_text`.
class KovaConvert : public KovaTest {
 protected:
  void WriteSeries(int count, const std::vector<int>& bad = {},
                   const std::string& bad_text = "ncols x\n") {
    for (int i = 1; i <= count; ++i) {
      const bool is_bad = std::find(bad.begin(), bad.end(), i) != bad.end();
      std::string name = "r";  // appended: GCC 12 warns wrongly (-Wrestrict) on "r" + ...
      name += std::to_string(i);
      WriteText(Path(name + ".asc"), is_bad ? bad_text : kSmallGrid);
    }
  }
  // `text` with each "DIR/" standing for the folder, as the program names it.
  std::string InFolder(std::string text) const {
    for (std::size_t at; (at = text.find("DIR/")) != std::string::npos;) {
      text.replace(at, 4, std::string(dir_.path()) + Native("/"));
    }
    return text;
  }

  // Every file of the folder with its bytes.
  std::map<std::string, std::vector<std::uint8_t>> Files() const {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      files[entry.path().filename().string()] = ReadAllBytes(entry.path().string());
    }
    return files;
  }
  std::vector<std::string> Images() const { return FileNames(dir_.path(), ".img"); }
};

// --- Inputs, patterns and -o ------------------------------------------------

struct SeriesCase {
  const char* label;
  std::vector<std::string> args;
  std::string out;
  std::vector<std::string> images;
};

class KovaConvertInputs : public KovaConvert, public ::testing::WithParamInterface<SeriesCase> {};

TEST_P(KovaConvertInputs, CreatesTheImagesBesideTheirGrids) {
  WriteSeries(3);
  WriteText(Path("R4.ASC"), kSmallGrid);
  WriteText(Path(".hidden.asc"), kSmallGrid);
  const KovaResult result = Kova(GetParam().args);
  EXPECT_EQ(result.out, InFolder(GetParam().out));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(Images(), GetParam().images);
}

INSTANTIATE_TEST_SUITE_P(
    Series, KovaConvertInputs,
    ::testing::Values(
        // What the shell makes of an unquoted *.asc: every file converted,
        // none written over another.
        SeriesCase{"ShellExpanded",
                   {"convert", "r1.asc", "r2.asc", "r3.asc"},
                   "Number of images created: 3\n",
                   {"r1.img", "r2.img", "r3.img"}},
        SeriesCase{"QuotedPattern",
                   {"convert", "*.asc"},
                   "Number of images created: 4\n",
                   {"R4.img", "r1.img", "r2.img", "r3.img"}},
        SeriesCase{"PatternMatchingOne",
                   {"convert", "r2*"},
                   "Image DIR/r2.img created successfully\n",
                   {"r2.img"}},
        SeriesCase{"TwoMasks",
                   {"convert", "r1.*;r3.*"},
                   "Number of images created: 2\n",
                   {"r1.img", "r3.img"}},
        SeriesCase{"OverlappingMasksConvertEachFileOnce",
                   {"convert", "*.asc;r1*;R*"},
                   "Number of images created: 4\n",
                   {"R4.img", "r1.img", "r2.img", "r3.img"}},
        SeriesCase{"PatternAndFile",
                   {"convert", "r1*", "r3.asc"},
                   "Number of images created: 2\n",
                   {"r1.img", "r3.img"}},
        SeriesCase{
            "SingleFile", {"convert", "r1.asc"}, "Image r1.img created successfully\n", {"r1.img"}},
        SeriesCase{"OutputAsTyped",
                   {"convert", "r1.asc", "-o", "plain"},
                   "Image plain created successfully\n",
                   {}},
        SeriesCase{"OutputLongOption",
                   {"convert", "--output", "x.img", "r2.asc"},
                   "Image x.img created successfully\n",
                   {"x.img"}},
        SeriesCase{"Quiet", {"convert", "-q", "r1.asc", "r2.asc"}, "", {"r1.img", "r2.img"}},
        SeriesCase{"SyncedToDisk",
                   {"convert", "--sync", "r1.asc", "r2.asc"},
                   "Number of images created: 2\n",
                   {"r1.img", "r2.img"}},
        SeriesCase{"Verbose",
                   {"convert", "-v", "r1.asc"},
                   "r1.asc -> r1.img, 3 x 2, values 1 to 6\nImage r1.img created successfully\n",
                   {"r1.img"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(KovaConvert, OutputWithoutExtensionIsWrittenAsTyped) {
  WriteSeries(1);
  ASSERT_EQ(Kova({"convert", "r1.asc", "-o", "plain"}).code, 0);
  EXPECT_TRUE(fs::exists(Path("plain")));
  EXPECT_FALSE(fs::exists(Path("plain.img")));
}

// -o naming a folder puts the image of a single input there under the
// input's name, with or without the closing slash.
class KovaConvertIntoFolder : public KovaConvert,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(KovaConvertIntoFolder, WritesTheImageInIt) {
  WriteSeries(1);
  fs::create_directory(Path("out"));
  const KovaResult result = Kova({"convert", "r1.asc", "-o", GetParam()});
  // The folder's own separator, else the system's.
  const std::string image =
      std::string(GetParam()).back() == '/' ? "out/r1.img" : Native("out/r1.img");
  EXPECT_EQ(result.out, "Image " + image + " created successfully\n");
  EXPECT_EQ(result.code, 0);
  EXPECT_FALSE(fs::exists(Path("r1.img")));
  ASSERT_EQ(Kova({"convert", "r1.asc"}).code, 0);
  EXPECT_EQ(ReadAllBytes(Path("out/r1.img")), ReadAllBytes(Path("r1.img")));
}

INSTANTIATE_TEST_SUITE_P(Folders, KovaConvertIntoFolder, ::testing::Values("out", "out/"));

TEST_F(KovaConvert, MasksAfterTheFirstShareItsFolder) {
  fs::create_directory(Path("sub"));
  WriteText(Path("sub/a.asc"), kSmallGrid);
  WriteText(Path("sub/b.grd"), kSmallGrid);
  WriteText(Path("b.grd"), kSmallGrid);
  const KovaResult result = Kova({"convert", "sub/*.asc;*.grd"});
  EXPECT_EQ(result.out, "Number of images created: 2\n");
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_TRUE(fs::exists(Path("sub/a.img")));
  EXPECT_TRUE(fs::exists(Path("sub/b.img")));
  EXPECT_FALSE(fs::exists(Path("b.img")));
}

// --- The no-overwrite rule --------------------------------------------------

TEST_F(KovaConvert, AnOutputThatIsNotAnImageIsKeptUnlessForced) {
  WriteSeries(1);
  WriteText(Path("r1.img"), "my notes");
  const KovaResult refused = Kova({"convert", "r1.asc"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err,
            "kova: The output r1.img exists and is not a Kova image; --force replaces it\n");
  EXPECT_EQ(ReadText(Path("r1.img")), "my notes");

  const KovaResult forced = Kova({"convert", "--force", "r1.asc"});
  EXPECT_EQ(forced.code, 0) << forced.err;
  const auto image = ReadAllBytes(Path("r1.img"));
  EXPECT_EQ(image.size(), 512u + 6u);

  // An existing image is replaced, as reruns expect.
  WriteText(Path("r1.asc"),
            "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
            "NODATA_value -9\n5 6\n");
  const KovaResult rerun = Kova({"convert", "r1.asc"});
  EXPECT_EQ(rerun.code, 0) << rerun.err;
  EXPECT_EQ(ReadAllBytes(Path("r1.img")).size(), 512u + 2u);
}

// --- A failing file: stop, or go on ----------------------------------------

struct FailureCase {
  const char* label;
  std::vector<std::string> args;
  std::string out;
  std::string err;  // DIR: the folder
  std::vector<std::string> images;
};

class KovaConvertFailures : public KovaConvert,
                            public ::testing::WithParamInterface<FailureCase> {};

// r3 of five grids is bad. The same result whether one or several files are
// converted at once: the same images, messages, order and exit code.
TEST_P(KovaConvertFailures, SameResultForEveryNumberOfJobs) {
  WriteSeries(5, {3},
              "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
              "NODATA_value -9\n1 2 3\n4 x 6\n");
  const std::string err = InFolder(GetParam().err);
  std::map<std::string, std::vector<std::uint8_t>> sequential;
  for (const char* jobs : {"1", "2", "4"}) {
    SCOPED_TRACE(std::string("--jobs ") + jobs);
    std::vector<std::string> args = GetParam().args;
    args.insert(args.begin() + 1, {"--jobs", jobs});
    for (const std::string& image : Images()) fs::remove(Path(image));
    const KovaResult result = Kova(args);
    EXPECT_EQ(result.out, GetParam().out);
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(Images(), GetParam().images);
    if (sequential.empty()) {
      sequential = Files();
    } else {
      EXPECT_EQ(Files(), sequential);  // byte for byte, and no stray files
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Series, KovaConvertFailures,
    ::testing::Values(
        FailureCase{"Stops",
                    {"convert", "*.asc"},
                    "",
                    "kova: 'x' is not a valid floating point value: DIR/r3.asc, line 8, column 3\n"
                    "kova: stopped at file 3 of 5; 2 images created\n",
                    {"r1.img", "r2.img"}},
        FailureCase{"StopsShellExpanded",
                    {"convert", "r1.asc", "r2.asc", "r3.asc", "r4.asc", "r5.asc"},
                    "",
                    "kova: 'x' is not a valid floating point value: r3.asc, line 8, column 3\n"
                    "kova: stopped at file 3 of 5; 2 images created\n",
                    {"r1.img", "r2.img"}},
        FailureCase{"KeepsGoing",
                    {"convert", "--keep-going", "*.asc"},
                    "",
                    "kova: 'x' is not a valid floating point value: DIR/r3.asc, line 8, column 3\n"
                    "kova: 4 of 5 images created; 1 failed\n",
                    {"r1.img", "r2.img", "r4.img", "r5.img"}},
        FailureCase{"KeepsGoingVerbose",
                    {"convert", "--keep-going", "-v", "r1.asc", "r2.asc", "r3.asc", "r4.asc"},
                    "r1.asc -> r1.img, 3 x 2, values 1 to 6\n"
                    "r2.asc -> r2.img, 3 x 2, values 1 to 6\n"
                    "r4.asc -> r4.img, 3 x 2, values 1 to 6\n",
                    "kova: 'x' is not a valid floating point value: r3.asc, line 8, column 3\n"
                    "kova: 3 of 4 images created; 1 failed\n",
                    {"r1.img", "r2.img", "r4.img"}}),
    [](const auto& info) { return std::string(info.param.label); });

// Ctrl-C in a long series: the images created so far stay whole, no
// temporary file is left, and the run says how far it got.
#ifndef _WIN32  // a console Ctrl-C cannot be sent to one process alone there
TEST_F(KovaConvert, CtrlCSaysHowFarTheSeriesGot) {
  std::string grid = "ncols 100\nnrows 100\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  for (int i = 1; i <= 100 * 100; ++i) grid += i % 100 == 0 ? "7.5\n" : "7.25 ";
  constexpr int kFiles = 1000;
  for (int i = 0; i < kFiles; ++i) {
    std::string name = "g";  // appended: GCC 12 warns wrongly (-Wrestrict) on a chain of "+"
    name += std::to_string(1000 + i);
    name += ".asc";
    WriteText(Path(name), grid);
  }

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int err = ::open(Path(".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int out = ::open("/dev/null", O_WRONLY);
    if (::chdir(dir_.path().c_str()) != 0 || err < 0 || out < 0 || ::dup2(err, 2) < 0 ||
        ::dup2(out, 1) < 0) {
      ::_exit(99);
    }
    ::execl(KOVA_PROGRAM, KOVA_PROGRAM, "convert", "--jobs", "1", "g*.asc",
            static_cast<char*>(nullptr));
    ::_exit(98);
  }
  // Interrupted once the first image is there.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(Path("g1000.img")) && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 130);

  const std::string err = ReadText(Path(".err"));
  std::smatch match;
  ASSERT_TRUE(std::regex_match(err, match,
                               std::regex("kova: interrupted at file ([0-9]+) of 1000; ([0-9]+) "
                                          "images? created\n")))
      << err;
  const int at = std::stoi(match[1]);
  const int created = std::stoi(match[2]);
  EXPECT_EQ(created, at - 1);
  EXPECT_LT(at, kFiles);
  const std::vector<std::string> images = Images();
  ASSERT_EQ(images.size(), static_cast<std::size_t>(created));
  for (const std::string& image : images) {
    EXPECT_EQ(fs::file_size(Path(image)), 512u + 100u * 100u) << image;
  }
  EXPECT_EQ(Files().size(), static_cast<std::size_t>(kFiles + created + 1));  // and .err
}
#endif

TEST_F(KovaConvert, APatternThatMatchesNothingSaysSoAndFails) {
  const KovaResult result = Kova({"convert", "*.asc"});
  EXPECT_EQ(result.out, "Number of images created: 0\n");
  EXPECT_EQ(result.err, "kova: the pattern *.asc matched no file\n");
  EXPECT_EQ(result.code, 1);
}

// --- Messages that say where -------------------------------------------------

struct WhereCase {
  const char* label;
  std::vector<std::string> args;
  std::string err;  // DIR: the folder
};

// The pattern a folder's refusal suggests uses the system's separator.
#ifdef _WIN32
#define kFolderSeparator "\\"
#else
#define kFolderSeparator "/"
#endif

class KovaConvertWhere : public KovaConvert, public ::testing::WithParamInterface<WhereCase> {};

TEST_P(KovaConvertWhere, TheMessageNamesTheFile) {
  WriteSeries(1);
  fs::create_directory(Path("ro"));
  WriteText(Path("bad.asc"),
            "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
            "NODATA_value -9\n1 a\x7f\xff\n");
  const std::string err = InFolder(GetParam().err);
  const KovaResult result = Kova(GetParam().args);
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.code, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, KovaConvertWhere,
    ::testing::Values(
        WhereCase{"MissingInput", {"convert", "none.asc"}, "kova: File not found: none.asc\n"},
        WhereCase{
            "MissingFolder", {"convert", "no/none.asc"}, "kova: Invalid filename: no/none.asc\n"},
        WhereCase{"MissingPatternFolder",
                  {"convert", "nofolder/*.asc"},
                  "kova: File not found: folder DIR/nofolder/\n"},
        WhereCase{"MissingTemplate",
                  {"convert", "--template", "none.img", "r1.asc"},
                  "kova: File not found: template none.img (converting r1.asc)\n"},
        WhereCase{"MissingTemplateFolder",
                  {"convert", "--template", "no/t.img", "r1.asc"},
                  "kova: Invalid filename: template no/t.img (converting r1.asc)\n"},
        WhereCase{"OutputFolderMissing",
                  {"convert", "r1.asc", "-o", "nofolder/r1.img"},
                  "kova: The folder nofolder does not exist: output nofolder/r1.img (converting "
                  "r1.asc)\n"},
        WhereCase{"OutputFolderMissingWithSlash",
                  {"convert", "r1.asc", "-o", "no/folder/"},
                  "kova: The folder no/folder/ does not exist: output no/folder/ (converting "
                  "r1.asc)\n"},
        WhereCase{"InputIsAFolder",
                  {"convert", "ro/"},
                  "kova: ro/ is a folder; its grids are converted with a pattern such as "
                  "\"ro" kFolderSeparator "*.asc\"\n"},
        WhereCase{"InputFolderInASeries",
                  {"convert", "--keep-going", "r1.asc", "ro"},
                  "kova: ro is a folder; its grids are converted with a pattern such as "
                  "\"ro" kFolderSeparator "*.asc\"\nkova: 1 of 2 images created; 1 failed\n"},
        WhereCase{"ControlBytesEscaped",
                  {"convert", "bad.asc"},
                  "kova: 'a\\x7f\\xff' is not a valid floating point value: bad.asc, line 7, "
                  "column 3\n"}),
    [](const auto& info) { return std::string(info.param.label); });

// --- Usage ---------------------------------------------------------------------

struct UsageCase {
  const char* label;
  std::vector<std::string> args;
  std::string first_line;  // the first line of standard error
};

class KovaUsage : public KovaConvert, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(KovaUsage, ExitsWithTwoNamingTheProblem) {
  WriteSeries(2);
  const KovaResult result = Kova(GetParam().args);
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1), GetParam().first_line + "\n");
  EXPECT_TRUE(Images().empty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, KovaUsage,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "kova: A subcommand is required"},
        UsageCase{"UnknownCommand",
                  {"frob"},
                  "kova: unknown command 'frob'; the commands are convert, info, locate, preview, "
                  "template, export, help"},
        UsageCase{"UnknownOption",
                  {"convert", "--frob", "r1.asc"},
                  "kova: The following argument was not expected: --frob"},
        UsageCase{"NoInput", {"convert"}, "kova: INPUT is required"},
        UsageCase{"OutputWithTwoInputs",
                  {"convert", "r1.asc", "r2.asc", "-o", "x.img"},
                  "kova: -o names the image of a single input file; with several inputs each "
                  "image is written beside its grid"},
        UsageCase{"OutputWithPattern",
                  {"convert", "*.asc", "-o", "x.img"},
                  "kova: -o names the image of a single input file; with a pattern each image "
                  "is written beside its grid"},
        UsageCase{"QuietAndVerbose",
                  {"convert", "-q", "-v", "r1.asc"},
                  "kova: --quiet excludes --verbose"},
        UsageCase{"NoJobs",
                  {"convert", "--jobs", "0", "r1.asc"},
                  "kova: --jobs: Value 0 not in range 1 to 1024"},
        UsageCase{"HelpOfUnknown", {"help", "frob"}, "kova: unknown command 'frob'"},
        UsageCase{"MasksInTwoFolders",
                  {"convert", "--keep-going", "2024/*.asc;2025/*.asc;*.grd"},
                  "kova: the masks after ';' share the folder of the first one (2024/); give a "
                  "pattern of its own for each folder: \"2024/*.asc\" \"2025/*.asc\" "
                  "\"2024/*.grd\""}),
    [](const auto& info) { return std::string(info.param.label); });

struct HelpCase {
  const char* label;
  std::vector<std::string> args;
  std::string shown;  // a piece of the help text
};

class KovaHelp : public KovaConvert, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(KovaHelp, PrintsTheHelpOnStandardOutput) {
  const KovaResult result = Kova(GetParam().args);
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find(GetParam().shown), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, KovaHelp,
    ::testing::Values(HelpCase{"Help", {"help"}, "kova convert \"data/*.asc\""},
                      HelpCase{"HelpListsTheCommands", {"help"}, "Subcommands:\n  convert "},
                      HelpCase{"HelpConvertSaysTheMaskRule",
                               {"help", "convert"},
                               "masks separated by ; share the folder of\nthe first one"},
                      HelpCase{
                          "HelpConvert", {"help", "convert"}, "kova convert \"data/rain_*.asc\""},
                      HelpCase{"ConvertDashHelp", {"convert", "--help"}, "--keep-going"},
                      HelpCase{"HelpLocate", {"help", "locate"}, "COLUMN"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kova::testing
