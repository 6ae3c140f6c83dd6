// The dispatch among the short-token kernels, and the rule that rests the
// fastest one where it keeps stopping early.
#include "app/inputs/tarvo/short_tokens.h"

#include <algorithm>
#include <cstring>

#include "app/platform/base/cpu_tier.h"

namespace kova::grid_detail {

namespace {

// The low `size` bytes (1 to 8) of a 64-bit integer.
inline std::uint64_t LowBytes(unsigned size) {
  return ~std::uint64_t{0} >> (64 - 8 * size);
}

}  // namespace

ShortNoData MakeShortNoData(std::string_view text) {
  ShortNoData no_data{};
  std::memcpy(no_data.chars, text.data(), std::min<std::size_t>(text.size(), 16));
  const auto length = static_cast<unsigned>(std::min<std::size_t>(text.size(), 17));
  no_data.length = length;
  no_data.pair = {0, 0, length <= 8 ? length : 17};
  std::memcpy(&no_data.pair.chars, no_data.chars, 8);
  if (length >= 1 && length <= 8) no_data.pair.bytes = LowBytes(length);
  no_data.quad = {1, 1, 0};
  if (length >= 1 && length <= 7) {
    // The characters after the text are 0.
    no_data.quad = {no_data.pair.chars | std::uint64_t{' '} << (8 * length),
                    no_data.pair.chars | std::uint64_t{'\n'} << (8 * length), LowBytes(length + 1)};
  }
  no_data.quads = length != 8;
  return no_data;
}

#if defined(__SSE2__)

namespace {

// The tokens read one by one where a pair does not fit, before pairs are
// tried again.
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
    run = ShortTokensOneByOne(data, run.pos, end, no_data, values, flags, run.count, batch);
    if (run.count < batch || run.count >= room) return run;
  }
}

}  // namespace

ShortRun ReadShortTokens(const char* data, std::size_t pos, std::size_t end,
                         const ShortNoData& no_data, float* values, std::uint8_t* flags,
                         std::int64_t count, std::int64_t room, QuadTrial& trial) {
  const CpuTier tier = ActiveCpuTier();
  if (tier >= CpuTier::kSsse3) {
    return ShortTokensInPairs(data, pos, end, no_data, values, flags, count, room,
                              tier >= CpuTier::kAvx2 && no_data.quads, trial);
  }
  return ShortTokensOneByOne(data, pos, end, no_data, values, flags, count, room);
}

#else

// Without SSE2 every token takes the general way.
ShortRun ReadShortTokens(const char*, std::size_t pos, std::size_t, const ShortNoData&, float*,
                         std::uint8_t*, std::int64_t count, std::int64_t, QuadTrial&) {
  return {pos, count};
}

#endif  // __SSE2__

}  // namespace kova::grid_detail
