// Two grid numbers at once with SSSE3: the pair reader that the SSSE3 and
// the AVX2 kernels share (the AVX2 one where four numbers do not fit). For
// those two sources only; internal linkage, as float_bits.h says why.
#pragma once

#include <emmintrin.h>  // SSE2
#include <tmmintrin.h>  // SSSE3: pshufb, pmaddubsw

#include <cstdint>
#include <cstring>

#include "app/inputs/tarvo/float_bits.h"
#include "app/inputs/tarvo/grid_reader.h"  // kNoDataMarker
#include "app/inputs/tarvo/short_tokens.h"

namespace kova::grid_detail {
namespace {

// The low 64 bits of `v` (32-bit x86 has no instruction that moves them to
// a general register).
inline std::uint64_t Low64(__m128i v) {
#if defined(__x86_64__)
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
#else
  std::uint64_t low;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&low), v);
  return low;
#endif
}

// For each dot place (0 to 8; the size when there is none) and size (0 to
// 8) of a number of up to 8 characters: the byte shuffle that right-aligns
// its characters in 8 bytes, leaving out the dot, with zeros before them
// (a byte of 0x80 gives 0), as one integer whose lowest byte is the first;
// and the rounded tenth power its digits are multiplied by. The sign is a
// character like the digits here: it is made 0 before the shuffle.
struct HalfLayout {
  std::uint64_t shuffle;
  double tenth;
};

constexpr int kHalfSizes = 9;

struct HalfLayouts {
  HalfLayout at[kHalfSizes * kHalfSizes];  // by dot_at * kHalfSizes + size
};

constexpr HalfLayouts MakeHalfLayouts() {
  HalfLayouts table{};
  for (int dot_at = 0; dot_at < kHalfSizes; ++dot_at) {
    for (int size = 0; size < kHalfSizes; ++size) {
      const int has_dot = dot_at < size ? 1 : 0;
      const int kept = size - has_dot;
      std::uint64_t shuffle = 0;
      for (int to = 0; to < 8; ++to) {
        const int kept_at = to - (8 - kept);
        const int from = has_dot != 0 && kept_at >= dot_at ? kept_at + 1 : kept_at;
        shuffle |= std::uint64_t{kept_at < 0 ? 0x80u : static_cast<unsigned>(from)} << (8 * to);
      }
      const int decimals = has_dot != 0 ? size - dot_at - 1 : 0;
      table.at[dot_at * kHalfSizes + size] = {shuffle, kDoubleTenths[decimals]};
    }
  }
  return table;
}

constexpr HalfLayouts kHalfLayouts = MakeHalfLayouts();

// The layout of a number of `size` characters with its dot at `dot_at`.
inline const HalfLayout& LayoutOf(unsigned dot_at, unsigned size) {
  return kHalfLayouts.at[dot_at * kHalfSizes + size];
}

// The multipliers that sum right-aligned digits, each pass joining
// neighbours: pmaddubsw with the bytes (10, 1) makes two-digit values of
// byte pairs, pmaddwd with the words (100, 1) four-digit values, and after
// packing to words, pmaddwd with (10000, 1) eight-digit values. This is the
// reduction of Kholdstare, "Faster Integer Parsing" (2020), after the digits
// are lined up with one byte shuffle as in W. Mula, "Parsing series of
// integers with SIMD" (2018).
constexpr short kTensAndOnes = 0x010A;            // bytes 10, 1
constexpr int kHundredsAndOnes = 0x00010064;      // words 100, 1
constexpr int kTenThousandsAndOnes = 0x00012710;  // words 10000, 1

// The no-data marker in both halves of 8 bytes.
constexpr std::uint64_t kMarkerPair =
    std::uint64_t{__builtin_bit_cast(std::uint32_t, kNoDataMarker)} * 0x100000001u;

// The byte offset `n` in each of 8 bytes.
constexpr std::uint64_t EachByte(std::uint64_t n) {
  return n * 0x0101010101010101u;
}

// Two numbers of 1 to 8 characters in the 16 characters at `begin`, each
// ended by a space or a line feed, the second right after the first's end:
// the common case of a grid, read with one set of vector operations for
// both. Writes both values and flags and sets `length` to the characters
// taken; false (nothing written) for anything else, and where a product
// lies near a float midpoint, which the single way then reads.
[[gnu::always_inline]] inline bool ReadTokenPair(const char* begin, const PairNoData& no_data,
                                                 float* values, std::uint8_t* flags,
                                                 std::size_t& length) {
  const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin));
  auto mask_of = [](__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); };
  // The bits beyond the 16 characters set, so that each size is at most 16
  // and every shift below stays under 32.
  const unsigned blank =
      mask_of(_mm_cmpeq_epi8(_mm_min_epu8(chars, _mm_set1_epi8(32)), chars)) | 0xFFFF0000u;
  const unsigned ends = mask_of(_mm_or_si128(_mm_cmpeq_epi8(chars, _mm_set1_epi8(' ')),
                                             _mm_cmpeq_epi8(chars, _mm_set1_epi8('\n'))));
  const auto size_a = LowestBit(blank);
  const unsigned start_b = size_a + 1;
  const auto size_b = LowestBit(blank >> start_b);
  const unsigned end_b = start_b + size_b;
  if ((((size_a - 1) | (size_b - 1)) >= 8) | (end_b >= 16) |
      (((ends >> size_a) & (ends >> end_b) & 1u) == 0)) {
    return false;
  }
  const unsigned mask_a = (1u << size_a) - 1;
  const unsigned mask_b = ((1u << size_b) - 1) << start_b;
  const __m128i offset = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
  const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset);
  const unsigned digit = mask_of(is_digit);
  const unsigned dot = mask_of(_mm_cmpeq_epi8(chars, _mm_set1_epi8('.')));
  const unsigned minus = mask_of(_mm_cmpeq_epi8(chars, _mm_set1_epi8('-')));
  const unsigned sign =
      (minus | mask_of(_mm_cmpeq_epi8(chars, _mm_set1_epi8('+')))) & (1u | (1u << start_b));
  const unsigned dot_a = dot & mask_a;
  const unsigned dot_b = dot & mask_b;
  // Each character a digit, a dot or a leading sign; each number with a
  // digit and at most one dot.
  if ((((mask_a | mask_b) & ~(digit | dot | sign)) | (dot_a & (dot_a - 1)) |
       (dot_b & (dot_b - 1))) != 0 ||
      ((digit & mask_a) == 0) | ((digit & mask_b) == 0)) {
    return false;
  }
  const auto dot_at_a = LowestBit(dot_a | (1u << size_a));
  const auto dot_at_b = LowestBit((dot_b >> start_b) | (1u << size_b));
  const HalfLayout& layout_a = LayoutOf(dot_at_a, size_a);
  const HalfLayout& layout_b = LayoutOf(dot_at_b, size_b);
  const std::uint64_t shuffle_a = layout_a.shuffle;
  // The second number's bytes lie start_b further on; a byte of 0x80 or
  // more stays one that gives 0.
  const std::uint64_t shuffle_b = layout_b.shuffle + EachByte(start_b);
  const __m128i placed = _mm_shuffle_epi8(
      _mm_and_si128(offset, is_digit),
      _mm_set_epi64x(static_cast<std::int64_t>(shuffle_b), static_cast<std::int64_t>(shuffle_a)));
  const __m128i pairs = _mm_maddubs_epi16(placed, _mm_set1_epi16(kTensAndOnes));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(kHundredsAndOnes));
  const __m128i eights =
      _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(kTenThousandsAndOnes));
  const __m128d products =
      _mm_mul_pd(_mm_cvtepi32_pd(eights), _mm_set_pd(layout_b.tenth, layout_a.tenth));
  // NearFloatMidpoint of both products: the low 29 bits of each, less the
  // midpoint's less the margin, compared as unsigned with twice the margin
  // (SSE2 compares signed: both sides are moved by 2^31 first).
  const __m128i low_bits =
      _mm_sub_epi32(_mm_and_si128(_mm_castpd_si128(products), _mm_set1_epi64x(kBelowFloatBits)),
                    _mm_set1_epi64x(kFloatMidpointBits - kMidpointMargin));
  const __m128i beyond =
      _mm_cmpgt_epi32(_mm_xor_si128(low_bits, _mm_set1_epi32(INT32_MIN)),
                      _mm_set1_epi32(INT32_MIN + static_cast<int>(2 * kMidpointMargin)));
  if ((mask_of(beyond) & 0x0F0Fu) != 0x0F0Fu) [[unlikely]]
    return false;
  std::uint64_t both = Low64(_mm_castps_si128(_mm_cvtpd_ps(products)));
  both |= std::uint64_t{minus & 1u} << 31 | std::uint64_t{(minus >> start_b) & 1u} << 63;
  // The no-data text compared whole: the same length and characters.
  std::uint64_t text_a = 0;
  std::uint64_t text_b = 0;
  std::memcpy(&text_a, begin, 8);
  std::memcpy(&text_b, begin + start_b, 8);
  const std::uint64_t no_data_a = static_cast<std::uint64_t>(
      (size_a == no_data.length) & (((text_a ^ no_data.chars) & no_data.bytes) == 0));
  const std::uint64_t no_data_b = static_cast<std::uint64_t>(
      (size_b == no_data.length) & (((text_b ^ no_data.chars) & no_data.bytes) == 0));
  // All ones over a number's 32 bits where it is valid, chosen without a
  // branch: no-data cells come at random.
  const std::uint64_t valid = ~(((0 - no_data_a) & 0xFFFFFFFFu) | ((0 - no_data_b) << 32));
  const std::uint64_t stored = (both & valid) | (kMarkerPair & ~valid);
  std::memcpy(values, &stored, 8);
  const auto pair_flags = static_cast<std::uint16_t>(no_data_a | no_data_b << 8);
  std::memcpy(flags, &pair_flags, 2);
  length = end_b + 1;
  return true;
}

}  // namespace
}  // namespace kova::grid_detail
