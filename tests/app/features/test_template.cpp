// Templates for every projection: their headers field by field, the
// parameters they refuse, and grids in the projection's map units converted
// with them, each pixel located against a forward projection computed here
// from Snyder, "Map Projections: A Working Manual" (USGS PP 1395, 1987).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "app/features/template_maker.h"
#include "feature_test_util.h"
#include "image/kova_img.h"
#include "support/conversion.h"

namespace kova {
namespace {

using std::numbers::pi;
using testing::ConvertGrid;
using testing::GridText;
using testing::RawImage;
using testing::ReadRawImage;
using testing::TempDir;
using testing::WriteText;

constexpr double kDeg = pi / 180.0;

// --- Headers, field by field, read back from the file's bytes.
struct HeaderCase {
  TemplateParameters parameters;
  int projection_type;
  double origin_latitude, origin_longitude, parallel1, parallel2;
  const char* title;
};

class TemplateHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(TemplateHeaderTest, FieldsTheProjectionNeeds) {
  const HeaderCase& c = GetParam();
  TempDir dir;
  WriteTemplateImage(dir.file("t.img"), MakeTemplateHeader(c.parameters));
  const RawImage raw = ReadRawImage(dir.file("t.img"));
  ASSERT_EQ(raw.bytes.size(), 513u);  // header and one pixel
  EXPECT_EQ(raw.ImageType(), 200);
  EXPECT_EQ(raw.ProjectionType(), c.projection_type);
  EXPECT_EQ(raw.Rows(), 1);
  EXPECT_EQ(raw.Columns(), 1);
  std::string title = c.title;
  title.resize(80, ' ');
  EXPECT_EQ(raw.Title(), title);
  EXPECT_EQ(raw.OriginLatitude(), c.origin_latitude);
  EXPECT_EQ(raw.OriginLongitude(), c.origin_longitude);
  EXPECT_EQ(raw.RealAt(156), c.parallel1);
  EXPECT_EQ(raw.RealAt(162), c.parallel2);
  EXPECT_EQ(raw.U8(168), 0);    // MinCode
  EXPECT_EQ(raw.U8(169), 253);  // MaxCode
  EXPECT_EQ(raw.U8(170), 254);  // NoDataCode
  EXPECT_EQ(raw.ScaleFactor(), 1.0);
  EXPECT_EQ(raw.Pixel(0, 0), 254);

  // Attached like a conversion attaches it: valid, and its one pixel placed
  // at the projection's origin.
  TKovaImg image;
  image.SetFileName(dir.file("t.img"));
  EXPECT_EQ(image.Status(), 1);
  EXPECT_NEAR(image.MinLatitude(), c.origin_latitude, 1e-5);
  EXPECT_NEAR(image.MinLongitude(), c.origin_longitude, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    Projections, TemplateHeaderTest,
    ::testing::Values(
        HeaderCase{{"hammer", {}, 20.0, {}, {}},
                   2,
                   0,
                   20,
                   0,
                   0,
                   "Tarvo2Kova template: Hammer equal-area, grid in unit-disc units"},
        HeaderCase{{"latlon", {}, {}, {}, {}},
                   3,
                   0,
                   0,
                   0,
                   0,
                   "Tarvo2Kova template: latitude/longitude, grid in degrees"},
        HeaderCase{{"lambert-conic", 23.0, -96.0, 33.0, 45.0},
                   4,
                   23,
                   -96,
                   33,
                   45,
                   "Tarvo2Kova template: Lambert conformal conic (Clarke 1866), grid in "
                   "kilometres"},
        HeaderCase{{"geostationary", {}, -75.0, {}, {}},
                   5,
                   0,
                   -75,
                   0,
                   0,
                   "Tarvo2Kova template: geostationary view, grid in degrees of scan angle"},
        HeaderCase{{"lambert-azimuthal", 45.0, 10.0, {}, {}},
                   6,
                   45,
                   10,
                   0,
                   0,
                   "Tarvo2Kova template: Lambert azimuthal equal-area (sphere), grid in metres"},
        HeaderCase{{"albers", -23.0, 20.0, -29.5, -45.5},
                   8,
                   -23,
                   20,
                   -29.5,
                   -45.5,
                   "Tarvo2Kova template: Albers equal-area conic (Clarke 1866), grid in metres"},
        HeaderCase{{"goode", {}, {}, {}, {}},
                   9,
                   0,
                   0,
                   0,
                   0,
                   "Tarvo2Kova template: Goode homolosine (interrupted, sphere), grid in "
                   "metres"}),
    [](const auto& info) {
      std::string name = info.param.parameters.projection;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// --- Parameters that are refused, with the reason.
struct RefusalCase {
  const char* name;
  TemplateParameters parameters;
  const char* message;
};

class TemplateRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TemplateRefusalTest, SaysWhy) {
  const RefusalCase& c = GetParam();
  try {
    MakeTemplateHeader(c.parameters);
    FAIL() << "accepted";
  } catch (const TemplateError& error) {
    EXPECT_EQ(error.Message(), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, TemplateRefusalTest,
    ::testing::Values(
        RefusalCase{"unknown",
                    {"mercator", {}, {}, {}, {}},
                    "Unknown projection mercator (known: hammer, latlon, lambert-conic, "
                    "geostationary, lambert-azimuthal, albers, goode)"},
        RefusalCase{"equal_parallels",
                    {"albers", 23.0, -96.0, 30.0, 30.0},
                    "Standard parallels 30 and 30 are equal; the cone needs two"},
        RefusalCase{"cancelling_parallels",
                    {"lambert-conic", 0.0, 0.0, 30.0, -30.0},
                    "Standard parallels 30 and -30 cancel; the cone would be a cylinder"},
        // Closer than the Albers tolerance on q: every pixel would land on the origin.
        RefusalCase{"nearly_equal_parallels",
                    {"albers", 23.0, -96.0, 30.0, 30.000001},
                    "The albers projection with these parameters cannot place distinct pixels "
                    "apart: every pixel falls on the origin"},
        RefusalCase{"nearly_cancelling",
                    {"albers", 0.0, 0.0, 30.0, -29.9999999},
                    "The albers projection with these parameters cannot place distinct pixels "
                    "apart: every pixel falls on the origin"},
        RefusalCase{"parallel_at_pole",
                    {"lambert-conic", 60.0, 0.0, 45.0, 90.0},
                    "Standard parallel 90 is out of range (between -90 and 90, exclusive)"},
        RefusalCase{"origin_at_pole",
                    {"albers", 90.0, 0.0, 29.5, 45.5},
                    "Origin latitude 90 is out of range (between -90 and 90, exclusive)"},
        RefusalCase{"longitude",
                    {"lambert-azimuthal", 0.0, 181.0, {}, {}},
                    "Origin longitude 181 is out of range (from -180 to 180)"},
        RefusalCase{"not_a_number",
                    {"hammer", std::nan(""), 0.0, {}, {}},
                    "Origin latitude nan is out of range (between -90 and 90, exclusive)"},
        RefusalCase{"missing_parallel",
                    {"lambert-conic", 23.0, -96.0, 33.0, {}},
                    "The lambert-conic projection needs two standard parallels"},
        RefusalCase{"parallels_not_read",
                    {"lambert-azimuthal", 45.0, 10.0, 30.0, 60.0},
                    "The lambert-azimuthal projection has no standard parallels"},
        RefusalCase{"goode_origin",
                    {"goode", 10.0, {}, {}, {}},
                    "The goode projection takes no origin latitude"},
        RefusalCase{"satellite_off_equator",
                    {"geostationary", 5.0, 0.0, {}, {}},
                    "The geostationary projection takes no origin latitude"},
        // The origin of an Albers cone far on the other side of the equator
        // from both parallels lies beyond the cone's pole circle.
        RefusalCase{"origin_beyond_cone",
                    {"albers", -89.0, 0.0, 60.0, 80.0},
                    "The albers projection with these parameters cannot place the pixels of an "
                    "image: Invalid floating point operation"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Forward projections, written out from Snyder's equations.
struct MapPoint {
  double x, y;
};
// A forward projection with the template's parameters (origin, parallels).
using Forward = MapPoint (*)(const TemplateParameters& p, double latitude, double longitude);

double Lat0(const TemplateParameters& p) {
  return p.origin_latitude.value_or(0.0);
}
double Lon0(const TemplateParameters& p) {
  return p.origin_longitude.value_or(0.0);
}

constexpr double kClarkeE = 0.08227185;  // Clarke 1866, as the inverses use it
constexpr double kSphereR = 6370997.0;

double SnyderM(double phi) {  // (14-15)
  return std::cos(phi) / std::sqrt(1 - kClarkeE * kClarkeE * std::sin(phi) * std::sin(phi));
}
double SnyderQ(double phi) {  // (3-12)
  const double e = kClarkeE;
  const double s = std::sin(phi);
  return (1 - e * e) *
         (s / (1 - e * e * s * s) - 1 / (2 * e) * std::log((1 - e * s) / (1 + e * s)));
}
double SnyderT(double phi) {  // (15-9)
  const double s = std::sin(phi);
  return std::tan(pi / 4 - phi / 2) /
         std::pow((1 - kClarkeE * s) / (1 + kClarkeE * s), kClarkeE / 2);
}

// Albers equal-area conic, ellipsoid, metres (14-3 to 14-6, 14-12, 14-14).
MapPoint Albers(const TemplateParameters& p, double lat, double lon) {
  const double lat0 = Lat0(p), lon0 = Lon0(p), p1 = *p.parallel1, p2 = *p.parallel2;
  const double a = 6378206.4;
  const double m1 = SnyderM(p1 * kDeg), m2 = SnyderM(p2 * kDeg);
  const double q1 = SnyderQ(p1 * kDeg), q2 = SnyderQ(p2 * kDeg);
  const double n = (m1 * m1 - m2 * m2) / (q2 - q1);
  const double C = m1 * m1 + n * q1;
  const double rho = a * std::sqrt(C - n * SnyderQ(lat * kDeg)) / n;
  const double rho0 = a * std::sqrt(C - n * SnyderQ(lat0 * kDeg)) / n;
  const double theta = n * (lon - lon0) * kDeg;
  return MapPoint{rho * std::sin(theta), rho0 - rho * std::cos(theta)};
}

// Lambert conformal conic, ellipsoid, kilometres (15-1 to 15-2a, 15-7 to 15-10).
MapPoint LambertConic(const TemplateParameters& p, double lat, double lon) {
  const double lat0 = Lat0(p), lon0 = Lon0(p), p1 = *p.parallel1, p2 = *p.parallel2;
  const double a = 6378.2064;
  const double m1 = SnyderM(p1 * kDeg), m2 = SnyderM(p2 * kDeg);
  const double t1 = SnyderT(p1 * kDeg), t2 = SnyderT(p2 * kDeg);
  const double n = (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2));
  const double F = m1 / (n * std::pow(t1, n));
  const double rho = a * F * std::pow(SnyderT(lat * kDeg), n);
  const double rho0 = a * F * std::pow(SnyderT(lat0 * kDeg), n);
  const double theta = n * (lon - lon0) * kDeg;
  return MapPoint{rho * std::sin(theta), rho0 - rho * std::cos(theta)};
}

// Lambert azimuthal equal-area, sphere, metres (24-2 to 24-4).
MapPoint LambertAzimuthal(const TemplateParameters& p, double lat, double lon) {
  const double phi = lat * kDeg, phi1 = Lat0(p) * kDeg, dl = (lon - Lon0(p)) * kDeg;
  const double k = std::sqrt(
      2 / (1 + std::sin(phi1) * std::sin(phi) + std::cos(phi1) * std::cos(phi) * std::cos(dl)));
  return MapPoint{
      kSphereR * k * std::cos(phi) * std::sin(dl),
      kSphereR * k *
          (std::cos(phi1) * std::sin(phi) - std::sin(phi1) * std::cos(phi) * std::cos(dl))};
}

// Hammer, normalised to the unit disc (30-1, 30-2 divided by 2 sqrt 2 R and
// sqrt 2 R), the origin's own northing taken off.
MapPoint Hammer(const TemplateParameters& p, double lat, double lon) {
  const double lat0 = Lat0(p), lon0 = Lon0(p);
  const auto northing = [](double phi, double half_dl) {
    return std::sin(phi) / std::sqrt(1 + std::cos(phi) * std::cos(half_dl));
  };
  const double phi = lat * kDeg, h = (lon - lon0) * kDeg / 2;
  return MapPoint{std::cos(phi) * std::sin(h) / std::sqrt(1 + std::cos(phi) * std::cos(h)),
                  northing(phi, h) - northing(lat0 * kDeg, 0)};
}

// Interrupted Goode homolosine, sphere, metres: each lobe sinusoidal
// (x = R (lam - lamc) cos phi, y = R phi) up to 40 deg 44' 11.8", Mollweide
// (31-1 to 31-4) beyond, shifted to meet it.
MapPoint Goode(const TemplateParameters&, double lat, double lon) {
  double central = 0;
  if (lat >= 0) {
    central = lon <= -40 ? -100 : 30;
  } else {
    central = lon <= -100 ? -160 : lon <= -20 ? -60 : lon <= 80 ? 20 : 140;
  }
  const double phi = lat * kDeg, dl = (lon - central) * kDeg, lc = central * kDeg;
  if (std::fabs(phi) <= 0.710987989993) {
    return MapPoint{kSphereR * (lc + dl * std::cos(phi)), kSphereR * phi};
  }
  double theta2 = phi;  // 2 theta, by Newton on 2t + sin 2t = pi sin phi (31-4)
  for (int i = 0; i < 50; ++i) {
    theta2 -= (theta2 + std::sin(theta2) - pi * std::sin(phi)) / (1 + std::cos(theta2));
  }
  const double theta = theta2 / 2;
  return MapPoint{
      kSphereR * lc + 2 * std::sqrt(2.0) / pi * kSphereR * dl * std::cos(theta),
      std::sqrt(2.0) * kSphereR * std::sin(theta) - std::copysign(0.0528035274542 * kSphereR, phi)};
}

// Geostationary view in degrees of scan angle of the format (0.0174532 per
// degree): the ellipsoid point seen from 42164 km over the equator.
MapPoint Geostationary(const TemplateParameters& p, double lat, double lon) {
  const double lon0 = Lon0(p);
  const double a = 6378.155, b = 6356.7518, h = 42164, k = 0.0174532;
  const double beta = std::atan(b / a * std::tan(lat * kDeg));  // parametric latitude
  const double dl = (lon - lon0) * kDeg;
  const double p1 = a * std::cos(beta) * std::cos(dl);
  const double p2 = a * std::cos(beta) * std::sin(dl);
  const double p3 = b * std::sin(beta);
  const double ax = std::atan(p2 / (h - p1));
  return MapPoint{ax / k, std::atan(p3 * std::cos(ax) / (h - p1)) / k};
}

MapPoint LatLon(const TemplateParameters&, double lat, double lon) {
  return MapPoint{lon, lat};
}

// Template parameters as plain values (a table row).
struct ParameterRow {
  const char* projection;
  std::optional<double> origin_latitude, origin_longitude, parallel1, parallel2;
  TemplateParameters Get() const {
    return {projection, origin_latitude, origin_longitude, parallel1, parallel2};
  }
};

struct LocateCase {
  const char* name;
  ParameterRow parameters;
  Forward forward;
  float cell;                                     // grid cell in map units
  std::vector<std::pair<double, double>> points;  // latitude, longitude
  double tolerance;                               // degrees
};

class ProjectedConversionTest : public ::testing::TestWithParam<LocateCase> {};

TEST_P(ProjectedConversionTest, PixelsLieWhereTheForwardProjectionPutsThem) {
  const LocateCase& c = GetParam();
  TempDir dir;
  const TemplateParameters parameters = c.parameters.Get();
  WriteTemplateImage(dir.file("t.img"), MakeTemplateHeader(parameters));

  // A grid around the points with three cells to spare on every side.
  std::vector<MapPoint> map;
  for (const auto& [lat, lon] : c.points) map.push_back(c.forward(parameters, lat, lon));
  double min_x = map[0].x, max_x = map[0].x, min_y = map[0].y, max_y = map[0].y;
  for (const MapPoint& p : map) {
    min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
    min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
  }
  const float left = static_cast<float>((std::floor(min_x / c.cell) - 3) * c.cell);
  const float bottom = static_cast<float>((std::floor(min_y / c.cell) - 3) * c.cell);
  const int columns = static_cast<int>(std::ceil((max_x - left) / c.cell)) + 3;
  const int rows = static_cast<int>(std::ceil((max_y - bottom) / c.cell)) + 3;
  ASSERT_LE(columns, 800);
  ASSERT_LE(rows, 300);
  std::vector<double> values(static_cast<std::size_t>(columns) * rows);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i % 97);
  WriteText(dir.file("g.asc"), GridText(columns, rows, left, bottom, c.cell, values));
  ConvertGrid(dir.file("t.img"), dir.file("g.asc"), dir.file("g.img"));

  TKovaImg image;
  image.SetFileName(dir.file("g.img"));
  ASSERT_EQ(image.Status(), 1);
  for (std::size_t i = 0; i < map.size(); ++i) {
    // Pixel position (column, row) lies at x = left + (column + 1) x cell,
    // y = bottom + (rows - 1 - row) x cell.
    const double column = (map[i].x - left) / c.cell - 1;
    const double row = rows - 1 - (map[i].y - bottom) / c.cell;
    double longitude = 0;
    double latitude = 0;
    image.PixelToLatLon(longitude, latitude, column, row);
    EXPECT_NEAR(latitude, c.points[i].first, c.tolerance) << "point " << i;
    EXPECT_NEAR(std::remainder(longitude - c.points[i].second, 360.0), 0.0, c.tolerance)
        << "point " << i << ": longitude " << longitude;
  }
}

INSTANTIATE_TEST_SUITE_P(Projections, ProjectedConversionTest,
                         ::testing::Values(LocateCase{"hammer",
                                                      {"hammer", {}, 20.0, {}, {}},
                                                      Hammer,
                                                      1.0f / 256,
                                                      {{10, 20}, {45, 60}, {-30, -10}},
                                                      1e-5},
                                           LocateCase{"latlon",
                                                      {"latlon", {}, {}, {}, {}},
                                                      LatLon,
                                                      0.25f,
                                                      {{50.5, 10.25}, {-12, 30}},
                                                      1e-9},
                                           LocateCase{"lambert_conic",
                                                      {"lambert-conic", 23.0, -96.0, 33.0, 45.0},
                                                      LambertConic,
                                                      20.0f,
                                                      {{40, -100}, {35, -90}, {45, -110}},
                                                      1e-5},
                                           LocateCase{"lambert_conic_south",
                                                      {"lambert-conic", -20.0, 25.0, -10.0, -40.0},
                                                      LambertConic,
                                                      20.0f,
                                                      {{-30, 25}, {-15, 40}},
                                                      1e-5},
                                           LocateCase{"geostationary",
                                                      {"geostationary", {}, 0.0, {}, {}},
                                                      Geostationary,
                                                      1.0f / 16,
                                                      {{10, 20}, {-20, -15}, {35, 5}},
                                                      2e-3},
                                           LocateCase{"lambert_azimuthal",
                                                      {"lambert-azimuthal", 45.0, 10.0, {}, {}},
                                                      LambertAzimuthal,
                                                      10000.0f,
                                                      {{46.79, 11.31}, {40, 0}, {50, 20}},
                                                      1e-6},
                                           LocateCase{"albers",
                                                      {"albers", 23.0, -96.0, 29.5, 45.5},
                                                      Albers,
                                                      20000.0f,
                                                      {{27.08, -85.96}, {40, -100}, {30, -110}},
                                                      1e-5},
                                           LocateCase{"albers_south",
                                                      {"albers", -23.0, 20.0, -29.5, -45.5},
                                                      Albers,
                                                      20000.0f,
                                                      {{-27, 30}, {-40, 15}},
                                                      1e-5},
                                           LocateCase{"goode",
                                                      {"goode", {}, {}, {}, {}},
                                                      Goode,
                                                      40000.0f,
                                                      {{8.99, 8.73}, {54.57, -30.92}, {-20, -60}},
                                                      1e-6}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kova
