// Error texts of the platform layer: I/O result codes, the mapping of system
// error numbers onto them, and the text of the application's error box.
#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "app/platform/base/errors.h"
#include "app/platform/base/printable.h"
#include "app/platform/system_errors.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

struct CodeText {
  int code;
  const char* text;
};

void PrintTo(const CodeText& c, std::ostream* os) {
  *os << "code " << c.code;
}

class FileErrorTextTest : public ::testing::TestWithParam<CodeText> {};

TEST_P(FileErrorTextTest, TextOfTheCode) {
  const CodeText& c = GetParam();
  EXPECT_EQ(FileErrorText(static_cast<IoResult>(c.code)), c.text);
  const FileError error(static_cast<IoResult>(c.code));
  EXPECT_EQ(static_cast<int>(error.code()), c.code);
  EXPECT_STREQ(error.what(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FileErrorTextTest,
    ::testing::Values(CodeText{2, "File not found"}, CodeText{3, "Invalid filename"},
                      CodeText{4, "Too many open files"}, CodeText{5, "File access denied"},
                      CodeText{100, "Read beyond end of file"}, CodeText{101, "Disk full"},
                      CodeText{106, "Invalid numeric input"}, CodeText{42, "I/O error 42"},
                      CodeText{1, "I/O error 1"}, CodeText{0, "I/O error 0"},
                      CodeText{102, "I/O error 102"}, CodeText{103, "I/O error 103"},
                      CodeText{-7, "I/O error -7"}));

TEST(ErrorClassTest, FixedTexts) {
  EXPECT_STREQ(RangeError().what(), "Range check error");
  EXPECT_STREQ(IntOverflowError().what(), "Integer overflow");
  EXPECT_STREQ(FloatDivideByZeroError().what(), "Floating point division by zero");
  EXPECT_STREQ(FloatInvalidOperationError().what(), "Invalid floating point operation");
  EXPECT_STREQ(FloatOverflowError().what(), "Floating point overflow");
  EXPECT_STREQ(SettingsWriteError("/x/kova.ini").what(), "Unable to write to /x/kova.ini");
}

TEST(ErrorClassTest, AllAreKovaErrors) {
  auto is_kova_error = [](auto&& raise) {
    try {
      raise();
    } catch (const KovaError&) {
      return true;
    } catch (...) {
    }
    return false;
  };
  EXPECT_TRUE(is_kova_error([] { throw FileError(IoResult::kFileNotFound); }));
  EXPECT_TRUE(is_kova_error([] { throw RangeError(); }));
  EXPECT_TRUE(is_kova_error([] { throw FloatOverflowError(); }));
  EXPECT_TRUE(is_kova_error([] { throw SettingsWriteError("a"); }));
  EXPECT_TRUE(is_kova_error([] { throw ConvertError("'x' is not a valid integer value"); }));
}

// System error numbers onto I/O result codes, where the path plays no part.
struct ErrnoCase {
  const char* name;
  int errnum;
  IoResult code;
};

void PrintTo(const ErrnoCase& c, std::ostream* os) {
  *os << c.name;
}

class ErrnoMappingTest : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMappingTest, Maps) {
  const ErrnoCase& c = GetParam();
  EXPECT_EQ(FileErrorCodeFromErrno(c.errnum, "/tmp/some.img"), c.code);
  try {
    ThrowFileErrorFromErrno(c.errnum, "/tmp/some.img");
    ADD_FAILURE() << "no error raised";
  } catch (const FileError& e) {
    EXPECT_EQ(e.code(), c.code);
    EXPECT_EQ(e.what(), FileErrorText(c.code));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Errnos, ErrnoMappingTest,
    ::testing::Values(ErrnoCase{"EACCES", EACCES, IoResult::kFileAccessDenied},
                      ErrnoCase{"EPERM", EPERM, IoResult::kFileAccessDenied},
                      ErrnoCase{"EISDIR", EISDIR, IoResult::kFileAccessDenied},
                      ErrnoCase{"EROFS", EROFS, IoResult::kFileAccessDenied},
                      ErrnoCase{"ENOSPC", ENOSPC, IoResult::kDiskFull},
                      ErrnoCase{"EMFILE", EMFILE, IoResult::kTooManyOpenFiles},
                      ErrnoCase{"ENFILE", ENFILE, IoResult::kTooManyOpenFiles},
                      ErrnoCase{"ENOTDIR", ENOTDIR, IoResult::kInvalidFilename},
                      ErrnoCase{"ENAMETOOLONG", ENAMETOOLONG, IoResult::kInvalidFilename}));

TEST(ErrnoMappingTest, MissingFileIsNotFoundMissingDirectoryIsInvalidName) {
  kova::testing::TempDir dir;
  EXPECT_EQ(FileErrorCodeFromErrno(ENOENT, dir.file("missing.img")), IoResult::kFileNotFound);
  EXPECT_EQ(FileErrorCodeFromErrno(ENOENT, dir.file("no-such-dir/missing.img")),
            IoResult::kInvalidFilename);
  EXPECT_EQ(FileErrorCodeFromErrno(ENOENT, dir.file("a/b/missing.img")),
            IoResult::kInvalidFilename);
  // A bare name lies in the current directory, which exists.
  EXPECT_EQ(FileErrorCodeFromErrno(ENOENT, "no-such-file-anywhere.img"), IoResult::kFileNotFound);
}

struct BoxCase {
  const char* message;
  const char* shown;
};

void PrintTo(const BoxCase& c, std::ostream* os) {
  *os << '"' << c.message << '"';
}

class ErrorBoxTextTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(ErrorBoxTextTest, AppendsAStopAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ErrorBoxText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorBoxTextTest,
    ::testing::Values(BoxCase{"File not found", "File not found."},
                      BoxCase{"I/O error 42", "I/O error 42."},
                      BoxCase{"Range check error", "Range check error."},
                      BoxCase{"Unable to write to /x/kova.ini", "Unable to write to /x/kova.ini."},
                      BoxCase{"Done.", "Done."}, BoxCase{"Stop!", "Stop!"},
                      BoxCase{"(see above)", "(see above)"}, BoxCase{"trailing ", "trailing "},
                      BoxCase{"'x' is not a valid integer value'",
                              "'x' is not a valid integer value'"},
                      BoxCase{"a-", "a-"}, BoxCase{"a,", "a,"},
                      // '/' and ':' sort after '.'
                      BoxCase{"path/", "path/."}, BoxCase{"reason:", "reason:."},
                      // A byte of the upper half of the code page sorts after '.'
                      BoxCase{"caf\xE9", "caf\xE9."}, BoxCase{"Z", "Z."}, BoxCase{"0", "0."},
                      BoxCase{".", "."}, BoxCase{"", ""}));

// Each caller adds the wider place; the message text stays first.
TEST(ErrorContextTest, OuterPlacesComeFirstAndTheMessageStays) {
  RangeError error;
  EXPECT_STREQ(error.what(), "Range check error");
  error.AddContext("");
  EXPECT_STREQ(error.what(), "Range check error");
  error.AddContext("line 7, column 12");
  error.AddContext("rain.asc");
  EXPECT_EQ(error.Message(), "Range check error");
  EXPECT_EQ(error.Context(), "rain.asc, line 7, column 12");
  EXPECT_STREQ(error.what(), "Range check error: rain.asc, line 7, column 12");
}

}  // namespace
}  // namespace kova

// --- Bytes from files shown escaped; the box's second line says where. -----

namespace kova {
namespace {

struct EscapeCase {
  const char* label;
  std::string text;
  std::string shown;
};

class EscapeControlBytesTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeControlBytesTest, ShowsNonPrintableBytesAsHex) {
  EXPECT_EQ(EscapeControlBytes(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EscapeControlBytesTest,
    ::testing::Values(EscapeCase{"Plain", "rain 1.asc ~", "rain 1.asc ~"},
                      EscapeCase{"Escape", "a\x1b[31mb", "a\\x1b[31mb"},
                      EscapeCase{"BellTabNewline", "\a\t\n\r", "\\x07\\x09\\x0a\\x0d"},
                      EscapeCase{"Nul", std::string("a\0b", 3), "a\\x00b"},
                      EscapeCase{"Delete", "\x7f", "\\x7f"},
                      EscapeCase{"Utf8Kept", "Z\xc3\xbcrich \xe2\x82\xac \xf0\x9f\x8c\xa7",
                                 "Z\xc3\xbcrich \xe2\x82\xac \xf0\x9f\x8c\xa7"},
                      EscapeCase{"Latin1Byte", "caf\xe9", "caf\\xe9"},
                      EscapeCase{"C1ControlInUtf8", "\xc2\x9b", "\\xc2\\x9b"},
                      EscapeCase{"Overlong", "\xc0\xaf", "\\xc0\\xaf"},
                      EscapeCase{"Surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
                      EscapeCase{"Truncated", "\xe2\x82", "\\xe2\\x82"},
                      EscapeCase{"BeyondUnicode", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ErrorBoxOfAnError, PutsWhereOnTheSecondLine) {
  KovaError error("'x\x1b' is not a valid integer value");
  EXPECT_EQ(ErrorBoxText(error), "'x\\x1b' is not a valid integer value.");
  error.AddContext("line 2, column 9");
  error.AddContext("/data/rain\x07.asc");
  EXPECT_EQ(
      error.what(),
      std::string("'x\x1b' is not a valid integer value: /data/rain\x07.asc, line 2, column 9"));
  EXPECT_EQ(ErrorBoxText(error),
            "'x\\x1b' is not a valid integer value.\n/data/rain\\x07.asc, line 2, column 9");
  EXPECT_EQ(ErrorBoxText(std::runtime_error("bad\x1b"
                                            "c")),
            "bad\\x1bc.");
}

}  // namespace
}  // namespace kova
