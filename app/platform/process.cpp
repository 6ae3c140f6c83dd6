#include "app/platform/process.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "app/platform/errors.h"

namespace kova {

std::string ProgramPath() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) ThrowFileErrorFromErrno(errno, "/proc/self/exe");
    if (static_cast<std::size_t>(n) < buffer.size())
      return std::string(buffer.data(), static_cast<std::size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string ProgramDirectory() {
  std::string path = ProgramPath();
  return path.substr(0, path.rfind('/') + 1);
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) ThrowFileErrorFromErrno(errno, ".");
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

void SetCurrentDirectory(const std::string& directory) {
  if (directory.empty()) throw FileError(3);
  if (::chdir(directory.c_str()) == 0) return;
  const int error = errno;
  // The error code looks at the parent of the last component, so trailing
  // slashes must not count as a component of their own.
  std::string trimmed = directory;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  ThrowFileErrorFromErrno(error, trimmed);
}

}  // namespace kova
