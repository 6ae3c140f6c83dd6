// Lambert conformal conic (type 4, kilometres) and Albers equal-area conic
// (type 8, metres) on the Clarke 1866 ellipsoid; their round trips are in
// test_round_trip.cpp.
#include <gtest/gtest.h>

#include <cmath>

#include "forward_projections.h"
#include "projection/helpers.h"
#include "projection_test_support.h"

namespace kova {
namespace {

using testing::Fault;
using testing::Invert;
using testing::LatLon;
using testing::MakeHeader;
using testing::PrintTo;  // named table rows print as their name
using testing::RaisesFault;

constexpr long double kA = testing::kClarkeA;
constexpr long double kE = testing::kClarkeE;
constexpr long double kE2 = testing::kClarkeE2;

struct Cone {
  long double phi0;
  long double lam0;
  long double phi1;
  long double phi2;
};

KovaHeader HeaderFor(std::uint8_t type, const Cone& c) {
  return MakeHeader(type, c.phi0, c.lam0, c.phi1, c.phi2);
}

// --- Reference points ----------------------------------------------------

struct PointCase {
  const char* name;
  std::uint8_t type;
  Cone cone;
  long double x;
  long double y;
  long double lat;
  long double lon;
  long double tolerance;  // degrees
};

class ConicPointTest : public ::testing::TestWithParam<PointCase> {};

TEST_P(ConicPointTest, GivesReferencePosition) {
  const PointCase& c = GetParam();
  const LatLon r = testing::ThroughDispatch(HeaderFor(c.type, c.cone), c.x, c.y);
  EXPECT_NEAR(r.lat, c.lat, c.tolerance);
  EXPECT_NEAR(r.lon, c.lon, c.tolerance);
}

constexpr Cone kUsLcc{23.0L, -96.0L, 33.0L, 45.0L};
constexpr Cone kUsAlbers{23.0L, -96.0L, 29.5L, 45.5L};

INSTANTIATE_TEST_SUITE_P(
    References, ConicPointTest,
    ::testing::Values(
        PointCase{"LccOrigin", 4, kUsLcc, 0.0L, 0.0L, 23.0L, -96.0L, 1e-6L},
        // Forward of (40 N, 100 W) by (15-1)..(15-10), to 0.1 m.
        PointCase{"LccForty", 4, kUsLcc, -339.6528L, 1904.5317L, 40.0L, -100.0L, 1e-6L},
        // Snyder's worked example, (35 N, 75 W) -> 1894.410, 1564.649 km
        // (given to the metre, about 1e-5 degrees).
        PointCase{"LccSnyderExample", 4, kUsLcc, 1894.410L, 1564.649L, 35.0L, -75.0L, 2e-5L},
        // Southern cone; forward of (30 S, 25 E) by (15-1)..(15-10).
        PointCase{"LccSouthernCone", 4, Cone{-20.0L, 25.0L, -10.0L, -40.0L}, 0.0L, -1071.4587L,
                  -30.0L, 25.0L, 1e-6L},
        // The series does not return phi0 exactly: 22.9999999853.
        PointCase{"AlbersOrigin", 8, kUsAlbers, 0.0L, 0.0L, 22.9999999853L, -96.0L, 1e-10L},
        // Snyder's worked example, (35 N, 75 W) -> 1885472.7, 1535925.0 m.
        PointCase{"AlbersSnyderExample", 8, kUsAlbers, 1885472.7L, 1535925.0L, 35.0L, -75.0L,
                  1e-6L},
        // Values of the three-term series worked to 1e-7 degrees.
        PointCase{"AlbersNorth", 8, kUsAlbers, 1e6L, 5e5L, 27.0858263L, -85.9588109L, 1e-7L},
        PointCase{"AlbersMirrored", 8, Cone{-23.0L, 20.0L, -29.5L, -45.5L}, 1e6L, -5e5L,
                  -27.0858263L, 30.0411891L, 1e-7L},
        // Albers does not fold its longitude: 188.89, not -171.11.
        PointCase{"AlbersUnfolded", 8, Cone{23.0L, 170.0L, 29.5L, 45.5L}, 2e6L, 0.0L, 21.1583067L,
                  188.8896101L, 1e-7L}),
    [](const auto& info) { return std::string(info.param.name); });

// The conformal conic wraps once: a point 20 degrees east of the central
// meridian 170 comes back as -170.
TEST(ConformalConicInverseTest, LongitudeWrapsOnce) {
  const Cone cone{23.0L, 170.0L, 33.0L, 45.0L};
  const KovaHeader header = HeaderFor(4, cone);
  const testing::MapPoint p = testing::LccForward(header, 40.0L, 190.0L);
  const LatLon r = testing::ThroughDispatch(header, p.x, p.y);
  EXPECT_NEAR(r.lon, -170.0L, 1e-6L);
  EXPECT_NEAR(r.lat, 40.0L, 1e-5L);
}

// A degenerate Albers cone answers the header's origin bytes for every point.
TEST(AlbersInverseTest, DegenerateConeGivesTheOrigin) {
  for (const Cone& cone : {Cone{23.0L, -96.0L, 30.0L, 30.0L}, Cone{23.0L, -96.0L, 30.0L, -30.0L}}) {
    const KovaHeader header = HeaderFor(8, cone);
    for (long double x : {0.0L, 1e6L, -3e6L}) {
      Real48 lat{};
      Real48 lon{};
      albers_inverse(lat, lon, header, x, 2e6L);
      EXPECT_EQ(lat, header.OriginLatitude);
      EXPECT_EQ(lon, header.OriginLongitude);
    }
  }
}

// --- Fault points --------------------------------------------------------

// Northing of the cone's apex as the inverses compute it: lcc_constants for
// the conformal conic; Snyder (14-12a) with the unit's degree factor for
// Albers. Both inverses divide by rho0 - y there.
long double LccApex(const Cone& c) {
  long double n;
  long double F;
  long double rho0;
  lcc_constants(n, F, rho0, c.phi0, c.phi1, c.phi2, kE);
  return rho0;
}

long double AlbersApex(const Cone& c) {
  const long double p0 = deg_to_rad(c.phi0);
  const long double p1 = deg_to_rad(c.phi1);
  const long double p2 = deg_to_rad(c.phi2);
  const long double m1 = std::cos(p1) / std::sqrt(1.0L - kE2 * sin_square(p1));
  const long double m2 = std::cos(p2) / std::sqrt(1.0L - kE2 * sin_square(p2));
  auto q = [](long double phi) {
    const long double s = std::sin(phi);
    return (1.0L - kE2) * (s / (1.0L - kE2 * sin_square(phi)) -
                           std::log((1.0L - kE * s) / (1.0L + kE * s)) * (1.0L / (2.0L * kE)));
  };
  const long double n = (square(m1) - square(m2)) / (q(p2) - q(p1));
  const long double C = square(m1) + n * q(p1);
  return kA * std::sqrt(C - n * q(p0)) / n;
}

struct ConicFaultCase {
  const char* name;
  testing::Inverse inverse;
  Cone cone;
  long double x;
  std::function<long double(const Cone&)> y;
  Fault fault;
};

class ConicFaultTest : public ::testing::TestWithParam<ConicFaultCase> {};

TEST_P(ConicFaultTest, RaisesAndLeavesOutputsUntouched) {
  const ConicFaultCase& c = GetParam();
  const KovaHeader header = HeaderFor(c.inverse == conformal_conic_inverse ? 4 : 8, c.cone);
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  const long double y = c.y(c.cone);
  EXPECT_TRUE(RaisesFault([&] { c.inverse(lat, lon, header, c.x, y); }, c.fault));
  EXPECT_EQ(lat, testing::kUntouched);
  EXPECT_EQ(lon, testing::kUntouched);
}

INSTANTIATE_TEST_SUITE_P(
    FaultPoints, ConicFaultTest,
    ::testing::Values(
        ConicFaultCase{"LccLevelWithApex", conformal_conic_inverse, kUsLcc, 100.0L, LccApex,
                       Fault::kDivideByZero},
        ConicFaultCase{"LccApex", conformal_conic_inverse, kUsLcc, 0.0L, LccApex, Fault::kInvalid},
        ConicFaultCase{"LccEqualParallels", conformal_conic_inverse,
                       Cone{23.0L, -96.0L, 40.0L, 40.0L}, 0.0L, [](const Cone&) { return 0.0L; },
                       Fault::kInvalid},
        // Level with the apex, on the circle of the origin latitude.
        ConicFaultCase{"AlbersLevelWithApex", albers_inverse, kUsAlbers, 8e6L, AlbersApex,
                       Fault::kDivideByZero},
        // The apex lies inside the circle of the north pole: arcsine > 1.
        ConicFaultCase{"AlbersApex", albers_inverse, kUsAlbers, 0.0L, AlbersApex, Fault::kInvalid},
        ConicFaultCase{"AlbersNearApex", albers_inverse, kUsAlbers, 1e5L,
                       [](const Cone& c) { return AlbersApex(c) - 1e5L; }, Fault::kInvalid},
        // Outside the circle of the south pole.
        ConicFaultCase{"AlbersBeyondSouthPole", albers_inverse, kUsAlbers, 0.0L,
                       [](const Cone&) { return -2e7L; }, Fault::kInvalid}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kova
