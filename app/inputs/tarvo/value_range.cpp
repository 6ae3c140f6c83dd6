// The smallest and largest valid value of a grid.
#if defined(__SSE2__)
#include <emmintrin.h>  // SSE2: four cells at a time
#endif

#include <algorithm>
#include <cstring>
#include <limits>

#include "app/inputs/tarvo/grid_reader.h"

namespace kova {

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

}  // namespace kova
