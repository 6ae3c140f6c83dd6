#include "app/platform/file.h"

#include <fcntl.h>  // _O_BINARY and the access flags of _open_osfhandle
#include <io.h>     // _open_osfhandle, _get_osfhandle, _close

#include <algorithm>
#include <utility>

#include "app/platform/base/errors.h"
#include "app/platform/safe_output.h"  // ThrowNotRegularFile
#include "app/platform/win32/wide.h"

// The file is opened with CreateFileW and kept as a C runtime descriptor of
// that handle, so the class holds the same `int` on both systems.

namespace kova {
namespace {

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// ReadFile and WriteFile take at most 4 GB - 1 per call.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

}  // namespace

void BinaryFile::CloseQuietly(int fd) noexcept {
  ::_close(fd);
}

void BinaryFile::Open(const std::string& path, FileAccess access) {
  if (fd_ >= 0) Close();
  if (path.empty()) throw FileError(IoResult::kFileNotFound);
  if (access == FileAccess::ReadOnly && win32::IsDeviceName(path)) {
    ThrowNotRegularFile(path);
  }
  DWORD desired = 0;
  DWORD disposition = OPEN_EXISTING;
  int flags = _O_BINARY;
  switch (access) {
    case FileAccess::ReadOnly:
      desired = GENERIC_READ;
      flags |= _O_RDONLY;
      break;
    case FileAccess::ReadWrite:
      desired = GENERIC_READ | GENERIC_WRITE;
      flags |= _O_RDWR;
      break;
    case FileAccess::WriteExisting:
      desired = GENERIC_WRITE;
      flags |= _O_WRONLY;
      break;
    case FileAccess::CreateWrite:
      desired = GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      flags |= _O_WRONLY;
      break;
  }
  win32::Handle handle(::CreateFileW(win32::Widen(path).c_str(), desired,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.Valid()) win32::ThrowLastError(path);
  // A file to be read must end: a device such as NUL or CON, or a pipe,
  // would be read forever or block.
  if (access == FileAccess::ReadOnly && ::GetFileType(handle.Get()) != FILE_TYPE_DISK) {
    ThrowNotRegularFile(path);
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), flags);
  if (fd < 0) throw FileError(IoResult::kTooManyOpenFiles);
  handle.Release();
  fd_ = fd;
  path_ = path;
}

void BinaryFile::Seek(std::int64_t offset) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpen);
  LARGE_INTEGER to;
  to.QuadPart = offset;
  if (offset < 0 || !::SetFilePointerEx(HandleOf(fd_), to, nullptr, FILE_BEGIN)) {
    win32::ThrowLastError(path_);
  }
}

std::size_t BinaryFile::Read(void* buffer, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpen);
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
    if (!::ReadFile(HandleOf(fd_), out + done, chunk, &n, nullptr)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      win32::ThrowLastError(path_);
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

void BinaryFile::Write(const void* buffer, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpenForOutput);
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
    if (!::WriteFile(HandleOf(fd_), in + done, chunk, &n, nullptr)) win32::ThrowLastError(path_);
    if (n == 0) throw FileError(IoResult::kDiskFull);
    done += n;
  }
}

void BinaryFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpenForOutput);
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    const auto position = static_cast<std::uint64_t>(offset) + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
    if (!::WriteFile(HandleOf(fd_), in + done, chunk, &n, &at)) win32::ThrowLastError(path_);
    if (n == 0) throw FileError(IoResult::kDiskFull);
    done += n;
  }
}

void BinaryFile::Close() {
  if (fd_ < 0) return;
  const int fd = std::exchange(fd_, -1);
  if (::_close(fd) != 0) throw FileError(IoResult::kFileAccessDenied);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace kova
