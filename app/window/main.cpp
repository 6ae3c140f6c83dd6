// tarvo2kova: the window program. It reads no command-line arguments.
#include <QApplication>

#include <cstdio>
#include <cstdlib>  // getenv

#include "app/window/qt_ui.h"
#include "app/window/unit1.h"
#include "host/diagnostics.h"
#include "host/ui.h"

namespace {

// True when Qt has somewhere to draw: an X11 or Wayland display, or a
// platform chosen explicitly (such as offscreen).
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!HasDisplay()) {
    // Qt would abort with a long plugin message; say what to do instead.
    std::fputs(
        "tarvo2kova: no display: the window needs X11 or Wayland; use kova convert, or run under "
        "xvfb-run\n",
        stderr);
    return 1;
  }
  QApplication application(argc, argv);
  kova::QtUi ui;
  kova::ScopedUi installed(ui);
  // The core's diagnostic lines go to the process's standard output.
  kova::SendCoreDiagnosticsTo(stdout);
  TForm1 Form1;
  Form1.show();
  return application.exec();
}
