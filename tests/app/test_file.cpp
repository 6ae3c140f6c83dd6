// Binary files: access modes, short reads at the end, and the I/O result
// codes of the failures that the system meets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/file.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

using kova::testing::ReadAllBytes;
using kova::testing::TempDir;
using kova::testing::WriteAllBytes;
using Bytes = std::vector<std::uint8_t>;

// Runs `action` and expects the FileError of `code` with its exact text.
void ExpectFileError(const std::function<void()>& action, IoResult code, const char* text) {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << static_cast<int>(code) << " \"" << text << '"';
  } catch (const FileError& e) {
    EXPECT_EQ(e.code(), code);
    EXPECT_STREQ(e.what(), text);
  }
}

const FileAccess kAllAccesses[] = {FileAccess::ReadOnly, FileAccess::ReadWrite,
                                   FileAccess::WriteExisting, FileAccess::CreateWrite};

std::string AccessName(const ::testing::TestParamInfo<FileAccess>& info) {
  switch (info.param) {
    case FileAccess::ReadOnly:
      return "ReadOnly";
    case FileAccess::ReadWrite:
      return "ReadWrite";
    case FileAccess::WriteExisting:
      return "WriteExisting";
    case FileAccess::CreateWrite:
      return "CreateWrite";
  }
  return "Unknown";
}

class OpenFailureTest : public ::testing::TestWithParam<FileAccess> {
 protected:
  TempDir dir;
};

TEST_P(OpenFailureTest, MissingDirectoryIsAnInvalidFilename) {
  const std::string path = dir.file("no-such-dir/out.img");
  ExpectFileError([&] { BinaryFile f(path, GetParam()); }, IoResult::kInvalidFilename,
                  "Invalid filename");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-dir"));
}

TEST_P(OpenFailureTest, DirectoryOpenedAsAFileIsAccessDenied) {
  std::filesystem::create_directory(dir.path() / "sub");
  ExpectFileError([&] { BinaryFile f(dir.file("sub"), GetParam()); }, IoResult::kFileAccessDenied,
                  "File access denied");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "sub"));
}

TEST_P(OpenFailureTest, FileUnderAFileIsAnInvalidFilename) {
  WriteAllBytes(dir.file("plain"), {1, 2, 3});
  ExpectFileError([&] { BinaryFile f(dir.file("plain/x.img"), GetParam()); },
                  IoResult::kInvalidFilename, "Invalid filename");
}

TEST_P(OpenFailureTest, RunningProgramCannotBeWrittenEvenByTheSuperuser) {
  if (GetParam() == FileAccess::ReadOnly) {
    BinaryFile f("/proc/self/exe", FileAccess::ReadOnly);  // reading is fine
    EXPECT_TRUE(f.IsOpen());
    return;
  }
  // Opening the executable of a running process for writing fails with
  // ETXTBSY for every user.
  ExpectFileError([&] { BinaryFile f("/proc/self/exe", GetParam()); }, IoResult::kFileAccessDenied,
                  "File access denied");
}

TEST_P(OpenFailureTest, PermissionDenied) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no owner permissions of this kind";
#else
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser ignores file permissions";
#endif
  const std::string path = dir.file("locked.img");
  WriteAllBytes(path, {1, 2, 3});
  std::filesystem::permissions(path, std::filesystem::perms::none);
  ExpectFileError([&] { BinaryFile f(path, GetParam()); }, IoResult::kFileAccessDenied,
                  "File access denied");
}

INSTANTIATE_TEST_SUITE_P(EveryAccess, OpenFailureTest, ::testing::ValuesIn(kAllAccesses),
                         AccessName);

class ExistingFileRequiredTest : public ::testing::TestWithParam<FileAccess> {
 protected:
  TempDir dir;
};

TEST_P(ExistingFileRequiredTest, MissingFileIsNotFoundAndNotCreated) {
  const std::string path = dir.file("missing.img");
  ExpectFileError([&] { BinaryFile f(path, GetParam()); }, IoResult::kFileNotFound,
                  "File not found");
  EXPECT_FALSE(std::filesystem::exists(path));
}

INSTANTIATE_TEST_SUITE_P(ExistingOnly, ExistingFileRequiredTest,
                         ::testing::Values(FileAccess::ReadOnly, FileAccess::ReadWrite,
                                           FileAccess::WriteExisting),
                         AccessName);

TEST(BinaryFileTest, FullDiskIsDiskFull) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  for (FileAccess access :
       {FileAccess::ReadWrite, FileAccess::WriteExisting, FileAccess::CreateWrite}) {
    BinaryFile f("/dev/full", access);
    const Bytes row(512, 0xFE);
    ExpectFileError([&] { f.Write(row.data(), row.size()); }, IoResult::kDiskFull, "Disk full");
  }
}

TEST(BinaryFileTest, ReadAtTheEndReturnsAShortCount) {
  TempDir dir;
  const std::string path = dir.file("ten.bin");
  WriteAllBytes(path, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  BinaryFile f(path, FileAccess::ReadOnly);
  Bytes buffer(10, 0xEE);
  f.Seek(6);
  EXPECT_EQ(f.Read(buffer.data(), buffer.size()), 4u);
  EXPECT_EQ(buffer, (Bytes{6, 7, 8, 9, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(f.Read(buffer.data(), buffer.size()), 0u);
  f.Seek(100);  // beyond the end: nothing to read, no error
  EXPECT_EQ(f.Read(buffer.data(), buffer.size()), 0u);
  f.Seek(0);
  EXPECT_EQ(f.Read(buffer.data(), 3), 3u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[2], 2);
}

TEST(BinaryFileTest, ShortHeaderReadsShort) {
  // A 511-byte file yields 511 bytes of a 512-byte header request.
  TempDir dir;
  const std::string path = dir.file("short.img");
  WriteAllBytes(path, Bytes(511, 0x0A));
  BinaryFile f(path, FileAccess::ReadOnly);
  Bytes header(512);
  EXPECT_EQ(f.Read(header.data(), header.size()), 511u);
}

TEST(BinaryFileTest, CreateWriteCreatesAndTruncates) {
  TempDir dir;
  const std::string path = dir.file("out.img");
  {
    BinaryFile f(path, FileAccess::CreateWrite);
    const Bytes data{1, 2, 3, 4, 5, 6, 7, 8};
    f.Write(data.data(), data.size());
    f.Close();
  }
  EXPECT_EQ(ReadAllBytes(path), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  {
    BinaryFile f(path, FileAccess::CreateWrite);
    const Bytes data{9, 9};
    f.Write(data.data(), data.size());
    f.Close();
  }
  EXPECT_EQ(ReadAllBytes(path), (Bytes{9, 9}));
  {
    BinaryFile f(path, FileAccess::CreateWrite);
    f.Close();
  }
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(BinaryFileTest, ReadWriteKeepsTheRestOfTheFile) {
  TempDir dir;
  const std::string path = dir.file("image.img");
  WriteAllBytes(path, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  {
    BinaryFile f(path, FileAccess::ReadWrite);
    const Bytes patch{0xA0, 0xA1, 0xA2};
    f.Seek(2);
    f.Write(patch.data(), patch.size());
    // The same handle reads what is there.
    Bytes back(10);
    f.Seek(0);
    EXPECT_EQ(f.Read(back.data(), back.size()), 10u);
    EXPECT_EQ(back, (Bytes{0, 1, 0xA0, 0xA1, 0xA2, 5, 6, 7, 8, 9}));
    f.Close();
  }
  EXPECT_EQ(ReadAllBytes(path), (Bytes{0, 1, 0xA0, 0xA1, 0xA2, 5, 6, 7, 8, 9}));
  {
    // Opening and closing alone changes nothing.
    BinaryFile f(path, FileAccess::ReadWrite);
    f.Close();
  }
  EXPECT_EQ(ReadAllBytes(path), (Bytes{0, 1, 0xA0, 0xA1, 0xA2, 5, 6, 7, 8, 9}));
}

TEST(BinaryFileTest, WriteExistingKeepsTheRestOfTheFile) {
  TempDir dir;
  const std::string path = dir.file("image.img");
  WriteAllBytes(path, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  {
    BinaryFile f(path, FileAccess::WriteExisting);
    const Bytes patch{0xB7, 0xB8};
    f.Seek(8);
    f.Write(patch.data(), patch.size());
    f.Close();
  }
  EXPECT_EQ(ReadAllBytes(path), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 0xB7, 0xB8}));
}

TEST(BinaryFileTest, ReadOnlyLeavesTheFileAlone) {
  TempDir dir;
  const std::string path = dir.file("image.img");
  WriteAllBytes(path, {5, 6, 7});
  {
    BinaryFile f(path, FileAccess::ReadOnly);
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(f.path(), path);
  }
  EXPECT_EQ(ReadAllBytes(path), (Bytes{5, 6, 7}));
}

TEST(BinaryFileTest, ClosedAfterClose) {
  TempDir dir;
  const std::string path = dir.file("a.img");
  WriteAllBytes(path, {1});
  BinaryFile f(path, FileAccess::ReadOnly);
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  f.Close();  // a second close does nothing
  EXPECT_FALSE(f.IsOpen());
}

TEST(FileExistsTest, OnlyExistingFilesCount) {
  TempDir dir;
  WriteAllBytes(dir.file("there.img"), {});
  std::filesystem::create_directory(dir.path() / "folder");
  EXPECT_TRUE(FileExists(dir.file("there.img")));
  EXPECT_FALSE(FileExists(dir.file("folder")));
  EXPECT_FALSE(FileExists(dir.file("missing.img")));
  EXPECT_FALSE(FileExists(dir.file("no-dir/missing.img")));
  EXPECT_FALSE(FileExists(""));
}

}  // namespace
}  // namespace kova
