// The baseline short-token kernel: one token at a time, its 16 characters
// classified at once with SSE2 (the x86-64 baseline, and -msse2 on 32-bit
// builds). Compiled with the common flags.
#include <emmintrin.h>  // SSE2

#include <bit>  // countr_zero, bit_cast
#include <cstring>

#include "app/inputs/tarvo/float_bits.h"
#include "app/inputs/tarvo/grid_reader.h"  // kNoDataMarker
#include "app/inputs/tarvo/short_tokens.h"

#if defined(__SSE2__)

namespace kova::grid_detail {
namespace {

// What the short-token way found at a token's start.
enum class ShortToken { kNone, kNoData, kNumber };

// The value of eight decimal digits, the first in the lowest byte of
// `chars`, in three multiplications instead of a loop whose end the
// processor cannot predict: the SWAR ("SIMD within a register") reduction
// of D. Lemire, "Number Parsing at a Gigabyte per Second", Software:
// Practice and Experience 51 (2021), as fast_float's
// parse_eight_digits_unrolled does it.
inline std::uint32_t EightDigits(std::uint64_t chars) {
  constexpr std::uint64_t kZeros = 0x3030303030303030u;  // '0' in each byte
  // Each byte times 10 plus the next: bytes 0, 2, 4, 6 hold the two-digit
  // values d0d1, d2d3, d4d5, d6d7 (the odd bytes hold sums not used).
  std::uint64_t v = chars - kZeros;
  v = v * 10 + (v >> 8);
  // Bytes 0 and 4 (d0d1, d4d5) times 100 + 10^6 * 2^32, and bytes 2 and 6
  // (moved down to 0 and 4: d2d3, d6d7) times 1 + 10^4 * 2^32: the high 32
  // bits of the sum are d0d1 * 10^6 + d2d3 * 10^4 + d4d5 * 100 + d6d7 (the
  // low ones hold sums not used).
  constexpr std::uint64_t kEvenPairs = 0x000000FF000000FFu;  // bytes 0 and 4
  constexpr std::uint64_t kFirstAndThird = 100 + (std::uint64_t{1000000} << 32);
  constexpr std::uint64_t kSecondAndFourth = 1 + (std::uint64_t{10000} << 32);
  v = ((v & kEvenPairs) * kFirstAndThird + ((v >> 16) & kEvenPairs) * kSecondAndFourth) >> 32;
  return static_cast<std::uint32_t>(v);
}

// The value of the number of `size` characters at `begin`: digits, at most
// one dot and a leading sign, where the masks `dot` and `sign` say. Its
// characters are handled as one integer of type Chars: std::uint64_t for up
// to 8 characters, unsigned __int128 for up to 16. The digits without the
// dot, then without the sign, are right-aligned among leading '0'
// characters and summed 8 at once; shifts by the whole width are split in
// two halves. An integer of at most 15 digits is exact in a double, and its
// product with a rounded tenth, away from a float midpoint, rounds to the
// float of the decimal as in DecimalToFloat; near one the exact way is taken.
template <typename Chars>
inline float NumberValue(const char* begin, unsigned size, unsigned dot, unsigned sign,
                         unsigned minus) {
  constexpr unsigned kWidth = sizeof(Chars);
  constexpr std::uint64_t kZeros8 = 0x3030303030303030u;
  Chars text;
  std::memcpy(&text, begin, kWidth);
  const unsigned has_dot = dot != 0 ? 1u : 0u;
  const unsigned digits = size - sign - has_dot;
  const auto dot_at = static_cast<unsigned>(std::countr_zero(dot | (1u << size)));
  const Chars after_dot = (~Chars{0} << (4 * dot_at)) << (4 * dot_at);
  text = ((text & ~after_dot) | ((text >> 8) & after_dot)) >> (8 * sign);
  Chars zeros = kZeros8;
  if constexpr (kWidth == 16) zeros |= zeros << 64;
  text = (text << (8 * (kWidth - digits))) | ((zeros >> (4 * digits)) >> (4 * digits));
  std::uint64_t significand = EightDigits(static_cast<std::uint64_t>(text));
  if constexpr (kWidth == 16) {
    significand = significand * 100000000u + EightDigits(static_cast<std::uint64_t>(text >> 64));
  }
  const unsigned decimals = size - dot_at - has_dot;
  // Below 10^15, so converted as a signed integer: one instruction.
  const double product =
      static_cast<double>(static_cast<std::int64_t>(significand)) * kDoubleTenths[decimals];
  if (NearFloatMidpoint(product)) [[unlikely]] {
    return ShortValueNearMidpoint(significand, decimals, digits, minus != 0);
  }
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(static_cast<float>(product)) |
                              (minus << 31));
}

// NumberValue of a number of 9 to 16 characters, or false when it has more
// than 15 digits (left to the general way). Kept out of line: most grids
// have none.
[[gnu::noinline]] bool LongerNumberValue(const char* begin, unsigned size, unsigned dot,
                                         unsigned sign, unsigned minus, float& value) {
  if (size - sign - (dot != 0 ? 1u : 0u) > 15) return false;
#if defined(__SIZEOF_INT128__)
  __extension__ using Chars = unsigned __int128;
  value = NumberValue<Chars>(begin, size, dot, sign, minus);
  return true;
#else
  // No 128-bit integers (32-bit x86): the general way reads it.
  (void)begin;
  (void)minus;
  (void)value;
  return false;
#endif
}

// The common token of a grid, read with few branches: at most 16 characters
// of [sign] digits [. digits] with 1 to 15 digits, or the no-data text (at
// most 16 characters), ended by a space, a line feed or a carriage return
// and line feed within [begin, limit). Sets `length` to the
// characters taken, separator included; a no-data token leaves `value` as it
// is. The 16 characters from `begin` must be readable. Anything else gives
// kNone and is left to the general way, which reads every such token to the
// same value.
inline ShortToken ReadShortToken(const char* begin, const char* limit, __m128i no_data_chars,
                                 unsigned no_data_length, float& value, std::size_t& length) {
  const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin));
  auto mask_of = [](__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); };
  const auto size = static_cast<unsigned>(std::countr_zero(
      mask_of(_mm_cmpeq_epi8(_mm_min_epu8(chars, _mm_set1_epi8(32)), chars)) | 0x10000u));
  // A token of 16 characters or more has 16 in `size`; only a no-data text
  // of exactly 16 characters can then match.
  if (limit - begin <= static_cast<std::ptrdiff_t>(size)) return ShortToken::kNone;
  const char separator = begin[size];
  if (separator == ' ' || separator == '\n') {
    length = size + 1;
  } else if (separator == '\r' && limit - begin > static_cast<std::ptrdiff_t>(size) + 1 &&
             begin[size + 1] == '\n') {
    length = size + 2;
  } else {
    return ShortToken::kNone;
  }
  const unsigned token = (1u << size) - 1;
  const bool is_no_data =
      size == no_data_length && (mask_of(_mm_cmpeq_epi8(chars, no_data_chars)) & token) == token;
  const __m128i offset = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
  const unsigned digit =
      mask_of(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset)) & token;
  const unsigned dot = mask_of(_mm_cmpeq_epi8(chars, _mm_set1_epi8('.'))) & token;
  const unsigned minus = begin[0] == '-' ? 1u : 0u;
  const unsigned sign = minus | (begin[0] == '+' ? 1u : 0u);
  // Each character a digit, the dot or the leading sign, with a digit and at
  // most one dot.
  const bool is_number = (digit | dot | sign) == token && digit != 0 && (dot & (dot - 1)) == 0;
  if (is_no_data) return ShortToken::kNoData;
  if (!is_number) return ShortToken::kNone;
  // Longer numbers are the rarer kind: they take the jump, and the short
  // ones the straight way.
  if (size > 8) [[unlikely]] {
    return LongerNumberValue(begin, size, dot, sign, minus, value) ? ShortToken::kNumber
                                                                   : ShortToken::kNone;
  }
  value = NumberValue<std::uint64_t>(begin, size, dot, sign, minus);
  return ShortToken::kNumber;
}

}  // namespace

// A function of its own (not inlined into the dispatch), so that its loop
// keeps everything in registers.
ShortRun ShortTokensOneByOne(const char* data, std::size_t pos, std::size_t end,
                             const ShortNoData& no_data, float* values, std::uint8_t* flags,
                             std::int64_t count, std::int64_t room) {
  // Copies, which the stores of the flags cannot change in the compiler's
  // eyes: the fields themselves would be loaded again for every token.
  const __m128i no_data_chars = _mm_load_si128(reinterpret_cast<const __m128i*>(no_data.chars));
  const unsigned no_data_length = no_data.length;
  while (count < room) {
    float value = kNoDataMarker;
    std::size_t taken = 0;
    const ShortToken kind =
        ReadShortToken(data + pos, data + end, no_data_chars, no_data_length, value, taken);
    if (kind == ShortToken::kNone) break;
    pos += taken;
    values[count] = value;
    flags[count] = kind == ShortToken::kNumber ? 0 : 1;
    ++count;
    pos = PastAligningSpaces(data, pos, end);
  }
  return {pos, count};
}

}  // namespace kova::grid_detail

#endif  // __SSE2__
