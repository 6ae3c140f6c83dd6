// The settings file, the file search and the current directory of the
// platform layer.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>  // getrusage
#include <sys/stat.h>
#include <sys/wait.h>  // waitpid
#include <unistd.h>    // fork
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/file_search.h"
#include "app/platform/paths.h"
#include "app/platform/process.h"
#include "app/platform/settings.h"
#include "conversion_test_util.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

using testing::CurrentDirGuard;
using testing::ReadAllBytes;
using testing::TempDir;
using testing::WriteText;

[[maybe_unused]] std::string ReadText(const std::string& path) {
  auto bytes = ReadAllBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// --- Settings file -----------------------------------------------------------

TEST(Settings, ReadingAMissingFileGivesTheDefaultAndCreatesNothing) {
  TempDir dir;
  const std::string path = dir.file("tarvo2kova.ini");
  EXPECT_EQ(ReadProfileString(path, "files", "edit1"), "");
  EXPECT_EQ(ReadProfileString(path, "files", "edit1", "fallback"), "fallback");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Settings, WritingCreatesFileSectionAndKeys) {
  TempDir dir;
  const std::string path = dir.file("tarvo2kova.ini");
  WriteProfileString(path, "files", "edit1", "/data/*.asc");
  WriteProfileString(path, "files", "edit2", "out.img");
#ifndef _WIN32  // Windows writes a new profile as UTF-16 text
  EXPECT_EQ(ReadText(path), "[files]\nedit1=/data/*.asc\nedit2=out.img\n");
#endif
  EXPECT_EQ(ReadProfileString(path, "files", "edit1"), "/data/*.asc");
  EXPECT_EQ(ReadProfileString(path, "files", "edit2"), "out.img");
}

TEST(Settings, RewritingKeepsOtherSectionsKeysAndLines) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  WriteText(
      path,
      "; kept comment\n[window]\nleft=10\n\n[Files]\nEDIT1=old\nother=x\n\n[more]\nedit1=y\n");
  WriteProfileString(path, "files", "edit1", "new");
  WriteProfileString(path, "FILES", "edit2", "second");
#ifndef _WIN32  // the system's own layout of a rewritten entry on Windows
  EXPECT_EQ(ReadText(path),
            "; kept comment\n[window]\nleft=10\n\n[Files]\nedit1=new\nother=x\nedit2=second\n\n"
            "[more]\nedit1=y\n");
#endif
  EXPECT_EQ(ReadProfileString(path, "files", "edit1"), "new");
  EXPECT_EQ(ReadProfileString(path, "files", "edit2"), "second");
  EXPECT_EQ(ReadProfileString(path, "files", "other"), "x");
  EXPECT_EQ(ReadProfileString(path, "more", "EDIT1"), "y");
  EXPECT_EQ(ReadProfileString(path, "window", "left"), "10");
  EXPECT_EQ(ReadProfileString(path, "window", "missing", "d"), "d");
  EXPECT_EQ(ReadProfileString(path, "nosection", "edit1", "d"), "d");
}

#ifndef _WIN32  // symbolic links
TEST(Settings, RewritingKeepsALinkedFileLinkedAndLeavesNoTemporaryFiles) {
  TempDir dir;
  const std::string target = dir.file("real.ini");
  const std::string link = dir.file("linked.ini");
  WriteText(target, "[other]\nkey=1\n");
  std::filesystem::create_symlink(target, link);
  WriteProfileString(link, "files", "edit1", "a.asc");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadText(target), "[other]\nkey=1\n[files]\nedit1=a.asc\n");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 2u) << "only the file and its link";
}
#endif

TEST(Settings, AValueReadBackIsCutTo2047Characters) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  const std::string long_value(3000, 'v');
  WriteProfileString(path, "files", "edit1", long_value);
  EXPECT_EQ(ReadProfileString(path, "files", "edit1"), std::string(2047, 'v'));
  WriteProfileString(path, "files", "edit1", std::string(2047, 'w'));
  EXPECT_EQ(ReadProfileString(path, "files", "edit1"), std::string(2047, 'w'));
}

TEST(Settings, AFileThatCannotBeWrittenRaisesUnableToWrite) {
  TempDir dir;
  WriteText(dir.file("plain"), "x");
  const std::vector<std::string> unwritable = {
      dir.file("missing-folder/tarvo2kova.ini"),  // folder does not exist
      dir.file("plain/tarvo2kova.ini"),           // folder is a file
      dir.path().string(),                        // the name is a folder
  };
  for (const std::string& path : unwritable) {
    SCOPED_TRACE(path);
    try {
      WriteProfileString(path, "files", "edit1", "x");
      ADD_FAILURE() << "no error";
    } catch (const SettingsWriteError& error) {
      EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
    }
  }
}

#ifndef _WIN32  // the byte layout and POSIX modes of the Linux settings writer
// Rewrites: the file before, the entry written, the file after. Every byte
// that is not the entry stays as it was, however long its line.
struct SettingsEditCase {
  const char* name;
  std::string before;
  std::string key;
  std::string after;
};

class SettingsEdit : public ::testing::TestWithParam<SettingsEditCase> {};

TEST_P(SettingsEdit, ChangesOnlyTheEntry) {
  TempDir dir;
  const std::string path = dir.file("a.ini");
  WriteText(path, GetParam().before);
  WriteProfileString(path, "files", GetParam().key, "v");
  EXPECT_EQ(ReadText(path), GetParam().after);
}

const std::string kLongLine = "; " + std::string(200000, 'c');

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsEdit,
    ::testing::Values(SettingsEditCase{"LastLineWithoutFeedGetsASectionBehindIt", "[other]\nk=1",
                                       "edit1", "[other]\nk=1\n[files]\nedit1=v\n"},
                      SettingsEditCase{"EntryAfterALastLineWithoutFeed", "[files]\nedit1=a",
                                       "edit2", "[files]\nedit1=a\nedit2=v\n"},
                      SettingsEditCase{"ReplacedLastLineWithoutFeed", "[files]\nedit1=a", "edit1",
                                       "[files]\nedit1=v\n"},
                      SettingsEditCase{"CarriageReturnsKept", "[files]\r\nedit2=b\r\n", "edit1",
                                       "[files]\r\nedit2=b\r\nedit1=v\n"},
                      SettingsEditCase{"LongLinesCopiedWhole",
                                       kLongLine + "\n[files]\nedit1=a\n" + kLongLine, "edit1",
                                       kLongLine + "\n[files]\nedit1=v\n" + kLongLine}),
    [](const auto& info) { return std::string(info.param.name); });

// A settings file its owner made read-only, or one in a read-only folder, is
// left as it is (same file, same bytes, nothing beside it), even by a process
// that could write it regardless.
struct ReadOnlyCase {
  const char* name;
  std::filesystem::perms file;
  std::filesystem::perms folder;
};

class ReadOnlySettings : public ::testing::TestWithParam<ReadOnlyCase> {};

TEST_P(ReadOnlySettings, GiveUnableToWriteAndStayUnchanged) {
  namespace fs = std::filesystem;
  TempDir dir;
  const fs::path folder = dir.path() / "cfg";
  fs::create_directory(folder);
  const std::string path = (folder / "a.ini").string();
  WriteText(path, "[files]\nedit1=old\n");
  const auto inode = [&] {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
  };
  const auto before = inode();
  fs::permissions(path, GetParam().file);
  fs::permissions(folder, GetParam().folder);
  try {
    WriteProfileString(path, "files", "edit1", "new");
    ADD_FAILURE() << "no error";
  } catch (const SettingsWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
  }
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(inode(), before);
  EXPECT_EQ(ReadText(path), "[files]\nedit1=old\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

constexpr auto kReadOnly = std::filesystem::perms::owner_read | std::filesystem::perms::group_read;
constexpr auto kReadWrite =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
constexpr auto kFolderReadOnly =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec;

INSTANTIATE_TEST_SUITE_P(Modes, ReadOnlySettings,
                         ::testing::Values(ReadOnlyCase{"File", kReadOnly,
                                                        std::filesystem::perms::owner_all},
                                           ReadOnlyCase{"Folder", kReadWrite, kFolderReadOnly},
                                           ReadOnlyCase{"Both", kReadOnly, kFolderReadOnly}),
                         [](const auto& info) { return std::string(info.param.name); });

// A settings file of one 48 MB line is read and rewritten in a few MB: the
// part of a line beyond what is looked at is skipped or copied, not held.
#endif

#ifndef _WIN32  // fork and getrusage
TEST(Settings, AnOversizedFileIsHandledInBoundedMemory) {
  TempDir dir;
  const std::string path = dir.file("huge.ini");
  constexpr std::size_t kSize = 48u << 20;
  {
    std::ofstream out(path, std::ios::binary);
    out << "[files]\nedit1=";
    const std::string chunk(1 << 20, 'v');
    for (std::size_t done = 0; done < kSize; done += chunk.size()) out << chunk;
    out << "\nedit2=b\n";
  }
  rusage self{};
  ::getrusage(RUSAGE_SELF, &self);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // In a child, so that its peak memory is measured apart from this test's.
    const bool read_ok = ReadProfileString(path, "files", "edit1") == std::string(2047, 'v') &&
                         ReadProfileString(path, "files", "edit2") == "b";
    WriteProfileString(path, "files", "edit2", "c");
    ::_exit(read_ok && ReadProfileString(path, "files", "edit2") == "c" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  rusage children{};
  ::getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss - self.ru_maxrss, 8 * 1024) << "kilobytes beyond this test's own";
  EXPECT_EQ(std::filesystem::file_size(path), 8 + 6 + kSize + 1 + 8);  // "edit2=c\n"
}
#endif

// --- File search ---------------------------------------------------------------

struct MaskCase {
  std::string name;
  std::string mask;
  bool matches;
};

class MaskMatching : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskMatching, MatchesAsExpected) {
  EXPECT_EQ(MatchesMask(GetParam().name, GetParam().mask), GetParam().matches)
      << GetParam().name << " against " << GetParam().mask;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskMatching,
    ::testing::Values(MaskCase{"rain.asc", "*.asc", true}, MaskCase{"RAIN.ASC", "*.asc", true},
                      MaskCase{"rain.asc", "*.ASC", true}, MaskCase{"rain.asc.bak", "*.asc", false},
                      MaskCase{"rain1.asc", "rain?.asc", true},
                      MaskCase{"rain.asc", "rain?.asc", false},
                      MaskCase{"rain12.asc", "rain?.asc", false},
                      MaskCase{"a.b.asc", "*.*.asc", true}, MaskCase{"grid", "*", true},
                      MaskCase{"", "*", true}, MaskCase{"grid", "", false},
                      MaskCase{"abcabd", "*abd", true}, MaskCase{"abcab", "a*b*b", true},
                      MaskCase{"aXbXc", "a*c", true}, MaskCase{"aXbXd", "a*c", false},
                      MaskCase{"rain.asc", "r**n.a*c", true}, MaskCase{"rain", "rain*", true}));

class FileSearch : public ::testing::Test {
 protected:
  void Touch(const std::string& name) { WriteText(dir_.file(name), "x"); }
  std::vector<std::string> Find(const std::string& masks) { return FindFiles(dir_.path(), masks); }
  TempDir dir_;
};

TEST_F(FileSearch, ListsMatchingRegularFilesSortedIgnoringCase) {
  for (const char* name :
       {"b.asc", "A.asc", "c.ASC", "a.txt", "_x.asc", "Z.asc", "10.asc", "9.asc"}) {
    Touch(name);
  }
  EXPECT_EQ(Find("*.asc"), (std::vector<std::string>{"10.asc", "9.asc", "_x.asc", "A.asc", "b.asc",
                                                     "c.ASC", "Z.asc"}));
}

#ifndef _WIN32  // Windows names ignore letter case: one file
TEST_F(FileSearch, NamesThatDifferOnlyInCaseAreOrderedBytewise) {
  for (const char* name : {"grid.asc", "Grid.asc", "GRID.asc"}) Touch(name);
  EXPECT_EQ(Find("*"), (std::vector<std::string>{"GRID.asc", "Grid.asc", "grid.asc"}));
}
#endif

TEST_F(FileSearch, SeveralMasksListAFileOnceForEveryMaskItMatches) {
  for (const char* name : {"a.asc", "b.grd", "c.txt"}) Touch(name);
  EXPECT_EQ(Find("*.asc;*.grd"), (std::vector<std::string>{"a.asc", "b.grd"}));
  EXPECT_EQ(Find("*.asc;a*"), (std::vector<std::string>{"a.asc", "a.asc"}));
  EXPECT_EQ(Find(";*.txt;"), (std::vector<std::string>{"c.txt"}));
  EXPECT_TRUE(Find("*.none").empty());
}

TEST_F(FileSearch, LeavesOutHiddenFilesAndDirectoriesButFollowsLinks) {
  Touch("seen.asc");
  Touch(".hidden.asc");
  std::filesystem::create_directory(dir_.file("folder.asc"));
#ifdef _WIN32
  EXPECT_EQ(Find("*.asc"), (std::vector<std::string>{"seen.asc"}));
#else
  std::filesystem::create_symlink(dir_.file("seen.asc"), dir_.file("link.asc"));
  std::filesystem::create_directory_symlink(dir_.file("folder.asc"), dir_.file("dirlink.asc"));
  std::filesystem::create_symlink(dir_.file("gone"), dir_.file("dangling.asc"));
  EXPECT_EQ(Find("*.asc"), (std::vector<std::string>{"link.asc", "seen.asc"}));
#endif
}

TEST_F(FileSearch, AMissingDirectoryRaisesFileNotFound) {
  try {
    FindFiles(dir_.file("missing"), "*");
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(std::string(error.what()), "File not found");
  }
}

// --- Program path and current directory ------------------------------------------

TEST(Process, ProgramDirectoryHoldsTheProgram) {
  const std::string dir = ProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(IsPathSeparator(dir.back()));
  EXPECT_TRUE(IsAbsolutePath(dir));
  EXPECT_EQ(ProgramPath().substr(0, dir.size()), dir);
  EXPECT_TRUE(std::filesystem::is_regular_file(FileSystemPath(ProgramPath())));
}

TEST(Process, SetCurrentDirectoryChangesItAndReportsMissingOnes) {
  CurrentDirGuard guard;
  TempDir dir;
  std::filesystem::create_directory(dir.file("sub"));
  SetCurrentDirectory(dir.file("sub") + "/");
  EXPECT_EQ(CurrentDirectory(), Utf8Path(std::filesystem::canonical(dir.file("sub"))));
  SetCurrentDirectory("..");
  EXPECT_EQ(CurrentDirectory(), Utf8Path(std::filesystem::canonical(dir.path())));

  struct Missing {
    std::string path;
    std::string text;
  };
  for (const Missing& missing :
       {Missing{dir.file("nosuch"), "File not found"},
        Missing{dir.file("nosuch/"), "File not found"},
        Missing{dir.file("nosuch/deeper"), "Invalid filename"}, Missing{"", "Invalid filename"}}) {
    SCOPED_TRACE(missing.path);
    try {
      SetCurrentDirectory(missing.path);
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(std::string(error.what()), missing.text);
    }
  }
  EXPECT_EQ(CurrentDirectory(), Utf8Path(std::filesystem::canonical(dir.path())));
}

}  // namespace
}  // namespace kova
