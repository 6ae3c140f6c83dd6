#include "image/real48.h"

#include <cmath>    // ldexpl
#include <cstring>  // memcpy of the extended type's bytes

#include "app/platform/base/errors.h"

namespace kova {
namespace {

// Layout of the x86 80-bit extended type: a 64-bit significand with an
// explicit leading bit, then 15 exponent bits (bias 16383) and the sign.
constexpr int kExtendedExponentBias = 16383;
constexpr int kExtendedSignificandBits = 64;
constexpr std::uint16_t kExtendedExponentMask = 0x7FFF;
// Extended biased exponent minus this gives the 6-byte biased exponent.
constexpr int kExponentShift = kExtendedExponentBias - kReal48ExponentBias;  // 16254
// Bits of the extended significand below the 40 that a 6-byte real keeps.
constexpr int kDroppedBits = kExtendedSignificandBits - 1 - kReal48FractionBits;  // 24
constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kReal48FractionBits) - 1;

static_assert(sizeof(long double) >= 10 && __LDBL_MANT_DIG__ == 64,
              "long double must be the x86 80-bit extended type");

}  // namespace

long double DecodeReal48(const Real48& b) noexcept {
  if (b[0] == 0) return 0.0L;
  std::uint64_t fraction =
      static_cast<std::uint64_t>(b[5] & 0x7F) << 32 | static_cast<std::uint64_t>(b[4]) << 24 |
      static_cast<std::uint64_t>(b[3]) << 16 | static_cast<std::uint64_t>(b[2]) << 8 | b[1];
  std::uint64_t significand = std::uint64_t{1} << 63 | fraction << kDroppedBits;
  long double magnitude =
      ldexpl(static_cast<long double>(significand), b[0] - kReal48ExponentBias - 63);
  return (b[5] & kReal48SignMask) ? -magnitude : magnitude;
}

Real48 EncodeReal48(long double value) {
  unsigned char raw[sizeof(long double)];
  std::memcpy(raw, &value, sizeof value);
  std::uint64_t significand;
  std::uint16_t sign_exponent;
  std::memcpy(&significand, raw, 8);
  std::memcpy(&sign_exponent, raw + 8, 2);
  const bool negative = sign_exponent & 0x8000;
  int biased = sign_exponent & kExtendedExponentMask;
  if (biased == kExtendedExponentMask) throw FloatOverflowError();  // infinity or NaN

  // Keep the leading bit and 39 fraction bits; add the next lower bit so that
  // a half rounds away from zero. A carry out of the top raises the exponent.
  std::uint64_t kept = significand >> kDroppedBits;
  kept += (significand >> (kDroppedBits - 1)) & 1;
  if (kept >> (kReal48FractionBits + 1)) {
    kept >>= 1;
    ++biased;
  }
  const int e = biased - kExponentShift;
  Real48 out{};
  if (e <= 0 || significand == 0) return out;  // zero, and magnitudes below 2^-128
  if (e > 255) throw FloatOverflowError();
  const std::uint64_t fraction = kept & kFractionMask;
  out[0] = static_cast<std::uint8_t>(e);
  out[1] = static_cast<std::uint8_t>(fraction);
  out[2] = static_cast<std::uint8_t>(fraction >> 8);
  out[3] = static_cast<std::uint8_t>(fraction >> 16);
  out[4] = static_cast<std::uint8_t>(fraction >> 24);
  out[5] = static_cast<std::uint8_t>((fraction >> 32) | (negative ? kReal48SignMask : 0));
  return out;
}

}  // namespace kova
