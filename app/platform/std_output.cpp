#include "app/platform/std_output.h"

#include <atomic>

#include "app/platform/errors.h"

namespace kova {
namespace {

constexpr int kFileNotOpenForOutput = 105;

std::atomic<std::FILE*> redirected_stream{nullptr};
thread_local std::string* capture_buffer = nullptr;

}  // namespace

void WriteStandardOutput(const std::string& text) {
  if (capture_buffer != nullptr) {
    capture_buffer->append(text);
    return;
  }
  std::FILE* stream = redirected_stream.load();
  if (stream == nullptr) stream = stdout;
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), stream);
  if (written != text.size() || std::fflush(stream) != 0) {
    std::clearerr(stream);
    throw FileError(kFileNotOpenForOutput);
  }
}

void RedirectStandardOutput(std::FILE* stream) {
  redirected_stream.store(stream);
}

StandardOutputCapture::StandardOutputCapture(std::string& buffer) : previous_(capture_buffer) {
  capture_buffer = &buffer;
}

StandardOutputCapture::~StandardOutputCapture() {
  capture_buffer = previous_;
}

}  // namespace kova
