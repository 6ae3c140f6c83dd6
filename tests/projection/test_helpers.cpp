// Projection math helpers at their edges: the limited-precision constants,
// the one-step wrap, the guarded power, the conic factors, the Goode tables
// and every point where the arithmetic faults.
#include "projection/helpers.h"

#include <gtest/gtest.h>

#include <cmath>

#include "projection_test_support.h"

namespace kova {
namespace {

using testing::Fault;
using testing::PrintTo;  // named table rows print as their name
using testing::RaisesFault;

constexpr long double kClarke1866E = 0.08227185L;

struct ValueCase {
  const char* name;
  std::function<long double()> compute;
  long double expected;
  long double tolerance;  // 0: bit for bit
};

class HelperValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(HelperValueTest, GivesExpectedValue) {
  const ValueCase& c = GetParam();
  const long double got = c.compute();
  if (c.tolerance == 0.0L) {
    EXPECT_EQ(got, c.expected) << std::hexfloat << got << " vs " << c.expected;
  } else {
    EXPECT_NEAR(got, c.expected, c.tolerance);
  }
}

// Expected values are worked by hand from the helpers' definitions.
INSTANTIATE_TEST_SUITE_P(
    Helpers, HelperValueTest,
    ::testing::Values(
        // 180 * 0.01745329251994 = 3.1415926535892, not full-precision pi.
        ValueCase{"DegToRad180", [] { return deg_to_rad(180.0L); }, 3.1415926535892L, 1e-18L},
        ValueCase{"RadToDegIsADivision", [] { return rad_to_deg(1.0L); }, 1.0L / 0.01745329251994L,
                  0.0L},
        ValueCase{"RadToDegUndoesDegToRad", [] { return rad_to_deg(deg_to_rad(-123.456L)); },
                  -123.456L, 1e-16L},
        ValueCase{"TangentQuarterTurn", [] { return tangent(deg_to_rad(45.0L)); }, 1.0L, 1e-12L},
        ValueCase{"ArcsineHalf", [] { return arcsine(0.5L); }, testing::kPiFull / 6.0L, 1e-18L},
        ValueCase{"ArcsineNegativeHalf", [] { return arcsine(-0.5L); }, -testing::kPiFull / 6.0L,
                  1e-18L},
        ValueCase{"SignOfZero", [] { return sign_of(0.0L); }, 1.0L, 0.0L},
        ValueCase{"SignOfNegativeZero", [] { return sign_of(-0.0L); }, 1.0L, 0.0L},
        ValueCase{"SignOfTinyNegative", [] { return sign_of(-1e-4000L); }, -1.0L, 0.0L},
        // wrap_lon folds once, by 6.2831853072, and only beyond 3.1415926536.
        ValueCase{"WrapFour", [] { return wrap_lon(4.0L); }, 4.0L - 6.2831853072L, 0.0L},
        ValueCase{"WrapMinusFour", [] { return wrap_lon(-4.0L); }, -4.0L + 6.2831853072L, 0.0L},
        ValueCase{"WrapMinusPiUnchanged", [] { return wrap_lon(-3.1415926536L); }, -3.1415926536L,
                  0.0L},
        ValueCase{"WrapPiUnchanged", [] { return wrap_lon(3.1415926536L); }, 3.1415926536L, 0.0L},
        ValueCase{"WrapTenStaysOutside", [] { return wrap_lon(10.0L); }, 10.0L - 6.2831853072L,
                  0.0L},
        ValueCase{"PowerZeroToZero", [] { return power(0.0L, 0.0L); }, 0.0L, 0.0L},
        ValueCase{"PowerNegativeBase", [] { return power(-8.0L, 1.0L / 3.0L); }, 0.0L, 0.0L},
        ValueCase{"PowerTwoToTen", [] { return power(2.0L, 10.0L); }, 1024.0L, 1e-15L},
        ValueCase{"SinSquare", [] { return sin_square(deg_to_rad(30.0L)); }, 0.25L, 1e-12L},
        // 1.5707963268 / 2 equals 3.1415926536 / 4, so the tangent is of 0.
        ValueCase{"ConicTAtLimitedPiOverTwo", [] { return conic_t(kClarke1866E, 1.5707963268L); },
                  0.0L, 0.0L},
        ValueCase{"ConicTSphereEquator", [] { return conic_t(0.0L, 0.0L); }, 1.0L, 1e-11L},
        ValueCase{"ConicMSphereIsCos", [] { return conic_m(0.0L, 0.7L); }, std::cos(0.7L), 0.0L},
        ValueCase{"GoodeMeridianRegion12", [] { return goode_lobe_meridian(12); }, 0.0L, 0.0L},
        ValueCase{"GoodeMeridianRegion255", [] { return goode_lobe_meridian(255); }, 0.0L, 0.0L},
        ValueCase{"GoodeMeridianRegion0", [] { return goode_lobe_meridian(0); }, -1.74532925199L,
                  0.0L},
        ValueCase{"GoodeMeridianRegion7", [] { return goode_lobe_meridian(7); }, -1.0471975512L,
                  0.0L},
        ValueCase{"GoodeMeridianRegion11", [] { return goode_lobe_meridian(11); }, 2.44346095279L,
                  0.0L}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelperValueTest, DegToRadUsesTheLimitedFactorNotFullPi) {
  EXPECT_GT(std::fabs(deg_to_rad(180.0L) - testing::kPiFull), 1e-13L);
}

// Snyder's Lambert conformal conic example (Clarke 1866, parallels 33 and
// 45, origin 23): n = 0.6304965, F = 1.9523837, rho0 = 9615.955 km.
TEST(LccConstantsTest, MatchesSnyderExample) {
  long double n;
  long double F;
  long double rho0;
  lcc_constants(n, F, rho0, 23.0L, 33.0L, 45.0L, kClarke1866E);
  EXPECT_NEAR(n, 0.6304965L, 1e-7L);
  EXPECT_NEAR(F, 1.9523837L, 1e-7L);
  EXPECT_NEAR(rho0, 9615.955L, 1e-3L);
}

TEST(LccConstantsTest, SouthernConeHasNegativeNAndF) {
  long double n;
  long double F;
  long double rho0;
  lcc_constants(n, F, rho0, -20.0L, -10.0L, -40.0L, kClarke1866E);
  EXPECT_LT(n, 0.0L);
  EXPECT_LT(F, 0.0L);
}

struct RegionCase {
  long double north;
  long double east;
  int region;
};

void PrintTo(const RegionCase& c, std::ostream* os) {
  *os << static_cast<double>(c.north) << ", " << static_cast<double>(c.east) << " -> " << c.region;
}

class GoodeRegionTest : public ::testing::TestWithParam<RegionCase> {};

TEST_P(GoodeRegionTest, FindsRegion) {
  EXPECT_EQ(goode_region(GetParam().north, GetParam().east), GetParam().region);
}

// Band limits belong to the band to the north, interruptions to the region
// to the west; the exact limit values are the table's own literals.
INSTANTIATE_TEST_SUITE_P(
    Bands, GoodeRegionTest,
    ::testing::Values(RegionCase{0.710987989993L, -0.698131700798L, 0},
                      RegionCase{0.710987989993L, -0.6981317007979L, 2},
                      RegionCase{0.7109879899929L, -0.698131700798L, 1}, RegionCase{0.0L, 0.0L, 3},
                      RegionCase{0.0L, -0.698131700798L, 1}, RegionCase{-0.1L, 2.0L, 9},
                      RegionCase{-0.1L, -1.74532925199L, 4}, RegionCase{-0.1L, -1.7453292519L, 5},
                      RegionCase{-0.1L, -0.349065850399L, 5}, RegionCase{-0.1L, 1.3962634016L, 8},
                      RegionCase{-0.710987989993L, -3.0L, 4},
                      RegionCase{-0.7109879899931L, -3.0L, 6}, RegionCase{-1.0L, -2.0L, 6},
                      RegionCase{-1.0L, -1.0L, 7}, RegionCase{-1.0L, 0.0L, 10},
                      RegionCase{-1.0L, 2.0L, 11}));

struct FaultCase {
  const char* name;
  std::function<void()> call;
  Fault fault;
};

class HelperFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(HelperFaultTest, RaisesTheFloatingPointError) {
  EXPECT_TRUE(RaisesFault(GetParam().call, GetParam().fault));
}

void Lcc(long double phi0, long double phi1, long double phi2) {
  long double n;
  long double F;
  long double rho0;
  lcc_constants(n, F, rho0, phi0, phi1, phi2, kClarke1866E);
}

INSTANTIATE_TEST_SUITE_P(
    FaultPoints, HelperFaultTest,
    ::testing::Values(
        FaultCase{"ArcsineOfOne", [] { arcsine(1.0L); }, Fault::kDivideByZero},
        FaultCase{"ArcsineOfMinusOne", [] { arcsine(-1.0L); }, Fault::kDivideByZero},
        FaultCase{"ArcsineBeyondOne", [] { arcsine(1.0000001L); }, Fault::kInvalid},
        FaultCase{"ArcsineJustBelowOne", [] { arcsine(std::nextafter(1.0L, 0.0L)); }, Fault::kNone},
        // Equal parallels: n = 0 / 0.
        FaultCase{"LccEqualParallels", [] { Lcc(23.0L, 30.0L, 30.0L); }, Fault::kInvalid},
        // Parallels symmetric about the equator: n = 0, so F = m1 / 0.
        FaultCase{"LccSymmetricParallels", [] { Lcc(23.0L, 30.0L, -30.0L); }, Fault::kDivideByZero},
        // Beyond the pole m is negative and its logarithm invalid.
        FaultCase{"LccParallelBeyondPole", [] { Lcc(23.0L, 100.0L, 45.0L); }, Fault::kInvalid},
        FaultCase{"PowerOverflows", [] { power(10.0L, 1e5L); }, Fault::kOverflow},
        FaultCase{"DivisionByZero", [] { checked_div(1.0L, 0.0L); }, Fault::kDivideByZero},
        FaultCase{"ZeroByZero", [] { checked_div(-0.0L, 0.0L); }, Fault::kInvalid},
        FaultCase{"SqrtOfNegative", [] { checked_sqrt(-1e-30L); }, Fault::kInvalid},
        FaultCase{"SqrtOfNegativeZero", [] { checked_sqrt(-0.0L); }, Fault::kNone},
        FaultCase{"LnOfZero", [] { checked_ln(0.0L); }, Fault::kDivideByZero},
        FaultCase{"LnOfNegative", [] { checked_ln(-1.0L); }, Fault::kInvalid}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kova
