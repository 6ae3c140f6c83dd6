#include "app/platform/settings.h"

#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "app/platform/win32/wide.h"

// The settings file through the system's private-profile functions. Their
// wide forms keep names outside the user's code page: a file that the
// program creates starts with the UTF-16 byte order mark, which makes the
// system read and write it as Unicode text (an existing file keeps its
// encoding).

namespace kova {
namespace {

// The profile functions take a name without a folder as one in the Windows
// folder: a relative name is made absolute first.
std::wstring FullPath(const std::string& path) {
  const std::wstring wide = win32::Widen(path);
  if (IsAbsolutePath(path) && DirectoryPartLength(path) > 0) return wide;
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  const DWORD n = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  full.resize(n < size ? n : 0);
  return full.empty() ? wide : full;
}

// Creates `path` as an empty Unicode profile unless it exists.
void CreateUnicodeProfile(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;  // there already, or the write below says why not
  static constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};
  DWORD written = 0;
  ::WriteFile(file, kByteOrderMark, sizeof kByteOrderMark, &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value) {
  std::vector<wchar_t> buffer(kProfileValueLimit + 1);
  const std::wstring file = FullPath(path);
  const DWORD n = ::GetPrivateProfileStringW(
      win32::Widen(section).c_str(), win32::Widen(key).c_str(), win32::Widen(default_value).c_str(),
      buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
  return win32::Narrow(std::wstring(buffer.data(), n));
}

void WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  const std::wstring file = FullPath(path);
  if (path.empty()) throw SettingsWriteError(win32::Narrow(file));
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    throw SettingsWriteError(win32::Narrow(file));
  }
  CreateUnicodeProfile(file);
  if (!::WritePrivateProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(),
                                    win32::Widen(value).c_str(), file.c_str())) {
    throw SettingsWriteError(win32::Narrow(file));
  }
}

}  // namespace kova
