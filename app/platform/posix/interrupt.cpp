#include "app/platform/interrupt.h"

#include <atomic>
#include <csignal>  // sigaction

namespace kova {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
struct sigaction previous {};

extern "C" void NoteInterrupt(int) {
  interrupted.store(true);
}

}  // namespace

InterruptWatch::InterruptWatch() {
  interrupted.store(false);
  struct sigaction action {};
  action.sa_handler = NoteInterrupt;
  action.sa_flags = SA_RESETHAND;  // the second one takes the default way
  sigemptyset(&action.sa_mask);
  installed_ = ::sigaction(SIGINT, &action, &previous) == 0;
}

InterruptWatch::~InterruptWatch() {
  if (installed_) ::sigaction(SIGINT, &previous, nullptr);
}

bool InterruptWatch::Interrupted() noexcept {
  return interrupted.load();
}

}  // namespace kova
