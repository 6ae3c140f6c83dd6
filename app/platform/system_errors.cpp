#include "app/platform/system_errors.h"

#include <cerrno>
#include <filesystem>  // parent-directory test for ENOENT
#include <system_error>

#include "app/platform/paths.h"

namespace kova {

IoResult FileErrorCodeFromErrno(int errnum, const std::string& path) {
  switch (errnum) {
    case ENOENT: {
      // A missing file in an existing directory is "File not found"; when the
      // directory itself is missing the name as a whole is invalid.
      std::error_code ec;
      std::filesystem::path parent = FileSystemPath(path).parent_path();
      if (parent.empty() || std::filesystem::is_directory(parent, ec))
        return IoResult::kFileNotFound;
      return IoResult::kInvalidFilename;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      return IoResult::kInvalidFilename;
    case EMFILE:
    case ENFILE:
      return IoResult::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return IoResult::kFileAccessDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return IoResult::kDiskFull;
    default:
      return static_cast<IoResult>(errnum);
  }
}

void ThrowFileErrorFromErrno(int errnum, const std::string& path) {
  throw FileError(FileErrorCodeFromErrno(errnum, path));
}

}  // namespace kova
