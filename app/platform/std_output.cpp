#include "app/platform/std_output.h"

#include <cstdio>  // fwrite, fflush, clearerr on stdout

#include "app/platform/errors.h"

namespace kova {
namespace {

constexpr int kFileNotOpenForOutput = 105;

}  // namespace

void WriteStandardOutput(const std::string& text) {
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
  if (written != text.size() || std::fflush(stdout) != 0) {
    std::clearerr(stdout);
    throw FileError(kFileNotOpenForOutput);
  }
}

}  // namespace kova
