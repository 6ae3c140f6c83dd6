#include "app/platform/safe_output.h"

#include <fcntl.h>     // open, linkat
#include <sys/file.h>  // flock
#include <sys/stat.h>  // stat, lstat, fchmod
#include <unistd.h>    // readlink, write, fdatasync, close, unlink, rename

#include <array>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <random>  // the temporary file's name
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/system_errors.h"

namespace kova {
namespace {

// Links followed before a chain counts as a loop, as the kernel counts.
constexpr int kMaxLinkHops = 40;
// The part of the output's name kept in the temporary file's name, so that
// the hidden name stays within the 255 bytes a directory entry holds.
constexpr std::size_t kNameKept = 200;
constexpr int kCreateAttempts = 100;

// The directory part of `path` with its trailing "/", or "" for a bare name.
std::string DirectoryPartOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePartOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `path` with every symbolic link at its end followed; the links inside its
// directory part stay, since the file is replaced in the directory they lead to.
std::string ResolveFinalLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::array<char, 4096> buffer;
    const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
    if (n < 0) ThrowFileErrorFromErrno(errno, path);
    if (static_cast<std::size_t>(n) == buffer.size()) ThrowFileErrorFromErrno(ENAMETOOLONG, path);
    const std::string link(buffer.data(), static_cast<std::size_t>(n));
    current = link.front() == '/' ? link : DirectoryPartOf(current) + link;
  }
  ThrowFileErrorFromErrno(ELOOP, path);
}

// Handles of replaced outputs, closed by a thread of their own. The last
// handle of a replaced file frees its blocks, and a file system that
// discards freed blocks at once (ext4 mounted with `discard`) then waits for
// the device: about half a millisecond for an image of 240 KB, longer than
// writing it. Held open across the rename, the old file is freed here
// instead, while the run goes on with the next file.
class ReplacedFiles {
 public:
  // Takes `fd`; closes it now when no thread can be had or too many wait.
  static void CloseLater(int fd) {
    ReplacedFiles& self = Instance();
    {
      const std::lock_guard lock(self.mutex_);
      if (self.pending_.size() < kMaxPending && self.Start()) {
        self.pending_.push_back(fd);
        self.ready_.notify_one();
        return;
      }
    }
    ::close(fd);
  }

 private:
  static constexpr std::size_t kMaxPending = 64;

  // Never destroyed: the thread may still be closing when the program ends.
  static ReplacedFiles& Instance() {
    static auto* const instance = new ReplacedFiles;
    return *instance;
  }

  bool Start() {
    if (started_) return true;
    try {
      std::thread([this] { Run(); }).detach();
      started_ = true;
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  [[noreturn]] void Run() {
    std::vector<int> closing;
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !pending_.empty(); });
        closing.swap(pending_);
      }
      // Read-only handles: nothing written is at stake in their close.
      for (const int fd : closing) ::close(fd);
      closing.clear();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<int> pending_;
  bool started_ = false;
};

// A read-only handle of the file `path` when replacing it would free its
// blocks (a regular file with data and no other name), else -1.
int OpenReplaced(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_blocks == 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(8, ' ');
  for (char& c : suffix) c = kAlphabet[pick(device)];
  return suffix;
}

// Removes `path`, a temporary file of an earlier run, unless a live run
// holds its lock.
void RemoveIfAbandoned(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat held {};
  struct stat named {};
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
      ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
      held.st_ino == named.st_ino) {
    ::unlink(path.c_str());
  }
  ::close(fd);
}

}  // namespace

SafeOutput::SafeOutput(const std::string& path) : path_(path) {
  if (path.empty()) throw FileError(IoResult::kFileNotFound);
  target_ = ResolveFinalLinks(path);
  const std::string name = NamePartOf(target_);
  if (name.empty() || name == "." || name == "..")
    throw FileError(IoResult::kFileAccessDenied);  // a directory

  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) throw FileError(IoResult::kFileAccessDenied);
  if (exists && !S_ISREG(existing.st_mode)) ThrowNotRegularFile(path);

  // A hidden name, so that a pattern run in the same folder never lists it.
  stem_ = DirectoryPartOf(target_) + "." + name.substr(0, kNameKept) + ".";
  CreateUnnamed();
  if (fd_ < 0) CreateNamed();
  // Locked while this run owns it, so that no other run takes it for the
  // leftover of a killed one.
  if (::flock(fd_, LOCK_EX) != 0) {
    const int error = errno;
    Discard();
    ThrowFileErrorFromErrno(error, target_);
  }
  if (exists) {
    // The replacement keeps the mode of the output it replaces and, where the
    // system allows it, its owner and group.
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
      if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
        // Only the owner's own user (or root) may give a file away; the new
        // output then belongs to whoever wrote it, as a new file would.
      }
    }
    if (::fchmod(fd_, existing.st_mode & 07777) != 0) {
      const int error = errno;
      Discard();
      ThrowFileErrorFromErrno(error, target_);
    }
  }
}

void SafeOutput::CreateUnnamed() {
  // A file without a name in the output's folder: if the process dies before
  // Commit(), the system removes it with the last handle, so not even a
  // killed run leaves a temporary file behind. Writers reach it by name
  // through the handle's entry in /proc.
  const std::string folder = DirectoryPartOf(target_).empty() ? "." : DirectoryPartOf(target_);
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    // File systems without unnamed files take a named one instead.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return;
    ThrowFileErrorFromErrno(errno, target_);
  }
  std::string by_name = "/proc/self/fd/" + std::to_string(fd);
  struct stat st {};
  if (::stat(by_name.c_str(), &st) != 0) {  // no /proc here
    ::close(fd);
    return;
  }
  fd_ = fd;
  temporary_ = std::move(by_name);
  unnamed_ = true;
}

void SafeOutput::CreateNamed() {
  for (int attempt = 0; fd_ < 0; ++attempt) {
    temporary_ = stem_ + RandomSuffix() + ".tmp";
    // Created exclusively, so that no other file is ever opened through this
    // name; 0666 lets the umask decide the mode of a new output.
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno != EEXIST || attempt + 1 == kCreateAttempts)) {
      const int error = errno;
      temporary_.clear();
      ThrowFileErrorFromErrno(error, target_);
    }
  }
}

void SafeOutput::Write(const void* data, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpenForOutput);
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileErrorFromErrno(errno, target_);
    }
    if (n == 0) throw FileError(IoResult::kDiskFull);
    done += static_cast<std::size_t>(n);
  }
}

namespace {

// Flushes the folder of `path`, so that a name just given in it survives a
// power cut. A folder that cannot be opened or flushed is an error.
void SyncFolderOf(const std::string& path) {
  const std::string folder = DirectoryPartOf(path).empty() ? "." : DirectoryPartOf(path);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowFileErrorFromErrno(errno, path);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0) ThrowFileErrorFromErrno(error, path);
}

}  // namespace

void SafeOutput::Commit() {
  if (committed_) return;
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpen);  // discarded
  const bool durable = DurableCommits();
  if (durable && ::fdatasync(fd_) != 0) ThrowFileErrorFromErrno(errno, target_);
  const std::string named = unnamed_ ? LinkUnnamed() : temporary_;
  const int replaced = OpenReplaced(target_);
  if (::rename(named.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    if (replaced >= 0) ::close(replaced);
    ::unlink(named.c_str());
    Discard();
    ThrowFileErrorFromErrno(error, target_);
  }
  committed_ = true;
  if (replaced >= 0) ReplacedFiles::CloseLater(replaced);
  // Closed only now: the lock on the file lasts until it has its final name.
  // The file is complete, so a failure here loses nothing, but it is
  // reported all the same.
  if (::close(std::exchange(fd_, -1)) != 0) ThrowFileErrorFromErrno(errno, target_);
  if (durable) SyncFolderOf(target_);
}

std::string SafeOutput::LinkUnnamed() {
  // The unnamed file needs a name for the rename that puts it in place. A run
  // killed between the two system calls leaves it under this name, one per
  // output, where the next run that completes the same output finds it
  // unlocked and removes it; a name in use by a live run is locked, and this
  // run then takes a name of its own.
  const std::string fixed = stem_ + "kova-partial.tmp";
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string named = attempt < 2 ? fixed : stem_ + RandomSuffix() + ".tmp";
    if (::linkat(AT_FDCWD, temporary_.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return named;
    }
    if (errno != EEXIST) ThrowFileErrorFromErrno(errno, target_);
    if (attempt == 0) RemoveIfAbandoned(fixed);
  }
  ThrowFileErrorFromErrno(EEXIST, target_);
}

void SafeOutput::Discard() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (!committed_ && !unnamed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
  if (!committed_) temporary_.clear();
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (a.empty() || b.empty()) return false;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void RequireRegularFile(const std::string& path) {
  struct stat st {};
  if (path.empty()) throw FileError(IoResult::kFileNotFound);
  if (::stat(path.c_str(), &st) != 0) ThrowFileErrorFromErrno(errno, path);
  if (S_ISDIR(st.st_mode)) throw FileError(IoResult::kFileAccessDenied);
  if (!S_ISREG(st.st_mode)) ThrowNotRegularFile(path);
}

}  // namespace kova
