// Work done in a child process, so that a library that crashes, corrupts its
// memory or never returns on a damaged file ends that child and never the
// program. The parent hands the child a request, reads its answer as a
// stream of bytes, and learns how it ended; it kills a child that has not
// ended by the deadline.
//
// Only the parent's side is shared. On POSIX systems the child is a fork of
// the program, which runs the task directly; a system without fork starts a
// helper program that looks the task up by its number and reads the request
// from its standard input.
#pragma once

#include <chrono>
#include <cstddef>  // std::size_t
#include <memory>
#include <string>

namespace kova::inputs {

// Where the child writes its answer.
class ChildOutput {
 public:
  virtual ~ChildOutput() = default;
  // Writes all `length` bytes; false when the parent has stopped listening.
  virtual bool Write(const void* data, std::size_t length) = 0;
};

// The work of a child: reads `request`, writes its answer to `out`. It must
// not write to standard output or standard error (a child's standard error
// goes nowhere, so that nothing a library prints reaches the user).
using ChildTask = void (*)(const std::string& request, ChildOutput& out);

using ChildClock = std::chrono::steady_clock;

// How a child ended.
struct ChildEnd {
  enum class Kind {
    kExited,    // by itself; `code` is its exit code
    kCrashed,   // killed by a signal of its own; `code` is the signal
    kTimedOut,  // killed at the deadline
  };
  Kind kind = Kind::kExited;
  int code = 0;
  std::string description;  // "Segmentation fault", "exit code 3"
  bool said_more = false;   // the child wrote more than the parent read
};

class ChildProcess {
 public:
  // Kills a child that is still running, and waits for it.
  virtual ~ChildProcess() = default;

  // Reads exactly `length` bytes of the answer. False when the answer ends
  // before (the child ended or died) or the deadline passes first; the child
  // is then killed.
  virtual bool Read(void* data, std::size_t length) = 0;

  // Moves the deadline, for work whose size is known only from the answer.
  virtual void SetDeadline(ChildClock::time_point deadline) = 0;

  // Waits until the child has ended, killing it at the deadline; what it
  // writes meanwhile is read and dropped.
  virtual ChildEnd Finish() = 0;
};

// Called first in the main function of every program that starts children:
// where a child is the program started anew (Windows), it runs the child's
// task when this process is such a child, and ends the process there. Does
// nothing otherwise, and nothing at all where children are forks.
void ServeChildIfAsked();

// Starts `task` on `request` in a child process that must end by `deadline`.
// Raises KovaError when no child can be started. Where a child is the
// program started anew, `task` must be a function of the program itself (not
// of a module it loaded).
std::unique_ptr<ChildProcess> StartChild(ChildTask task, const std::string& request,
                                         ChildClock::time_point deadline);

}  // namespace kova::inputs
