// The state of a GridReader between its calls: the token reader of the
// open file, and what its header gave for the messages about its values.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "app/inputs/tarvo/grid_reader.h"
#include "app/inputs/tarvo/header_keywords.h"
#include "app/inputs/tarvo/token_reader.h"
#include "app/platform/base/errors.h"

namespace kova {

namespace grid_detail {

// A header has at most seven lines: columns, rows, left, bottom, dx, dy and
// no data.
inline constexpr int kMaxHeaderLines = 7;

struct HeaderValues;  // grid_header.cpp

// Whether a token begins as a keyword does: with a letter.
inline bool LooksLikeKeyword(std::string_view token) {
  if (token.empty()) return false;
  const auto ch = static_cast<unsigned char>(token.front() | 0x20);
  return ch >= 'a' && ch <= 'z';
}

}  // namespace grid_detail

struct GridReader::Impl : grid_detail::TokenReader {
  bool header_read = false;
  float smallest_valid = std::numeric_limits<float>::infinity();
  float largest_valid = -std::numeric_limits<float>::infinity();
  // The header tokens (two a line) and where they start, for the messages that
  // say which header line is wrong.
  std::array<std::string, 2 * grid_detail::kMaxHeaderLines> header_tokens;
  std::array<std::uint64_t, 2 * grid_detail::kMaxHeaderLines> header_offsets{};
  int header_count = 0;
  // What a word in place of the first value may be, for its message: "a
  // seventh header line (the header has six: ...)".
  std::string extra_line_hint;

  void Reset() {
    ResetBuffer();
    header_read = false;
    header_count = 0;
  }

  // Keeps header token `number` (from 1) and where it starts.
  void KeepHeaderToken(int number, std::string_view token) {
    header_tokens[number - 1] = std::string(token);
    header_offsets[number - 1] = OffsetOf(token.data());
    header_count = number;
  }

  // Reads and keeps header token `number`.
  const std::string& ReadHeaderToken(int number) {
    std::string_view token;
    if (!NextToken(token)) {
      throw ConversionError("Grid file " + path + " ends before its header is complete");
    }
    KeepHeaderToken(number, token);
    return header_tokens[number - 1];
  }

  // Converts the value of header line `line` (its token 2 x line, read
  // already) as `kind` says and keeps it in `values`.
  void TakeHeaderValue(HeaderKeyword kind, int line, grid_detail::HeaderValues& values);

  // Says which header line seems to be missing, or nothing.
  std::string HeaderShapeHint();
};

}  // namespace kova
