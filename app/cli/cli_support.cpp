#include "app/cli/cli_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>  // strerror

#include "app/platform/base/printable.h"

namespace kova::cli {
namespace {

thread_local std::string* diagnostics_buffer = nullptr;

void WriteStandardError(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void PrintAnswer(std::string_view text) {
  errno = 0;
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
  if (written != text.size() || std::fflush(stdout) != 0) {
    const int error = errno;
    std::clearerr(stdout);
    throw std::runtime_error(std::string("cannot write to standard output") +
                             (error != 0 ? std::string(": ") + std::strerror(error) : ""));
  }
}

void PrintDiagnostic(std::string_view text) {
  const std::string line = "kova: " + EscapeControlBytes(text) + "\n";
  if (diagnostics_buffer != nullptr) {
    diagnostics_buffer->append(line);
  } else {
    WriteStandardError(line);
  }
}

DiagnosticsCapture::DiagnosticsCapture(std::string& buffer)
    : previous_(diagnostics_buffer), core_output_(buffer) {
  diagnostics_buffer = &buffer;
}

DiagnosticsCapture::~DiagnosticsCapture() {
  diagnostics_buffer = previous_;
}

void PrintCapturedDiagnostics(std::string_view text) {
  if (!text.empty()) WriteStandardError(text);
}

void ConsoleUi::ShowMessage(MessageKind kind, const std::string&, const std::string& text) {
  if (kind == MessageKind::Information) {
    PrintAnswer(EscapeControlBytes(text) + "\n");
  } else {
    PrintDiagnostic(text);
  }
}

}  // namespace kova::cli
