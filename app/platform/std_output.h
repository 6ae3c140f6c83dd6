// The process's standard output, for the few lines that the core reports
// there.
#pragma once

#include <cstdio>
#include <string>

namespace kova {

// Writes `text` to the core's standard output as it stands (no line end
// added) and flushes it. When that stream is not usable the write fails and
// FileError(105) ("I/O error 105": file not open for output) is raised.
void WriteStandardOutput(const std::string& text);

// Sends the core's standard-output lines to `stream` instead of the process's
// standard output (nullptr: back to standard output). The command line sends
// them to standard error, so that its own standard output is its answer alone.
void RedirectStandardOutput(std::FILE* stream);

// While it lives, the lines that this thread writes through
// WriteStandardOutput are appended to `buffer` instead of being written, so
// that work done on several threads can show them later in a fixed order.
class StandardOutputCapture {
 public:
  explicit StandardOutputCapture(std::string& buffer);
  ~StandardOutputCapture();
  StandardOutputCapture(const StandardOutputCapture&) = delete;
  StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

 private:
  std::string* previous_;
};

}  // namespace kova
