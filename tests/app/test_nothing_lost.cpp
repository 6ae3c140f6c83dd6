// The built `kova` program under faults: it never writes over its input or
// the template, never reads a file that does not end, and an output is either
// its old bytes or its complete new bytes whether the run is killed, races
// another run or finds the disk full.
#include <fcntl.h>  // open
#include <gtest/gtest.h>
#include <signal.h>     // kill
#include <sys/mount.h>  // mount, umount2
#include <sys/stat.h>   // mkfifo
#include <sys/wait.h>   // waitpid
#include <unistd.h>     // fork, execv, link

#include <algorithm>
#include <chrono>
#include <cstdlib>  // getenv
#include <filesystem>
#include <iostream>  // the trial summary
#include <string>
#include <thread>
#include <vector>

#include "support/conversion.h"

namespace kova {
namespace {

namespace fs = std::filesystem;
using testing::GridText;
using testing::ReadAllBytes;
using testing::TempDir;
using testing::WriteTemplate;
using testing::WriteText;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// The program under test; KOVA_PROGRAM names another build to try the same
// faults on.
std::string KovaProgram() {
  const char* other = std::getenv("KOVA_PROGRAM");
  return other != nullptr && *other != '\0' ? other : KOVA_PROGRAM_PATH;
}

struct Child {
  pid_t pid = -1;
  std::string err_path;
};

// Starts `kova args...` in `cwd`, its standard error into a file there.
Child StartKova(const std::vector<std::string>& args, const std::string& cwd,
                const std::string& err_name = ".stderr") {
  Child child;
  child.err_path = cwd + "/" + err_name;
  const std::string program = KovaProgram();
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  child.pid = ::fork();
  if (child.pid == 0) {
    const int err = ::open(child.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int out = ::open("/dev/null", O_WRONLY);
    if (::chdir(cwd.c_str()) != 0 || err < 0 || out < 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return child;
}

// Waits for the child; after `timeout` it is killed. The exit code, or 128
// plus the signal that ended it.
int Wait(const Child& child, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  while (::waitpid(child.pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(child.pid, SIGKILL);
      ::waitpid(child.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Outcome {
  int code;
  std::string err;
};

Outcome RunKova(const std::vector<std::string>& args, const std::string& cwd) {
  const Child child = StartKova(args, cwd);
  const int code = Wait(child);
  const Bytes err = ReadAllBytes(child.err_path);
  fs::remove(child.err_path);
  return {code, std::string(err.begin(), err.end())};
}

// Temporary files left anywhere below `dir`.
std::vector<std::string> LeftoverTemporaryFiles(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().extension() == ".tmp") found.push_back(entry.path().string());
  }
  return found;
}

// A grid of cols x rows whose values depend on `seed`.
std::string Grid(int cols, int rows, int seed) {
  std::vector<double> values(static_cast<std::size_t>(cols) * rows);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<double>((i * 7 + static_cast<std::size_t>(seed) * 13) % 1000) / 10;
  }
  return GridText(cols, rows, 5.0 + seed, 40.0, 0.1, values);
}

// --- Refusals ----------------------------------------------------------------

struct RefusalCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;  // part of what standard error says
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class Refusal : public ::testing::TestWithParam<RefusalCase> {
 protected:
  void SetUp() override {
    fs::create_directories(dir.path() / "sub");
    fs::create_directories(dir.path() / "p");
    WriteText(dir.file("a.asc"), Grid(3, 2, 1));
    WriteText(dir.file("p/x.img"), Grid(3, 2, 2));  // a grid with an image's name
    WriteTemplate(dir.file("t.img"));
    ASSERT_EQ(::link(dir.file("a.asc").c_str(), dir.file("hard.asc").c_str()), 0);
    fs::create_symlink("a.asc", dir.path() / "soft.asc");
    fs::create_symlink("t.img", dir.path() / "tl.img");
    ASSERT_EQ(::mkfifo(dir.file("fifo.asc").c_str(), 0644), 0);
  }
  TempDir dir;
};

TEST_P(Refusal, StopsBeforeWritingAnything) {
  const std::vector<std::string> kept = {"a.asc", "p/x.img", "t.img"};
  std::vector<Bytes> before;
  for (const std::string& name : kept) before.push_back(ReadAllBytes(dir.file(name)));
  std::vector<std::string> args = GetParam().args;
  if (std::find(args.begin(), args.end(), "--template") == args.end()) {
    args.insert(args.end(), {"--template", "t.img"});
  }

  const Outcome outcome = RunKova(args, dir.path().string());
  EXPECT_EQ(outcome.code, 1);
  EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(ReadAllBytes(dir.file(kept[i])), before[i]) << kept[i] << " was changed";
  }
  EXPECT_FALSE(fs::exists(dir.file("new.img")));
  EXPECT_TRUE(LeftoverTemporaryFiles(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kova, Refusal,
    ::testing::Values(
        RefusalCase{"SameName",
                    {"convert", "a.asc", "-o", "a.asc"},
                    "The output a.asc is the same file as the input a.asc"},
        RefusalCase{"DotForm",
                    {"convert", "a.asc", "-o", "./a.asc"},
                    "The output ./a.asc is the same file as the input a.asc"},
        RefusalCase{"DotDotForm",
                    {"convert", "a.asc", "-o", "sub/../a.asc"},
                    "The output sub/../a.asc is the same file as the input a.asc"},
        RefusalCase{"HardLink",
                    {"convert", "a.asc", "-o", "hard.asc"},
                    "The output hard.asc is the same file as the input a.asc"},
        RefusalCase{"SymbolicLink",
                    {"convert", "soft.asc", "-o", "a.asc"},
                    "The output a.asc is the same file as the input soft.asc"},
        RefusalCase{"Template",
                    {"convert", "a.asc", "-o", "t.img"},
                    "The output t.img is the same file as the template t.img"},
        RefusalCase{"TemplateThroughALink",
                    {"convert", "a.asc", "-o", "tl.img"},
                    "The output tl.img is the same file as the template t.img"},
        RefusalCase{
            "PatternOntoItself", {"convert", "p/*"}, "/p/x.img is the same file as the input"},
        RefusalCase{"DeviceInput", {"convert", "/dev/zero", "-o", "new.img"}, "Not a regular file"},
        RefusalCase{"FifoInput", {"convert", "fifo.asc", "-o", "new.img"}, "Not a regular file"},
        RefusalCase{"DeviceTemplate",
                    {"convert", "a.asc", "-o", "new.img", "--template", "/dev/zero"},
                    "Not a regular file"},
        RefusalCase{"FifoTemplate",
                    {"convert", "a.asc", "-o", "new.img", "--template", "fifo.asc"},
                    "Not a regular file"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Outputs whole or not at all -----------------------------------------------

// A series of grids in `dir`, its template, the images a complete run makes
// of them and the older images that stand in their place before the run.
class Series : public ::testing::Test {
 protected:
  static constexpr int kFiles = 5;

  struct Files {
    TempDir dir;
    std::vector<Bytes> old_images;
    std::vector<Bytes> new_images;
    std::chrono::microseconds run_time{};
  };

  // Made once for all tests of the suite; each test leaves the grids and the
  // template as they are.
  static void SetUpTestSuite() {
    files = new Files;
    const std::string at = files->dir.path().string();
    WriteTemplate(files->dir.file("t.img"));
    for (int i = 0; i < kFiles; ++i) WriteText(GridName(i), Grid(800, 300, 100 + i));
    ASSERT_EQ(RunKova({"convert", "*.asc", "--template", "t.img"}, at).code, 0);
    for (int i = 0; i < kFiles; ++i) {
      files->old_images.push_back(ReadAllBytes(ImageName(i)));
      WriteText(GridName(i), Grid(800, 300, i));
    }
    const auto start = Clock::now();
    ASSERT_EQ(RunKova({"convert", "*.asc", "--template", "t.img"}, at).code, 0);
    files->run_time = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    for (int i = 0; i < kFiles; ++i) files->new_images.push_back(ReadAllBytes(ImageName(i)));
  }
  static void TearDownTestSuite() {
    delete files;
    files = nullptr;
  }
  void SetUp() override { ASSERT_EQ(files->new_images.size(), std::size_t{kFiles}); }

  // "g<i><extension>" in the folder of the series.
  static std::string FileOf(int i, const char* extension) {
    std::string name = "g";
    name += std::to_string(i);
    name += extension;
    return files->dir.file(name);
  }
  static std::string GridName(int i) { return FileOf(i, ".asc"); }
  static std::string ImageName(int i) { return FileOf(i, ".img"); }
  std::string Image(int i) const { return ImageName(i); }

  static inline Files* files = nullptr;
  TempDir& dir = files->dir;
  const std::vector<Bytes>& old_images = files->old_images;
  const std::vector<Bytes>& new_images = files->new_images;
  const std::chrono::microseconds run_time = files->run_time;
};

TEST_F(Series, AKilledRunLeavesEveryOutputOldOrNewAndNoTemporaryFile) {
  constexpr int kTrials = 40;
  int torn = 0;
  int mixed_trials = 0;  // trials killed between the first and the last image
  int left_behind = 0;
  const std::vector<std::string> series = {"convert", "*.asc", "--template", "t.img"};
  for (int trial = 0; trial < kTrials; ++trial) {
    for (int i = 0; i < kFiles; ++i) testing::WriteAllBytes(Image(i), old_images[i]);
    const Child child = StartKova(series, dir.path().string());
    std::this_thread::sleep_for(run_time * trial / kTrials);
    ::kill(child.pid, SIGKILL);
    Wait(child);
    int renewed = 0;
    for (int i = 0; i < kFiles; ++i) {
      const Bytes now = ReadAllBytes(Image(i));
      if (now == new_images[i]) {
        ++renewed;
      } else if (now != old_images[i]) {
        ++torn;
        ADD_FAILURE() << "trial " << trial << ": " << Image(i) << " is neither old nor new ("
                      << now.size() << " bytes)";
      }
    }
    if (renewed > 0 && renewed < kFiles) ++mixed_trials;
    // Only a kill between the two system calls that put an image in place
    // leaves its temporary file, under the one name the next run removes.
    for (const std::string& leftover : LeftoverTemporaryFiles(dir.path())) {
      ++left_behind;
      EXPECT_TRUE(leftover.ends_with(".img.kova-partial.tmp"))
          << "trial " << trial << ": " << leftover;
    }
  }
  EXPECT_EQ(torn, 0);
  ASSERT_EQ(RunKova(series, dir.path().string()).code, 0);
  EXPECT_TRUE(LeftoverTemporaryFiles(dir.path()).empty());
  std::cout << "killed " << kTrials << " runs of " << run_time.count() << " us: " << mixed_trials
            << " between images, " << torn << " torn outputs, " << left_behind
            << " temporary files left until the next run\n";
}

TEST_F(Series, TwoRunsWritingOneNameLeaveOneCompleteImage) {
  constexpr int kTrials = 12;
  const std::string out = dir.file("shared.img");
  for (int trial = 0; trial < kTrials; ++trial) {
    testing::WriteAllBytes(out, old_images[0]);
    const Child a = StartKova({"convert", "g0.asc", "-o", "shared.img", "--template", "t.img"},
                              dir.path().string(), ".err0");
    const Child b = StartKova({"convert", "g1.asc", "-o", "shared.img", "--template", "t.img"},
                              dir.path().string(), ".err1");
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Wait(b), 0);
    const Bytes now = ReadAllBytes(out);
    EXPECT_TRUE(now == new_images[0] || now == new_images[1])
        << "trial " << trial << ": a mixed image of " << now.size() << " bytes";
  }
  EXPECT_TRUE(LeftoverTemporaryFiles(dir.path()).empty());
}

// A small file system of its own, mounted while the test runs.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const fs::path& where) : where_(where) {
    fs::create_directory(where);
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, "size=512k") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool mounted() const { return mounted_; }

 private:
  fs::path where_;
  bool mounted_ = false;
};

TEST_F(Series, AFullDiskLeavesTheEarlierOutputAndNoTemporaryFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root; not run as root";
  SmallFileSystem small(dir.path() / "small");
  if (!small.mounted()) GTEST_SKIP() << "tmpfs could not be mounted here";
  // An earlier, small image, and room left for less than the new one.
  WriteText(dir.file("small.asc"), Grid(20, 10, 7));
  ASSERT_EQ(RunKova({"convert", "small.asc", "-o", "small/g0.img", "--template", "t.img"},
                    dir.path().string())
                .code,
            0);
  fs::remove(dir.file("small.asc"));
  const std::string out = dir.file("small/g0.img");
  const Bytes earlier = ReadAllBytes(out);
  const auto room = fs::space(dir.path() / "small").available;
  testing::WriteAllBytes(dir.file("small/filler"), Bytes(room - 100 * 1024, 1));

  const Outcome outcome = RunKova(
      {"convert", "g1.asc", "-o", "small/g0.img", "--template", "t.img"}, dir.path().string());
  EXPECT_EQ(outcome.code, 1);
  EXPECT_NE(outcome.err.find("Disk full"), std::string::npos) << outcome.err;
  EXPECT_EQ(ReadAllBytes(out), earlier);
  EXPECT_TRUE(LeftoverTemporaryFiles(dir.path() / "small").empty());
}

}  // namespace
}  // namespace kova
