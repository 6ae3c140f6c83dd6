#include "app/platform/paths.h"

namespace kova {
namespace {

std::string::size_type NameStart(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string FileNameOf(const std::string& path) {
  return path.substr(NameStart(path));
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < NameStart(path)) return path + extension;
  return path.substr(0, dot) + extension;
}

}  // namespace kova
