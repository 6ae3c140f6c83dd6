// Bit-level helpers of the number conversions, shared by the exact reader
// and the short-token kernels.
//
// Everything here has internal linkage (an unnamed namespace), as in the
// other inner headers of this folder: the kernels of each tier are compiled
// with that tier's instruction-set flags, and a helper with external linkage
// would be one symbol for the linker to pick from any of them, perhaps the
// copy with instructions that the processor lacks. For the same reason the
// kernels use the compiler's builtins rather than std::countr_zero and
// std::bit_cast.
#pragma once

#include <cstdint>

namespace kova::grid_detail {
namespace {

// 10^-k rounded to double, k = 0 .. 22.
constexpr double kDoubleTenths[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                    1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                    1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};

// A double has 52 fraction bits, a float 23: the 29 bits that a float lacks,
// and the value they hold where the double lies exactly halfway between two
// floats (only the top one of them set).
constexpr std::uint64_t kBelowFloatBits = 0x1FFFFFFF;
constexpr std::uint64_t kFloatMidpointBits = 0x10000000;
// The double ulps on either side of a midpoint within which a product with a
// rounded tenth (at most 2 ulps off the decimal) might round either way.
constexpr std::uint64_t kMidpointMargin = 4;

inline std::uint64_t DoubleBits(double d) {
  return __builtin_bit_cast(std::uint64_t, d);
}

// True when `d`, a normal value within the float range, lies exactly halfway
// between two neighbouring floats.
inline bool IsFloatMidpoint(double d) {
  return (DoubleBits(d) & kBelowFloatBits) == kFloatMidpointBits;
}

// True when `d` (as IsFloatMidpoint) lies within kMidpointMargin double ulps
// of a float midpoint: one unsigned comparison of the low bits less the
// midpoint's less the margin.
inline bool NearFloatMidpoint(double d) {
  return (DoubleBits(d) & kBelowFloatBits) - (kFloatMidpointBits - kMidpointMargin) <=
         2 * kMidpointMargin;
}

// The number of zero bits below the lowest set one; `bits` is never 0.
inline unsigned LowestBit(std::uint32_t bits) {
  return static_cast<unsigned>(__builtin_ctz(bits));
}
inline unsigned LowestBit(std::uint64_t bits) {
  return static_cast<unsigned>(__builtin_ctzll(bits));
}

}  // namespace
}  // namespace kova::grid_detail
