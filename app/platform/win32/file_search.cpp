#include "app/platform/file_search.h"

#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "app/platform/win32/wide.h"

namespace kova {

std::vector<std::string> FindFiles(const std::string& directory, const std::string& masks) {
  const std::string folder = directory.empty() ? "." : directory;
  // Every entry is listed and matched by MatchesMask, as on Linux: the
  // system's own matching would also match the short 8.3 names.
  WIN32_FIND_DATAW found{};
  const std::wstring all = win32::Widen(JoinPath(folder, "*"));
  HANDLE search = ::FindFirstFileW(all.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return {};
    // A missing folder: its own name decides between 2 and 3.
    win32::ThrowLastError(folder, error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error);
  }
  std::vector<std::string> files;
  for (;;) {
    const bool listed =
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    std::string name = win32::Narrow(found.cFileName);
    if (listed && !name.empty() && name.front() != '.') files.push_back(std::move(name));
    if (!::FindNextFileW(search, &found)) {
      const DWORD error = ::GetLastError();
      ::FindClose(search);
      if (error != ERROR_NO_MORE_FILES) win32::ThrowLastError(folder, error);
      break;
    }
  }
  return MatchingFiles(files, masks);
}

}  // namespace kova
