// The pixel coder's blocks with AVX2: four doubles to a register. Compiled
// with the AVX2 tier's flags (see CMakeLists.txt); reached only through the
// dispatch in pixel_coder.cpp, on a processor that has AVX2.
#if defined(__AVX2__)

#include <immintrin.h>  // AVX2

#include "image/pixel_coder_kernel.h"

namespace kova::coder_detail {
namespace {

struct Avx2Doubles {
  using Reg = __m256d;
  static constexpr int kLanes = 4;
  static Reg Set(double x) { return _mm256_set1_pd(x); }
  static Reg Load(const float* v) { return _mm256_cvtps_pd(_mm_loadu_ps(v)); }
  static Reg Add(Reg a, Reg b) { return _mm256_add_pd(a, b); }
  static Reg Sub(Reg a, Reg b) { return _mm256_sub_pd(a, b); }
  static Reg Mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
  static Reg Min(Reg a, Reg b) { return _mm256_min_pd(a, b); }
  static Reg Max(Reg a, Reg b) { return _mm256_max_pd(a, b); }
  static Reg Abs(Reg a) {
    return _mm256_and_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF)));
  }
  static Reg And(Reg a, Reg b) { return _mm256_and_pd(a, b); }
  static Reg Or(Reg a, Reg b) { return _mm256_or_pd(a, b); }
  static Reg Less(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static Reg Greater(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
  static Reg LessEqual(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
  static Reg GreaterEqual(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
  static Reg Unordered(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_UNORD_Q); }
  static unsigned Mask(Reg a) { return static_cast<unsigned>(_mm256_movemask_pd(a)); }
  // The four lanes as 32-bit integers.
  static __m128i Truncate(Reg a) { return _mm256_cvttpd_epi32(a); }
  static Reg FromInt32(__m128i a) { return _mm256_cvtepi32_pd(a); }
  static Reg Select(Reg mask, Reg if_set, Reg if_clear) {
    return _mm256_blendv_pd(if_clear, if_set, mask);
  }
  static __m128i SelectBytes(__m128i mask, __m128i if_set, __m128i if_clear) {
    return _mm_blendv_epi8(if_clear, if_set, mask);
  }
  // Four registers of four codes each into 16 bytes.
  static __m128i PackCodes(const __m128i* whole) {
    return _mm_packus_epi16(_mm_packs_epi32(whole[0], whole[1]),
                            _mm_packs_epi32(whole[2], whole[3]));
  }
};

}  // namespace

// A function of its own, out of line: the AVX2 registers are used only here.
std::size_t CodeBlocksAvx2(const float* values, const std::uint8_t* no_data, std::size_t i,
                           std::size_t count, std::uint8_t* codes, const BlockScaling& scaling,
                           unsigned& near) {
  return CodeBlocks<Avx2Doubles>(values, no_data, i, count, codes, scaling, near);
}

}  // namespace kova::coder_detail

#endif  // __AVX2__
