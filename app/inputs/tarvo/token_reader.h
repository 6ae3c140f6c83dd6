// The block buffer of a grid file and its tokens with their places. Tokens
// end at a space or a line feed; every other character, carriage return and
// tab included, belongs to the token, and characters of codes 0 to 32 are
// trimmed from both ends of it. A code 26 ends the text. The file is read
// block by block; a token that runs over the end of a block is moved to the
// front of the buffer first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>  // memmove
#include <memory>
#include <string>
#include <string_view>

#include "app/inputs/tarvo/grid_reader.h"  // kGridReadBlockSize, kMaxGridTokenLength
#include "app/platform/file.h"

namespace kova::grid_detail {

inline bool IsBlank(unsigned char ch) {
  return ch <= 32;
}

inline constexpr char kEndOfText = 26;

struct TokenReader {
  BinaryFile file;
  std::string path;
  // 16 characters beyond the largest fill, so that 16 can always be loaded
  // from a token's start at once.
  std::unique_ptr<char[]> buffer{new char[kGridReadBlockSize + kMaxGridTokenLength + 16]()};
  std::size_t pos = 0;
  std::size_t end = 0;
  bool no_more_input = false;  // the physical end or a code 26 was met
  // Where buffer[0] lies in the file, and how much of the file was read.
  std::uint64_t buffer_offset = 0;
  std::uint64_t bytes_read = 0;

  void ResetBuffer() {
    pos = 0;
    end = 0;
    no_more_input = false;
    buffer_offset = 0;
    bytes_read = 0;
  }

  // Reads the next block into the buffer from `keep` on; false at the end.
  bool ReadBlock(std::size_t keep) {
    if (no_more_input) return false;
    buffer_offset = bytes_read - keep;
    std::size_t n = file.Read(buffer.get() + keep, kGridReadBlockSize);
    bytes_read += n;
    if (n < kGridReadBlockSize) no_more_input = true;
    end = keep + n;
    return n != 0;
  }

  // The file offset of a character in the buffer.
  std::uint64_t OffsetOf(const char* p) const {
    return buffer_offset + static_cast<std::uint64_t>(p - buffer.get());
  }

  [[noreturn]] void ThrowTokenTooLong() const;

  // Moves to the first character of the next token (above code 32); false
  // at the end of the text. Leading characters up to code 32 are separators
  // or trimmed away.
  bool SkipToToken() {
    for (;;) {
      const char* data = buffer.get();
      while (pos < end && IsBlank(static_cast<unsigned char>(data[pos]))) {
        if (data[pos] == kEndOfText) {
          end = pos;
          no_more_input = true;
          return false;
        }
        ++pos;
      }
      if (pos < end) return true;
      pos = 0;
      if (!ReadBlock(0)) {
        end = 0;
        return false;
      }
    }
  }

  // Takes the token that starts at `pos`, trimmed. The view stays valid
  // until the buffer is next read.
  std::string_view TakeToken() {
    std::size_t start = pos;
    bool text_ended = false;
    for (;;) {
      const char* data = buffer.get();
      while (pos < end) {
        char ch = data[pos];
        if (ch == ' ' || ch == '\n') break;
        if (ch == kEndOfText) {
          text_ended = true;
          break;
        }
        ++pos;
      }
      if (pos < end || no_more_input) break;
      std::size_t length = pos - start;
      if (length > kMaxGridTokenLength) ThrowTokenTooLong();
      std::memmove(buffer.get(), buffer.get() + start, length);
      start = 0;
      pos = length;
      if (!ReadBlock(length)) {
        end = length;
        break;
      }
    }
    if (pos - start > kMaxGridTokenLength) ThrowTokenTooLong();
    std::size_t stop = pos;
    if (text_ended) {
      end = pos;
      no_more_input = true;
    } else if (pos < end) {
      ++pos;  // the separator
    }
    while (stop > start && IsBlank(static_cast<unsigned char>(buffer[stop - 1]))) --stop;
    return std::string_view(buffer.get() + start, stop - start);
  }

  bool NextToken(std::string_view& token) {
    if (!SkipToToken()) return false;
    token = TakeToken();
    return true;
  }

  // Makes the token that NextToken gave last the next one again. Nothing
  // was read into the buffer since, so it still holds the token.
  void PutBack(std::string_view token) {
    pos = static_cast<std::size_t>(token.data() - buffer.get());
  }

  // "line L, column C" of a file offset, counted from 1. The file is read
  // again from its start: only an error pays for it. Empty when the file
  // fails now.
  std::string LineColumnAt(std::uint64_t offset);

  // The line of a file offset, as a number (0 when it cannot be told).
  std::uint64_t LineAt(std::uint64_t offset);
};

}  // namespace kova::grid_detail
