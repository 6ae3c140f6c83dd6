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

// How the points of one projection are walked and how close they must come
// back; each tolerance is worked from the worst error measured over its walk.
struct Walk {
  std::uint8_t type;
  Forward forward;
  Steps lat;              // latitudes
  Steps dlon;             // longitudes east of lam0
  double within;          // only points this many degrees from the origin; 0: all
  bool fold;              // longitudes compared folded into [-180, 180)
  long double tolerance;  // degrees
  // Points (latitude, longitude east of lam0) walked in place of the grid.
  std::vector<std::array<long double, 2>> points = {};
};

// Latitude/longitude: exact, every value is a 6-byte real.
const Walk kLatLon{3, testing::GeographicForward, {-90, 90, 5}, {-180, 180, 15}, 0, false, 0.0L};
// Hammer: the secant iteration ends within about 1e-5 degrees in the worst
// cases (1.95e-5 over the grid, equator 120 degrees from the central
// meridian 20): 2e-5; 1e-5 for points well inside the disc.
const Walk kHammer{2, testing::HammerForward, {-80, 80, 10}, {-150, 150, 15}, 0, false, 2e-5L};
const std::vector<std::array<long double, 2>> kInsideTheDisc{
    {45.0L, 100.0L}, {60.0L, -150.0L}, {89.0L, 10.0L}};
const Walk kHammerInside{2, testing::HammerForward, {}, {}, 0, false, 1e-5L, kInsideTheDisc};
// Lambert conformal conic: the latitude iteration contracts by about
// e^2 = 0.0068 per step, so stopping on a step below 1e-5 rad leaves at most
// 0.0068 / 0.9932 * 1e-5 rad = 3.9e-6 degrees (measured 2.86e-6): 4e-6.
const Walk kLccNorth{4, testing::LccForward, {-10, 80, 5}, {-60, 60, 10}, 0, true, 4e-6L};
const Walk kLccSouth{4, testing::LccForward, {-80, 10, 5}, {-60, 60, 10}, 0, true, 4e-6L};
// Geostationary: the constants 43.70121 (exactly 43.7012109...) and 1.003367
// are rounded at the 7th digit, and toward the limb the square root
// magnifies that (measured 5.67e-6, 75 degrees out): 1e-5; farther out the
// view is too oblique to test.
const Walk kView{5, testing::ViewForward, {-70, 70, 5}, {-70, 70, 5}, 75, false, 1e-5L};
// Lambert azimuthal: closed form, but the latitude passes through a 6-byte
// real before the longitude is computed and the fold uses 6.2831853072
// (measured 3.96e-9): 1e-8. Within 85 degrees of the centre's longitude:
// beyond 90 the one-argument arctangent answers 180 degrees away.
const Walk kLamaz{6, testing::LamazForward, {-85, 85, 5}, {-85, 85, 5}, 0, true, 1e-8L};
// Albers: the three-term series (3-18) leaves terms of order e^8 (measured
// 1.48e-8): 3e-8.
const Walk kAlbersNorth{8, testing::AlbersForward, {-10, 80, 5}, {-60, 60, 10}, 0, true, 3e-8L};
const Walk kAlbersSouth{8, testing::AlbersForward, {-80, 10, 5}, {-60, 60, 10}, 0, true, 3e-8L};
// Goode: closed form with 13-digit constants; near the poles the Mollweide
// arcsine magnifies them (measured 1.28e-8 at 88.5): 5e-8. The grid stays
// 1.5 degrees off the interruptions and the poles.
const Walk kGoode{9,    testing::GoodeForward, {-88.5L, 88.5L, 3}, {-178.5L, 178.5L, 3}, 0, false,
                  5e-8L};

struct RoundTrip {
  const char* name;
  const Walk* walk;
  testing::Parameters origin;  // phi0, lam0, phi1, phi2
};

void PrintTo(const RoundTrip& row, std::ostream* os) {
  *os << row.name;
}

KovaHeader HeaderOf(const RoundTrip& row) {
  return MakeHeader(row.walk->type, row.origin.phi0, row.origin.lam0, row.origin.phi1,
                    row.origin.phi2);
}

const RoundTrip kRoundTrips[] = {
    {"LatLonNorth", &kLatLon, {60, -20}},
    {"LatLonSouth", &kLatLon, {-33.5L, 151.25L}},
    {"Hammer", &kHammer, {0, 0}},
    {"HammerEast", &kHammer, {0, 20}},
    {"HammerWest", &kHammer, {0, -135.5L}},
    {"HammerInside", &kHammerInside, {0, 0}},
    {"HammerEastInside", &kHammerInside, {0, 20}},
    {"HammerWestInside", &kHammerInside, {0, -135.5L}},
    {"LccUs", &kLccNorth, {23, -96, 33, 45}},
    {"LccSouth", &kLccSouth, {-20, 25, -10, -40}},
    {"LccPolar", &kLccNorth, {60, 0, 55, 75}},
    {"View", &kView, {0, 0}},
    {"ViewWest", &kView, {0, -75}},
    {"ViewEast", &kView, {0, 140.7L}},
    {"Lamaz", &kLamaz, {45, 10}},
    {"LamazEquator", &kLamaz, {0, 0}},
    {"LamazSouth", &kLamaz, {-30, -60}},
    {"LamazFarEast", &kLamaz, {70, 170}},
    {"AlbersUs", &kAlbersNorth, {23, -96, 29.5L, 45.5L}},
    {"AlbersSouth", &kAlbersSouth, {-23, 20, -29.5L, -45.5L}},
    {"AlbersWide", &kAlbersNorth, {0, 100, 5, 70}},
    {"Goode", &kGoode, {0, 0}},
};

class RoundTripTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, InverseUndoesForward) {
  const RoundTrip& row = GetParam();
  const Walk& walk = *row.walk;
  const KovaHeader header = HeaderOf(row);
  const long double lam0 = DecodeReal48(header.OriginLongitude);
  long double worst = 0.0L;
  int checked = 0;
  auto check = [&](long double lat, long double dlon) {
    const long double lon = lam0 + dlon;
    const testing::MapPoint p = walk.forward(header, lat, lon);
    const LatLon r = testing::ThroughDispatch(header, p.x, p.y);
    const long double lon_error = walk.fold ? testing::LonDiff(r.lon, lon) : r.lon - lon;
    const long double err = std::fmax(std::fabs(r.lat - lat), std::fabs(lon_error));
    worst = std::fmax(worst, err);
    ++checked;
    EXPECT_LE(err, walk.tolerance) << lat << ", " << lon;
  };
  if (!walk.points.empty()) {
    for (const auto& [lat, dlon] : walk.points) check(lat, dlon);
  } else {
    ASSERT_GT(walk.lat.step, 0);
    ASSERT_GT(walk.dlon.step, 0);
    for (long double lat = walk.lat.from; lat <= walk.lat.to; lat += walk.lat.step) {
      for (long double dlon = walk.dlon.from; dlon <= walk.dlon.to; dlon += walk.dlon.step) {
        if (walk.within > 0 && std::hypot(lat, dlon) > walk.within) continue;
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
    if (candidate.walk->type == projection.code && row == nullptr) row = &candidate;
  }
  if (row == nullptr) {
    ADD_FAILURE() << projection.template_name << " has no round trip";
    return {};
  }
  const KovaHeader header = HeaderOf(*row);
  const testing::MapPoint p = row->walk->forward(header, row->origin.phi0 + 5.0L,
                                                 DecodeReal48(header.OriginLongitude) + 5.0L);
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
