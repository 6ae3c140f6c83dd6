// Lambert azimuthal equal-area on the sphere R = 6370997 m (type 6),
// including its report for points beyond the sphere; its round trips are
// in test_round_trip.cpp.
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
  IoResult code{};
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
  EXPECT_EQ(code, IoResult::kFileNotOpenForOutput);
  EXPECT_EQ(lat, testing::kUntouched);
  EXPECT_EQ(lon, testing::kUntouched);
}

}  // namespace
}  // namespace kova
