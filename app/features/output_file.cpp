#include "app/features/output_file.h"

#include <sys/stat.h>  // stat: file identity
#include <unistd.h>    // write, fsync, close, unlink

#include <cerrno>
#include <cstdio>   // std::rename
#include <cstdlib>  // mkstemp
#include <vector>

#include "app/platform/errors.h"

namespace kova {
namespace {

[[noreturn]] void Fail(int errnum, const std::string& path) {
  FileError error(FileErrorCodeFromErrno(errnum, path));
  error.AddContext(path);
  throw error;
}

// Removes the temporary file unless it has taken the target's place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = directory + "." + name + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = ::mkstemp(buffer.data());
    if (fd_ < 0) Fail(errno, target);
    path_ = buffer.data();
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!kept_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const noexcept { return fd_; }
  const std::string& path() const noexcept { return path_; }
  // Closes the file, reporting a failure.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }
  void Keep() noexcept { kept_ = true; }

 private:
  int fd_ = -1;
  std::string path_;
  bool kept_ = false;
};

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void WriteWholeFile(const std::string& path, std::string_view bytes,
                    std::initializer_list<std::string> keep) {
  for (const std::string& source : keep) {
    if (IsSameFile(path, source)) {
      throw KovaError("The output " + path + " is the file it is made from, " + source);
    }
  }
  TemporaryFile temporary(path);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(temporary.fd(), bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno, path);
    }
    done += static_cast<std::size_t>(written);
  }
  // A new file is readable by everyone the user's umask allows.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(temporary.fd(), 0666 & ~mask) != 0) Fail(errno, path);
  if (::fsync(temporary.fd()) != 0) Fail(errno, path);
  if (temporary.Close() != 0) Fail(errno, path);
  if (std::rename(temporary.path().c_str(), path.c_str()) != 0) Fail(errno, path);
  temporary.Keep();
}

}  // namespace kova
