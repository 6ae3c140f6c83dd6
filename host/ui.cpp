#include "host/ui.h"

#include <cstdio>

namespace kova {
namespace {

class ConsoleUi : public Ui {
 public:
  void ShowMessage(MessageKind kind, const std::string&, const std::string& text) override {
    std::FILE* out = kind == MessageKind::Error ? stderr : stdout;
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
  }
  void SetCursor(CursorKind) override {}
};

ConsoleUi console_ui;
Ui* installed_ui = nullptr;

}  // namespace

Ui& CurrentUi() {
  return installed_ui ? *installed_ui : console_ui;
}

Ui* InstallUi(Ui* ui) {
  Ui* previous = installed_ui;
  installed_ui = ui;
  return previous;
}

void ShowErrorMessage(const std::string& text) {
  CurrentUi().ShowMessage(MessageKind::Error, "Error", text);
}

void ShowInformationMessage(const std::string& text) {
  CurrentUi().ShowMessage(MessageKind::Information, "Information", text);
}

void SetAppCursor(CursorKind cursor) {
  CurrentUi().SetCursor(cursor);
}

}  // namespace kova
