// Outputs written whole through a temporary file, file identity, and the
// refusal of inputs that are not regular files.
#include "app/platform/safe_output.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include "app/platform/win32/wide.h"  // windows.h: GetShortPathNameW
#else
#include <sys/stat.h>  // mkfifo, umask, chmod
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/file.h"
#include "app/platform/paths.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

namespace fs = std::filesystem;
using testing::ReadAllBytes;
using testing::TempDir;
using testing::WriteText;

// The names in `dir` other than `keep`: leftovers of a temporary file.
std::vector<std::string> OtherNames(const TempDir& dir, const std::vector<std::string>& keep) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = Utf8Path(entry.path().filename());
    if (std::find(keep.begin(), keep.end(), name) == keep.end()) names.push_back(name);
  }
  return names;
}

std::string Text(const std::string& path) {
  const auto bytes = ReadAllBytes(path);
  return {bytes.begin(), bytes.end()};
}

TEST(SafeOutputTest, TheOldContentStaysUntilCommitAndNoTemporaryFileRemains) {
  TempDir dir;
  const std::string out = dir.file("out.img");
  WriteText(out, "old");
  {
    SafeOutput output(out);
    output.Write("new content", 11);
    EXPECT_EQ(Text(out), "old");
    EXPECT_EQ(Text(output.TemporaryPath()), "new content");
#ifndef _WIN32  // Windows has no unnamed files: there it is a hidden name
    EXPECT_TRUE(OtherNames(dir, {"out.img"}).empty()) << "nothing shows before the commit";
#endif
    output.Commit();
  }
  EXPECT_EQ(Text(out), "new content");
  EXPECT_TRUE(OtherNames(dir, {"out.img"}).empty());
}

#ifndef _WIN32  // /proc, and a thread that lets replaced files go
// The handles of the process, as /proc lists them.
std::size_t OpenHandles() {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Replaced outputs are let go by another thread: each replacement leaves the
// new bytes, and every handle of an old file is closed soon after, also when
// more are replaced at once than wait to be closed, and when a hard link
// keeps the old file.
TEST(SafeOutputTest, ReplacedOutputsAreAllLetGo) {
  TempDir dir;
  const std::string out = dir.file("out.img");
  const std::string other_name = dir.file("other.img");
  WriteText(out, "first");
  const std::size_t before = OpenHandles();
  for (int i = 0; i < 200; ++i) {
    if (i == 100) {
      fs::create_hard_link(FileSystemPath(out), FileSystemPath(other_name));
    }
    WriteFileWhole(out, "content " + std::to_string(i));
    ASSERT_EQ(Text(out), "content " + std::to_string(i));
  }
  EXPECT_EQ(Text(other_name), "content 99");
  for (int wait = 0; wait < 500 && OpenHandles() > before; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(OpenHandles(), before);
}
#endif

#ifdef _WIN32
// The temporary file of a killed run has a name on Windows: the next run of
// the same output removes it, but neither the file of a live run nor a
// user's file that merely looks alike.
TEST(SafeOutputTest, TheNextRunRemovesWhatAKilledRunLeft) {
  TempDir dir;
  const std::string out = dir.file("out.img");
  WriteText(dir.file(".out.img.k1lled00.tmp"), "left by a killed run");
  WriteText(dir.file(".out.img.my notes.tmp"), "the user's");
  SafeOutput live(out);
  live.Write("live", 4);
  WriteFileWhole(out, "new");
  EXPECT_EQ(Text(out), "new");
  EXPECT_EQ(OtherNames(dir, {"out.img", ".out.img.my notes.tmp", FileNameOf(live.TemporaryPath())}),
            std::vector<std::string>{});
  live.Commit();
  EXPECT_EQ(Text(out), "live");
}
#endif

TEST(SafeOutputTest, AnOutputNotCommittedLeavesNothingBehind) {
  TempDir dir;
  const std::string out = dir.file("out.img");
  WriteText(out, "old");
  {
    SafeOutput output(out);
    output.Write("partial", 7);
  }
  {
    SafeOutput moved_away(dir.file("new.img"));
    SafeOutput holder = std::move(moved_away);
    holder.Discard();
    EXPECT_THROW(holder.Commit(), FileError);
  }
  EXPECT_EQ(Text(out), "old");
  EXPECT_TRUE(OtherNames(dir, {"out.img"}).empty());
}

#ifndef _WIN32  // symbolic links and modes of POSIX files
TEST(SafeOutputTest, ASymbolicLinkStaysALinkAndItsTargetIsReplaced) {
  TempDir dir;
  fs::create_directory(dir.path() / "data");
  WriteText(dir.file("data/real.img"), "old");
  fs::create_symlink("data/real.img", dir.path() / "link1.img");
  fs::create_symlink("link1.img", dir.path() / "link2.img");  // a chain of two
  WriteFileWhole(dir.file("link2.img"), "new");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link1.img"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link2.img"));
  EXPECT_EQ(Text(dir.file("data/real.img")), "new");
  EXPECT_TRUE(OtherNames(dir, {"data", "link1.img", "link2.img"}).empty());
}

TEST(SafeOutputTest, AReplacedOutputKeepsItsModeAndANewOneFollowsTheUmask) {
  TempDir dir;
  const std::string kept = dir.file("kept.img");
  WriteText(kept, "old");
  fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteFileWhole(kept, "new");
  EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  const mode_t old_mask = ::umask(027);
  WriteFileWhole(dir.file("fresh.img"), "new");
  ::umask(old_mask);
  EXPECT_EQ(fs::status(dir.file("fresh.img")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

// Outputs that cannot be made: the error and no file created beside them.
struct RefusedOutputCase {
  const char* name;
  std::function<std::string(const TempDir&)> setup;  // gives the output name
  std::string message;
};

void PrintTo(const RefusedOutputCase& c, std::ostream* os) {
  *os << c.name;
}

class RefusedOutputTest : public ::testing::TestWithParam<RefusedOutputCase> {};

TEST_P(RefusedOutputTest, GivesItsErrorAndCreatesNothing) {
  TempDir dir;
  const std::string out = GetParam().setup(dir);
  const auto before = OtherNames(dir, {});
  try {
    SafeOutput output(out);
    FAIL() << "no error for " << out;
  } catch (const KovaError& error) {
    EXPECT_EQ(error.Message(), GetParam().message);
  }
  EXPECT_EQ(OtherNames(dir, {}), before);
}

std::vector<RefusedOutputCase> RefusedOutputs() {
  std::vector<RefusedOutputCase> cases{
      {"MissingFolder", [](const TempDir& d) { return d.file("none/out.img"); },
       "Invalid filename"},
      {"Directory",
       [](const TempDir& d) {
         fs::create_directory(d.path() / "sub");
         return d.file("sub");
       },
       "File access denied"},
  };
#ifdef _WIN32
  cases.push_back(
      {"Device", [](const TempDir&) { return std::string("NUL"); }, "Not a regular file"});
#else
  cases.push_back({"Fifo",
                   [](const TempDir& d) {
                     ::mkfifo(d.file("pipe").c_str(), 0600);
                     return d.file("pipe");
                   },
                   "Not a regular file"});
  cases.push_back({"LinkToADevice",
                   [](const TempDir& d) {
                     fs::create_symlink("/dev/null", d.path() / "null.img");
                     return d.file("null.img");
                   },
                   "Not a regular file"});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Outputs, RefusedOutputTest, ::testing::ValuesIn(RefusedOutputs()),
                         [](const auto& info) { return std::string(info.param.name); });

// Pairs of names and whether they lead to one file.
struct IdentityCase {
  const char* name;
  std::string a;
  std::string b;
  bool same;
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
  *os << c.name;
}

class IdentityTest : public ::testing::TestWithParam<IdentityCase> {
 protected:
  void SetUp() override {
    fs::create_directory(dir.path() / "sub");
    WriteText(dir.file("a.asc"), "grid");
    WriteText(dir.file("b.asc"), "grid");
    fs::create_hard_link(dir.path() / "a.asc", dir.path() / "hard.asc");
#ifdef _WIN32
    WriteText(dir.file("a long name.asc"), "grid");
#else
    fs::create_symlink("a.asc", dir.path() / "soft.asc");
#endif
  }
  std::string In(const std::string& name) const {
    return name.empty() || IsAbsolutePath(name) ? name : dir.file(name);
  }
  TempDir dir;
};

TEST_P(IdentityTest, ComparesFilesNotSpellings) {
  const IdentityCase& c = GetParam();
  EXPECT_EQ(IsSameFile(In(c.a), In(c.b)), c.same);
}

#ifdef _WIN32
// The 8.3 short name of `path`, or `path` itself where the volume has none.
std::string ShortName(const std::string& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ::GetShortPathNameW(win32::Widen(path).c_str(), buffer, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? path : win32::Narrow(std::wstring(buffer, n));
}

TEST_F(IdentityTest, AShortNameIsTheSameFile) {
  const std::string long_name = dir.file("a long name.asc");
  const std::string short_name = ShortName(long_name);
  if (short_name == long_name) GTEST_SKIP() << "no 8.3 names on this volume";
  EXPECT_TRUE(IsSameFile(short_name, long_name));
  EXPECT_FALSE(IsSameFile(short_name, dir.file("a.asc")));
}
#endif

std::vector<IdentityCase> IdentityCases() {
  std::vector<IdentityCase> cases{
      {"SameName", "a.asc", "a.asc", true},
      {"DotForm", "./a.asc", "a.asc", true},
      {"DotDotForm", "sub/../a.asc", "a.asc", true},
      {"HardLink", "hard.asc", "a.asc", true},
      {"EqualContent", "b.asc", "a.asc", false},
      {"MissingOutput", "new.img", "a.asc", false},
      {"Empty", "", "a.asc", false},
  };
#ifdef _WIN32
  // Windows names ignore letter case, and "\" separates as "/" does.
  cases.push_back({"LetterCase", "A.ASC", "a.asc", true});
  cases.push_back({"BackslashDotDot", "sub\\..\\a.asc", "a.asc", true});
#else
  cases.push_back({"SymbolicLink", "soft.asc", "a.asc", true});
  cases.push_back({"LetterCase", "A.ASC", "a.asc", false});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Names, IdentityTest, ::testing::ValuesIn(IdentityCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Files to be read: what each kind gives, from the check and from opening it.
struct ReadCase {
  const char* name;
  std::function<std::string(const TempDir&)> setup;
  std::string message;  // empty: accepted
};

void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.name;
}

class RegularFileTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RegularFileTest, OnlyRegularFilesAreRead) {
  TempDir dir;
  const std::string path = GetParam().setup(dir);
  const std::function<void()> attempts[] = {[&] { RequireRegularFile(path); },
                                            [&] { BinaryFile file(path, FileAccess::ReadOnly); }};
  for (const auto& attempt : attempts) {
    if (GetParam().message.empty()) {
      EXPECT_NO_THROW(attempt());
      continue;
    }
    try {
      attempt();
      FAIL() << "accepted " << path;
    } catch (const KovaError& error) {
      EXPECT_EQ(error.Message(), GetParam().message);
    }
  }
}

std::vector<ReadCase> ReadCases() {
  std::vector<ReadCase> cases{
      {"Regular",
       [](const TempDir& d) {
         WriteText(d.file("a.asc"), "x");
         return d.file("a.asc");
       },
       ""},
      {"Missing", [](const TempDir& d) { return d.file("none.asc"); }, "File not found"},
      {"MissingFolder", [](const TempDir& d) { return d.file("none/a.asc"); }, "Invalid filename"},
      {"Directory", [](const TempDir& d) { return std::string(d.path()); }, "File access denied"},
  };
#ifdef _WIN32
  // Devices and pipes by their Windows names.
  for (const char* device : {"NUL", "CON", "nul.asc", "C:\\data\\CON"}) {
    cases.push_back(
        {device, [device](const TempDir&) { return std::string(device); }, "Not a regular file"});
  }
  cases.push_back({"Pipe",
                   [](const TempDir&) {
                     static const HANDLE pipe = ::CreateNamedPipeW(
                         L"\\\\.\\pipe\\kova-test", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                         PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
                     (void)pipe;
                     return std::string("\\\\.\\pipe\\kova-test");
                   },
                   "Not a regular file"});
#else
  cases.push_back({"LinkToRegular",
                   [](const TempDir& d) {
                     WriteText(d.file("a.asc"), "x");
                     fs::create_symlink("a.asc", d.path() / "l.asc");
                     return d.file("l.asc");
                   },
                   ""});
  cases.push_back(
      {"Zero", [](const TempDir&) { return std::string("/dev/zero"); }, "Not a regular file"});
  cases.push_back({"Fifo",
                   [](const TempDir& d) {
                     ::mkfifo(d.file("pipe.asc").c_str(), 0600);
                     return d.file("pipe.asc");
                   },
                   "Not a regular file"});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Inputs, RegularFileTest, ::testing::ValuesIn(ReadCases()),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name)) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace kova
