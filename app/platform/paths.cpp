#include "app/platform/paths.h"

namespace kova {

#ifdef _WIN32
constexpr bool kWindowsNames = true;
#else
constexpr bool kWindowsNames = false;
#endif

bool IsPathSeparator(char c) {
  return c == '/' || (kWindowsNames && c == '\\');
}

namespace {

bool HasDriveLetter(const std::string& path) {
  return kWindowsNames && path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

std::size_t DirectoryPartLength(const std::string& path) {
  const auto separator = path.find_last_of(kWindowsNames ? "/\\" : "/");
  if (separator != std::string::npos) return separator + 1;
  return HasDriveLetter(path) ? 2 : 0;
}

bool IsAbsolutePath(const std::string& path) {
  return (!path.empty() && IsPathSeparator(path.front())) || HasDriveLetter(path);
}

std::size_t LongPathPrefixLength(const std::string& path) {
  return kWindowsNames && path.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
}

std::string FileNameOf(const std::string& path) {
  return path.substr(DirectoryPartLength(path));
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() &&
      (IsPathSeparator(directory.back()) || (HasDriveLetter(directory) && directory.size() == 2))) {
    return directory + name;
  }
  return directory + (kWindowsNames ? "\\" : "/") + name;
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < DirectoryPartLength(path)) return path + extension;
  return path.substr(0, dot) + extension;
}

std::filesystem::path FileSystemPath(const std::string& utf8) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return std::filesystem::path(utf8);
#endif
}

std::string Utf8Path(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.string();
#endif
}

}  // namespace kova
