#include "app/grid_reader.h"

#include <locale.h>  // newlocale, strtold_l

#if defined(__SSE2__)
#include <emmintrin.h>  // SSE2: a token's characters classified 16 at once
#include <immintrin.h>  // AVX2 and BMI, where the processor has them: four at once
#include <tmmintrin.h>  // SSSE3, where the processor has it: two numbers at once
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>  // file_size: the most values a file can hold
#include <limits>
#include <new>

#include "app/grid_header_keywords.h"
#include "app/platform/errors.h"
#include "app/platform/file.h"
#include "app/platform/paths.h"
#include "app/platform/process.h"  // ExceedsMemoryLeft

namespace kova {

namespace {

using grid_detail::FloatStatus;

// Powers of ten that are exact in the 64-bit significand of the extended
// type: 5^27 < 2^64, so 10^0 .. 10^27 carry no rounding.
constexpr long double kExactPowersOfTen[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                             1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                             1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L,
                                             1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
constexpr int kMaxExactPower = 27;
constexpr int kMaxFastDigits = 19;  // 10^19 - 1 < 2^64

// The same for double: integers up to 2^53 and 10^0 .. 10^22 (5^22 < 2^53).
constexpr double kExactDoublePowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactDoublePower = 22;
// 10^-k rounded to double, k = 0 .. 22.
constexpr double kDoubleTenths[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                    1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                    1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};
constexpr std::uint64_t kMaxExactDoubleInteger = std::uint64_t{1} << 53;

// True when `d`, a normal value within the float range, lies exactly halfway
// between two neighbouring floats: of the 29 significand bits that a float
// lacks, only the top one is set.
inline bool IsFloatMidpoint(double d) {
  return (std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFFu) == 0x10000000u;
}

// True when `d` (as IsFloatMidpoint) lies within 4 double ulps of a float
// midpoint.
inline bool NearFloatMidpoint(double d) {
  return (std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFFu) - (0x10000000u - 4) <= 8;
}

inline bool IsDigit(char ch) {
  return static_cast<unsigned char>(ch - '0') < 10;
}

inline bool IsBlank(unsigned char ch) {
  return ch <= 32;
}

constexpr char kEndOfText = 26;

#ifndef _WIN32
// A "C" locale object for the exact conversion, so that the process's
// locale (which a window toolkit may switch) never matters.
locale_t CLocale() {
  static const locale_t kLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (kLocale == static_cast<locale_t>(nullptr)) throw std::bad_alloc();
  return kLocale;
}
#endif

template <typename Real>
inline FloatStatus NarrowToFloat(Real x, float& value) {
  float f = static_cast<float>(x);
  if (std::isinf(f)) return FloatStatus::kOverflow;
  value = f;
  return FloatStatus::kOk;
}

// A decimal number as read from its text: value = significand * 10^exponent
// when `digits` (significant digits, leading zeros not counted) is at most 19.
struct Decimal {
  std::uint64_t significand = 0;
  int exponent = 0;
  int digits = 0;
  bool negative = false;
  bool valid = false;  // the text up to the returned position is a number
};

// Reads the longest number at `p`: [sign] digits [. digits] [(E|e) [sign]
// digits], with at least one mantissa digit or the ".". Returns where it
// stopped; `d.valid` is false when what was read is no number (no mantissa,
// or an "E" without exponent digits).
inline const char* ScanDecimal(const char* p, const char* end, Decimal& d) {
  d.negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    d.negative = *p == '-';
    ++p;
  }
  const char* const mantissa = p;
  while (p != end && *p == '0') ++p;
  // Digits beyond the 19th wrap the significand; it is then not used.
  std::uint64_t s = 0;
  const char* digits_from = p;
  while (p != end && IsDigit(*p)) s = s * 10 + static_cast<unsigned>(*p++ - '0');
  int digits = static_cast<int>(p - digits_from);
  int exponent = 0;
  bool seen = p != mantissa;
  if (p != end && *p == '.') {
    seen = true;
    const char* fraction = ++p;
    if (digits == 0) {
      while (p != end && *p == '0') ++p;
    }
    digits_from = p;
    while (p != end && IsDigit(*p)) s = s * 10 + static_cast<unsigned>(*p++ - '0');
    digits += static_cast<int>(p - digits_from);
    exponent = -static_cast<int>(p - fraction);
  }
  d.valid = seen;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
      negative = *p == '-';
      ++p;
    }
    if (p == end || !IsDigit(*p)) d.valid = false;
    int written = 0;
    for (; p != end && IsDigit(*p); ++p) {
      if (written < 100000) written = written * 10 + (*p - '0');  // saturates far out of range
    }
    exponent += negative ? -written : written;
  }
  d.significand = s;
  d.exponent = exponent;
  d.digits = digits;
  return p;
}

// Exact decimal to extended conversion of the checked text of a number with
// at least one non-zero digit.
FloatStatus ConvertExact(const char* begin, const char* end, float& value) {
  std::string text(begin, end);  // NUL-terminated copy
  char* stop = nullptr;
#ifdef _WIN32
  // mingw-w64's own conversion (gdtoa), correctly rounded to the 64-bit
  // significand as glibc's is. It takes the decimal point of the C locale
  // and Windows has no per-call locale for it, so the checked text's "." is
  // given as that locale's point.
  const char* point = localeconv()->decimal_point;
  if (point != nullptr && std::string(point) != ".") {
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, point);
  }
  long double x = __mingw_strtold(text.c_str(), &stop);
#else
  long double x = strtold_l(text.c_str(), &stop, CLocale());
#endif
  if (stop != text.c_str() + text.size()) return FloatStatus::kInvalid;
  if (std::isinf(x)) return FloatStatus::kOverflow;
  return NarrowToFloat(x, value);
}

// The value of a scanned number whose text is [begin, end): decimal to
// extended, correctly rounded, then to float.
inline FloatStatus DecimalToFloat(const Decimal& d, const char* begin, const char* end,
                                  float& value, bool allow_fast, bool* took_fast) {
  if (took_fast) *took_fast = false;
  if (d.digits == 0) {
    value = d.negative ? -0.0f : 0.0f;
    if (took_fast) *took_fast = true;
    return FloatStatus::kOk;
  }
  if (!allow_fast || d.digits > kMaxFastDigits || d.exponent > kMaxExactPower ||
      d.exponent < -kMaxExactPower) {
    return ConvertExact(begin, end, value);
  }
  if (took_fast) *took_fast = true;
  if (d.significand <= kMaxExactDoubleInteger && d.exponent <= kMaxExactDoublePower &&
      d.exponent >= -kMaxExactDoublePower) {
    // One correctly rounded double operation on exact operands. Rounding
    // the decimal to double and then to float gives the same float as
    // rounding it to extended and then to float, unless a rounding lands
    // exactly on a float midpoint: the extended result can only do so when
    // the double result does too, as the double grid is the coarser one.
    double x = static_cast<double>(d.significand);
    if (d.exponent >= 0) {
      x *= kExactDoublePowersOfTen[d.exponent];
    } else {
      // A product with the rounded tenth is within 2 ulps of the decimal.
      // Unless that is near a float midpoint, the decimal and the product
      // lie between the same two midpoints and round to the same float;
      // this spares the much slower division.
      double y = x * kDoubleTenths[-d.exponent];
      if (!NearFloatMidpoint(y)) return NarrowToFloat(d.negative ? -y : y, value);
      x /= kExactDoublePowersOfTen[-d.exponent];
    }
    if (!IsFloatMidpoint(x)) return NarrowToFloat(d.negative ? -x : x, value);
  }
  // Both operands are exact, so one correctly rounded extended operation
  // gives the correctly rounded extended value of the decimal.
  long double x = static_cast<long double>(d.significand);
  if (d.exponent >= 0) {
    x *= kExactPowersOfTen[d.exponent];
  } else {
    x /= kExactPowersOfTen[-d.exponent];
  }
  return NarrowToFloat(d.negative ? -x : x, value);
}

inline FloatStatus ConvertFloat(const char* begin, const char* end, float& value, bool allow_fast,
                                bool* took_fast) {
  if (took_fast) *took_fast = false;
  Decimal d;
  if (ScanDecimal(begin, end, d) != end || !d.valid) return FloatStatus::kInvalid;
  return DecimalToFloat(d, begin, end, value, allow_fast, took_fast);
}

[[noreturn]] void ThrowInvalidFloat(std::string_view token) {
  throw ConvertError("'" + std::string(token) + "' is not a valid floating point value");
}

inline float FloatOrThrow(FloatStatus status, float value, std::string_view token) {
  if (status == FloatStatus::kOk) return value;
  if (status == FloatStatus::kInvalid) ThrowInvalidFloat(token);
  throw FloatOverflowError();
}

inline float ConvertFloatOrThrow(std::string_view token) {
  float value = 0.0f;
  FloatStatus status =
      ConvertFloat(token.data(), token.data() + token.size(), value, true, nullptr);
  return FloatOrThrow(status, value, token);
}

// What the short-token way found at a token's start.
enum class ShortToken { kNone, kNoData, kNumber };

// Where a run of short tokens stopped.
struct ShortRun {
  std::size_t pos;
  std::int64_t count;
};

// Whether four numbers at once are tried, kept over the runs of short tokens
// of one grid: after a few short quad runs in a row, not before the cell
// `resume_at`.
struct QuadTrial {
  int short_runs = 0;
  std::int64_t resume_at = 0;
};

#if defined(__SSE2__)

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

// The value of eight decimal digits, the first in the lowest byte of
// `chars`, in a handful of integer operations instead of a loop whose end
// the processor cannot predict.
inline std::uint32_t EightDigits(std::uint64_t chars) {
  std::uint64_t v = chars - 0x3030303030303030u;
  v = v * 10 + (v >> 8);  // pairs of digits
  v = ((v & 0x000000FF000000FFu) * (100 + (std::uint64_t{1000000} << 32)) +
       ((v >> 16) & 0x000000FF000000FFu) * (1 + (std::uint64_t{10000} << 32))) >>
      32;
  return static_cast<std::uint32_t>(v);
}

// The first 8 characters of the no-data text, and its length (17 when it
// is too long for a pair).
struct PairNoData {
  std::uint64_t chars;
  std::uint64_t bytes;  // the mask of its characters among the 8
  unsigned length;
};

// The low `size` bytes (1 to 8) of a 64-bit integer.
inline std::uint64_t LowBytes(unsigned size) {
  return ~std::uint64_t{0} >> (64 - 8 * size);
}

// The no-data text as four numbers at once compare it: its characters and
// then a space, or a line feed, over the low `bytes` of 8 bytes. A text that
// no token of a quad can equal has `bytes` 0 and `with_space` 1.
struct QuadNoData {
  std::uint64_t with_space;
  std::uint64_t with_line_feed;
  std::uint64_t bytes;
};

// The no-data text laid out for each way of reading short tokens, made once
// for a grid.
struct ShortNoData {
  // For the comparison of 16 characters at once; `length` is 17 when the
  // text is longer, so that no short token equals it.
  __m128i chars;
  unsigned length;
  PairNoData pair;
  QuadNoData quad;
  // A text of 8 characters would need 9 compared in a quad, its end
  // included: such grids take pairs. One of more than 8 equals no token of
  // a quad.
  bool quads;
};

inline ShortNoData MakeShortNoData(std::string_view text) {
  alignas(16) char chars[16] = {};
  std::memcpy(chars, text.data(), std::min<std::size_t>(text.size(), 16));
  const auto length = static_cast<unsigned>(std::min<std::size_t>(text.size(), 17));
  PairNoData pair{0, 0, length <= 8 ? length : 17};
  std::memcpy(&pair.chars, chars, 8);
  if (length >= 1 && length <= 8) pair.bytes = LowBytes(length);
  QuadNoData quad{1, 1, 0};
  if (length >= 1 && length <= 7) {
    // The characters after the text are 0.
    quad = {pair.chars | std::uint64_t{' '} << (8 * length),
            pair.chars | std::uint64_t{'\n'} << (8 * length), LowBytes(length + 1)};
  }
  return {_mm_load_si128(reinterpret_cast<const __m128i*>(chars)), length, pair, quad, length != 8};
}

// The float of a short token whose product lies near a float midpoint, the
// slow way of DecimalToFloat.
[[gnu::noinline]] float ShortValueNearMidpoint(std::uint64_t significand, unsigned decimals,
                                               unsigned digits, bool negative) {
  Decimal d;
  d.significand = significand;
  d.exponent = -static_cast<int>(decimals);
  d.digits = significand != 0 ? static_cast<int>(digits) : 0;
  d.negative = negative;
  d.valid = true;
  float value = 0.0f;
  // At most 15 digits and 14 decimals: always within the float range. The
  // text is only needed beyond 19 digits.
  DecimalToFloat(d, nullptr, nullptr, value, true, nullptr);
  return value;
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
inline ShortToken ReadShortToken(const char* begin, const char* limit, const ShortNoData& no_data,
                                 float& value, std::size_t& length) {
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
      size == no_data.length && (mask_of(_mm_cmpeq_epi8(chars, no_data.chars)) & token) == token;
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

// The place after the spaces from data[pos] on (within `end`), where a
// grid aligns its columns by spaces; most grids have one between numbers.
[[gnu::always_inline]] inline std::size_t PastAligningSpaces(const char* data, std::size_t pos,
                                                             std::size_t end) {
  if (data[pos] == ' ') [[unlikely]] {
    while (pos < end && data[pos] == ' ') ++pos;
  }
  return pos;
}

// Reads short tokens one by one from data[pos] on, into values[count] and
// flags[count] on, until one is not short, runs over `end`, or `count`
// reaches `room`.
[[gnu::always_inline]] inline ShortRun ShortTokensOneByOne(const char* data, std::size_t pos,
                                                           std::size_t end,
                                                           const ShortNoData& no_data,
                                                           float* values, std::uint8_t* flags,
                                                           std::int64_t count, std::int64_t room) {
  while (count < room) {
    float value = kNoDataMarker;
    std::size_t taken = 0;
    const ShortToken kind = ReadShortToken(data + pos, data + end, no_data, value, taken);
    if (kind == ShortToken::kNone) break;
    pos += taken;
    values[count] = value;
    flags[count] = kind == ShortToken::kNumber ? 0 : 1;
    ++count;
    pos = PastAligningSpaces(data, pos, end);
  }
  return {pos, count};
}

// ShortTokensOneByOne as a function of its own, so that its loop keeps
// everything in registers: the whole way on a processor without SSSE3, the
// tokens between pairs on one with it.
[[gnu::noinline]] ShortRun ShortTokensSse2(const char* data, std::size_t pos, std::size_t end,
                                           const ShortNoData& no_data, float* values,
                                           std::uint8_t* flags, std::int64_t count,
                                           std::int64_t room) {
  return ShortTokensOneByOne(data, pos, end, no_data, values, flags, count, room);
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

constexpr std::array<HalfLayout, kHalfSizes * kHalfSizes> MakeHalfLayouts() {
  std::array<HalfLayout, kHalfSizes * kHalfSizes> table{};
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
      table[static_cast<std::size_t>(dot_at * kHalfSizes + size)] = {shuffle,
                                                                     kDoubleTenths[decimals]};
    }
  }
  return table;
}

constexpr std::array<HalfLayout, kHalfSizes* kHalfSizes> kHalfLayouts = MakeHalfLayouts();

// Two numbers of 1 to 8 characters in the 16 characters at `begin`, each
// ended by a space or a line feed, the second right after the first's end:
// the common case of a grid, read with one set of vector operations for
// both. Writes both values and flags and sets `length` to the characters
// taken; false (nothing written) for anything else, and where a product
// lies near a float midpoint, which the single way then reads.
[[gnu::target("ssse3"), gnu::always_inline]] inline bool ReadTokenPair(const char* begin,
                                                                       const PairNoData& no_data,
                                                                       float* values,
                                                                       std::uint8_t* flags,
                                                                       std::size_t& length) {
  const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin));
  auto mask_of = [](__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); };
  // The bits beyond the 16 characters set, so that each size is at most 16
  // and every shift below stays under 32.
  const unsigned blank =
      mask_of(_mm_cmpeq_epi8(_mm_min_epu8(chars, _mm_set1_epi8(32)), chars)) | 0xFFFF0000u;
  const unsigned ends = mask_of(_mm_or_si128(_mm_cmpeq_epi8(chars, _mm_set1_epi8(' ')),
                                             _mm_cmpeq_epi8(chars, _mm_set1_epi8('\n'))));
  const auto size_a = static_cast<unsigned>(std::countr_zero(blank));
  const unsigned start_b = size_a + 1;
  const auto size_b = static_cast<unsigned>(std::countr_zero(blank >> start_b));
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
  const auto dot_at_a = static_cast<unsigned>(std::countr_zero(dot_a | (1u << size_a)));
  const auto dot_at_b =
      static_cast<unsigned>(std::countr_zero((dot_b >> start_b) | (1u << size_b)));
  const HalfLayout& layout_a = kHalfLayouts[dot_at_a * kHalfSizes + size_a];
  const HalfLayout& layout_b = kHalfLayouts[dot_at_b * kHalfSizes + size_b];
  const std::uint64_t shuffle_a = layout_a.shuffle;
  // The second number's bytes lie start_b further on; a byte of 0x80 or
  // more stays one that gives 0.
  const std::uint64_t shuffle_b = layout_b.shuffle + start_b * 0x0101010101010101u;
  const __m128i placed = _mm_shuffle_epi8(
      _mm_and_si128(offset, is_digit),
      _mm_set_epi64x(static_cast<std::int64_t>(shuffle_b), static_cast<std::int64_t>(shuffle_a)));
  const __m128i pairs = _mm_maddubs_epi16(placed, _mm_set1_epi16(0x010A));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));
  const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(0x00012710));
  const __m128d products =
      _mm_mul_pd(_mm_cvtepi32_pd(eights), _mm_set_pd(layout_b.tenth, layout_a.tenth));
  // NearFloatMidpoint of both products: the low 29 bits of each, less the
  // midpoint's less 4, compared as unsigned with 8.
  const __m128i low_bits =
      _mm_sub_epi32(_mm_and_si128(_mm_castpd_si128(products), _mm_set1_epi64x(0x1FFFFFFF)),
                    _mm_set1_epi64x(0x10000000 - 4));
  const __m128i beyond = _mm_cmpgt_epi32(_mm_xor_si128(low_bits, _mm_set1_epi32(INT32_MIN)),
                                         _mm_set1_epi32(INT32_MIN + 8));
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
  constexpr std::uint64_t kMarkers =
      std::uint64_t{std::bit_cast<std::uint32_t>(kNoDataMarker)} * 0x100000001u;
  const std::uint64_t stored = (both & valid) | (kMarkers & ~valid);
  std::memcpy(values, &stored, 8);
  const auto pair_flags = static_cast<std::uint16_t>(no_data_a | no_data_b << 8);
  std::memcpy(flags, &pair_flags, 2);
  length = end_b + 1;
  return true;
}

// The byte vectors a quad is compared with, made once for a run of quads.
// Each is opaque to the compiler, so that it is kept (in a register or
// beside the loop) instead of made again from its byte in every round.
struct QuadConstants {
  __m256i space, line_feed, zero_char, nine, dot, minus, plus, first_eight;
  __m256i no_data_bytes, no_data_with_space, no_data_with_line_feed;
  __m256i low_29_bits, midpoint_less_4, lowest_32, lowest_32_and_8;
};

// Eight bytes repeated over 32, opaque to the compiler.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i OpaqueSplat(std::uint64_t eight) {
  __m256i v = _mm256_set1_epi64x(static_cast<std::int64_t>(eight));
  asm("" : "+x"(v));
  return v;
}

[[gnu::target("avx2"), gnu::always_inline]] inline QuadConstants MakeQuadConstants(
    const QuadNoData& no_data) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  return {OpaqueSplat(' ' * kOnes),
          OpaqueSplat('\n' * kOnes),
          OpaqueSplat('0' * kOnes),
          OpaqueSplat(9 * kOnes),
          OpaqueSplat('.' * kOnes),
          OpaqueSplat('-' * kOnes),
          OpaqueSplat('+' * kOnes),
          OpaqueSplat(0x0706050403020100u),
          OpaqueSplat(no_data.bytes),
          OpaqueSplat(no_data.with_space),
          OpaqueSplat(no_data.with_line_feed),
          OpaqueSplat(0x1FFFFFFF),
          OpaqueSplat(0x10000000 - 4),
          OpaqueSplat(0x8000000080000000u),
          OpaqueSplat(0x8000000880000008u)};
}

// The top bits of the 32 bytes.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint32_t TopBits(__m256i bytes) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
}

// Four numbers of 1 to 8 characters within the 32 characters at `begin`,
// each ended by a space or a line feed, each right after the one before:
// the common case of a grid, read with one set of 256-bit operations. The
// first two lie in the first 16 characters with their ends, the last two in
// the 16 from the third's start, which form the register's upper half, so
// that each byte shuffle stays within its half. Writes the four values and
// flags and sets `length` to the characters taken; false (nothing written)
// for anything else, and where a product lies near a float midpoint. The 32
// characters from `begin` must be readable.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool ReadTokenQuad(
    const char* begin, const QuadConstants& k, float* values, std::uint8_t* flags,
    std::size_t& length) {
  const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(begin));
  // Tokens end at a space or a line feed; any other blank within them
  // makes them odd below. The bits beyond the 32 characters are set, so
  // that each end found is at most 35 and every shift below stays under 64.
  const std::uint64_t blank = TopBits(_mm256_or_si256(_mm256_cmpeq_epi8(chars, k.space),
                                                      _mm256_cmpeq_epi8(chars, k.line_feed))) |
                              (~std::uint64_t{0} << 32);
  // The four token ends, each after the one before.
  std::uint64_t rest = blank;
  const auto end_0 = static_cast<unsigned>(std::countr_zero(rest));
  rest &= rest - 1;
  const auto end_1 = static_cast<unsigned>(std::countr_zero(rest));
  rest &= rest - 1;
  const auto end_2 = static_cast<unsigned>(std::countr_zero(rest));
  rest &= rest - 1;
  const auto end_3 = static_cast<unsigned>(std::countr_zero(rest));
  const unsigned size_0 = end_0;
  const unsigned size_1 = end_1 - end_0 - 1;
  const unsigned size_2 = end_2 - end_1 - 1;
  const unsigned size_3 = end_3 - end_2 - 1;
  // Sizes 1 to 8; the first two tokens and their ends within the first 16
  // characters, the last two within the 16 from the third's start.
  if ((((size_0 - 1) | (size_1 - 1) | (size_2 - 1) | (size_3 - 1)) >= 8) | (end_1 >= 16) |
      (end_3 - end_1 > 16)) {
    return false;
  }
  const std::uint64_t covered = (std::uint64_t{2} << end_3) - 1;
  const std::uint64_t ends = blank & covered;
  const std::uint64_t starts = ((ends << 1) | 1) & covered;
  const __m256i offset = _mm256_sub_epi8(chars, k.zero_char);
  const std::uint32_t digit = TopBits(_mm256_cmpeq_epi8(_mm256_min_epu8(offset, k.nine), offset));
  const std::uint32_t dot = TopBits(_mm256_cmpeq_epi8(chars, k.dot));
  const std::uint32_t sign =
      TopBits(_mm256_or_si256(_mm256_cmpeq_epi8(chars, k.minus), _mm256_cmpeq_epi8(chars, k.plus)));
  // Each character a digit, a dot, a leading sign or an end. A token with
  // no digit or a second dot is found below.
  if ((covered & ~(digit | dot | (sign & starts) | ends)) != 0) return false;
  const unsigned start_1 = end_0 + 1;
  const unsigned start_2 = end_1 + 1;
  const unsigned start_3 = end_2 + 1;
  // Each dot place within its token; its size where there is none.
  const auto dot_at_0 = static_cast<unsigned>(std::countr_zero(dot | (1u << size_0)));
  const auto dot_at_1 = static_cast<unsigned>(std::countr_zero((dot >> start_1) | (1u << size_1)));
  const auto dot_at_2 = static_cast<unsigned>(std::countr_zero((dot >> start_2) | (1u << size_2)));
  const auto dot_at_3 = static_cast<unsigned>(std::countr_zero((dot >> start_3) | (1u << size_3)));
  const HalfLayout& layout_0 = kHalfLayouts[dot_at_0 * kHalfSizes + size_0];
  const HalfLayout& layout_1 = kHalfLayouts[dot_at_1 * kHalfSizes + size_1];
  const HalfLayout& layout_2 = kHalfLayouts[dot_at_2 * kHalfSizes + size_2];
  const HalfLayout& layout_3 = kHalfLayouts[dot_at_3 * kHalfSizes + size_3];
  // Each token's place in its half, as a shuffle offset in all 8 bytes.
  const __m256i starts_in_half =
      _mm256_set_epi64x(static_cast<std::int64_t>((start_3 - start_2) * 0x0101010101010101u), 0,
                        static_cast<std::int64_t>(start_1 * 0x0101010101010101u), 0);
  const __m256i shuffle = _mm256_add_epi64(
      starts_in_half, _mm256_set_epi64x(static_cast<std::int64_t>(layout_3.shuffle),
                                        static_cast<std::int64_t>(layout_2.shuffle),
                                        static_cast<std::int64_t>(layout_1.shuffle),
                                        static_cast<std::int64_t>(layout_0.shuffle)));
  const __m256i halves = _mm256_inserti128_si256(
      chars, _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + start_2)), 1);
  const __m256i half_offset = _mm256_sub_epi8(halves, k.zero_char);
  const __m256i is_digit = _mm256_cmpeq_epi8(_mm256_min_epu8(half_offset, k.nine), half_offset);
  // The shuffle leaves out each token's first dot: a second one would be
  // among the bytes placed. Every token needs a digit among them.
  const __m256i second_dot = _mm256_shuffle_epi8(_mm256_cmpeq_epi8(halves, k.dot), shuffle);
  const __m256i no_digit =
      _mm256_cmpeq_epi64(_mm256_shuffle_epi8(is_digit, shuffle), _mm256_setzero_si256());
  const __m256i odd = _mm256_or_si256(second_dot, no_digit);
  if (!_mm256_testz_si256(odd, odd)) return false;
  const __m256i placed = _mm256_shuffle_epi8(_mm256_and_si256(half_offset, is_digit), shuffle);
  const __m256i pairs = _mm256_maddubs_epi16(placed, _mm256_set1_epi16(0x010A));
  const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
  const __m256i eights =
      _mm256_madd_epi16(_mm256_packs_epi32(fours, fours), _mm256_set1_epi32(0x00012710));
  // Each half holds its two significands twice: the first copy of each.
  const __m128i significands = _mm256_castsi256_si128(_mm256_permute4x64_epi64(eights, 0b1000));
  __m256d products =
      _mm256_mul_pd(_mm256_cvtepi32_pd(significands),
                    _mm256_set_pd(layout_3.tenth, layout_2.tenth, layout_1.tenth, layout_0.tenth));
  // NearFloatMidpoint of the four products, as for a pair.
  const __m256i low_bits = _mm256_sub_epi32(
      _mm256_and_si256(_mm256_castpd_si256(products), k.low_29_bits), k.midpoint_less_4);
  const __m256i beyond =
      _mm256_cmpgt_epi32(_mm256_xor_si256(low_bits, k.lowest_32), k.lowest_32_and_8);
  if ((TopBits(beyond) & 0x0F0F0F0Fu) != 0x0F0F0F0Fu) [[unlikely]]
    return false;
  // Each token's first 8 characters, end included where it lies within
  // them: the sign from the first, the no-data text compared with them.
  const __m256i texts =
      _mm256_shuffle_epi8(halves, _mm256_add_epi64(starts_in_half, k.first_eight));
  const __m256i negative = _mm256_slli_epi64(_mm256_cmpeq_epi8(texts, k.minus), 63);
  products = _mm256_or_pd(products, _mm256_castsi256_pd(negative));
  const __m256i text_bytes = _mm256_and_si256(texts, k.no_data_bytes);
  const __m256d is_no_data = _mm256_castsi256_pd(
      _mm256_or_si256(_mm256_cmpeq_epi64(text_bytes, k.no_data_with_space),
                      _mm256_cmpeq_epi64(text_bytes, k.no_data_with_line_feed)));
  products =
      _mm256_blendv_pd(products, _mm256_set1_pd(static_cast<double>(kNoDataMarker)), is_no_data);
  _mm_storeu_ps(values, _mm256_cvtpd_ps(products));
  // One flag byte from each of the four bits.
  const auto quad_flags =
      (static_cast<std::uint32_t>(_mm256_movemask_pd(is_no_data)) * 0x00204081u) & 0x01010101u;
  std::memcpy(flags, &quad_flags, 4);
  length = end_3 + 1;
  return true;
}

// Pairs of common numbers from data[pos] on while they come (as
// ShortTokensOneByOne, two at a time). A function of its own, so that its
// loop has the registers to itself.
[[gnu::noinline, gnu::target("ssse3")]] ShortRun TokenPairs(const char* data, std::size_t pos,
                                                            std::size_t end,
                                                            const PairNoData no_data, float* values,
                                                            std::uint8_t* flags, std::int64_t count,
                                                            std::int64_t room) {
  while (count + 2 <= room && end - pos > 16) {
    std::size_t taken = 0;
    if (!ReadTokenPair(data + pos, no_data, values + count, flags + count, taken)) {
      break;
    }
    pos += taken;
    count += 2;
    pos = PastAligningSpaces(data, pos, end);
  }
  return {pos, count};
}

// One pair where four numbers do not fit: kept out of the quad loop, so
// that the loop has the registers to itself.
[[gnu::noinline, gnu::target("avx2,bmi,bmi2")]] bool PairBesideQuads(const char* begin,
                                                                     const PairNoData& no_data,
                                                                     float* values,
                                                                     std::uint8_t* flags,
                                                                     std::size_t& length) {
  return ReadTokenPair(begin, no_data, values, flags, length);
}

// Quads of common numbers from data[pos] on while they come, a pair where
// four do not fit (as ShortTokensOneByOne, four or two at a time).
[[gnu::noinline, gnu::target("avx2,bmi,bmi2")]] ShortRun TokenQuads(
    const char* data, std::size_t pos, std::size_t end, const QuadNoData quad_no_data,
    const PairNoData pair_no_data, float* values, std::uint8_t* flags, std::int64_t count,
    std::int64_t room) {
  const QuadConstants constants = MakeQuadConstants(quad_no_data);
  while (count + 4 <= room && end - pos > 32) {
    std::size_t taken = 0;
    if (ReadTokenQuad(data + pos, constants, values + count, flags + count, taken)) [[likely]] {
      count += 4;
    } else if (PairBesideQuads(data + pos, pair_no_data, values + count, flags + count, taken)) {
      count += 2;
    } else {
      break;
    }
    pos += taken;
    pos = PastAligningSpaces(data, pos, end);
  }
  return {pos, count};
}

constexpr std::int64_t kOneByOneBatch = 16;
// Quad runs of fewer tokens are short, and this many in a row end the quads.
constexpr std::int64_t kShortQuadRun = 32;
constexpr int kShortQuadRunsTried = 4;
// The tokens read in pairs before quads are tried again.
constexpr std::int64_t kQuadRest = 4096;

// The SSSE3 way: pairs of common numbers while they come, the single way
// between them; with `quads`, four at a time before the pairs, as `trial`
// allows.
ShortRun ShortTokensInPairs(const char* data, std::size_t pos, std::size_t end,
                            const ShortNoData& no_data, float* values, std::uint8_t* flags,
                            std::int64_t count, std::int64_t room, bool quads, QuadTrial& trial) {
  ShortRun run{pos, count};
  for (;;) {
    if (quads && run.count >= trial.resume_at) {
      const std::int64_t before = run.count;
      run = TokenQuads(data, run.pos, end, no_data.quad, no_data.pair, values, flags, run.count,
                       room);
      // Moving between the AVX and the SSE instructions of the other ways
      // costs some processors more than a few quads gain: where quads keep
      // stopping early (numbers too long for them, or tokens the general way
      // reads), the next stretch of the grid takes pairs.
      trial.short_runs = run.count - before < kShortQuadRun ? trial.short_runs + 1 : 0;
      if (trial.short_runs == kShortQuadRunsTried) {
        trial.short_runs = 0;
        trial.resume_at = run.count + kQuadRest;
      }
    }
    run = TokenPairs(data, run.pos, end, no_data.pair, values, flags, run.count, room);
    // Where a pair does not fit, a few tokens one by one before the next
    // try: a line end costs little, and numbers too long for a pair are
    // not tried as one each time.
    const std::int64_t batch = std::min(room, run.count + kOneByOneBatch);
    run = ShortTokensSse2(data, run.pos, end, no_data, values, flags, run.count, batch);
    if (run.count < batch || run.count >= room) return run;
  }
}

// Reads short tokens from data[pos] on, into values[count] and flags[count]
// on, until one is not short, runs over `end`, or `count` reaches `room`.
// Takes them in pairs where the processor has SSSE3.
ShortRun ReadShortTokens(const char* data, std::size_t pos, std::size_t end,
                         const ShortNoData& no_data, float* values, std::uint8_t* flags,
                         std::int64_t count, std::int64_t room, QuadTrial& trial) {
  static const bool kHasSsse3 = __builtin_cpu_supports("ssse3") != 0;
  static const bool kHasAvx2 = __builtin_cpu_supports("avx2") != 0 &&
                               __builtin_cpu_supports("bmi") != 0 &&
                               __builtin_cpu_supports("bmi2") != 0;
  const grid_detail::ShortTokenWay way = grid_detail::short_token_way;
  if (kHasSsse3 && way != grid_detail::ShortTokenWay::kOneByOne) {
    return ShortTokensInPairs(
        data, pos, end, no_data, values, flags, count, room,
        kHasAvx2 && no_data.quads && way == grid_detail::ShortTokenWay::kFastest, trial);
  }
  return ShortTokensSse2(data, pos, end, no_data, values, flags, count, room);
}

#else

// Without SSE2 every token takes the general way.
struct ShortNoData {};
inline ShortNoData MakeShortNoData(std::string_view) {
  return {};
}
inline ShortRun ReadShortTokens(const char*, std::size_t pos, std::size_t, const ShortNoData&,
                                float*, std::uint8_t*, std::int64_t count, std::int64_t,
                                QuadTrial&) {
  return {pos, count};
}

#endif  // __SSE2__

}  // namespace

// Four cells at a time where SSE2 allows: the order of the cells only tells
// where an extreme is zero, and then it is the first zero met, with its sign.
bool ValidValueRange(const GridData& grid, float& smallest, float& largest) {
  const float* const values = grid.Values.data();
  const std::uint8_t* const no_data = grid.NoData.data();
  const std::size_t count = std::min(grid.Values.size(), grid.NoData.size());
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  float low = kInfinity;
  float high = -kInfinity;
  std::size_t i = 0;
#if defined(__SSE2__)
  __m128 low4 = _mm_set1_ps(kInfinity);
  __m128 high4 = _mm_set1_ps(-kInfinity);
  const __m128i zero = _mm_setzero_si128();
  for (; i + 4 <= count; i += 4) {
    std::int32_t four_flags = 0;
    std::memcpy(&four_flags, no_data + i, 4);
    const __m128i flags32 =
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four_flags), zero), zero);
    const __m128 missing = _mm_castsi128_ps(_mm_cmpgt_epi32(flags32, zero));
    const __m128 v = _mm_loadu_ps(values + i);
    low4 = _mm_min_ps(
        low4, _mm_or_ps(_mm_and_ps(missing, _mm_set1_ps(kInfinity)), _mm_andnot_ps(missing, v)));
    high4 = _mm_max_ps(
        high4, _mm_or_ps(_mm_and_ps(missing, _mm_set1_ps(-kInfinity)), _mm_andnot_ps(missing, v)));
  }
  alignas(16) float lows[4];
  alignas(16) float highs[4];
  _mm_store_ps(lows, low4);
  _mm_store_ps(highs, high4);
  for (int k = 0; k < 4; ++k) {
    low = std::min(low, lows[k]);
    high = std::max(high, highs[k]);
  }
#endif
  for (; i < count; ++i) {
    if (no_data[i] != 0) continue;
    low = std::min(low, values[i]);
    high = std::max(high, values[i]);
  }
  if (low == 0.0f || high == 0.0f) {
    for (i = 0; i < count; ++i) {
      if (no_data[i] == 0 && values[i] == 0.0f) {
        if (low == 0.0f) low = values[i];
        if (high == 0.0f) high = values[i];
        break;
      }
    }
  }
  smallest = low;
  largest = high;
  return low <= high;
}

namespace grid_detail {

FloatStatus ConvertGridFloat(std::string_view token, float& value, bool allow_fast,
                             bool* took_fast) {
  return ConvertFloat(token.data(), token.data() + token.size(), value, allow_fast, took_fast);
}

}  // namespace grid_detail

float ParseGridFloat(const std::string& token) {
  return ConvertFloatOrThrow(token);
}

std::int32_t ParseGridInteger(const std::string& token) {
  const char* p = token.data();
  const char* const end = p + token.size();
  while (p != end && *p == ' ') ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  unsigned base = 10;
  if (p != end && *p == '$') {
    base = 16;
    ++p;
  } else if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  std::uint64_t magnitude = 0;
  bool ok = p != end;
  for (; ok && p != end; ++p) {
    unsigned digit;
    char ch = *p;
    if (ch >= '0' && ch <= '9') {
      digit = static_cast<unsigned>(ch - '0');
    } else if (base == 16 && ch >= 'a' && ch <= 'f') {
      digit = static_cast<unsigned>(ch - 'a' + 10);
    } else if (base == 16 && ch >= 'A' && ch <= 'F') {
      digit = static_cast<unsigned>(ch - 'A' + 10);
    } else {
      ok = false;
      break;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > limit) ok = false;
  }
  if (!ok) throw ConvertError("'" + token + "' is not a valid integer value");
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                  : static_cast<std::int32_t>(magnitude);
}

namespace {

// A header has at most seven lines: columns, rows, left, bottom, dx, dy and
// no data.
constexpr int kMaxHeaderLines = 7;

// The values the header lines gave, and which line gave each.
struct HeaderValues {
  std::int32_t cols = 0;
  std::int32_t rows = 0;
  float left = 0.0f;
  float bottom = 0.0f;
  float width = 0.0f;
  float height = 0.0f;
  bool left_centre = false;
  bool bottom_centre = false;
  std::string no_data;
  std::array<int, kHeaderFieldCount> line{};  // 0: not given
};

// A header has five to seven lines: their number, and the line after them
// with its article.
const char* const kLineCountWords[] = {"five", "six", "seven"};
const char* const kNextLineWords[] = {"a sixth", "a seventh", "an eighth"};

bool LooksLikeKeyword(std::string_view token) {
  if (token.empty()) return false;
  const auto ch = static_cast<unsigned char>(token.front() | 0x20);
  return ch >= 'a' && ch <= 'z';
}

bool IsNumber(std::string_view token) {
  float value = 0.0f;
  return grid_detail::ConvertGridFloat(token, value) != FloatStatus::kInvalid;
}

}  // namespace

// The open grid file and its token reader. Tokens end at a space or a line
// feed; every other character, carriage return and tab included, belongs to
// the token, and characters of codes 0 to 32 are trimmed from both ends of
// it. A code 26 ends the text. The file is read block by block; a token that
// runs over the end of a block is moved to the front of the buffer first.
struct GridReader::Impl {
  BinaryFile file;
  std::string path;
  // 16 characters beyond the largest fill, so that 16 can always be loaded
  // from a token's start at once.
  std::unique_ptr<char[]> buffer{new char[kGridReadBlockSize + kMaxGridTokenLength + 16]()};
  std::size_t pos = 0;
  std::size_t end = 0;
  bool no_more_input = false;  // the physical end or a code 26 was met
  bool header_read = false;
  // Where buffer[0] lies in the file, and how much of the file was read.
  std::uint64_t buffer_offset = 0;
  std::uint64_t bytes_read = 0;
  float smallest_valid = std::numeric_limits<float>::infinity();
  float largest_valid = -std::numeric_limits<float>::infinity();
  // The header tokens (two a line) and where they start, for the messages that
  // say which header line is wrong.
  std::array<std::string, 2 * kMaxHeaderLines> header_tokens;
  std::array<std::uint64_t, 2 * kMaxHeaderLines> header_offsets{};
  int header_count = 0;
  // What a word in place of the first value may be, for its message: "a
  // seventh header line (the header has six: ...)".
  std::string extra_line_hint;

  void Reset() {
    pos = 0;
    end = 0;
    no_more_input = false;
    header_read = false;
    buffer_offset = 0;
    bytes_read = 0;
    header_count = 0;
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

  [[noreturn]] void ThrowTokenTooLong() const {
    throw ConversionError("Grid file " + path + " holds a token longer than " +
                          std::to_string(kMaxGridTokenLength) + " characters");
  }

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
  void TakeHeaderValue(HeaderKeyword kind, int line, HeaderValues& values);

  // "line L, column C" of a file offset, counted from 1. The file is read
  // again from its start: only an error pays for it.
  std::string LineColumnAt(std::uint64_t offset) {
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

  // The line of a file offset, as a number (0 when it cannot be told).
  std::uint64_t LineAt(std::uint64_t offset) {
    std::string where = LineColumnAt(offset);
    if (where.empty()) return 0;
    return std::stoull(where.substr(5));
  }

  // Says which header line seems to be missing, or nothing.
  std::string HeaderShapeHint() {
    // A keyword that is a number means that a line of the header is missing,
    // so that the values moved up into it.
    for (int number = 1; number <= header_count; number += 2) {
      const std::string& token = header_tokens[number - 1];
      if (IsNumber(token)) {
        const int line = (number + 1) / 2;
        return "line " + std::to_string(LineAt(header_offsets[number - 1])) + ": header line " +
               std::to_string(line) + " should begin with the keyword of " +
               HeaderKeywordText(kPlaceFields[line - 1]) + ", not the number '" + token +
               "'; is a header line missing?";
      }
    }
    return {};
  }
};

GridReader::GridReader() : impl_(std::make_unique<Impl>()) {}
GridReader::~GridReader() = default;

void GridReader::Close() {
  impl_->Reset();
  impl_->file.Close();
}

namespace {

// Adds where a bad header value stands and what was expected there: the
// value of header line `line`, as `kind`.
void AddHeaderContext(KovaError& error, const std::string& where, int line, HeaderKeyword kind,
                      std::string_view token) {
  std::string context = where;
  if (dynamic_cast<ConvertError*>(&error) == nullptr) {
    error.AddContext(context);  // a number, only out of range
    return;
  }
  context += std::string(context.empty() ? "" : "; ") + "expected " + HeaderKeywordText(kind) +
             " as the value of header line " + std::to_string(line);
  if (LooksLikeKeyword(token)) {
    context += "; '" + std::string(token) + "' looks like a keyword: is a header line missing?";
  }
  error.AddContext(context);
}

// The x or y of an edge from that of the centre of the lower-left cell.
float EdgeOfCentre(float centre, float size) {
  const auto edge = static_cast<float>(static_cast<long double>(centre) - size / 2.0L);
  if (std::isinf(edge)) throw FloatOverflowError();
  return edge;
}

}  // namespace

void GridReader::Impl::TakeHeaderValue(HeaderKeyword kind, int line, HeaderValues& values) {
  const int number = 2 * line;
  const std::string& token = header_tokens[number - 1];
  try {
    switch (kind.field) {
      case HeaderField::kColumns:
        values.cols = ParseGridInteger(token);
        break;
      case HeaderField::kRows:
        values.rows = ParseGridInteger(token);
        break;
      case HeaderField::kLeft:
        values.left = ConvertFloatOrThrow(token);
        values.left_centre = kind.centre;
        break;
      case HeaderField::kBottom:
        values.bottom = ConvertFloatOrThrow(token);
        values.bottom_centre = kind.centre;
        break;
      case HeaderField::kCellSize:
        values.width = values.height = ConvertFloatOrThrow(token);
        break;
      case HeaderField::kCellWidth:
        values.width = ConvertFloatOrThrow(token);
        break;
      case HeaderField::kCellHeight:
        values.height = ConvertFloatOrThrow(token);
        break;
      case HeaderField::kNoData:
        values.no_data = token;
        break;
    }
  } catch (KovaError& error) {
    AddHeaderContext(error, LineColumnAt(header_offsets[number - 1]), line, kind, token);
    throw;
  }
  values.line[static_cast<std::size_t>(kind.field)] = line;
}

void GridReader::ReadGridHeader(const std::string& path, GridHeader& header) {
  Impl& in = *impl_;
  in.Reset();
  in.file.Open(path, FileAccess::ReadOnly);
  in.path = path;

  // The first five lines. A value is converted as its keyword says, or as
  // its place says where the keyword is not known, the moment it is read.
  std::array<std::optional<HeaderKeyword>, kMaxHeaderLines> kinds;
  HeaderValues values;
  unsigned settled = 0;
  bool by_keywords = true;
  for (int line = 1; line <= 5; ++line) {
    const std::optional<HeaderKeyword> kind = FindHeaderKeyword(in.ReadHeaderToken(2 * line - 1));
    kinds[line - 1] = kind;
    if (!kind || (HeaderFieldBits(kind->field) & settled) != 0) by_keywords = false;
    if (kind) settled |= HeaderFieldBits(kind->field);
    in.ReadHeaderToken(2 * line);
    in.TakeHeaderValue(kind.value_or(kPlaceFields[line - 1]), line, values);
  }

  std::string no_data_line;  // "keyword value", for messages
  int lines = 6;
  if (!by_keywords) {
    // By the places of the tokens, whatever the keywords say: the values of
    // known keywords are converted again as their places say.
    values = HeaderValues();
    for (int line = 1; line <= 5; ++line) in.TakeHeaderValue(kPlaceFields[line - 1], line, values);
    in.ReadHeaderToken(11);
    in.ReadHeaderToken(12);
    in.TakeHeaderValue(kPlaceFields[5], 6, values);
    no_data_line = in.header_tokens[10] + " " + in.header_tokens[11];
  } else {
    // By the keywords: the lines that complete the header follow, then an
    // optional no-data line. A number where a keyword would stand is the
    // first value; an unknown keyword there starts the no-data line, as its
    // place says.
    for (lines = 5; lines < kMaxHeaderLines; ++lines) {
      const bool placed = (settled & kPlacingFieldBits) == kPlacingFieldBits;
      if (placed && (settled & kNoDataFieldBit) != 0) break;
      const int line = lines + 1;
      std::string_view token;
      if (!in.NextToken(token)) {
        if (placed) break;  // no values: said when they are read
        throw ConversionError("Grid file " + path + " ends before its header is complete");
      }
      if (IsNumber(token)) {
        in.PutBack(token);
        if (placed) break;
        const HeaderField missing = FirstMissingField(settled);
        throw ConversionError("Grid file " + path + " has no header line for " +
                              HeaderFieldText(missing) + " (such as '" +
                              HeaderFieldExample(missing) + "')");
      }
      in.KeepHeaderToken(2 * line - 1, token);
      std::optional<HeaderKeyword> kind = FindHeaderKeyword(token);
      if (!kind && !placed) {
        const HeaderField missing = FirstMissingField(settled);
        throw ConversionError("Grid file " + path + " has no header line for " +
                              HeaderFieldText(missing) + " (such as '" +
                              HeaderFieldExample(missing) + "'); '" + std::string(token) +
                              "' on header line " + std::to_string(line) + " is not one");
      }
      if (!kind) kind = HeaderKeyword{HeaderField::kNoData};
      const unsigned bits = HeaderFieldBits(kind->field);
      if ((bits & settled) != 0) {
        int first = 0;
        for (int earlier = 0; earlier < lines; ++earlier) {
          if (kinds[earlier] && (HeaderFieldBits(kinds[earlier]->field) & bits) != 0) {
            first = earlier + 1;
            break;
          }
        }
        throw ConversionError("Grid file " + path + " gives " + HeaderKeywordText(*kind) +
                              " twice in its header (header lines " + std::to_string(first) +
                              " and " + std::to_string(line) + ")");
      }
      settled |= bits;
      kinds[line - 1] = kind;
      in.ReadHeaderToken(2 * line);
      in.TakeHeaderValue(*kind, line, values);
    }
    const int no_data_at = values.line[static_cast<std::size_t>(HeaderField::kNoData)];
    if (no_data_at != 0) {
      no_data_line =
          in.header_tokens[2 * no_data_at - 2] + " " + in.header_tokens[2 * no_data_at - 1];
    }
  }

  // For the message of a word where the first value should be.
  std::string names;
  for (int line = 1; line <= lines; ++line) {
    names += std::string(line > 1 ? ", " : "") +
             HeaderKeywordShortText(by_keywords ? *kinds[line - 1] : kPlaceFields[line - 1]);
  }
  in.extra_line_hint =
      std::string(kNextLineWords[lines - 5]) + " header line (the header has " +
      kLineCountWords[lines - 5] + ": " + names + "; " +
      (no_data_line.empty() ? "it has no no-data line"
                            : "'" + no_data_line + "' was read as the no-data line") +
      ")";

  header.GridCols = values.cols;
  header.GridRows = values.rows;
  header.NoDataText = values.no_data;
  if (header.GridCols < 1 || header.GridRows < 1) {
    ConversionError error("Grid file " + path + " gives a grid of " +
                          std::to_string(header.GridCols) + " columns and " +
                          std::to_string(header.GridRows) + " rows; both must be at least 1");
    error.AddContext(in.HeaderShapeHint());
    throw error;
  }
  // A cell size, width or height that is not above 0, named by its line.
  for (const HeaderField field :
       {HeaderField::kCellSize, HeaderField::kCellWidth, HeaderField::kCellHeight}) {
    const int line = values.line[static_cast<std::size_t>(field)];
    const float size = field == HeaderField::kCellHeight ? values.height : values.width;
    if (line == 0 || size > 0.0f) continue;
    ConversionError error("Grid file " + path + " gives a " +
                          HeaderKeywordShortText(HeaderKeyword{field}) + " of " +
                          in.header_tokens[2 * line - 1] + "; it must be above 0");
    error.AddContext(in.HeaderShapeHint());
    throw error;
  }
  header.CellSize = values.width;
  header.CellHeight.reset();
  if (values.line[static_cast<std::size_t>(HeaderField::kCellHeight)] != 0) {
    header.CellHeight = values.height;
  }
  header.GridLeft = values.left;
  header.GridBottom = values.bottom;
  try {
    if (values.left_centre) header.GridLeft = EdgeOfCentre(values.left, values.width);
    if (values.bottom_centre) header.GridBottom = EdgeOfCentre(values.bottom, values.height);
  } catch (KovaError& error) {
    error.AddContext("Grid file " + path + ": the edge of its lower-left cell");
    throw;
  }
  in.header_read = true;
}

namespace {

// "N values of its C columns and R rows", for the messages of a grid whose
// value count does not match its header.
std::string GridSizeText(const GridHeader& header) {
  return std::to_string(std::int64_t{header.GridCols} * header.GridRows) + " values of its " +
         std::to_string(header.GridCols) + " columns and " + std::to_string(header.GridRows) +
         " rows";
}

// The limit that a grid exceeds, for the context of its "Range check error".
std::string GridLimitText(const GridHeader& header, GridLimits limits) {
  std::string text;
  if (header.GridCols > limits.MaxCols) {
    text = "grid of " + std::to_string(header.GridCols) + " columns";
  } else if (header.GridRows > limits.MaxRows) {
    text = "grid of " + std::to_string(header.GridRows) + " rows";
  } else {
    text = "values beyond row " + std::to_string(limits.MaxRows);
  }
  text += "; at most " + std::to_string(limits.MaxCols) + " columns and " +
          std::to_string(limits.MaxRows) + " rows can be converted";
  if (limits.MaxCols < kImageGridLimits.MaxCols || limits.MaxRows < kImageGridLimits.MaxRows) {
    text += " (kova convert takes grids up to " + std::to_string(kImageGridLimits.MaxCols) + " x " +
            std::to_string(kImageGridLimits.MaxRows) + ")";
  }
  return text;
}

}  // namespace

void TakeGridHeader(const GridHeader& header, const std::string& path, GridData& grid) {
  grid.Cols = header.GridCols;
  grid.Rows = header.GridRows;
  grid.Left = header.GridLeft;
  grid.Bottom = header.GridBottom;
  grid.CellWidth = header.CellSize;
  grid.CellHeight = header.CellHeight.value_or(header.CellSize);
  grid.SourceName = FileNameOf(path);
}

void GridReader::ReadGridValues(const GridHeader& header, GridData& grid, GridLimits limits) {
  Impl& in = *impl_;
  if (!in.file.IsOpen() || !in.header_read) throw FileError(IoResult::kFileNotOpen);
  const std::int64_t expected = std::int64_t{header.GridCols} * header.GridRows;
  // The value after the last one that fits the limits: the first beyond
  // the last column that fits in row 1, or the first of the first row
  // beyond the last that fits.
  const std::int64_t beyond_limits =
      header.GridCols > limits.MaxCols
          ? std::int64_t{limits.MaxCols}
          : std::int64_t{header.GridCols} * std::min(header.GridRows, limits.MaxRows);
  const std::int64_t capacity = std::min(expected, beyond_limits);
  const std::int64_t stop_at = header.GridRows > limits.MaxRows || header.GridCols > limits.MaxCols
                                   ? beyond_limits
                                   : expected;
  // Room for the values is taken up front, but never more than the file can
  // hold (a value takes at least two characters), so that a small file whose
  // header claims a huge grid fails on its values, not on memory.
  std::error_code size_error;
  const std::uintmax_t file_size = std::filesystem::file_size(FileSystemPath(in.path), size_error);
  const std::int64_t fits_in_file =
      size_error
          ? capacity
          : static_cast<std::int64_t>(std::min<std::uintmax_t>(file_size / 2 + 1, INT64_MAX));
  const auto cells = static_cast<std::size_t>(std::min(capacity, fits_in_file));
  auto throw_out_of_memory = [&] {
    grid.Values = {};
    grid.NoData = {};
    throw ConversionError("Grid file " + in.path + " of " + std::to_string(header.GridCols) +
                          " columns and " + std::to_string(header.GridRows) + " rows needs " +
                          std::to_string((capacity * kBytesPerGridCell + (1 << 20) - 1) >> 20) +
                          " MB of memory, more than is available");
  };
  if (ExceedsMemoryLeft(cells * kBytesPerGridCell)) throw_out_of_memory();
  try {
    // Every cell up to the count read is written below and the rest cut
    // off at the end, so a grid reused for a file of the same size is not
    // filled first.
    grid.Values.resize(cells);
    grid.NoData.resize(cells);
  } catch (const std::bad_alloc&) {
    throw_out_of_memory();
  }
  const std::string_view no_data = header.NoDataText;
  in.smallest_valid = std::numeric_limits<float>::infinity();
  in.largest_valid = -std::numeric_limits<float>::infinity();
  std::int64_t count = 0;
  const char* token_start = nullptr;
  std::string_view token;
  const ShortNoData short_no_data = MakeShortNoData(no_data);
  QuadTrial quad_trial;
  try {
    for (;;) {
      // The common tokens, one after another straight into the grid, until
      // one is not common, runs over the end of the buffer, or would be the
      // first beyond the room taken or the limits.
      const ShortRun run = ReadShortTokens(
          in.buffer.get(), in.pos, in.end, short_no_data, grid.Values.data(), grid.NoData.data(),
          count, std::min(stop_at, static_cast<std::int64_t>(grid.Values.size())), quad_trial);
      in.pos = run.pos;
      count = run.count;
      if (!in.SkipToToken()) break;
      // Any other token.
      float value = kNoDataMarker;
      std::uint8_t missing = 1;
      const char* begin = in.buffer.get() + in.pos;
      const char* limit = in.buffer.get() + in.end;
      token_start = begin;
      Decimal d;
      const char* stop = ScanDecimal(begin, limit, d);
      if (d.valid && stop != limit && (*stop == ' ' || *stop == '\n')) {
        // A number followed directly by a space or a line feed is read
        // straight from the buffer; anything else takes the general way
        // through the trimmed token.
        token = std::string_view(begin, static_cast<std::size_t>(stop - begin));
        if (token.size() > kMaxGridTokenLength) in.ThrowTokenTooLong();
        in.pos += token.size() + 1;
        if (token != no_data) {
          FloatStatus status = DecimalToFloat(d, begin, stop, value, true, nullptr);
          value = FloatOrThrow(status, value, token);
          missing = 0;
        }
      } else {
        token = in.TakeToken();
        token_start = token.data();
        if (token != no_data) {
          value = ConvertFloatOrThrow(token);
          missing = 0;
        }
      }
      if (count == stop_at) {
        // As in a fixed array of the limits' size: a value beyond it is a
        // range error, even where it is a surplus value.
        if (count != expected || header.GridRows >= limits.MaxRows) {
          RangeError error;
          error.AddContext(GridLimitText(header, limits));
          throw error;
        }
        throw ConversionError("Grid file " + in.path + " holds more than the " +
                              GridSizeText(header));
      }
      if (count == static_cast<std::int64_t>(grid.Values.size())) {
        // Only should the file have grown since its size was taken.
        const auto more =
            static_cast<std::size_t>(std::min(stop_at, std::max<std::int64_t>(2 * count, 1024)));
        grid.Values.resize(more);
        grid.NoData.resize(more);
      }
      grid.Values[static_cast<std::size_t>(count)] = value;
      grid.NoData[static_cast<std::size_t>(count)] = missing;
      ++count;
    }
  } catch (const std::bad_alloc&) {
    throw_out_of_memory();  // only should the file have grown while being read
  } catch (const ConversionError&) {
    throw;  // names the file and says what is wrong with it as a whole
  } catch (const RangeError&) {
    throw;  // says the limit
  } catch (const FileError&) {
    throw;  // the file itself failed, not a token
  } catch (KovaError& error) {
    const std::string saved(token_start ? std::string(token) : std::string());
    const std::uint64_t offset = token_start ? in.OffsetOf(token_start) : 0;
    std::string where = token_start ? in.LineColumnAt(offset) : std::string();
    if (count == 0 && LooksLikeKeyword(saved)) {
      where += std::string(where.empty() ? "" : "; ") + "expected the first grid value; '" + saved +
               "' looks like the keyword of " + in.extra_line_hint;
    }
    error.AddContext(where);
    throw;
  }
  if (count < expected) {
    ConversionError error("Grid file " + in.path + " holds only " + std::to_string(count) +
                          " of the " + GridSizeText(header));
    error.AddContext(in.HeaderShapeHint());
    throw error;
  }
  grid.Values.resize(static_cast<std::size_t>(count));
  grid.NoData.resize(static_cast<std::size_t>(count));
  kova::ValidValueRange(grid, in.smallest_valid, in.largest_valid);
}

bool GridReader::ValidValueRange(float& smallest, float& largest) const {
  smallest = impl_->smallest_valid;
  largest = impl_->largest_valid;
  return smallest <= largest;
}

}  // namespace kova
