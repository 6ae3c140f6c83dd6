// The C runtime's error numbers (errno) as the I/O results of FileError, for
// the file operations that report through errno on either system.
#pragma once

#include <string>

#include "app/platform/base/errors.h"

namespace kova {

// Maps an operating-system error number (errno) met while opening or using
// `path` onto an I/O result code: a missing file is kFileNotFound, a missing
// directory above it kInvalidFilename, a permission failure or a directory
// opened as a file kFileAccessDenied, a full disk kDiskFull; any other error
// number is passed on as it is.
IoResult FileErrorCodeFromErrno(int errnum, const std::string& path);

// Raises the FileError for errno met on `path`.
[[noreturn]] void ThrowFileErrorFromErrno(int errnum, const std::string& path);

}  // namespace kova
