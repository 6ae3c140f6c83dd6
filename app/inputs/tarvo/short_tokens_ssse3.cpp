// The SSSE3 short-token kernel: two numbers at once while they come.
// Compiled with -mssse3 (see CMakeLists.txt); reached only through the
// dispatch, on a processor that has SSSE3.
#if defined(__SSSE3__)

#include "app/inputs/tarvo/short_tokens.h"
#include "app/inputs/tarvo/token_pair.h"

namespace kova::grid_detail {

// A function of its own, so that its loop has the registers to itself.
ShortRun TokenPairs(const char* data, std::size_t pos, std::size_t end, const PairNoData no_data,
                    float* values, std::uint8_t* flags, std::int64_t count, std::int64_t room) {
  // A copy, which the stores of the flags cannot change in the compiler's
  // eyes: the parameter's fields would be loaded again for every pair.
  const PairNoData text = no_data;
  while (count + 2 <= room && end - pos > 16) {
    std::size_t taken = 0;
    if (!ReadTokenPair(data + pos, text, values + count, flags + count, taken)) {
      break;
    }
    pos += taken;
    count += 2;
    pos = PastAligningSpaces(data, pos, end);
  }
  return {pos, count};
}

}  // namespace kova::grid_detail

#endif  // __SSSE3__
