#include "app/platform/base/errors.h"

#include "app/platform/base/printable.h"

namespace kova {

std::string FileErrorText(IoResult code) {
  switch (code) {
    case IoResult::kFileNotFound:
      return "File not found";
    case IoResult::kInvalidFilename:
      return "Invalid filename";
    case IoResult::kTooManyOpenFiles:
      return "Too many open files";
    case IoResult::kFileAccessDenied:
      return "File access denied";
    case IoResult::kReadBeyondEndOfFile:
      return "Read beyond end of file";
    case IoResult::kDiskFull:
      return "Disk full";
    case IoResult::kInvalidNumericInput:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(static_cast<int>(code));
  }
}

void KovaError::AddContext(const std::string& where) {
  if (where.empty()) return;
  context_ = context_.empty() ? where : where + ", " + context_;
  full_ = message_ + ": " + context_;
}

void KovaError::AddActivity(const std::string& doing) {
  if (doing.empty()) return;
  context_ = context_.empty() ? doing : context_ + " (" + doing + ")";
  full_ = message_ + ": " + context_;
}

FileError::FileError(IoResult code) : KovaError(FileErrorText(code)), code_(code) {}

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

std::string ErrorBoxText(const std::exception& error) {
  const auto* kova_error = dynamic_cast<const KovaError*>(&error);
  if (kova_error == nullptr) return EscapeControlBytes(ErrorBoxText(std::string(error.what())));
  std::string text = EscapeControlBytes(ErrorBoxText(kova_error->Message()));
  if (!kova_error->Context().empty()) {
    text += '\n';
    text += EscapeControlBytes(kova_error->Context());
  }
  return text;
}

}  // namespace kova
