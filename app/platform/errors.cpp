#include "app/platform/errors.h"

#include <cerrno>
#include <filesystem>  // parent-directory test for ENOENT
#include <system_error>

#include "app/platform/paths.h"
#include "app/platform/printable.h"

namespace kova {

std::string FileErrorText(int code) {
  switch (code) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    case 100:
      return "Read beyond end of file";
    case 101:
      return "Disk full";
    case 106:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(code);
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

FileError::FileError(int code) : KovaError(FileErrorText(code)), code_(code) {}

int FileErrorCodeFromErrno(int errnum, const std::string& path) {
  switch (errnum) {
    case ENOENT: {
      // A missing file in an existing directory is "File not found"; when the
      // directory itself is missing the name as a whole is invalid.
      std::error_code ec;
      std::filesystem::path parent = FileSystemPath(path).parent_path();
      if (parent.empty() || std::filesystem::is_directory(parent, ec)) return 2;
      return 3;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return 5;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return 101;
    default:
      return errnum;
  }
}

void ThrowFileErrorFromErrno(int errnum, const std::string& path) {
  throw FileError(FileErrorCodeFromErrno(errnum, path));
}

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
