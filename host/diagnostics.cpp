#include "host/diagnostics.h"

#include <atomic>

#include "app/platform/base/errors.h"

namespace kova {
namespace {

std::atomic<std::FILE*> chosen_stream{nullptr};
thread_local std::string* capture_buffer = nullptr;

}  // namespace

void WriteCoreDiagnostic(const std::string& text) {
  if (capture_buffer != nullptr) {
    capture_buffer->append(text);
    return;
  }
  std::FILE* stream = chosen_stream.load();
  if (stream == nullptr) stream = stdout;
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), stream);
  if (written != text.size() || std::fflush(stream) != 0) {
    std::clearerr(stream);
    throw FileError(IoResult::kFileNotOpenForOutput);
  }
}

void SendCoreDiagnosticsTo(std::FILE* stream) {
  chosen_stream.store(stream);
}

CoreDiagnosticsCapture::CoreDiagnosticsCapture(std::string& buffer) : previous_(capture_buffer) {
  capture_buffer = &buffer;
}

CoreDiagnosticsCapture::~CoreDiagnosticsCapture() {
  capture_buffer = previous_;
}

}  // namespace kova
