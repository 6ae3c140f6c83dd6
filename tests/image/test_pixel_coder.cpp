// The pixel coder's fast way against the rule itself: codes next to every
// decision point over many scalings, code ranges, lengths, no-data flags and
// the faults of a zero factor.
#include "image/pixel_coder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <random>
#include <vector>

#include "app/platform/base/cpu_tier.h"
#include "app/platform/base/errors.h"
#include "image/real48.h"

namespace kova {
namespace {

// The rule written out independently: the quotient at extended precision,
// rounded to a double, then NoDataCode outside min..max or rounded half to
// even.
std::uint8_t RuleCode(float value, long double offset, long double factor, int min, int max,
                      int no_data) {
  const double q = static_cast<double>((static_cast<long double>(value) - offset) / factor);
  if (std::isnan(q) || q > max || q < min) return static_cast<std::uint8_t>(no_data);
  return static_cast<std::uint8_t>(std::nearbyint(q));
}

struct Codes {
  int min, max, no_data;
};

void PrintTo(const Codes& c, std::ostream* os) {
  *os << c.min << ".." << c.max << " no data " << c.no_data;
}

// Values at and next to every decision point of a scaling: the floats
// nearest to offset + d * factor for d = min, max and each half between two
// codes, and their neighbours up to three floats away on either side.
std::vector<float> DecisionPointValues(long double offset, long double factor, Codes codes) {
  std::vector<long double> points{static_cast<long double>(codes.min),
                                  static_cast<long double>(codes.max)};
  for (int k = codes.min; k < codes.max; ++k) points.push_back(k + 0.5L);
  std::vector<float> values;
  for (long double d : points) {
    const float nearest = static_cast<float>(offset + d * factor);
    float below = nearest;
    float above = nearest;
    values.push_back(nearest);
    for (int n = 0; n < 3; ++n) {
      below = std::nextafter(below, -INFINITY);
      above = std::nextafter(above, INFINITY);
      values.push_back(below);
      values.push_back(above);
    }
  }
  return values;
}

struct Scaling {
  long double offset, factor;
};

// Scalings as the header's 6-byte reals hold them: factors of either sign
// from 1e-7 to 1e7, offsets from tiny to large; every fourth a power of two
// with an offset of a few bits, so that values fall exactly on the halves
// between two codes and must round to the even one.
std::vector<Scaling> ManyScalings(int count, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> exponent(-7, 7);
  std::uniform_real_distribution<double> mantissa(1, 10);
  std::uniform_int_distribution<int> power(-12, 12);
  std::uniform_int_distribution<int> eighths(-8000, 8000);
  std::vector<Scaling> scalings;
  for (int i = 0; i < count; ++i) {
    if (i % 4 == 1) {
      scalings.push_back({eighths(rng) / 8.0L, std::ldexp(i % 8 == 1 ? 1.0L : -1.0L, power(rng))});
      continue;
    }
    const double factor = mantissa(rng) * std::pow(10.0, exponent(rng)) * (i % 5 == 4 ? -1 : 1);
    const double offset =
        i % 3 == 0 ? 0.0 : mantissa(rng) * std::pow(10.0, exponent(rng)) * (i % 2 ? -1 : 1);
    scalings.push_back({RoundToReal48(offset), RoundToReal48(factor)});
  }
  return scalings;
}

// The block coder of each tier the processor has.
const auto kTiers = ::testing::ValuesIn(AvailableCpuTiers());

class NextToDecisionPoints : public ::testing::TestWithParam<std::tuple<Codes, CpuTier>> {};

TEST_P(NextToDecisionPoints, FastCodesEqualTheRule) {
  const Codes c = std::get<0>(GetParam());
  const CpuTierLimit tier(std::get<1>(GetParam()));
  int compared = 0;
  for (const Scaling& s : ManyScalings(300, 20261208 + static_cast<std::uint64_t>(c.max))) {
    const PixelCoder coder(s.offset, s.factor, static_cast<std::uint8_t>(c.min),
                           static_cast<std::uint8_t>(c.max), static_cast<std::uint8_t>(c.no_data));
    const std::vector<float> values = DecisionPointValues(s.offset, s.factor, c);
    std::vector<std::uint8_t> flags(values.size());
    for (std::size_t i = 0; i < flags.size(); i += 11) flags[i] = 1;
    std::vector<std::uint8_t> codes(values.size(), 77);
    coder.CodeValues(values.data(), flags.data(), values.size(), codes.data());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::uint8_t rule =
          flags[i] ? static_cast<std::uint8_t>(c.no_data)
                   : RuleCode(values[i], s.offset, s.factor, c.min, c.max, c.no_data);
      ASSERT_EQ(codes[i], rule) << "offset " << static_cast<double>(s.offset) << " factor "
                                << static_cast<double>(s.factor) << " value " << std::hexfloat
                                << values[i] << " at " << i;
      if (!flags[i]) {
        ASSERT_EQ(coder.Code(values[i]), rule) << std::hexfloat << values[i];
        ASSERT_EQ(coder.ExactCode(values[i]), rule) << std::hexfloat << values[i];
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 300 * 7 * (c.max - c.min));
}

INSTANTIATE_TEST_SUITE_P(CodeRanges, NextToDecisionPoints,
                         ::testing::Combine(::testing::Values(Codes{0, 253, 254}, Codes{1, 250, 0},
                                                              Codes{10, 10, 255},
                                                              Codes{0, 255, 255}, Codes{5, 2, 9}),
                                            kTiers));

// Random values all over and beyond the codes, in runs of every length from
// 0 to 40 starting anywhere, so that the vector blocks and the value-by-value
// tail both meet every position.
class PixelCoderRuns : public ::testing::TestWithParam<CpuTier> {};

TEST_P(PixelCoderRuns, EveryLengthAndStartGivesTheRule) {
  const CpuTierLimit tier(GetParam());
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> anywhere(-30, 290);
  const Scaling s{RoundToReal48(-3.25L), RoundToReal48(0.0734L)};
  const PixelCoder coder(s.offset, s.factor, 0, 253, 254);
  std::vector<float> values(80);
  std::vector<std::uint8_t> flags(80);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<float>(s.offset + anywhere(rng) * s.factor);
    flags[i] = i % 9 == 4;
  }
  values[13] = NAN;
  values[14] = INFINITY;
  values[15] = -INFINITY;
  values[16] = 3e38f;
  for (std::size_t start = 0; start < 20; ++start) {
    for (std::size_t length = 0; length <= 40; ++length) {
      std::vector<std::uint8_t> codes(length + 1, 77);
      coder.CodeValues(values.data() + start, flags.data() + start, length, codes.data());
      for (std::size_t i = 0; i < length; ++i) {
        const std::size_t at = start + i;
        const std::uint8_t rule =
            flags[at] ? 254 : RuleCode(values[at], s.offset, s.factor, 0, 253, 254);
        ASSERT_EQ(codes[i], rule) << "start " << start << " length " << length << " at " << at;
      }
      EXPECT_EQ(codes[length], 77) << "wrote beyond the run";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tiers, PixelCoderRuns, kTiers);

// A factor of zero: the rule divides by it, so every valid value faults,
// value 0 (the offset) as an invalid operation, any other as a division by
// zero; no-data cells before it are coded and counted.
struct ZeroFactorCase {
  std::vector<float> values;
  std::vector<std::uint8_t> flags;
  bool divide_by_zero;  // else invalid operation
  std::size_t coded;
};

void PrintTo(const ZeroFactorCase& c, std::ostream* os) {
  *os << c.values.size() << " values, fault after " << c.coded;
}

class ZeroFactor : public ::testing::TestWithParam<ZeroFactorCase> {};

TEST_P(ZeroFactor, FaultsAtTheFirstValidValue) {
  const ZeroFactorCase& c = GetParam();
  const PixelCoder coder(5.0L, 0.0L, 0, 253, 254);
  std::vector<std::uint8_t> codes(c.values.size(), 77);
  std::size_t coded = 999;
  if (c.divide_by_zero) {
    EXPECT_THROW(
        coder.CodeValues(c.values.data(), c.flags.data(), c.values.size(), codes.data(), &coded),
        FloatDivideByZeroError);
  } else {
    EXPECT_THROW(
        coder.CodeValues(c.values.data(), c.flags.data(), c.values.size(), codes.data(), &coded),
        FloatInvalidOperationError);
  }
  EXPECT_EQ(coded, c.coded);
  for (std::size_t i = 0; i < c.coded; ++i) EXPECT_EQ(codes[i], 254) << i;
}

INSTANTIATE_TEST_SUITE_P(Table, ZeroFactor,
                         ::testing::Values(ZeroFactorCase{{7.0f}, {0}, true, 0},
                                           ZeroFactorCase{{5.0f, 7.0f}, {0, 0}, false, 0},
                                           ZeroFactorCase{{1, 2, 5.0f}, {1, 1, 0}, false, 2},
                                           ZeroFactorCase{std::vector<float>(40, 6.0f),
                                                          std::vector<std::uint8_t>(40, 0), true,
                                                          0}));

TEST(ZeroFactorNoData, AllNoDataCodesWithoutFault) {
  const PixelCoder coder(5.0L, 0.0L, 0, 253, 254);
  const std::vector<float> values(33, 1.0f);
  const std::vector<std::uint8_t> flags(33, 1);
  std::vector<std::uint8_t> codes(33, 0);
  coder.CodeValues(values.data(), flags.data(), values.size(), codes.data());
  EXPECT_EQ(codes, std::vector<std::uint8_t>(33, 254));
}

}  // namespace
}  // namespace kova
