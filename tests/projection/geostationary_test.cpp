// Geostationary satellite view (type 5): scan angles in degrees of the
// projection's own factor 0.0174532 rad.
#include <gtest/gtest.h>

#include <cmath>

#include "projection_test_support.h"

namespace kova {
namespace {

using testing::Fault;
using testing::Invert;
using testing::LatLon;
using testing::MakeHeader;
using testing::RaisesFault;

// Geometry of the view: satellite on the equatorial plane at 42164 km from
// the centre, ellipsoid of radii 6378.155 and 6356.7518 km.
constexpr long double kH = 42164.0L;
constexpr long double kA = 6378.155L;
constexpr long double kB = 6356.7518L;
// The projection's degree: angles in and out are in units of 0.0174532 rad.
constexpr long double kDegree = 0.0174532L;

// Scan angles (east-west x, north-south y) of the point at geodetic
// latitude and longitude relative to the sub-satellite point: the point on
// the ellipsoid in Earth-centred coordinates (X toward the satellite, Y
// east, Z north, with the prime-vertical radius of curvature N), then
// tan x = Y / (H - X) and tan y = Z / sqrt((H - X)^2 + Y^2).
void ViewForward(long double lat, long double lon, long double& x, long double& y) {
  const long double phi = lat * kDegree;
  const long double lam = lon * kDegree;
  const long double e2 = 1.0L - (kB * kB) / (kA * kA);
  const long double N = kA / std::sqrt(1.0L - e2 * std::sin(phi) * std::sin(phi));
  const long double X = N * std::cos(phi) * std::cos(lam);
  const long double Y = N * std::cos(phi) * std::sin(lam);
  const long double Z = N * (1.0L - e2) * std::sin(phi);
  x = std::atan(Y / (kH - X)) / kDegree;
  y = std::atan(Z / std::hypot(kH - X, Y)) / kDegree;
}

struct ViewCase {
  long double x;
  long double y;
  long double lat;
  long double lon;
};

void PrintTo(const ViewCase& c, std::ostream* os) {
  *os << "scan " << static_cast<double>(c.x) << ", " << static_cast<double>(c.y);
}

class GeostationaryPointTest : public ::testing::TestWithParam<ViewCase> {};

// Reference values worked from the inverse's formulas to 4 decimals.
TEST_P(GeostationaryPointTest, GivesReferencePosition) {
  const ViewCase& c = GetParam();
  const LatLon r = Invert(geostationary_inverse, MakeHeader(5), c.x, c.y);
  EXPECT_NEAR(r.lat, c.lat, 5e-5L);
  EXPECT_NEAR(r.lon, c.lon, 5e-5L);
}

INSTANTIATE_TEST_SUITE_P(References, GeostationaryPointTest,
                         ::testing::Values(ViewCase{5.0L, 0.0L, 0.0L, 30.1808L},
                                           ViewCase{0.0L, 5.0L, 30.3831L, 0.0L},
                                           ViewCase{5.0L, 5.0L, 31.6169L, 37.5286L},
                                           ViewCase{-5.0L, -5.0L, -31.6169L, -37.5286L}));

TEST(GeostationaryInverseTest, SubSatellitePointIsExactlyTheOrigin) {
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  geostationary_inverse(lat, lon, MakeHeader(5), 0.0L, 0.0L);
  EXPECT_EQ(DecodeReal48(lat), 0.0L);
  EXPECT_EQ(DecodeReal48(lon), 0.0L);
}

// The origin is added to the stored relative result and stored again.
TEST(GeostationaryInverseTest, OriginIsAddedToTheStoredResult) {
  const KovaHeader at_zero = MakeHeader(5, 0.0L, 0.0L);
  const KovaHeader shifted = MakeHeader(5, 0.0L, -3.4L);
  for (long double x : {-7.0L, -2.5L, 0.0L, 1.25L, 6.0L}) {
    for (long double y : {-6.0L, 0.5L, 7.5L}) {
      Real48 lat0{};
      Real48 lon0{};
      Real48 lat{};
      Real48 lon{};
      geostationary_inverse(lat0, lon0, at_zero, x, y);
      geostationary_inverse(lat, lon, shifted, x, y);
      EXPECT_EQ(lat, lat0);
      EXPECT_EQ(lon, EncodeReal48(DecodeReal48(lon0) + DecodeReal48(EncodeReal48(-3.4L))));
    }
  }
}

struct OffDiscCase {
  long double x;
  long double y;
  Fault fault;
};

void PrintTo(const OffDiscCase& c, std::ostream* os) {
  *os << "scan " << static_cast<double>(c.x) << ", " << static_cast<double>(c.y);
}

class GeostationaryOffDiscTest : public ::testing::TestWithParam<OffDiscCase> {};

// Just off the limb (about 8.7 degrees on the north-south axis) the
// absolute value keeps the computation going; from about 9.4 degrees the
// arcsine argument passes 1.
TEST_P(GeostationaryOffDiscTest, FaultsOnlyWhereTheArcsineFails) {
  const OffDiscCase& c = GetParam();
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  EXPECT_TRUE(
      RaisesFault([&] { geostationary_inverse(lat, lon, MakeHeader(5), c.x, c.y); }, c.fault));
  if (c.fault != Fault::kNone) {
    EXPECT_EQ(lat, testing::kUntouched);
    EXPECT_EQ(lon, testing::kUntouched);
  }
}

INSTANTIATE_TEST_SUITE_P(Limb, GeostationaryOffDiscTest,
                         ::testing::Values(OffDiscCase{0.0L, 9.0L, Fault::kNone},
                                           OffDiscCase{0.0L, -9.0L, Fault::kNone},
                                           OffDiscCase{0.0L, 9.5L, Fault::kInvalid},
                                           OffDiscCase{0.0L, -12.0L, Fault::kInvalid}));

// Round trip over the visible disc up to 75 degrees from the sub-satellite
// point, forward from the viewing geometry. The inverse's constants
// 43.70121 (exactly 43.7012109...) and 1.003367 are rounded at the 7th
// digit, and toward the limb the square root magnifies that (measured
// worst 5.67e-6 degrees, 75 degrees out): 1e-5.
TEST(GeostationaryRoundTripTest, InverseUndoesViewGeometry) {
  constexpr long double kTolerance = 1e-5L;
  for (long double lon0 : {0.0L, -75.0L, 140.7L}) {
    const KovaHeader header = MakeHeader(5, 0.0L, lon0);
    long double worst = 0.0L;
    for (int lat = -70; lat <= 70; lat += 5) {
      for (int lon = -70; lon <= 70; lon += 5) {
        if (std::hypot(lat, lon) > 75.0) continue;
        long double x;
        long double y;
        ViewForward(lat, lon, x, y);
        const LatLon r = testing::ThroughDispatch(header, x, y);
        const long double err = std::fmax(std::fabs(r.lat - lat), std::fabs(r.lon - (lon0 + lon)));
        worst = std::fmax(worst, err);
        EXPECT_LE(err, kTolerance) << lat << ", " << lon;
      }
    }
    testing::RecordWorstError(worst,
                              "worst_error_degrees_" + std::to_string(static_cast<int>(lon0)));
  }
}

}  // namespace
}  // namespace kova
