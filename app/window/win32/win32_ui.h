// The window program's side of the platform layer on Win32: message boxes
// and the application's cursor.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "host/ui.h"

namespace kova::win32 {

// Message dialogs as MessageBoxW over the active window (the error symbol
// for Error, the information symbol for Information; one "OK" button; the
// caption as given), and the cursor as the application's cursor.
class Win32Ui : public Ui {
 public:
  void ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) override;
  void SetCursor(CursorKind cursor) override;
};

// The cursor of the whole application: shown at once, and kept over every
// window of the program (the windows answer WM_SETCURSOR with it) until
// Default gives each control its own again.
void SetApplicationCursor(CursorKind cursor);
CursorKind ApplicationCursor();

// For WM_SETCURSOR: sets the application's cursor and returns true unless
// it is Default.
bool ApplyApplicationCursor();

}  // namespace kova::win32
