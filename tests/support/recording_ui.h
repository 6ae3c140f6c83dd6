// A user interface for tests: records every dialog and cursor change instead
// of showing them, and installs itself for the life of the object.
#pragma once

#include <string>
#include <vector>

#include "host/ui.h"

namespace kova::testing {

struct ShownMessage {
  MessageKind kind;
  std::string caption;
  std::string text;
};

class RecordingUi : public Ui {
 public:
  RecordingUi() : previous_(InstallUi(this)) {}
  ~RecordingUi() override { InstallUi(previous_); }

  void ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) override {
    messages.push_back({kind, caption, text});
  }
  void SetCursor(CursorKind cursor) override { cursors.push_back(cursor); }

  std::vector<ShownMessage> messages;
  std::vector<CursorKind> cursors;

 private:
  Ui* previous_;
};

}  // namespace kova::testing
