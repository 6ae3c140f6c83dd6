#include "app/platform/interrupt.h"

#include <windows.h>  // SetConsoleCtrlHandler

#include <atomic>

namespace kova {
namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the console starts. The first Ctrl-C (or
// Ctrl-Break) is noted; the next one falls through to the default handler,
// which ends the process.
BOOL WINAPI NoteInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return interrupted.exchange(true) ? FALSE : TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  interrupted.store(false);
  installed_ = SetConsoleCtrlHandler(NoteInterrupt, TRUE) != 0;
}

InterruptWatch::~InterruptWatch() {
  if (installed_) SetConsoleCtrlHandler(NoteInterrupt, FALSE);
}

bool InterruptWatch::Interrupted() noexcept {
  return interrupted.load();
}

}  // namespace kova
