// tarvo2kova.exe: the window program. It reads no command-line arguments.
#include "app/window/win32/form_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return kova::win32::RunFormWindow();
}
