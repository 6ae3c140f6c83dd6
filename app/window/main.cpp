// tarvo2kova: the window program. It reads no command-line arguments.
#include <QApplication>

#include "app/platform/ui.h"
#include "app/window/qt_ui.h"
#include "app/window/unit1.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  kova::QtUi ui;
  kova::ScopedUi installed(ui);
  TForm1 Form1;
  Form1.show();
  return application.exec();
}
