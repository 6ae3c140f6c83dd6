// tarvo2kova.exe: the window program. It reads no command-line arguments.
#include "app/inputs/child_process.h"  // ServeChildIfAsked
#include "app/window/win32/form_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A child reading a GeoTIFF or NetCDF file for the window ends here.
  kova::inputs::ServeChildIfAsked();
  return kova::win32::RunFormWindow();
}
