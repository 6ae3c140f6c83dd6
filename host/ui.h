// The two things the core asks of a user interface: modal message dialogs
// and the application's mouse cursor. Each front end (the window, the command
// line, the tests) installs its own implementation; the core never draws.
#pragma once

#include <string>

namespace kova {

enum class MessageKind {
  Error,        // caption "Error", error symbol, one "OK" button
  Information,  // caption "Information", information symbol, one "OK" button
};

enum class CursorKind { Default, Busy, Hand };

class Ui {
 public:
  virtual ~Ui() = default;
  // Shows a modal message dialog and returns when the user has closed it.
  virtual void ShowMessage(MessageKind kind, const std::string& caption,
                           const std::string& text) = 0;
  // Sets the cursor of the whole application.
  virtual void SetCursor(CursorKind cursor) = 0;
};

// The interface in use. Until a front end installs one, a console interface
// writes errors to standard error and information to standard output.
Ui& CurrentUi();

// Installs `ui` (not owned; nullptr goes back to the console interface) and
// returns the one installed before.
Ui* InstallUi(Ui* ui);

// Installs an interface for the life of a scope and restores the previous one.
class ScopedUi {
 public:
  explicit ScopedUi(Ui& ui) : previous_(InstallUi(&ui)) {}
  ~ScopedUi() { InstallUi(previous_); }
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

 private:
  Ui* previous_;
};

// The standard dialogs.
void ShowErrorMessage(const std::string& text);        // caption "Error"
void ShowInformationMessage(const std::string& text);  // caption "Information"
void SetAppCursor(CursorKind cursor);

// Sets the busy cursor and restores the default cursor when the scope ends,
// also when an error leaves it.
class BusyCursor {
 public:
  BusyCursor() { SetAppCursor(CursorKind::Busy); }
  ~BusyCursor() { SetAppCursor(CursorKind::Default); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace kova
