// The decimal conversion of grid numbers: the scan of a number's text, the
// fast way for the common case and the exact library conversion for the
// rest. For the reader's own sources (compiled for the baseline); the
// short-token kernels use float_bits.h alone.
#pragma once

#include <cmath>  // isinf
#include <cstdint>
#include <string_view>

#include "app/inputs/tarvo/float_bits.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/platform/base/errors.h"

namespace kova::grid_detail {

// Exact decimal to extended conversion of the checked text of a number with
// at least one non-zero digit, then to float.
FloatStatus ConvertExact(const char* begin, const char* end, float& value);

[[noreturn]] void ThrowInvalidFloat(std::string_view token);

namespace {  // internal linkage: see float_bits.h

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
constexpr std::uint64_t kMaxExactDoubleInteger = std::uint64_t{1} << 53;

inline bool IsDigit(char ch) {
  return static_cast<unsigned char>(ch - '0') < 10;
}

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

// The value of a scanned number whose text is [begin, end): decimal to
// extended, correctly rounded, then to float.
//
// The fast way is Clinger's (W. D. Clinger, "How to Read Floating Point
// Numbers Accurately", PLDI 1990): where the significand and the power of
// ten are both exact in the type, one correctly rounded multiplication or
// division gives the correctly rounded value.
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

}  // namespace
}  // namespace kova::grid_detail
