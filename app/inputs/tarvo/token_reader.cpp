#include "app/inputs/tarvo/token_reader.h"

#include <algorithm>

#include "app/platform/base/errors.h"

namespace kova::grid_detail {

void TokenReader::ThrowTokenTooLong() const {
  throw ConversionError("Grid file " + path + " holds a token longer than " +
                        std::to_string(kMaxGridTokenLength) + " characters");
}

std::string TokenReader::LineColumnAt(std::uint64_t offset) {
  std::uint64_t line = 1;
  std::uint64_t line_start = 0;
  try {
    file.Seek(0);
    std::uint64_t at = 0;
    while (at < offset) {
      std::size_t n = file.Read(buffer.get(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                                  kGridReadBlockSize, offset - at)));
      if (n == 0) break;
      for (std::size_t i = 0; i < n; ++i) {
        if (buffer[i] == '\n') {
          ++line;
          line_start = at + i + 1;
        }
      }
      at += n;
    }
  } catch (const KovaError&) {
    // The file was read once already; should it fail now, the error being
    // reported is still the one the user needs, only without its place.
    return {};
  }
  pos = end = 0;  // the buffer no longer holds what it held
  no_more_input = true;
  return "line " + std::to_string(line) + ", column " + std::to_string(offset - line_start + 1);
}

std::uint64_t TokenReader::LineAt(std::uint64_t offset) {
  std::string where = LineColumnAt(offset);
  if (where.empty()) return 0;
  return std::stoull(where.substr(5));
}

}  // namespace kova::grid_detail
