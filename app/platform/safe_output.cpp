#include "app/platform/safe_output.h"

#include <fcntl.h>     // open
#include <sys/stat.h>  // stat, lstat, fchmod
#include <unistd.h>    // readlink, write, fdatasync, close, unlink, rename

#include <array>
#include <cerrno>
#include <random>  // the temporary file's name
#include <utility>

#include "app/platform/errors.h"

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

std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(8, ' ');
  for (char& c : suffix) c = kAlphabet[pick(device)];
  return suffix;
}

[[noreturn]] void ThrowNotRegular(const std::string& path) {
  RefusedFileError error("Not a regular file");
  error.AddContext(path);
  throw error;
}

}  // namespace

SafeOutput::SafeOutput(const std::string& path) : path_(path) {
  if (path.empty()) throw FileError(2);
  target_ = ResolveFinalLinks(path);
  const std::string name = NamePartOf(target_);
  if (name.empty() || name == "." || name == "..") throw FileError(5);  // a directory

  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) throw FileError(5);
  if (exists && !S_ISREG(existing.st_mode)) ThrowNotRegular(path);

  // A hidden name, so that a pattern run in the same folder never lists it.
  const std::string stem = DirectoryPartOf(target_) + "." + name.substr(0, kNameKept) + ".";
  for (int attempt = 0; fd_ < 0; ++attempt) {
    temporary_ = stem + RandomSuffix() + ".tmp";
    // Created exclusively, so that no other file is ever opened through this
    // name; 0666 lets the umask decide the mode of a new output.
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno != EEXIST || attempt + 1 == kCreateAttempts)) {
      const int error = errno;
      temporary_.clear();
      ThrowFileErrorFromErrno(error, target_);
    }
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

SafeOutput::~SafeOutput() {
  Discard();
}

SafeOutput::SafeOutput(SafeOutput&& other) noexcept
    : path_(std::move(other.path_)),
      target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, std::string())),
      fd_(std::exchange(other.fd_, -1)),
      committed_(other.committed_) {}

SafeOutput& SafeOutput::operator=(SafeOutput&& other) noexcept {
  if (this != &other) {
    Discard();
    path_ = std::move(other.path_);
    target_ = std::move(other.target_);
    temporary_ = std::exchange(other.temporary_, std::string());
    fd_ = std::exchange(other.fd_, -1);
    committed_ = other.committed_;
  }
  return *this;
}

void SafeOutput::Write(const void* data, std::size_t count) {
  if (fd_ < 0) throw FileError(105);  // "file not open for output"
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileErrorFromErrno(errno, target_);
    }
    if (n == 0) throw FileError(101);
    done += static_cast<std::size_t>(n);
  }
}

void SafeOutput::Commit() {
  if (committed_) return;
  if (fd_ < 0) throw FileError(103);  // discarded: "file not open"
  // The data reaches the disk before the name points at it: without this a
  // crash of the machine shortly after the rename could leave the output
  // empty on file systems that delay allocation. The folder itself is not
  // flushed; after such a crash the output may still be the old file, whole.
  if (::fdatasync(fd_) != 0) ThrowFileErrorFromErrno(errno, target_);
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) ThrowFileErrorFromErrno(errno, target_);
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) ThrowFileErrorFromErrno(errno, target_);
  committed_ = true;
}

void SafeOutput::Discard() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
  if (!committed_) temporary_.clear();
}

void WriteFileWhole(const std::string& path, const void* data, std::size_t count) {
  SafeOutput output(path);
  output.Write(data, count);
  output.Commit();
}

void WriteFileWhole(const std::string& path, const std::string& bytes) {
  WriteFileWhole(path, bytes.data(), bytes.size());
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (a.empty() || b.empty()) return false;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void RefuseOverwriting(const std::string& output, const std::string& source,
                       const std::string& role) {
  if (IsSameFile(output, source)) {
    throw RefusedFileError("The output " + output + " is the same file as the " + role + " " +
                           source);
  }
}

void RequireRegularFile(const std::string& path) {
  struct stat st {};
  if (path.empty()) throw FileError(2);
  if (::stat(path.c_str(), &st) != 0) ThrowFileErrorFromErrno(errno, path);
  if (S_ISDIR(st.st_mode)) throw FileError(5);
  if (!S_ISREG(st.st_mode)) ThrowNotRegular(path);
}

}  // namespace kova
