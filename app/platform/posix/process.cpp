#include "app/platform/process.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/system_errors.h"

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
  if (directory.empty()) throw FileError(IoResult::kInvalidFilename);
  if (::chdir(directory.c_str()) == 0) return;
  const int error = errno;
  // The error code looks at the parent of the last component, so trailing
  // slashes must not count as a component of their own.
  std::string trimmed = directory;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  ThrowFileErrorFromErrno(error, trimmed);
}

namespace {

// The value of a "Key: N kB" line of /proc/meminfo, in bytes.
bool MemInfoBytes(const std::string& text, const std::string& key, std::uint64_t& bytes) {
  const std::size_t at = text.find("\n" + key + ":");
  if (at == std::string::npos) return false;
  std::istringstream line(text.substr(at + key.size() + 2));
  std::uint64_t kilobytes = 0;
  if (!(line >> kilobytes)) return false;
  bytes = kilobytes * 1024;
  return true;
}

// A number read from a control-group file; false for "max" or no file.
bool ControlGroupNumber(const std::string& path, std::uint64_t& value) {
  std::ifstream in(path);
  return static_cast<bool>(in >> value);
}

// Bytes of memory the process can still take; UINT64_MAX when nothing can
// be told.
std::uint64_t AvailableMemory() {
  std::uint64_t available = std::numeric_limits<std::uint64_t>::max();
  std::ifstream meminfo("/proc/meminfo");
  std::stringstream text;
  text << "\n" << meminfo.rdbuf();
  std::uint64_t memory = 0;
  std::uint64_t swap = 0;
  if (MemInfoBytes(text.str(), "MemAvailable", memory)) {
    MemInfoBytes(text.str(), "SwapFree", swap);
    available = memory + swap;
  }
  // The memory limit of the process's control group: cgroup v2 names it in a
  // line "0::/PATH", the older hierarchy in a line "N:memory:/PATH".
  std::ifstream groups("/proc/self/cgroup");
  for (std::string line; std::getline(groups, line);) {
    std::string folder;
    std::string limit_file;
    std::string usage_file;
    if (line.rfind("0::", 0) == 0) {
      folder = "/sys/fs/cgroup" + line.substr(3);
      limit_file = "/memory.max";
      usage_file = "/memory.current";
    } else if (const std::size_t at = line.find(":memory:"); at != std::string::npos) {
      folder = "/sys/fs/cgroup/memory" + line.substr(at + 8);
      limit_file = "/memory.limit_in_bytes";
      usage_file = "/memory.usage_in_bytes";
    } else {
      continue;
    }
    std::uint64_t limit = 0;
    std::uint64_t used = 0;
    if (ControlGroupNumber(folder + limit_file, limit) &&
        ControlGroupNumber(folder + usage_file, used)) {
      available = std::min(available, limit > used ? limit - used : 0);
    }
  }
  return available;
}

}  // namespace

bool ExceedsMemoryLeft(std::uint64_t bytes) {
  constexpr std::uint64_t kMeasuredAbove = std::uint64_t{64} << 20;
  return bytes > kMeasuredAbove && bytes > AvailableMemory();
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

unsigned OnlineProcessorCount() {
  const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<unsigned>(count) : 0;
}

}  // namespace kova
