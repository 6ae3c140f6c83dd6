// Hammer (type 2) and plain latitude/longitude (type 3) inverses; their
// round trips are in test_round_trip.cpp.
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

TEST(HammerInverseTest, CentreOfTheDiscIsTheOrigin) {
  const LatLon r = Invert(hammer_inverse, MakeHeader(2), 0.0L, 0.0L);
  EXPECT_NEAR(r.lat, 0.0L, 1e-12L);
  EXPECT_NEAR(r.lon, 0.0L, 1e-12L);
}

TEST(HammerInverseTest, StartingPointNeedsNoStep) {
  const KovaHeader header = MakeHeader(2);
  long double x;
  long double y;
  hammer_forward(x, y, header, -30.0L, 36.5L);
  const LatLon r = Invert(hammer_inverse, header, x, y);
  EXPECT_EQ(r.lat, -30.0L);
  EXPECT_EQ(r.lon, 36.5L);
}

// Hammer forward by hand: x = 0 on the central meridian,
// y = sin 10 / sqrt(1 + cos 10) = 0.1232568.
TEST(HammerInverseTest, PointOnTheCentralMeridian) {
  const KovaHeader header = MakeHeader(2, 0.0L, 20.0L);
  long double x;
  long double y;
  hammer_forward(x, y, header, 10.0L, 20.0L);
  EXPECT_EQ(x, 0.0L);
  EXPECT_NEAR(y, 0.1232568L, 1e-7L);
  const LatLon r = Invert(hammer_inverse, header, x, y);
  EXPECT_NEAR(r.lat, 10.0L, 1e-7L);
  EXPECT_NEAR(r.lon, 20.0L, 1e-7L);
}

TEST(HammerForwardTest, NonZeroOriginLatitudeShiftsNorthing) {
  for (long double phi0 : {-50.0L, 25.0L, 60.0L}) {
    const KovaHeader header = MakeHeader(2, phi0, 0.0L);
    long double x;
    long double y;
    hammer_forward(x, y, header, phi0, 0.0L);
    EXPECT_NEAR(y, 0.0L, 1e-18L) << phi0;
    hammer_forward(x, y, header, 90.0L, 0.0L);
    const long double p0 = testing::Rad(phi0);
    EXPECT_NEAR(y, 1.0L - std::sin(p0) / std::sqrt(1.0L + std::cos(p0)), 1e-12L) << phi0;
  }
}

TEST(HammerForwardTest, AntimeridianOnTheEquatorDividesByZero) {
  long double x;
  long double y;
  EXPECT_TRUE(RaisesFault([&] { hammer_forward(x, y, MakeHeader(2, 0.0L, 10.0L), 0.0L, 370.0L); },
                          Fault::kDivideByZero));
}

// Far outside the disc the iteration diverges; the iterate that leaves the
// 6-byte range raises the overflow error.
TEST(HammerInverseTest, DivergingIterateOverflows) {
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  EXPECT_TRUE(
      RaisesFault([&] { hammer_inverse(lat, lon, MakeHeader(2), 3.0L, 1.0L); }, Fault::kOverflow));
}

struct GeographicCase {
  long double lat0;
  long double lon0;
  long double x;
  long double y;
};

void PrintTo(const GeographicCase& c, std::ostream* os) {
  *os << "origin " << static_cast<double>(c.lat0) << ", " << static_cast<double>(c.lon0) << " map "
      << static_cast<double>(c.x) << ", " << static_cast<double>(c.y);
}

class GeographicInverseTest : public ::testing::TestWithParam<GeographicCase> {};

// latitude = y + origin latitude, longitude = x + origin longitude, each
// rounded once to a 6-byte real; no wrap, no clamp.
TEST_P(GeographicInverseTest, AddsTheOrigin) {
  const GeographicCase& c = GetParam();
  Real48 lat{};
  Real48 lon{};
  geographic_inverse(lat, lon, MakeHeader(3, c.lat0, c.lon0), c.x, c.y);
  const long double lat0 = DecodeReal48(EncodeReal48(c.lat0));
  const long double lon0 = DecodeReal48(EncodeReal48(c.lon0));
  EXPECT_EQ(lat, EncodeReal48(c.y + lat0));
  EXPECT_EQ(lon, EncodeReal48(c.x + lon0));
}

INSTANTIATE_TEST_SUITE_P(Values, GeographicInverseTest,
                         ::testing::Values(GeographicCase{0.0L, 0.0L, 0.0L, 0.0L},
                                           GeographicCase{60.0L, -20.0L, 2.0L, -5.0L},
                                           GeographicCase{80.0L, 170.0L, 30.0L, 25.0L},
                                           GeographicCase{-0.1L, 0.3L, 0.7L, -0.2L},
                                           GeographicCase{45.5L, -179.9L, -1e-3L, 1e-3L}));

TEST(GeographicInverseTest, ResultBeyondTheRealRangeOverflows) {
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  EXPECT_TRUE(
      RaisesFault([&] { geographic_inverse(lat, lon, MakeHeader(3, 10.0L, 0.0L), 0.0L, 2e38L); },
                  Fault::kOverflow));
  EXPECT_EQ(lat, testing::kUntouched);
}

}  // namespace
}  // namespace kova
