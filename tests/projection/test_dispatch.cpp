// pixel_to_lat_lon: the linear georeference and the choice of inverse.
#include <gtest/gtest.h>

#include "projection_test_support.h"

namespace kova {
namespace {

using testing::Fault;
using testing::MakeHeader;
using testing::PrintTo;  // named table rows print as their name
using testing::RaisesFault;

KovaHeader Georeferenced(std::uint8_t type, long double lat0, long double lon0,
                         long double origin_column, long double origin_row, long double width,
                         long double height) {
  KovaHeader header = MakeHeader(type, lat0, lon0, 33.0L, 45.0L);
  header.OriginColumn = EncodeReal48(origin_column);
  header.OriginRow = EncodeReal48(origin_row);
  header.PixelWidth = EncodeReal48(width);
  header.PixelHeight = EncodeReal48(height);
  return header;
}

struct PixelCase {
  const char* name;
  long double origin_column;
  long double origin_row;
  long double width;
  long double height;
  long double row;
  long double column;
  long double lat;
  long double lon;
};

class GeoreferenceTest : public ::testing::TestWithParam<PixelCase> {};

// Type 3 shows the georeference directly: latitude = 60 + y, longitude =
// -20 + x, with x = width (column - origin column) and y = height (origin
// row - row). All values are exact in 6-byte reals.
TEST_P(GeoreferenceTest, MapsPixelToLatLon) {
  const PixelCase& c = GetParam();
  const KovaHeader header =
      Georeferenced(3, 60.0L, -20.0L, c.origin_column, c.origin_row, c.width, c.height);
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  pixel_to_lat_lon(lat, lon, header, EncodeReal48(c.row), EncodeReal48(c.column));
  EXPECT_EQ(DecodeReal48(lat), c.lat);
  EXPECT_EQ(DecodeReal48(lon), c.lon);
}

INSTANTIATE_TEST_SUITE_P(
    Type3, GeoreferenceTest,
    ::testing::Values(
        PixelCase{"OriginPixel", 7.5L, 3.25L, 0.5L, 0.5L, 3.25L, 7.5L, 60.0L, -20.0L},
        PixelCase{"RowTenColumnFour", 0.0L, 0.0L, 0.5L, 0.5L, 10.0L, 4.0L, 55.0L, -18.0L},
        PixelCase{"BelowAndLeftOfOrigin", 8.0L, 2.0L, 0.25L, 0.5L, 6.0L, 4.0L, 58.0L, -21.0L},
        PixelCase{"Fractions", 0.0L, 0.0L, 0.25L, 0.125L, 2.5L, 1.5L, 59.6875L, -19.625L},
        PixelCase{"NegativePixelSize", 0.0L, 0.0L, -1.0L, -2.0L, 3.0L, 4.0L, 66.0L, -24.0L}),
    [](const auto& info) { return std::string(info.param.name); });

class NoInverseTest : public ::testing::TestWithParam<int> {};

// Codes without an inverse answer the 6-byte zero, whatever the header holds.
TEST_P(NoInverseTest, GivesZeroZero) {
  const KovaHeader header = Georeferenced(static_cast<std::uint8_t>(GetParam()), 50.0L, 10.0L, 3.0L,
                                          4.0L, 1000.0L, 1000.0L);
  Real48 lat = testing::kUntouched;
  Real48 lon = testing::kUntouched;
  pixel_to_lat_lon(lat, lon, header, EncodeReal48(17.0L), EncodeReal48(29.0L));
  EXPECT_EQ(lat, Real48{});
  EXPECT_EQ(lon, Real48{});
}

INSTANTIATE_TEST_SUITE_P(Codes, NoInverseTest, ::testing::Values(0, 1, 7, 10, 255));

struct RouteCase {
  std::uint8_t type;
  testing::Inverse inverse;
  long double lat0;
  long double lon0;
  long double width;  // map units per pixel
};

void PrintTo(const RouteCase& c, std::ostream* os) {
  *os << "type " << int{c.type};
}

class RouteTest : public ::testing::TestWithParam<RouteCase> {};

// Each code reaches its own inverse with x = width (column - origin column)
// and y = width (origin row - row), the width as its 6-byte real.
TEST_P(RouteTest, CallsTheInverseOfTheCode) {
  const RouteCase& c = GetParam();
  const KovaHeader header = Georeferenced(c.type, c.lat0, c.lon0, 100.0L, 50.0L, c.width, c.width);
  for (long double row : {10.0L, 50.0L, 77.5L}) {
    for (long double column : {20.0L, 100.0L, 131.25L}) {
      Real48 lat{};
      Real48 lon{};
      pixel_to_lat_lon(lat, lon, header, EncodeReal48(row), EncodeReal48(column));
      Real48 expected_lat{};
      Real48 expected_lon{};
      const long double width = DecodeReal48(header.PixelWidth);
      c.inverse(expected_lat, expected_lon, header, (column - 100.0L) * width,
                (50.0L - row) * width);
      EXPECT_EQ(lat, expected_lat) << row << ", " << column;
      EXPECT_EQ(lon, expected_lon) << row << ", " << column;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, RouteTest,
                         ::testing::Values(RouteCase{2, hammer_inverse, 0.0L, 10.0L, 0.004L},
                                           RouteCase{3, geographic_inverse, 40.0L, 10.0L, 0.1L},
                                           RouteCase{4, conformal_conic_inverse, 23.0L, -96.0L,
                                                     10.0L},
                                           RouteCase{5, geostationary_inverse, 0.0L, 0.0L, 0.05L},
                                           RouteCase{6, lamaz_inverse, 45.0L, 10.0L, 5000.0L},
                                           RouteCase{8, albers_inverse, 23.0L, -96.0L, 5000.0L},
                                           RouteCase{9, goode_inverse, 0.0L, 0.0L, 50000.0L}));

// A fault inside an inverse passes through the dispatcher to its caller.
TEST(DispatchTest, FaultPassesThrough) {
  KovaHeader header = Georeferenced(4, 23.0L, -96.0L, 0.0L, 0.0L, 1.0L, 1.0L);
  header.StdParallel2 = header.StdParallel1;
  Real48 lat{};
  Real48 lon{};
  EXPECT_TRUE(RaisesFault(
      [&] { pixel_to_lat_lon(lat, lon, header, EncodeReal48(1.0L), EncodeReal48(1.0L)); },
      Fault::kInvalid));
}

}  // namespace
}  // namespace kova
