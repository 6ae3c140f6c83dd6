// The core's diagnostic lines: what the core reports while it goes on
// working (a point that the Lambert azimuthal inverse cannot place). The
// front end chooses where they go: standard output until it says otherwise
// (the window), standard error for `kova`, whose standard output is its
// answer alone.
#pragma once

#include <cstdio>
#include <string>

namespace kova {

// Writes `text` to the chosen stream as it stands (no line end added) and
// flushes it. When that stream is not usable the write fails and
// FileError(IoResult::kFileNotOpenForOutput) ("I/O error 105") is raised.
void WriteCoreDiagnostic(const std::string& text);

// Sends the core's diagnostic lines to `stream` (nullptr: standard output).
void SendCoreDiagnosticsTo(std::FILE* stream);

// While it lives, the lines that this thread writes through
// WriteCoreDiagnostic are appended to `buffer` instead of being written, so
// that work done on several threads can show them later in a fixed order.
class CoreDiagnosticsCapture {
 public:
  explicit CoreDiagnosticsCapture(std::string& buffer);
  ~CoreDiagnosticsCapture();
  CoreDiagnosticsCapture(const CoreDiagnosticsCapture&) = delete;
  CoreDiagnosticsCapture& operator=(const CoreDiagnosticsCapture&) = delete;

 private:
  std::string* previous_;
};

}  // namespace kova
