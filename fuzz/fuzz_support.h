// Shared pieces of the fuzz harnesses: a scratch folder that lives as long as
// the process, raw file writing, a user interface that shows nothing, and the
// check that turns a broken property into a crash libFuzzer reports.
#pragma once

#include <fcntl.h>   // open
#include <stdlib.h>  // mkdtemp
#include <unistd.h>  // write, close, dup2

#include <cmath>  // isfinite
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>  // abort, getenv
#include <filesystem>
#include <string>
#include <string_view>

#include "app/grid_data.h"
#include "host/ui.h"

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

// What every grid an input reader yields must be: 1 to 32767 columns and
// rows, `cells` of them as the reader said before reading, one value and one
// no-data flag (0 or 1) per cell, finite cell sizes above 0, finite edges,
// and a finite value in every valid cell.
inline void CheckGridShape(const kova::GridData& grid, std::size_t cells) {
  Check(grid.Cols >= 1 && grid.Rows >= 1 && grid.Cols <= 32767 && grid.Rows <= 32767,
        "grid size outside 1 to 32767");
  const std::size_t n = static_cast<std::size_t>(grid.Cols) * static_cast<std::size_t>(grid.Rows);
  Check(n == cells, "grid size differs from the cell count given before reading");
  Check(grid.Values.size() == n && grid.NoData.size() == n,
        "values or no-data flags other than one per cell");
  Check(std::isfinite(grid.CellWidth) && grid.CellWidth > 0 && std::isfinite(grid.CellHeight) &&
            grid.CellHeight > 0,
        "cell size not finite or not above zero");
  Check(std::isfinite(grid.Left) && std::isfinite(grid.Bottom), "grid edge not finite");
  for (std::size_t k = 0; k < n; ++k) {
    Check(grid.NoData[k] <= 1, "no-data flag other than 0 or 1");
    if (grid.NoData[k] == 0) Check(std::isfinite(grid.Values[k]), "a value that is not finite");
  }
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
