// 6-byte reals: the documented byte patterns, the edges of the format, and a
// seeded randomised comparison of the encoder with an exact reference built
// from frexpl and integer arithmetic on the extended significand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "app/platform/base/errors.h"
#include "image/real48.h"

namespace kova {
namespace {

std::string Hex(const Real48& r) {
  std::string s;
  char buf[4];
  for (std::uint8_t b : r) {
    std::snprintf(buf, sizeof buf, "%02X ", b);
    s += buf;
  }
  s.pop_back();
  return s;
}

std::string Describe(long double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.21Lg (%La)", x, x);
  return buf;
}

// ---------------------------------------------------------------------------
// Documented values, byte for byte.

struct Example {
  const char* name;
  long double value;
  Real48 bytes;
};

void PrintTo(const Example& e, std::ostream* os) {
  *os << e.name;
}

class Real48ExampleTest : public ::testing::TestWithParam<Example> {};

TEST_P(Real48ExampleTest, EncodesToTheDocumentedBytes) {
  const Example& e = GetParam();
  EXPECT_EQ(Hex(EncodeReal48(e.value)), Hex(e.bytes));
}

TEST_P(Real48ExampleTest, DecodesBackToTheStoredValue) {
  const Example& e = GetParam();
  // Every pattern of the table except the underflows is an exact 6-byte real
  // or the rounded one; decoding must give the rounded value exactly.
  const long double decoded = DecodeReal48(e.bytes);
  EXPECT_EQ(Hex(EncodeReal48(decoded)), Hex(e.bytes));
  if (e.bytes[0] == 0) {
    EXPECT_EQ(decoded, 0.0L);
  }
}

const long double kLargest = std::ldexp(2.0L - std::ldexp(1.0L, -39), 126);
const long double kSmallest = std::ldexp(1.0L, -128);

INSTANTIATE_TEST_SUITE_P(
    Documented, Real48ExampleTest,
    ::testing::Values(
        Example{"one", 1.0L, {0x81, 0, 0, 0, 0, 0}},
        Example{"minus_one", -1.0L, {0x81, 0, 0, 0, 0, 0x80}},
        Example{"two", 2.0L, {0x82, 0, 0, 0, 0, 0}}, Example{"half", 0.5L, {0x80, 0, 0, 0, 0, 0}},
        Example{"minus_256", -256.0L, {0x89, 0, 0, 0, 0, 0x80}},
        Example{"three", 3.0L, {0x82, 0, 0, 0, 0, 0x40}}, Example{"zero", 0.0L, {0, 0, 0, 0, 0, 0}},
        Example{"minus_zero", -0.0L, {0, 0, 0, 0, 0, 0}},
        Example{"tenth_double", 0.1, {0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0x4C}},
        Example{"tenth_extended", 0.1L, {0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0x4C}},
        // The bit after the 40th is 1: the magnitude rounds up for either sign.
        Example{"minus_tenth", -0.1, {0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC}},
        Example{"minus_tenth_extended", -0.1L, {0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC}},
        Example{"underflow_1e_39", 1e-39L, {0, 0, 0, 0, 0, 0}},
        Example{"underflow_minus_1e_39", -1e-39L, {0, 0, 0, 0, 0, 0}},
        Example{"just_below_smallest", std::ldexp(1.0L, -129), {0, 0, 0, 0, 0, 0}},
        Example{"smallest", kSmallest, {0x01, 0, 0, 0, 0, 0}},
        Example{"minus_smallest", -kSmallest, {0x01, 0, 0, 0, 0, 0x80}},
        // Below 2^-128, but the rounding carries it up to 2^-128.
        Example{"rounds_up_to_smallest",
                std::ldexp(static_cast<long double>(0xFFFFFFFFFF800000ULL), -129 - 63),
                {0x01, 0, 0, 0, 0, 0}},
        Example{"one_bit_short_of_rounding_to_smallest",
                std::ldexp(static_cast<long double>(0xFFFFFFFFFF7FFFFFULL), -129 - 63),
                {0, 0, 0, 0, 0, 0}},
        Example{"largest", kLargest, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        Example{"minus_largest", -kLargest, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        // Just below the half way to 2^127: still the largest value.
        Example{"largest_plus_less_than_half_ulp",
                std::ldexp(static_cast<long double>(0xFFFFFFFFFF7FFFFFULL), 126 - 63),
                {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        Example{"one_e_38", 1e38L, {0xFF, 0xB5, 0x50, 0x99, 0x76, 0x16}},
        Example{"denormal_extended",
                std::numeric_limits<long double>::denorm_min(),
                {0, 0, 0, 0, 0, 0}},
        Example{"smallest_normal_extended",
                std::numeric_limits<long double>::min(),
                {0, 0, 0, 0, 0, 0}}));

TEST(Real48Test, OneE38HasTheTopExponentByte) {
  EXPECT_EQ(EncodeReal48(1e38L)[0], 0xFF);
  EXPECT_EQ(EncodeReal48(1e38)[0], 0xFF);
}

TEST(Real48Test, ZeroExponentDecodesToZeroWhateverTheOtherBits) {
  EXPECT_EQ(DecodeReal48({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 0.0L);
  EXPECT_EQ(DecodeReal48({0x00, 0x12, 0x34, 0x56, 0x78, 0x7F}), 0.0L);
  EXPECT_EQ(DecodeReal48({0x00, 0x00, 0x00, 0x00, 0x00, 0x80}), 0.0L);
}

TEST(Real48Test, DecodesTheExtremesExactly) {
  EXPECT_EQ(DecodeReal48({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), kLargest);
  EXPECT_EQ(DecodeReal48({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), -kLargest);
  EXPECT_EQ(DecodeReal48({0x01, 0, 0, 0, 0, 0}), kSmallest);
  EXPECT_EQ(DecodeReal48({0x01, 0, 0, 0, 0, 0x80}), -kSmallest);
  // The lowest fraction bit is 2^-39 of the leading one.
  EXPECT_EQ(DecodeReal48({0x81, 0x01, 0, 0, 0, 0}), 1.0L + std::ldexp(1.0L, -39));
  EXPECT_EQ(DecodeReal48({0x81, 0, 0, 0, 0, 0x40}), 1.5L);
  EXPECT_EQ(DecodeReal48({0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0x4C}),
            std::ldexp(static_cast<long double>(0xCCCCCCCCCDULL), -43));
}

// Values whose rounded magnitude reaches 2^127, and the non-numbers.
class Real48OverflowTest : public ::testing::TestWithParam<long double> {};

TEST_P(Real48OverflowTest, RaisesFloatingPointOverflow) {
  const long double value = GetParam();
  try {
    (void)EncodeReal48(value);
    ADD_FAILURE() << "no error for " << Describe(value);
  } catch (const FloatOverflowError& e) {
    EXPECT_STREQ(e.what(), "Floating point overflow");
  }
}

INSTANTIATE_TEST_SUITE_P(
    TooLarge, Real48OverflowTest,
    ::testing::Values(1e39L, -1e39L, 1e39, std::ldexp(1.0L, 127), -std::ldexp(1.0L, 127),
                      // Half an ulp above the largest value rounds away to 2^127.
                      std::ldexp(static_cast<long double>(0xFFFFFFFFFF800000ULL), 126 - 63),
                      -std::ldexp(static_cast<long double>(0xFFFFFFFFFF800000ULL), 126 - 63),
                      std::numeric_limits<long double>::max(),
                      std::numeric_limits<long double>::infinity(),
                      -std::numeric_limits<long double>::infinity(),
                      std::numeric_limits<long double>::quiet_NaN(),
                      -std::numeric_limits<long double>::quiet_NaN(),
                      std::numeric_limits<long double>::signaling_NaN()));

TEST(Real48Test, RoundToReal48IsEncodeThenDecode) {
  EXPECT_EQ(RoundToReal48(0.1L), DecodeReal48({0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0x4C}));
  EXPECT_EQ(RoundToReal48(-0.1L), DecodeReal48({0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC}));
  EXPECT_EQ(RoundToReal48(1e-39L), 0.0L);
  EXPECT_THROW((void)RoundToReal48(1e39L), FloatOverflowError);
}

// ---------------------------------------------------------------------------
// Randomised comparison with an exact reference.

// The 6-byte real of `x` by the rules of the format, worked out from the
// 64-bit significand that frexpl yields, or nothing when it overflows.
std::optional<Real48> ReferenceEncode(long double x) {
  if (std::isnan(x) || std::isinf(x)) return std::nullopt;
  if (x == 0.0L) return Real48{};
  const bool negative = std::signbit(x);
  int exponent = 0;
  const long double mantissa = std::frexp(std::fabs(x), &exponent);  // [0.5, 1)
  // Exact: the extended significand has 64 bits.
  const auto significand = static_cast<std::uint64_t>(std::ldexp(mantissa, 64));
  // |x| = 1.f * 2^(exponent - 1); biased by 129.
  int e = exponent - 1 + 129;
  std::uint64_t top40 = significand >> 24;
  if ((significand >> 23) & 1) ++top40;
  if (top40 == (std::uint64_t{1} << 40)) {
    top40 = std::uint64_t{1} << 39;
    ++e;
  }
  if (e <= 0) return Real48{};
  if (e > 255) return std::nullopt;
  const std::uint64_t f = top40 - (std::uint64_t{1} << 39);
  Real48 r{};
  r[0] = static_cast<std::uint8_t>(e);
  for (int i = 0; i < 5; ++i) r[1 + i] = static_cast<std::uint8_t>(f >> (8 * i));
  if (negative) r[5] |= 0x80;
  return r;
}

// The extended value sign x significand x 2^(exponent - 63); `significand`
// has its top bit set, so the result is a normal extended number.
long double MakeExtended(bool negative, std::uint64_t significand, int exponent) {
  const long double v = std::ldexp(static_cast<long double>(significand), exponent - 63);
  return negative ? -v : v;
}

void ExpectMatchesReference(long double x) {
  const std::optional<Real48> want = ReferenceEncode(x);
  if (!want) {
    EXPECT_THROW((void)EncodeReal48(x), FloatOverflowError) << Describe(x);
    return;
  }
  Real48 got{};
  try {
    got = EncodeReal48(x);
  } catch (const FloatOverflowError&) {
    ADD_FAILURE() << "unexpected overflow for " << Describe(x) << ", want " << Hex(*want);
    return;
  }
  ASSERT_EQ(Hex(got), Hex(*want)) << "value " << Describe(x);
}

#ifdef KOVA_LONG_TESTS
constexpr int kRandomCases = 50'000'000;
#else
constexpr int kRandomCases = 200'000;
#endif

TEST(Real48RandomTest, EncoderMatchesTheExactReference) {
  std::mt19937_64 rng(0x6B6F7661);  // fixed seed: failures repeat
  // Unbiased exponents from well below 2^-129 to well above 2^127.
  std::uniform_int_distribution<int> exponent_dist(-140, 135);
  std::uniform_int_distribution<int> shape_dist(0, 5);
  constexpr std::uint64_t kTop = std::uint64_t{1} << 63;
  constexpr std::uint64_t kLow24 = (std::uint64_t{1} << 24) - 1;
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 23;
  for (int i = 0; i < kRandomCases; ++i) {
    std::uint64_t significand = rng() | kTop;
    switch (shape_dist(rng)) {
      case 0:  // all ones below bit 24: the rounding bit is set
        significand |= kLow24;
        break;
      case 1:  // all 64 bits ones: the rounding carries into the next exponent
        significand = ~std::uint64_t{0};
        break;
      case 2:  // exactly a half: rounds away from zero
        significand = (significand & ~kLow24) | kHalf;
        break;
      case 3:  // just below a half
        significand = (significand & ~kLow24) | (kHalf - 1);
        break;
      case 4:  // a 6-byte real exactly
        significand &= ~kLow24;
        break;
      default:  // random
        break;
    }
    const long double x = MakeExtended(rng() & 1, significand, exponent_dist(rng));
    ExpectMatchesReference(x);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Real48RandomTest, EncoderMatchesTheReferenceAtEveryExponent) {
  // Every unbiased exponent around the format's range, with the significand
  // patterns that decide the rounding.
  constexpr std::uint64_t kPatterns[] = {
      0x8000000000000000ULL, 0x8000000000800000ULL, 0x80000000007FFFFFULL,
      0xFFFFFFFFFF800000ULL, 0xFFFFFFFFFF7FFFFFULL, 0xFFFFFFFFFFFFFFFFULL,
      0xCCCCCCCCCCCCCCCDULL, 0xAAAAAAAAAAAAAAAAULL, 0x8000000001000000ULL,
  };
  for (int exponent = -135; exponent <= 130; ++exponent)
    for (std::uint64_t significand : kPatterns)
      for (bool negative : {false, true}) {
        ExpectMatchesReference(MakeExtended(negative, significand, exponent));
        if (::testing::Test::HasFatalFailure()) return;
      }
}

TEST(Real48RandomTest, DoubleInputsMatchTheReference) {
  std::mt19937_64 rng(20240611);
  std::uniform_int_distribution<int> exponent_dist(-135, 132);
  for (int i = 0; i < kRandomCases / 4; ++i) {
    // A random double: 53 significant bits.
    const std::uint64_t mantissa = (rng() >> 11) | (std::uint64_t{1} << 52);
    const double d = std::ldexp(static_cast<double>(mantissa), exponent_dist(rng) - 52);
    const double x = (rng() & 1) ? -d : d;
    ExpectMatchesReference(x);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(Real48RandomTest, EveryStoredPatternSurvivesDecodeAndEncode) {
  std::mt19937_64 rng(0x52343836);
  for (int i = 0; i < kRandomCases; ++i) {
    const std::uint64_t bits = rng();
    Real48 bytes{};
    for (int k = 0; k < 6; ++k) bytes[k] = static_cast<std::uint8_t>(bits >> (8 * k));
    if (i % 64 == 0) bytes[0] = 0;  // zero exponents with garbage bits
    if (i % 64 == 1) bytes[0] = 0xFF;
    if (i % 64 == 2) bytes[0] = 0x01;
    const long double x = DecodeReal48(bytes);
    const Real48 back = EncodeReal48(x);
    const Real48 want = bytes[0] == 0 ? Real48{} : bytes;
    ASSERT_EQ(Hex(back), Hex(want)) << "decoded as " << Describe(x);
    // Decoding is exact, so the value itself survives another round.
    ASSERT_EQ(DecodeReal48(back), x) << Hex(bytes);
  }
}

TEST(Real48RandomTest, DecodeMatchesTheValueFormula) {
  std::mt19937_64 rng(0x44454344);
  for (int i = 0; i < kRandomCases / 4; ++i) {
    const std::uint64_t bits = rng();
    Real48 bytes{};
    for (int k = 0; k < 6; ++k) bytes[k] = static_cast<std::uint8_t>(bits >> (8 * k));
    if (bytes[0] == 0) continue;
    std::uint64_t f = 0;
    for (int k = 5; k >= 1; --k) f = f << 8 | bytes[k];
    f &= (std::uint64_t{1} << 39) - 1;
    // (1 + f / 2^39) x 2^(e - 129), exact in the extended type.
    long double want =
        std::ldexp(static_cast<long double>((std::uint64_t{1} << 39) + f), bytes[0] - 129 - 39);
    if (bytes[5] & 0x80) want = -want;
    ASSERT_EQ(DecodeReal48(bytes), want) << Hex(bytes);
  }
}

}  // namespace
}  // namespace kova
