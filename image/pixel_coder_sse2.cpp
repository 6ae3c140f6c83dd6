// The pixel coder's blocks with SSE2, the baseline of x86-64 (and -msse2 on
// 32-bit builds): two doubles to a register. Compiled with the common flags.
#if defined(__SSE2__)

#include <emmintrin.h>  // SSE2

#include "image/pixel_coder_kernel.h"

namespace kova::coder_detail {
namespace {

struct Sse2Doubles {
  using Reg = __m128d;
  static constexpr int kLanes = 2;
  static Reg Set(double x) { return _mm_set1_pd(x); }
  // Two floats by an 8-byte load that may be unaligned.
  static Reg Load(const float* v) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v))));
  }
  static Reg Add(Reg a, Reg b) { return _mm_add_pd(a, b); }
  static Reg Sub(Reg a, Reg b) { return _mm_sub_pd(a, b); }
  static Reg Mul(Reg a, Reg b) { return _mm_mul_pd(a, b); }
  static Reg Min(Reg a, Reg b) { return _mm_min_pd(a, b); }
  static Reg Max(Reg a, Reg b) { return _mm_max_pd(a, b); }
  static Reg Abs(Reg a) {
    return _mm_and_pd(a, _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF)));
  }
  static Reg And(Reg a, Reg b) { return _mm_and_pd(a, b); }
  static Reg Or(Reg a, Reg b) { return _mm_or_pd(a, b); }
  static Reg Less(Reg a, Reg b) { return _mm_cmplt_pd(a, b); }
  static Reg Greater(Reg a, Reg b) { return _mm_cmpgt_pd(a, b); }
  static Reg LessEqual(Reg a, Reg b) { return _mm_cmple_pd(a, b); }
  static Reg GreaterEqual(Reg a, Reg b) { return _mm_cmpge_pd(a, b); }
  static Reg Unordered(Reg a, Reg b) { return _mm_cmpunord_pd(a, b); }
  static unsigned Mask(Reg a) { return static_cast<unsigned>(_mm_movemask_pd(a)); }
  // The two lanes as 32-bit integers in the low half.
  static __m128i Truncate(Reg a) { return _mm_cvttpd_epi32(a); }
  static Reg FromInt32(__m128i a) { return _mm_cvtepi32_pd(a); }
  static Reg Select(Reg mask, Reg if_set, Reg if_clear) {
    return _mm_or_pd(_mm_and_pd(mask, if_set), _mm_andnot_pd(mask, if_clear));
  }
  static __m128i SelectBytes(__m128i mask, __m128i if_set, __m128i if_clear) {
    return _mm_or_si128(_mm_and_si128(mask, if_set), _mm_andnot_si128(mask, if_clear));
  }
  // Eight registers of two codes each into 16 bytes.
  static __m128i PackCodes(const __m128i* whole) {
    const __m128i a = _mm_unpacklo_epi64(whole[0], whole[1]);
    const __m128i b = _mm_unpacklo_epi64(whole[2], whole[3]);
    const __m128i c = _mm_unpacklo_epi64(whole[4], whole[5]);
    const __m128i d = _mm_unpacklo_epi64(whole[6], whole[7]);
    return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
  }
};

}  // namespace

std::size_t CodeBlocksSse2(const float* values, const std::uint8_t* no_data, std::size_t i,
                           std::size_t count, std::uint8_t* codes, const BlockScaling& scaling,
                           unsigned& near) {
  return CodeBlocks<Sse2Doubles>(values, no_data, i, count, codes, scaling, near);
}

}  // namespace kova::coder_detail

#endif  // __SSE2__
