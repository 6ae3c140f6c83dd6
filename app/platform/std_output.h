// The process's standard output, for the few lines that the core reports
// there.
#pragma once

#include <string>

namespace kova {

// Writes `text` to standard output as it stands (no line end added) and
// flushes it. When the process has no usable standard output the write
// fails and FileError(105) ("I/O error 105": file not open for output) is
// raised.
void WriteStandardOutput(const std::string& text);

}  // namespace kova
