// Geostationary satellite view (type 5): scan angles in degrees of the
// projection's own factor 0.0174532 rad; its round trips are in
// test_round_trip.cpp.
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

}  // namespace
}  // namespace kova
