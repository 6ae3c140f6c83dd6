// What every `kova` subcommand shares: the exit codes, the usage error, the
// answer on standard output and the diagnostics on standard error.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/diagnostics.h"
#include "host/ui.h"

namespace CLI {
class App;
}

namespace kova::cli {

// The exit codes of `kova`.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file could not be converted, or anything else failed
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// A command line that parses but asks for something impossible (two inputs
// with -o, a negative pixel position); `kova` exits with kExitUsage.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A subcommand as `kova` runs it: its parser and the function that runs it
// with the options the parser filled in, returning the exit code.
struct Subcommand {
  CLI::App* parser;
  std::function<int()> run;
};

// Writes the answer of a subcommand to standard output and flushes it. A
// failed write or flush (a full disk, a closed pipe) raises an error.
void PrintAnswer(std::string_view text);

// Writes "kova: <text>" and a line end to standard error, control bytes
// escaped; or, while this thread holds a DiagnosticsCapture, appends that line
// to its buffer.
void PrintDiagnostic(std::string_view text);

// While it lives, this thread's diagnostics (PrintDiagnostic, the component's
// refusals and the core's diagnostic lines) go into `buffer` in the order
// they happen, instead of standard error.
class DiagnosticsCapture {
 public:
  explicit DiagnosticsCapture(std::string& buffer);
  ~DiagnosticsCapture();
  DiagnosticsCapture(const DiagnosticsCapture&) = delete;
  DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

 private:
  std::string* previous_;
  CoreDiagnosticsCapture core_output_;
};

// Writes text captured earlier to standard error.
void PrintCapturedDiagnostics(std::string_view text);

// The user interface of `kova`: information messages are the answer
// (standard output), error dialogs of the component are diagnostics, the
// cursor is ignored.
class ConsoleUi : public Ui {
 public:
  void ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) override;
  void SetCursor(CursorKind) override {}
};

}  // namespace kova::cli
