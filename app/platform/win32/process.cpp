#include "app/platform/process.h"

#include <fcntl.h>  // _O_BINARY
#include <io.h>     // _setmode

#include <algorithm>
#include <cstdio>
#include <limits>

#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "app/platform/win32/wide.h"  // windows.h, which shellapi.h needs first

#include <shellapi.h>  // CommandLineToArgvW

namespace kova {

std::string ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) win32::ThrowLastError("program");
    if (n < buffer.size()) return win32::Narrow(buffer.substr(0, n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string ProgramDirectory() {
  const std::string path = ProgramPath();
  return path.substr(0, DirectoryPartLength(path));
}

std::string CurrentDirectory() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(size, L'\0');
  const DWORD n = ::GetCurrentDirectoryW(size, buffer.data());
  if (n == 0 || n >= size) win32::ThrowLastError(".");
  buffer.resize(n);
  // "C:\" stays the root; "C:\data\" loses its separator.
  while (buffer.size() > 3 && (buffer.back() == L'\\' || buffer.back() == L'/')) buffer.pop_back();
  return win32::Narrow(buffer);
}

void SetCurrentDirectory(const std::string& directory) {
  if (directory.empty()) throw FileError(IoResult::kInvalidFilename);
  if (::SetCurrentDirectoryW(win32::Widen(directory).c_str())) return;
  DWORD error = ::GetLastError();
  // The error code looks at the parent of the last component, so trailing
  // separators must not count as a component of their own.
  std::string trimmed = directory;
  while (trimmed.size() > 1 && IsPathSeparator(trimmed.back())) trimmed.pop_back();
  if (error == ERROR_PATH_NOT_FOUND) error = ERROR_FILE_NOT_FOUND;
  win32::ThrowLastError(trimmed, error);
}

namespace {

// The largest free stretch of this process's address space: one large
// allocation needs it in one piece, which a 32-bit process lacks long
// before the system lacks memory.
std::uint64_t LargestFreeAddressRange() {
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  auto* at = static_cast<char*>(system.lpMinimumApplicationAddress);
  auto* const end = static_cast<char*>(system.lpMaximumApplicationAddress);
  std::uint64_t largest = 0;
  MEMORY_BASIC_INFORMATION region{};
  while (at < end && ::VirtualQuery(at, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_FREE) largest = std::max<std::uint64_t>(largest, region.RegionSize);
    at = static_cast<char*>(region.BaseAddress) + region.RegionSize;
  }
  return largest;
}

// Bytes of memory the process can still take; UINT64_MAX when nothing can
// be told.
std::uint64_t AvailableMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return std::numeric_limits<std::uint64_t>::max();
  // The memory that can still be committed (memory and page file), and the
  // free part of the address space, in one piece.
  return std::min({status.ullAvailPageFile, status.ullAvailVirtual, LargestFreeAddressRange()});
}

}  // namespace

bool ExceedsMemoryLeft(std::uint64_t bytes) {
  constexpr std::uint64_t kMeasuredAbove = std::uint64_t{64} << 20;
  return bytes > kMeasuredAbove && bytes > AvailableMemory();
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void PrepareConsole() {
  // Lines end in "\n" as on Linux, in files and pipes too; a console shows
  // them all the same.
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  ::SetConsoleOutputCP(CP_UTF8);
  // The progress line's "\x1b[K" erases the rest of the line.
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(error, &mode)) {
    ::SetConsoleMode(error, mode | ENABLE_PROCESSED_OUTPUT | 0x0004 /* virtual terminal */);
  }
}

bool StandardErrorIsTerminal() {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  return error != nullptr && error != INVALID_HANDLE_VALUE &&
         ::GetFileType(error) == FILE_TYPE_CHAR && ::GetConsoleMode(error, &mode) != 0;
}

unsigned OnlineProcessorCount() {
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  return system.dwNumberOfProcessors;
}

}  // namespace kova
