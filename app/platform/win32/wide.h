// The Win32 side of the platform layer: UTF-8 inside the program, the wide
// API outside, and the system's error numbers as I/O result codes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Names of the platform interface that windows.h takes for its A/W macros.
// Any file that includes windows.h and calls these functions of ours needs
// the same two lines (or this header).
#undef SetCurrentDirectory
#undef WriteProfileString

#include <string>

#include "app/platform/base/errors.h"  // IoResult

namespace kova::win32 {

// UTF-8 to UTF-16 and back; bytes that are not UTF-8 become U+FFFD.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide);

// The I/O result code of a Win32 error met on `path`: a missing file is
// kFileNotFound, a missing folder above it or a bad name kInvalidFilename,
// too many handles kTooManyOpenFiles, access denied or a sharing violation
// kFileAccessDenied, a full disk kDiskFull; any other error keeps its number.
IoResult FileErrorCode(DWORD error, const std::string& path);

// Raises the FileError of `error` (GetLastError() by default) met on `path`.
[[noreturn]] void ThrowLastError(const std::string& path, DWORD error = ::GetLastError());

// A handle closed with the object.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : handle_(other.Release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.Release();
    }
    return *this;
  }
  bool Valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const noexcept { return handle_; }
  HANDLE Release() noexcept {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  void Reset() noexcept {
    if (Valid()) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// True when `path` names a device rather than a file: a reserved name (NUL,
// CON, PRN, AUX, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$) in any folder
// and with any extension, or a name of the device namespace ("\\.\pipe\x",
// "\\.\COM1"; "\\.\C:\x" is a file).
bool IsDeviceName(const std::string& path);

// Opens `path` only to ask about it (no read or write access), folders too;
// every sharing allowed, so that an open by another program never stops it.
Handle OpenForQuery(const std::string& path);

}  // namespace kova::win32
