#include "app/platform/file.h"

#include <fcntl.h>     // open
#include <sys/stat.h>  // fstat, stat
#include <unistd.h>    // read, write, lseek, close

#include <cerrno>
#include <utility>

#include "app/platform/base/errors.h"
#include "app/platform/safe_output.h"  // ThrowNotRegularFile
#include "app/platform/system_errors.h"

namespace kova {

void BinaryFile::CloseQuietly(int fd) noexcept {
  ::close(fd);
}

void BinaryFile::Open(const std::string& path, FileAccess access) {
  if (fd_ >= 0) Close();
  if (path.empty()) throw FileError(IoResult::kFileNotFound);
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::ReadOnly:
      // Not blocking, so that opening a FIFO without a writer returns at
      // once and is refused below.
      flags |= O_RDONLY | O_NONBLOCK;
      break;
    case FileAccess::ReadWrite:
      flags |= O_RDWR;
      break;
    case FileAccess::WriteExisting:
      flags |= O_WRONLY;
      break;
    case FileAccess::CreateWrite:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
  }
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) ThrowFileErrorFromErrno(errno, path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    ThrowFileErrorFromErrno(error, path);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw FileError(IoResult::kFileAccessDenied);
  }
  if (access == FileAccess::ReadOnly) {
    // A file to be read must end: a device such as /dev/zero or a FIFO
    // would be read forever or block.
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      ThrowNotRegularFile(path);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  fd_ = fd;
  path_ = path;
}

void BinaryFile::Seek(std::int64_t offset) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpen);
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) ThrowFileErrorFromErrno(errno, path_);
}

std::size_t BinaryFile::Read(void* buffer, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpen);
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, out + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileErrorFromErrno(errno, path_);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void BinaryFile::Write(const void* buffer, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpenForOutput);
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, in + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileErrorFromErrno(errno, path_);
    }
    if (n == 0) throw FileError(IoResult::kDiskFull);
    done += static_cast<std::size_t>(n);
  }
}

void BinaryFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpenForOutput);
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd_, in + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileErrorFromErrno(errno, path_);
    }
    if (n == 0) throw FileError(IoResult::kDiskFull);
    done += static_cast<std::size_t>(n);
  }
}

void BinaryFile::Close() {
  if (fd_ < 0) return;
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) ThrowFileErrorFromErrno(errno, path_);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace kova
