// The block kernel of the pixel coder, written once over a vector of
// doubles V that each tier's source supplies (two lanes with SSE2, four
// with AVX2), and included only by those sources. V has the type Reg, the
// lane count kLanes, and the operations used below; each is one or two
// instructions. Everything here has internal linkage, so that no copy
// compiled with one tier's flags is linked into another's code.
#pragma once

#include <emmintrin.h>  // SSE2: the 16 codes and flags as bytes

#include <cstddef>
#include <cstdint>

#include "image/pixel_coder_blocks.h"

namespace kova::coder_detail {
namespace {

// The code of 16 values as CodeFast in pixel_coder.cpp makes it, without a
// branch: q = (value - offset) * inverse clamped to -2 .. 256 (not a number
// to -2), rounded half up by truncating q + 0.5, NoDataCode outside
// MinCode .. MaxCode or where `missing` is nonzero. Returns a bit per value
// whose q lies within kNear of a decision point (MinCode, MaxCode, a half
// between two codes) or is not a number: those the rule must code.
template <typename V>
[[gnu::always_inline]] inline unsigned CodeSixteen(const float* v, const std::uint8_t* missing,
                                                   std::uint8_t* out, typename V::Reg offset,
                                                   typename V::Reg inverse, typename V::Reg min,
                                                   typename V::Reg max, std::uint8_t no_data) {
  using Reg = typename V::Reg;
  constexpr int kRounds = 16 / V::kLanes;
  const Reg low = V::Set(-2.0);
  const Reg high = V::Set(256.0);
  const Reg half = V::Set(0.5);
  const Reg near = V::Set(kNear);
  const Reg far = V::Set(1 - kNear);
  const Reg no_data_d = V::Set(no_data);
  __m128i whole[kRounds];
  unsigned near_bits = 0;
  for (int k = 0; k < kRounds; ++k) {
    const Reg q = V::Mul(V::Sub(V::Load(v + V::kLanes * k), offset), inverse);
    // max(q, -2) gives -2 for a q that is not a number.
    const Reg clamped = V::Min(V::Max(q, low), high);
    const Reg t = V::Add(clamped, half);
    const __m128i truncated = V::Truncate(t);
    const Reg fraction = V::Sub(t, V::FromInt32(truncated));
    const Reg in_range = V::And(V::GreaterEqual(clamped, min), V::LessEqual(clamped, max));
    Reg is_near = V::Less(V::Abs(V::Sub(clamped, min)), near);
    is_near = V::Or(is_near, V::Less(V::Abs(V::Sub(clamped, max)), near));
    is_near = V::Or(is_near, V::Less(fraction, near));
    is_near = V::Or(is_near, V::Greater(fraction, far));
    is_near = V::Or(is_near, V::Unordered(q, q));
    near_bits |= V::Mask(is_near) << (V::kLanes * k);
    whole[k] = V::Truncate(V::Select(in_range, V::FromInt32(truncated), no_data_d));
  }
  __m128i codes = V::PackCodes(whole);
  const __m128i flags = _mm_loadu_si128(reinterpret_cast<const __m128i*>(missing));
  const __m128i is_missing = _mm_xor_si128(_mm_cmpeq_epi8(flags, _mm_setzero_si128()),
                                           _mm_set1_epi8(static_cast<char>(0xFF)));
  codes = V::SelectBytes(is_missing, _mm_set1_epi8(static_cast<char>(no_data)), codes);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), codes);
  return near_bits & ~static_cast<unsigned>(_mm_movemask_epi8(is_missing));
}

// A BlockCoder over V.
template <typename V>
inline std::size_t CodeBlocks(const float* values, const std::uint8_t* no_data, std::size_t i,
                              std::size_t count, std::uint8_t* codes, const BlockScaling& s,
                              unsigned& near) {
  const typename V::Reg offset = V::Set(s.offset);
  const typename V::Reg inverse = V::Set(s.inverse);
  const typename V::Reg min = V::Set(s.min);
  const typename V::Reg max = V::Set(s.max);
  // A copy, which the stores of the codes cannot change in the compiler's
  // eyes: the field itself would be loaded again for every block.
  const std::uint8_t no_data_code = s.no_data;
  for (; i + 16 <= count; i += 16) {
    near =
        CodeSixteen<V>(values + i, no_data + i, codes + i, offset, inverse, min, max, no_data_code);
    if (near != 0) return i;
  }
  near = 0;
  return i;
}

}  // namespace
}  // namespace kova::coder_detail
