#include "app/platform/win32/wide.h"

#include "app/platform/base/errors.h"
#include "app/platform/paths.h"

namespace kova::win32 {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

std::string Narrow(const wchar_t* wide) {
  return wide == nullptr ? std::string() : Narrow(std::wstring(wide));
}

IoResult FileErrorCode(DWORD error, const std::string& path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: {
      // As on Linux: a missing file in an existing folder is "File not
      // found", a missing folder makes the whole name invalid.
      const std::string folder = path.substr(0, DirectoryPartLength(path));
      if (folder.empty()) return IoResult::kFileNotFound;
      const DWORD attributes = ::GetFileAttributesW(Widen(folder).c_str());
      return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                 ? IoResult::kFileNotFound
                 : IoResult::kInvalidFilename;
    }
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return IoResult::kInvalidFilename;
    case ERROR_TOO_MANY_OPEN_FILES:
      return IoResult::kTooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return IoResult::kFileAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return IoResult::kDiskFull;
    default:
      return static_cast<IoResult>(error);
  }
}

void ThrowLastError(const std::string& path, DWORD error) {
  throw FileError(FileErrorCode(error, path));
}

bool IsDeviceName(const std::string& path) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 4 && separator(path[0]) && separator(path[1]) && path[2] == '.' &&
      separator(path[3])) {
    const bool drive = path.size() >= 6 && path[5] == ':';
    return !drive;
  }
  std::string name = path.substr(DirectoryPartLength(path));
  name = name.substr(0, name.find('.'));
  while (!name.empty() && (name.back() == ' ' || name.back() == ':')) name.pop_back();
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (name == "NUL" || name == "CON" || name == "PRN" || name == "AUX" || name == "CONIN$" ||
      name == "CONOUT$") {
    return true;
  }
  return name.size() == 4 && (name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0) &&
         name[3] >= '1' && name[3] <= '9';
}

Handle OpenForQuery(const std::string& path) {
  return Handle(::CreateFileW(Widen(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace kova::win32
