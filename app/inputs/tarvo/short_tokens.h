// The short-token kernels: the common tokens of a grid (short decimal
// numbers and the no-data text) read straight from the block buffer into
// the grid, several at once where the processor can. Anything else a kernel
// leaves to the general way of the reader, which reads every such token to
// the same value.
//
// One kernel per instruction-set tier, each in a source of its own compiled
// with that tier's flags; ReadShortTokens (short_tokens.cpp) picks among
// them by ActiveCpuTier() and keeps the rule that rests the fastest one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kova::grid_detail {

// Where a run of short tokens stopped: the buffer position and the cells
// filled.
struct ShortRun {
  std::size_t pos;
  std::int64_t count;
};

// The first 8 characters of the no-data text, and its length (17 when it
// is too long for a pair).
struct PairNoData {
  std::uint64_t chars;
  std::uint64_t bytes;  // the mask of its characters among the 8
  unsigned length;
};

// The no-data text as four numbers at once compare it: its characters and
// then a space, or a line feed, over the low `bytes` of 8 bytes. A text that
// no token of a quad can equal has `bytes` 0 and `with_space` 1.
struct QuadNoData {
  std::uint64_t with_space;
  std::uint64_t with_line_feed;
  std::uint64_t bytes;
};

// The no-data text laid out for each kernel, made once for a grid.
struct ShortNoData {
  // For the comparison of 16 characters at once, zeros after the text;
  // `length` is 17 when the text is longer, so that no short token equals
  // it.
  alignas(16) char chars[16];
  unsigned length;
  PairNoData pair;
  QuadNoData quad;
  // A text of 8 characters would need 9 compared in a quad, its end
  // included: such grids take pairs. One of more than 8 equals no token of
  // a quad.
  bool quads;
};

ShortNoData MakeShortNoData(std::string_view text);

// Whether four numbers at once are tried, kept over the runs of short tokens
// of one grid: after a few short quad runs in a row, not before the cell
// `resume_at`.
struct QuadTrial {
  int short_runs = 0;
  std::int64_t resume_at = 0;
};

// Reads short tokens from data[pos] on, into values[count] and flags[count]
// on (a no-data cell gets kNoDataMarker and flag 1), until one is not
// short, runs over `end`, or `count` reaches `room`. The 16 characters from
// any position before `end` must be readable.
ShortRun ReadShortTokens(const char* data, std::size_t pos, std::size_t end,
                         const ShortNoData& no_data, float* values, std::uint8_t* flags,
                         std::int64_t count, std::int64_t room, QuadTrial& trial);

// The kernels, as ReadShortTokens, each stopping where its way ends.

// Baseline (SSE2, short_tokens_baseline.cpp): one token at a time, numbers
// of up to 16 characters.
ShortRun ShortTokensOneByOne(const char* data, std::size_t pos, std::size_t end,
                             const ShortNoData& no_data, float* values, std::uint8_t* flags,
                             std::int64_t count, std::int64_t room);

// SSSE3 (short_tokens_ssse3.cpp): two numbers of up to 8 characters at once,
// while they come.
ShortRun TokenPairs(const char* data, std::size_t pos, std::size_t end, PairNoData no_data,
                    float* values, std::uint8_t* flags, std::int64_t count, std::int64_t room);

// AVX2 (short_tokens_avx2.cpp): four numbers of up to 8 characters at once
// while they come, a pair where four do not fit.
ShortRun TokenQuads(const char* data, std::size_t pos, std::size_t end, QuadNoData quad_no_data,
                    PairNoData pair_no_data, float* values, std::uint8_t* flags, std::int64_t count,
                    std::int64_t room);

// The float of a short token whose product with its tenth lies near a float
// midpoint: the slow way of the exact reader (decimal.cpp).
float ShortValueNearMidpoint(std::uint64_t significand, unsigned decimals, unsigned digits,
                             bool negative);

namespace {  // internal linkage: see float_bits.h

// The place after the spaces from data[pos] on (within `end`), where a
// grid aligns its columns by spaces; most grids have one between numbers.
[[gnu::always_inline]] inline std::size_t PastAligningSpaces(const char* data, std::size_t pos,
                                                             std::size_t end) {
  if (data[pos] == ' ') [[unlikely]] {
    while (pos < end && data[pos] == ' ') ++pos;
  }
  return pos;
}

}  // namespace

}  // namespace kova::grid_detail
