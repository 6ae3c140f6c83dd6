// Shared pieces of the fuzz harnesses: a scratch folder that lives as long as
// the process, raw file writing, a user interface that shows nothing, and the
// check that turns a broken property into a crash libFuzzer reports.
#pragma once

#include <fcntl.h>   // open
#include <stdlib.h>  // mkdtemp
#include <unistd.h>  // write, close, dup2

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>  // abort, getenv
#include <filesystem>
#include <string>
#include <string_view>

#include "app/platform/ui.h"

namespace kova::fuzz {

// Reports a broken property and stops the process so that libFuzzer keeps
// the input that broke it.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// A folder of its own under $TMPDIR (or /dev/shm, or /tmp), removed when the
// process ends. Every file a harness writes lies in it. A memory file system
// keeps the many small writes from waiting for the disk.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::error_code ignored;
    std::string pattern = base && *base                                        ? base
                          : std::filesystem::is_directory("/dev/shm", ignored) ? "/dev/shm"
                                                                               : "/tmp";
    pattern += "/kova-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Fail("cannot create a scratch folder");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// The one scratch folder of this process.
inline const ScratchDir& Scratch() {
  static const ScratchDir dir;
  return dir;
}

// Writes `size` bytes as the whole content of `path`, a new file each time
// (cutting an existing file makes some file systems flush it first).
inline void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot create a scratch file");
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written <= 0) Fail("cannot write a scratch file");
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0) Fail("cannot close a scratch file");
}

// The whole content of `path`; false when it cannot be opened.
inline bool ReadBytes(const std::string& path, std::string& content) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  content.clear();
  char block[65536];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0) Fail("cannot read a scratch file");
    if (n == 0) break;
    content.append(block, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

// Dialogs and cursor changes go nowhere.
class SilentUi : public Ui {
 public:
  void ShowMessage(MessageKind, const std::string&, const std::string&) override {}
  void SetCursor(CursorKind) override {}
};

// Standard output to /dev/null: the Lambert azimuthal inverse reports every
// point beyond its sphere there, which would flood the fuzzer's log.
inline void SilenceStandardOutput() {
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0 || ::dup2(null_fd, STDOUT_FILENO) < 0) Fail("cannot silence standard output");
  ::close(null_fd);
}

}  // namespace kova::fuzz
