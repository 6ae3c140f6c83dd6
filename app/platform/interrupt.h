// Ctrl-C while a long run goes on: noted instead of ending the program, for
// as long as an InterruptWatch lives, so that the run can stop between two
// files and say how far it got. A second Ctrl-C ends the program at once,
// should a file never finish.
#pragma once

namespace kova {

class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Whether Ctrl-C was pressed since the watch began.
  static bool Interrupted() noexcept;

 private:
  bool installed_ = false;
};

// The exit code of a run ended by Ctrl-C, as a POSIX shell reports it.
constexpr int kExitInterrupted = 130;

}  // namespace kova
