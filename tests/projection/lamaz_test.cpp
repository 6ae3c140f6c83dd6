// Lambert azimuthal equal-area on the sphere R = 6370997 m (type 6),
// including its report on standard output for points beyond the sphere.
#include <fcntl.h>  // open of /dev/null
#include <gtest/gtest.h>
#include <unistd.h>  // dup, dup2, close of the standard output descriptor

#include <cmath>
#include <cstdio>

#include "projection_test_support.h"

namespace kova {
namespace {

using testing::Fault;
using testing::Invert;
using testing::LatLon;
using testing::MakeHeader;
using testing::PrintTo;  // named table rows print as their name
using testing::Rad;
using testing::RaisesFault;

constexpr long double kR = 6370997.0L;
const char kErrorLine[] = "Error in lamaz_inverse\r\n";

// Snyder (24-2) to (24-4), full-precision pi.
void LamazForward(long double phi1, long double lam0, long double lat, long double lon,
                  long double& x, long double& y) {
  const long double p1 = Rad(phi1);
  const long double p = Rad(lat);
  const long double dl = Rad(lon - lam0);
  const long double k = std::sqrt(
      2.0L / (1.0L + std::sin(p1) * std::sin(p) + std::cos(p1) * std::cos(p) * std::cos(dl)));
  x = kR * k * std::cos(p) * std::sin(dl);
  y = kR * k * (std::cos(p1) * std::sin(p) - std::sin(p1) * std::cos(p) * std::cos(dl));
}

struct LamazCase {
  const char* name;
  long double phi0;
  long double lam0;
  long double x;
  long double y;
  long double lat;
  long double lon;
  long double tolerance;
};

class LamazPointTest : public ::testing::TestWithParam<LamazCase> {};

TEST_P(LamazPointTest, GivesReferencePosition) {
  const LamazCase& c = GetParam();
  const LatLon r = Invert(lamaz_inverse, MakeHeader(6, c.phi0, c.lam0), c.x, c.y);
  EXPECT_NEAR(r.lat, c.lat, c.tolerance);
  EXPECT_NEAR(r.lon, c.lon, c.tolerance);
}

// On the equator a point at angular distance c from an equatorial centre
// lies at x = 2R sin(c/2) (Snyder (24-2) with phi = phi1 = 0).
INSTANTIATE_TEST_SUITE_P(
    References, LamazPointTest,
    ::testing::Values(LamazCase{"Centre", 45.0L, 10.0L, 0.0L, 0.0L, 45.0L, 10.0L, 1e-10L},
                      // Forward of the result by (24-2)..(24-4) gives back x, y to 1 mm.
                      LamazCase{"NearCentre", 45.0L, 10.0L, 1e5L, 2e5L, 46.7913708L, 11.3134496L,
                                1e-7L},
                      // The true point is at 120 E; the one-argument arctangent puts it
                      // 180 degrees away.
                      LamazCase{"BeyondQuarterSphere", 0.0L, 0.0L, 2.0L * kR* std::sin(Rad(60.0L)),
                                0.0L, 0.0L, -60.0L, 1e-9L},
                      // Longitude 200 is folded once to -160, by 6.2831853072 (2e-11 rad,
                      // 1.2e-9 degrees, more than 2 pi).
                      LamazCase{"FoldedOnce", 0.0L, 170.0L, 2.0L * kR* std::sin(Rad(15.0L)), 0.0L,
                                0.0L, -160.0L, 2e-9L},
                      // Polar centre, very near it: d is exactly zero and the polar form
                      // arctan(x / -y) gives 45 degrees.
                      LamazCase{"PolarCentreStraightMeridian", 90.0L, 0.0L, 0.1L, -0.1L,
                                89.9999987L, 45.0L, 1e-7L}),
    [](const auto& info) { return std::string(info.param.name); });

// t = rho / 2R exactly 1 reaches arcsine(1); d = 0 with y = 0 divides x by -0.
TEST(LamazInverseTest, DegeneratePointsFault) {
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  EXPECT_TRUE(
      RaisesFault([&] { lamaz_inverse(lat, lon, MakeHeader(6, 0.0L, 0.0L), 12741994.0L, 0.0L); },
                  Fault::kDivideByZero));
  EXPECT_EQ(lat, testing::kUntouched);
  EXPECT_TRUE(RaisesFault([&] { lamaz_inverse(lat, lon, MakeHeader(6, 90.0L, 0.0L), 1.0L, 0.0L); },
                          Fault::kDivideByZero));
}

TEST(LamazInverseTest, BeyondTheSphereWritesTheLineAndLeavesOutputs) {
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  ::testing::internal::CaptureStdout();
  lamaz_inverse(lat, lon, MakeHeader(6, 45.0L, 10.0L), 12741995.0L, 0.0L);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kErrorLine);
  EXPECT_EQ(lat, testing::kUntouched);
  EXPECT_EQ(lon, testing::kUntouched);
}

TEST(LamazInverseTest, EdgeOfTheDiscIsNotReported) {
  // rho = 2R exactly is inside (it faults instead, above); just inside
  // gives a point near the antipode and writes nothing.
  ::testing::internal::CaptureStdout();
  const LatLon r = Invert(lamaz_inverse, MakeHeader(6, 0.0L, 0.0L), 0.0L, -12741993.0L);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_NEAR(r.lat, 0.0L, 0.1L);
}

// The dispatcher turns a declined point into the no-data coordinate
// -9999, -9999 (8E 00 00 00 3C 9C) instead of leaving its outputs as they were.
TEST(LamazInverseTest, DeclinedPointReachesCallerAsNoData) {
  KovaHeader header = MakeHeader(6, 45.0L, 10.0L);
  header.PixelWidth = EncodeReal48(1000.0L);
  header.PixelHeight = EncodeReal48(1000.0L);
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  ::testing::internal::CaptureStdout();
  pixel_to_lat_lon(lat, lon, header, EncodeReal48(0.0L), EncodeReal48(12742.0L));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kErrorLine);
  const Real48 no_data{0x8E, 0x00, 0x00, 0x00, 0x3C, 0x9C};
  EXPECT_EQ(lat, no_data);
  EXPECT_EQ(lon, no_data);
}

// Without a usable standard output the write fails with I/O error 105,
// which leaves the routine; the outputs stay untouched.
TEST(LamazInverseTest, WithoutStandardOutputRaisesIoError105) {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  ASSERT_GE(saved, 0);
  close(STDOUT_FILENO);
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  int code = 0;
  const ::testing::AssertionResult raised = testing::RaisesWithText<FileError>(
      [&] {
        try {
          lamaz_inverse(lat, lon, MakeHeader(6, 45.0L, 10.0L), 2e7L, 0.0L);
        } catch (const FileError& error) {
          code = error.code();
          throw;
        }
      },
      "I/O error 105");
  // Drop whatever the failed write left in the stream's buffer, then put
  // the real standard output back.
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, STDOUT_FILENO);
  close(null_fd);
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_TRUE(raised);
  EXPECT_EQ(code, 105);
  EXPECT_EQ(lat, testing::kUntouched);
  EXPECT_EQ(lon, testing::kUntouched);
}

struct LamazGrid {
  long double phi0;
  long double lam0;
};

void PrintTo(const LamazGrid& g, std::ostream* os) {
  *os << "centre " << static_cast<double>(g.phi0) << ", " << static_cast<double>(g.lam0);
}

class LamazRoundTripTest : public ::testing::TestWithParam<LamazGrid> {};

// Grid over the hemisphere of longitudes within 85 degrees of the centre
// (beyond 90 the one-argument arctangent answers 180 degrees away), forward
// by Snyder, inverse through the dispatcher. Closed form, but the latitude
// passes through a 6-byte real before the longitude is computed and the
// fold uses 6.2831853072 (measured worst 3.96e-9 degrees): 1e-8.
TEST_P(LamazRoundTripTest, InverseUndoesForward) {
  constexpr long double kTolerance = 1e-8L;
  const LamazGrid& g = GetParam();
  const KovaHeader header = MakeHeader(6, g.phi0, g.lam0);
  long double worst = 0.0L;
  for (int lat = -85; lat <= 85; lat += 5) {
    for (int dlon = -85; dlon <= 85; dlon += 5) {
      const long double lon = g.lam0 + dlon;
      long double x;
      long double y;
      LamazForward(g.phi0, g.lam0, lat, lon, x, y);
      const LatLon r = testing::ThroughDispatch(header, x, y);
      const long double err =
          std::fmax(std::fabs(r.lat - lat), std::fabs(testing::LonDiff(r.lon, lon)));
      worst = std::fmax(worst, err);
      EXPECT_LE(err, kTolerance) << lat << ", " << lon;
    }
  }
  testing::RecordWorstError(worst);
}

INSTANTIATE_TEST_SUITE_P(Centres, LamazRoundTripTest,
                         ::testing::Values(LamazGrid{45.0L, 10.0L}, LamazGrid{0.0L, 0.0L},
                                           LamazGrid{-30.0L, -60.0L}, LamazGrid{70.0L, 170.0L}));

}  // namespace
}  // namespace kova
