// Children by fork(): the child is a copy of the program that runs the task
// and leaves with _exit, so that none of the parent's exit handlers, stream
// buffers or destructors run twice.
#include <fcntl.h>  // O_CLOEXEC, open of /dev/null
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>  // PR_SET_PDEATHSIG
#endif

#include <cerrno>
#include <cstring>  // std::strerror, strsignal
#include <thread>   // std::this_thread::sleep_for while the child ends

#include "app/inputs/child_process.h"
#include "app/platform/base/errors.h"

namespace kova::inputs {
namespace {

class PipeOutput final : public ChildOutput {
 public:
  explicit PipeOutput(int fd) : fd_(fd) {}
  bool Write(const void* data, std::size_t length) override {
    const char* at = static_cast<const char*>(data);
    while (length > 0) {
      const ssize_t written = ::write(fd_, at, length);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      at += written;
      length -= static_cast<std::size_t>(written);
    }
    return true;
  }

 private:
  int fd_;
};

// The answer's end of the pipe in the child.
constexpr int kAnswerFd = 3;

// Closes every descriptor above `last`: the ends of other children's pipes,
// made by other threads at the time of the fork, would otherwise keep those
// pipes open after their children ended.
void CloseDescriptorsAbove(int last) {
  if (::close_range(static_cast<unsigned>(last) + 1, ~0u, 0) == 0) return;
  const long open_max = ::sysconf(_SC_OPEN_MAX);
  const int end = open_max > 0 && open_max < 65536 ? static_cast<int>(open_max) : 65536;
  for (int fd = last + 1; fd < end; ++fd) ::close(fd);
}

// The child's side: never returns.
[[noreturn]] void RunChild(ChildTask task, const std::string& request, int fd) {
#ifdef __linux__
  // A child whose parent is gone has nobody to answer; a hanging one would
  // stay forever.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
  // Nothing a library prints reaches the user: our messages come back in
  // the answer. The parent's standard output stays the parent's.
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
  }
  if (fd != kAnswerFd) {
    if (::dup2(fd, kAnswerFd) < 0) ::_exit(123);
    fd = kAnswerFd;
  }
  CloseDescriptorsAbove(kAnswerFd);
  ::signal(SIGPIPE, SIG_IGN);
  // Ctrl-C is the parent's to handle: it ends its children as it sees fit
  // (and they die with it), rather than finding each one "crashed".
  ::signal(SIGINT, SIG_IGN);
  PipeOutput out(fd);
  try {
    task(request, out);
  } catch (...) {
    ::_exit(124);
  }
  ::_exit(0);
}

class PosixChild final : public ChildProcess {
 public:
  PosixChild(pid_t pid, int fd, ChildClock::time_point deadline)
      : pid_(pid), fd_(fd), deadline_(deadline) {}

  ~PosixChild() override {
    if (fd_ >= 0) ::close(fd_);
    if (!reaped_) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }

  bool Read(void* data, std::size_t length) override {
    char* at = static_cast<char*>(data);
    while (length > 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - ChildClock::now());
      if (left.count() <= 0) return Kill();
      pollfd wanted{fd_, POLLIN, 0};
      const int ready =
          ::poll(&wanted, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return false;
      if (ready == 0) continue;  // the deadline is looked at again
      const ssize_t got = ::read(fd_, at, length);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      at += got;
      length -= static_cast<std::size_t>(got);
    }
    return true;
  }

  void SetDeadline(ChildClock::time_point deadline) override { deadline_ = deadline; }

  ChildEnd Finish() override {
    if (!reaped_) {
      // The child's end of the pipe closes as it ends: waited for without
      // polling, up to the deadline.
      char rest = 0;
      while (Read(&rest, 1)) {
        extra_ = true;
      }
    }
    if (!reaped_) {
      // Ended, or about to be: reaped within microseconds.
      auto pause = std::chrono::microseconds(10);
      for (;;) {
        const pid_t got = ::waitpid(pid_, &status_, WNOHANG);
        if (got == pid_) break;
        if (got < 0 && errno != EINTR) {
          status_ = 0;
          break;
        }
        if (ChildClock::now() >= deadline_) {
          Kill();
          break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(1000));
      }
      reaped_ = true;
    }
    ChildEnd end;
    end.said_more = extra_;
    if (timed_out_) {
      end.kind = ChildEnd::Kind::kTimedOut;
    } else if (WIFSIGNALED(status_)) {
      end.kind = ChildEnd::Kind::kCrashed;
      end.code = WTERMSIG(status_);
      const char* name = ::strsignal(end.code);
      end.description = name != nullptr ? name : "signal " + std::to_string(end.code);
    } else {
      end.code = WIFEXITED(status_) ? WEXITSTATUS(status_) : 0;
      end.description = "exit code " + std::to_string(end.code);
    }
    return end;
  }

 private:
  // Kills the child at the deadline; always false, for Read.
  bool Kill() {
    if (!reaped_) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
      }
      reaped_ = true;
      timed_out_ = true;
    }
    return false;
  }

  pid_t pid_;
  int fd_;
  ChildClock::time_point deadline_;
  bool reaped_ = false;
  bool timed_out_ = false;
  bool extra_ = false;  // the child said more than was read
  int status_ = 0;
};

}  // namespace

void ServeChildIfAsked() {}

std::unique_ptr<ChildProcess> StartChild(ChildTask task, const std::string& request,
                                         ChildClock::time_point deadline) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw KovaError(std::string("No process can be started to read the file (pipe: ") +
                    std::strerror(errno) + ")");
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    throw KovaError(std::string("No process can be started to read the file (fork: ") +
                    std::strerror(error) + ")");
  }
  if (pid == 0) {
    ::close(fds[0]);
    RunChild(task, request, fds[1]);
  }
  ::close(fds[1]);
#ifdef F_SETPIPE_SZ
  // A grid's values pass in far fewer turns of the two processes through a
  // pipe of 1 MB than through the usual 64 KB (the system may give less).
  ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
#endif
  return std::make_unique<PosixChild>(pid, fds[0], deadline);
}

}  // namespace kova::inputs
