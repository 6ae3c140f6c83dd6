// The 6-byte real of Kova headers: biased exponent byte (bias 129), then a
// 39-bit fraction, least significant byte first, with the sign in the top bit
// of the last byte. Zero exponent means zero; no infinities, NaNs or denormals.
#pragma once

#include <array>
#include <cstdint>

namespace kova {

using Real48 = std::array<std::uint8_t, 6>;

inline constexpr int kReal48ExponentBias = 129;
inline constexpr int kReal48FractionBits = 39;
inline constexpr std::uint8_t kReal48SignMask = 0x80;  // in byte 5

// The exact value of a 6-byte real (every one fits the extended type).
long double DecodeReal48(const Real48& bytes) noexcept;

// Rounds an extended value to a 6-byte real: the top 40 significand bits are
// kept, a half rounds away from zero, magnitudes below 2^-128 become zero.
// A rounded magnitude of 2^127 or more, an infinity or a NaN raises
// FloatOverflowError.
Real48 EncodeReal48(long double value);

// Encode then decode: the value as a 6-byte real stores it.
inline long double RoundToReal48(long double value) {
  return DecodeReal48(EncodeReal48(value));
}

}  // namespace kova
