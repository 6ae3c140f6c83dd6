// Interrupted Goode homolosine on the sphere R = 6370997 m (type 9); its
// round trip is in test_round_trip.cpp.
#include <gtest/gtest.h>

#include <cmath>

#include "projection_test_support.h"

namespace kova {
namespace {

using testing::Fault;
using testing::Invert;
using testing::LatLon;
using testing::MakeHeader;
using testing::PrintTo;  // named table rows print as their name
using testing::RaisesFault;

constexpr long double kR = 6370997.0L;
constexpr long double kNoData = -9999.0L;

struct GoodeCase {
  const char* name;
  long double x;
  long double y;
  long double lat;
  long double lon;
};

class GoodePointTest : public ::testing::TestWithParam<GoodeCase> {};

TEST_P(GoodePointTest, GivesReferencePosition) {
  const GoodeCase& c = GetParam();
  const LatLon r = Invert(goode_inverse, MakeHeader(9), c.x, c.y);
  const long double tolerance = c.lat == kNoData ? 0.0L : 1e-7L;
  EXPECT_NEAR(r.lat, c.lat, tolerance);
  EXPECT_NEAR(r.lon, c.lon, tolerance);
}

// Positions worked by hand from the sinusoidal and Mollweide inverses
// (Snyder (30-3), (30-4), (31-5) to (31-7)) with the lobe meridians.
INSTANTIATE_TEST_SUITE_P(
    References, GoodePointTest,
    ::testing::Values(GoodeCase{"Origin", 0.0L, 0.0L, 0.0L, 0.0L},
                      GoodeCase{"Region3", 1e6L, 1e6L, 8.9932203L, 8.7317666L},
                      GoodeCase{"Region5", -6e6L, -1e6L, -8.9932203L, -53.8841385L},
                      GoodeCase{"Region1", -11e6L, 5e5L, 4.4966101L, -98.9221054L},
                      GoodeCase{"Region2Mollweide", -1e6L, 6e6L, 54.5719949L, -30.9214718L},
                      GoodeCase{"Region10Mollweide", 0.0L, -6e6L, -54.5719949L, -11.2472124L},
                      // About -101.7, west of the lobe's edge at -100.
                      GoodeCase{"GapWestOfSouthLobe", -11085534.78L, -2e6L, kNoData, kNoData},
                      // Past 180, folded to about -171, outside region 9.
                      GoodeCase{"RightOfTheMap", 21e6L, -5e5L, kNoData, kNoData},
                      // Above the top of the map at (sqrt2 - 0.0528035274542) R.
                      GoodeCase{"AboveTheMap", 0.0L, 8.7e6L, kNoData, kNoData},
                      GoodeCase{"BelowTheMap", -5e6L, -8.7e6L, kNoData, kNoData},
                      // In the northern gap between the Mollweide lobes, east of -40.
                      GoodeCase{"NorthernGap", -4.5e6L, 8.0e6L, kNoData, kNoData}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GoodeInverseTest, NoDataBytes) {
  Real48 lat{};
  Real48 lon{};
  goode_inverse(lat, lon, MakeHeader(9), 0.0L, 8.7e6L);
  const Real48 no_data{0x8E, 0x00, 0x00, 0x00, 0x3C, 0x9C};
  EXPECT_EQ(lat, no_data);
  EXPECT_EQ(lon, no_data);
}

TEST(GoodeInverseTest, HeaderHasNoEffect) {
  const KovaHeader plain = MakeHeader(9);
  KovaHeader busy = MakeHeader(9, 45.0L, 100.0L, 30.0L, 60.0L);
  busy.PixelWidth = EncodeReal48(1000.0L);
  for (long double y : {-7e6L, -1e6L, 3e6L, 7.5e6L}) {
    for (long double x : {-1.5e7L, -3e6L, 0.0L, 4e6L, 1.6e7L}) {
      Real48 lat1{};
      Real48 lon1{};
      Real48 lat2{};
      Real48 lon2{};
      goode_inverse(lat1, lon1, plain, x, y);
      goode_inverse(lat2, lon2, busy, x, y);
      EXPECT_EQ(lat1, lat2);
      EXPECT_EQ(lon1, lon2);
    }
  }
}

// |v| exactly 1 (a point exactly on the top edge) reaches arcsine(1).
TEST(GoodeInverseTest, TopEdgeOfTheMapDividesByZero) {
  const long double scale = 1.4142135623731L * kR;
  const long double offset = 0.0528035274542L * kR;
  long double y = scale - offset;
  while ((y + offset) / scale < 1.0L) y = std::nextafter(y, 1e30L);
  while ((y + offset) / scale > 1.0L) y = std::nextafter(y, 0.0L);
  ASSERT_EQ((y + offset) / scale, 1.0L);
  Real48 lat{};
  Real48 lon{};
  EXPECT_TRUE(
      RaisesFault([&] { goode_inverse(lat, lon, MakeHeader(9), 1e6L, y); }, Fault::kDivideByZero));
}

}  // namespace
}  // namespace kova
