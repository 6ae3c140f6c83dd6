// The window program's side of the platform layer: message dialogs and the
// application cursor through Qt, and the application's error box.
#pragma once

#include <QString>
#include <string>

#include "host/ui.h"

class QWidget;

namespace kova {

// Message dialogs as Qt message boxes (caption "Error" with the critical
// icon, or "Information" with the information icon; one "OK" button) over
// the active window, and the cursor as the application's override cursor.
class QtUi : public Ui {
 public:
  void ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) override;
  void SetCursor(CursorKind cursor) override;
};

// The cursor of the whole application. There is one such setting: a new
// shape replaces the one before, and Default removes it.
void SetApplicationCursor(CursorKind cursor);

// The application's error box: critical icon, the given caption, one "OK"
// button, modal over `owner`.
void ShowApplicationErrorBox(QWidget* owner, const QString& caption, const QString& text);

}  // namespace kova
