// Errors of the conversion tool. Each carries the exact text that the
// application's error box shows; front ends decide how to show it.
#pragma once

#include <stdexcept>
#include <string>

namespace kova {

// Base of every error the core raises. It carries the system's own message
// text and, once known, where it happened (a file, a line and column, a
// limit). what() gives both: "File not found: template /opt/kova/template.img".
class KovaError : public std::runtime_error {
 public:
  explicit KovaError(const std::string& message)
      : std::runtime_error(message), message_(message), full_(message) {}

  // The system's own text, without where it happened.
  const std::string& Message() const noexcept { return message_; }
  // Where it happened; empty while nobody has said.
  const std::string& Context() const noexcept { return context_; }

  // Adds where it happened. Outer callers add the wider place: a reader says
  // "line 7, column 12", the run then adds the file, giving
  // "rain.asc, line 7, column 12".
  void AddContext(const std::string& where);

  // Adds, after where it happened, what was being done: "template t.img
  // (converting g.asc)", for an error about another file than the one
  // being worked on.
  void AddActivity(const std::string& doing);

  const char* what() const noexcept override { return full_.c_str(); }
  // what() whole: a NUL byte from a file's name ends what() early.
  const std::string& Text() const noexcept { return full_; }

 private:
  std::string message_;
  std::string context_;
  std::string full_;
};

// The classic I/O result codes of file input/output, named after their
// texts. Any other number (an operating-system error passed on as it is)
// reads "I/O error %d".
enum class IoResult : int {
  kFileNotFound = 2,            // "File not found"
  kInvalidFilename = 3,         // "Invalid filename" (also a missing folder)
  kTooManyOpenFiles = 4,        // "Too many open files"
  kFileAccessDenied = 5,        // "File access denied"
  kReadBeyondEndOfFile = 100,   // "Read beyond end of file"
  kDiskFull = 101,              // "Disk full"
  kFileNotOpen = 103,           // "I/O error 103"
  kFileNotOpenForOutput = 105,  // "I/O error 105"
  kInvalidNumericInput = 106,   // "Invalid numeric input"
};

// File input/output failure, identified by its I/O result code.
class FileError : public KovaError {
 public:
  explicit FileError(IoResult code);
  IoResult code() const noexcept { return code_; }

 private:
  IoResult code_;
};

// The text of an I/O result code.
std::string FileErrorText(IoResult code);

class RangeError : public KovaError {
 public:
  RangeError() : KovaError("Range check error") {}
};

class IntOverflowError : public KovaError {
 public:
  IntOverflowError() : KovaError("Integer overflow") {}
};

class FloatDivideByZeroError : public KovaError {
 public:
  FloatDivideByZeroError() : KovaError("Floating point division by zero") {}
};

class FloatInvalidOperationError : public KovaError {
 public:
  FloatInvalidOperationError() : KovaError("Invalid floating point operation") {}
};

class FloatOverflowError : public KovaError {
 public:
  FloatOverflowError() : KovaError("Floating point overflow") {}
};

// A token that is not a number: "'%s' is not a valid integer value" or
// "'%s' is not a valid floating point value".
class ConvertError : public KovaError {
 public:
  using KovaError::KovaError;
};

// A file operation the tool refuses because it would destroy or never finish
// reading a user's file: an output that is its own input or the template, an
// input that is not a regular file. The message names the files concerned.
class RefusedFileError : public KovaError {
 public:
  using KovaError::KovaError;
};

// The settings file could not be written: "Unable to write to %s".
class SettingsWriteError : public KovaError {
 public:
  explicit SettingsWriteError(const std::string& path) : KovaError("Unable to write to " + path) {}
};

// A conversion that cannot be carried out soundly (a truncated grid, a
// template that is not an image, ...). The message names the file concerned.
class ConversionError : public KovaError {
 public:
  using KovaError::KovaError;
};

// The text shown by the application's error box for an error message: a "."
// is appended when the last character sorts after "." (letters and digits do;
// ".", "!", ")" and a space do not).
std::string ErrorBoxText(const std::string& message);

// The text of the error box for an error that left an event handler: the
// message with its "." rule, and where it happened on a second line; control
// bytes from files escaped.
std::string ErrorBoxText(const std::exception& error);

}  // namespace kova
