// Every projection of the table: grids of points taken forward by the
// textbook formulas and back through pixel_to_lat_lon, and the header fields
// each projection reads, as the table states them.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "forward_projections.h"
#include "projection/projections.h"
#include "projection_test_support.h"

namespace kova {

// Rows of the table print as their name (found by argument-dependent
// lookup, so beside Projection rather than in this file's own namespace).
void PrintTo(const Projection& projection, std::ostream* os) {
  *os << projection.template_name;
}

namespace {

using testing::Forward;
using testing::LatLon;
using testing::MakeHeader;

struct Steps {
  long double from, to, step;  // degrees
};

struct RoundTrip {
  const char* name;
  std::uint8_t type;
  testing::Parameters origin;
  Forward forward;
  Steps lat;              // latitudes
  Steps dlon;             // longitudes east of lam0
  double within;          // only points this many degrees from the origin; 0: all
  bool fold;              // longitudes compared folded into [-180, 180)
  long double tolerance;  // degrees
  // Points (latitude, longitude east of lam0) checked in place of the grid.
  std::vector<std::array<long double, 2>> points = {};
};

void PrintTo(const RoundTrip& row, std::ostream* os) {
  *os << row.name;
}

KovaHeader HeaderOf(const RoundTrip& row) {
  return MakeHeader(row.type, row.origin.phi0, row.origin.lam0, row.origin.phi1, row.origin.phi2);
}

// Tolerances, from the worst error measured over each grid:
// - latitude/longitude: exact, every value is a 6-byte real.
// - Hammer: the secant iteration ends within about 1e-5 degrees in the worst
//   cases (1.95e-5 over the grid, equator 120 degrees from the central
//   meridian 20): 2e-5; 1e-5 for points well inside the disc.
// - Lambert conformal conic: the latitude iteration contracts by about
//   e^2 = 0.0068 per step, so stopping on a step below 1e-5 rad leaves at
//   most 0.0068 / 0.9932 * 1e-5 rad = 3.9e-6 degrees (measured 2.86e-6): 4e-6.
// - Albers: the three-term series (3-18) leaves terms of order e^8
//   (measured 1.48e-8): 3e-8.
// - Geostationary: the constants 43.70121 (exactly 43.7012109...) and
//   1.003367 are rounded at the 7th digit, and toward the limb the square
//   root magnifies that (measured 5.67e-6, 75 degrees out): 1e-5. Beyond 75
//   degrees from the sub-satellite point the view is too oblique to test.
// - Lambert azimuthal: closed form, but the latitude passes through a 6-byte
//   real before the longitude is computed and the fold uses 6.2831853072
//   (measured 3.96e-9): 1e-8. Within 85 degrees of the centre's longitude:
//   beyond 90 the one-argument arctangent answers 180 degrees away.
// - Goode: closed form with 13-digit constants; near the poles the
//   Mollweide arcsine magnifies them (measured 1.28e-8 at 88.5): 5e-8. The
//   grid is offset by 1.5 degrees from the interruptions and the poles.
constexpr long double kHammerGrid = 2e-5L;
constexpr long double kHammerInside = 1e-5L;
constexpr long double kLcc = 4e-6L;
constexpr long double kAlbers = 3e-8L;
constexpr long double kView = 1e-5L;
constexpr long double kLamaz = 1e-8L;
constexpr long double kGoode = 5e-8L;

constexpr Steps kConeNorth{-10, 80, 5};
constexpr Steps kConeSouth{-80, 10, 5};
constexpr Steps kConeWidth{-60, 60, 10};
constexpr Steps kViewDisc{-70, 70, 5};
constexpr Steps kHemisphere{-85, 85, 5};
const std::vector<std::array<long double, 2>> kHammerPoints{
    {45.0L, 100.0L}, {60.0L, -150.0L}, {89.0L, 10.0L}};

const RoundTrip kRoundTrips[] = {
    {"LatLonNorth",
     3,
     {60, -20, 0, 0},
     testing::GeographicForward,
     {-90, 90, 5},
     {-180, 180, 15},
     0,
     false,
     0.0L},
    {"LatLonSouth",
     3,
     {-33.5L, 151.25L, 0, 0},
     testing::GeographicForward,
     {-90, 90, 5},
     {-180, 180, 15},
     0,
     false,
     0.0L},
    {"Hammer",
     2,
     {0, 0, 0, 0},
     testing::HammerForward,
     {-80, 80, 10},
     {-150, 150, 15},
     0,
     false,
     kHammerGrid},
    {"HammerEast",
     2,
     {0, 20, 0, 0},
     testing::HammerForward,
     {-80, 80, 10},
     {-150, 150, 15},
     0,
     false,
     kHammerGrid},
    {"HammerWest",
     2,
     {0, -135.5L, 0, 0},
     testing::HammerForward,
     {-80, 80, 10},
     {-150, 150, 15},
     0,
     false,
     kHammerGrid},
    {"HammerInside",
     2,
     {0, 0, 0, 0},
     testing::HammerForward,
     {},
     {},
     0,
     false,
     kHammerInside,
     kHammerPoints},
    {"HammerEastInside",
     2,
     {0, 20, 0, 0},
     testing::HammerForward,
     {},
     {},
     0,
     false,
     kHammerInside,
     kHammerPoints},
    {"HammerWestInside",
     2,
     {0, -135.5L, 0, 0},
     testing::HammerForward,
     {},
     {},
     0,
     false,
     kHammerInside,
     kHammerPoints},
    {"LccUs", 4, {23, -96, 33, 45}, testing::LccForward, kConeNorth, kConeWidth, 0, true, kLcc},
    {"LccSouth",
     4,
     {-20, 25, -10, -40},
     testing::LccForward,
     kConeSouth,
     kConeWidth,
     0,
     true,
     kLcc},
    {"LccPolar", 4, {60, 0, 55, 75}, testing::LccForward, kConeNorth, kConeWidth, 0, true, kLcc},
    {"View", 5, {0, 0, 0, 0}, testing::ViewForward, kViewDisc, kViewDisc, 75, false, kView},
    {"ViewWest", 5, {0, -75, 0, 0}, testing::ViewForward, kViewDisc, kViewDisc, 75, false, kView},
    {"ViewEast",
     5,
     {0, 140.7L, 0, 0},
     testing::ViewForward,
     kViewDisc,
     kViewDisc,
     75,
     false,
     kView},
    {"Lamaz", 6, {45, 10, 0, 0}, testing::LamazForward, kHemisphere, kHemisphere, 0, true, kLamaz},
    {"LamazEquator",
     6,
     {0, 0, 0, 0},
     testing::LamazForward,
     kHemisphere,
     kHemisphere,
     0,
     true,
     kLamaz},
    {"LamazSouth",
     6,
     {-30, -60, 0, 0},
     testing::LamazForward,
     kHemisphere,
     kHemisphere,
     0,
     true,
     kLamaz},
    {"LamazFarEast",
     6,
     {70, 170, 0, 0},
     testing::LamazForward,
     kHemisphere,
     kHemisphere,
     0,
     true,
     kLamaz},
    {"AlbersUs",
     8,
     {23, -96, 29.5L, 45.5L},
     testing::AlbersForward,
     kConeNorth,
     kConeWidth,
     0,
     true,
     kAlbers},
    {"AlbersSouth",
     8,
     {-23, 20, -29.5L, -45.5L},
     testing::AlbersForward,
     kConeSouth,
     kConeWidth,
     0,
     true,
     kAlbers},
    {"AlbersWide",
     8,
     {0, 100, 5, 70},
     testing::AlbersForward,
     kConeNorth,
     kConeWidth,
     0,
     true,
     kAlbers},
    {"Goode",
     9,
     {0, 0, 0, 0},
     testing::GoodeForward,
     {-88.5L, 88.5L, 3},
     {-178.5L, 178.5L, 3},
     0,
     false,
     kGoode},
};

class RoundTripTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, InverseUndoesForward) {
  const RoundTrip& row = GetParam();
  const KovaHeader header = HeaderOf(row);
  const long double lam0 = DecodeReal48(header.OriginLongitude);
  long double worst = 0.0L;
  int checked = 0;
  auto check = [&](long double lat, long double dlon) {
    const long double lon = lam0 + dlon;
    const testing::MapPoint p = row.forward(header, lat, lon);
    const LatLon r = testing::ThroughDispatch(header, p.x, p.y);
    const long double lon_error = row.fold ? testing::LonDiff(r.lon, lon) : r.lon - lon;
    const long double err = std::fmax(std::fabs(r.lat - lat), std::fabs(lon_error));
    worst = std::fmax(worst, err);
    ++checked;
    EXPECT_LE(err, row.tolerance) << lat << ", " << lon;
  };
  if (!row.points.empty()) {
    for (const auto& [lat, dlon] : row.points) check(lat, dlon);
  } else {
    ASSERT_GT(row.lat.step, 0);
    ASSERT_GT(row.dlon.step, 0);
    for (long double lat = row.lat.from; lat <= row.lat.to; lat += row.lat.step) {
      for (long double dlon = row.dlon.from; dlon <= row.dlon.to; dlon += row.dlon.step) {
        if (row.within > 0 && std::hypot(lat, dlon) > row.within) continue;
        check(lat, dlon);
      }
    }
  }
  EXPECT_GT(checked, 0);
  testing::RecordWorstError(worst);
}

INSTANTIATE_TEST_SUITE_P(Projections, RoundTripTest, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

// What an inverse answers at a point 5 degrees north-east of the origin of
// the projection's first round trip, with `change` made to the header.
template <typename Change>
LatLon AnswerWith(const Projection& projection, Change change) {
  const RoundTrip* row = nullptr;
  for (const RoundTrip& candidate : kRoundTrips) {
    if (candidate.type == projection.code && row == nullptr) row = &candidate;
  }
  if (row == nullptr) {
    ADD_FAILURE() << projection.template_name << " has no round trip";
    return {};
  }
  const KovaHeader header = HeaderOf(*row);
  const testing::MapPoint p =
      row->forward(header, row->origin.phi0 + 5.0L, DecodeReal48(header.OriginLongitude) + 5.0L);
  KovaHeader changed = header;
  change(changed);
  return testing::Invert(projection.inverse, changed, p.x, p.y);
}

// "lambert-conic" as a test name: "lambert_conic".
std::string TestName(const Projection& projection) {
  std::string name = projection.template_name;
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

class HeaderFieldsTest : public ::testing::TestWithParam<Projection> {};

// A field the table says the projection reads moves the answer when it
// moves by a degree; a field it does not read leaves the answer as it was.
TEST_P(HeaderFieldsTest, AreTheOnesTheTableNames) {
  const Projection& projection = GetParam();
  const LatLon base = AnswerWith(projection, [](KovaHeader&) {});
  auto moves = [&](auto change) {
    const LatLon r = AnswerWith(projection, change);
    return r.lat != base.lat || r.lon != base.lon;
  };
  auto shifted = [](Real48& field) { field = EncodeReal48(DecodeReal48(field) + 1.0L); };
  EXPECT_EQ(moves([&](KovaHeader& h) { shifted(h.OriginLatitude); }), projection.origin_latitude);
  EXPECT_EQ(moves([&](KovaHeader& h) { shifted(h.OriginLongitude); }), projection.origin_longitude);
  EXPECT_EQ(moves([&](KovaHeader& h) { shifted(h.StdParallel1); }), projection.parallels);
  EXPECT_EQ(moves([&](KovaHeader& h) { shifted(h.StdParallel2); }), projection.parallels);
}

INSTANTIATE_TEST_SUITE_P(Table, HeaderFieldsTest, ::testing::ValuesIn(kProjections),
                         [](const auto& info) { return TestName(info.param); });

}  // namespace
}  // namespace kova
