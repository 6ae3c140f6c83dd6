// Forward projections written from the textbooks (Snyder, "Map Projections:
// A Working Manual", and the viewing geometry of a geostationary satellite)
// with full-precision pi: the independent side of the round trips. Each takes
// its origin and parallels from a header, degrees in, map units out.
#pragma once

#include <cmath>

#include "projection_test_support.h"

namespace kova::testing {

struct MapPoint {
  long double x;
  long double y;
};

using Forward = MapPoint (*)(const KovaHeader& header, long double lat, long double lon);

struct Parameters {
  long double phi0 = 0, lam0 = 0, phi1 = 0, phi2 = 0;  // degrees
};

inline Parameters ParametersOf(const KovaHeader& h) {
  return {DecodeReal48(h.OriginLatitude), DecodeReal48(h.OriginLongitude),
          DecodeReal48(h.StdParallel1), DecodeReal48(h.StdParallel2)};
}

// --- Clarke 1866 conics --------------------------------------------------

inline constexpr long double kClarkeA = 6378206.4L;  // metres
inline constexpr long double kClarkeE = 0.08227185L;
inline constexpr long double kClarkeE2 = kClarkeE * kClarkeE;

inline long double SnyderM(long double phi) {  // (14-15)
  return std::cos(phi) / std::sqrt(1.0L - kClarkeE2 * std::sin(phi) * std::sin(phi));
}
inline long double SnyderT(long double phi) {  // (15-9)
  const long double es = kClarkeE * std::sin(phi);
  return std::tan(kPiFull / 4.0L - phi / 2.0L) /
         std::pow((1.0L - es) / (1.0L + es), kClarkeE / 2.0L);
}
inline long double SnyderQ(long double phi) {  // (3-12)
  const long double s = std::sin(phi);
  return (1.0L - kClarkeE2) *
         (s / (1.0L - kClarkeE2 * s * s) -
          std::log((1.0L - kClarkeE * s) / (1.0L + kClarkeE * s)) / (2.0L * kClarkeE));
}

// Lambert conformal conic, (15-1) to (15-10); kilometres.
inline MapPoint LccForward(const KovaHeader& header, long double lat, long double lon) {
  const Parameters c = ParametersOf(header);
  const long double p1 = Rad(c.phi1);
  const long double p2 = Rad(c.phi2);
  const long double n = (std::log(SnyderM(p1)) - std::log(SnyderM(p2))) /
                        (std::log(SnyderT(p1)) - std::log(SnyderT(p2)));
  const long double F = SnyderM(p1) / (n * std::pow(SnyderT(p1), n));
  const long double a_km = kClarkeA / 1000.0L;
  const long double rho = a_km * F * std::pow(SnyderT(Rad(lat)), n);
  const long double rho0 = a_km * F * std::pow(SnyderT(Rad(c.phi0)), n);
  const long double theta = n * Rad(lon - c.lam0);
  return {rho * std::sin(theta), rho0 - rho * std::cos(theta)};
}

// Albers equal-area conic, (14-1) to (14-6); metres.
inline MapPoint AlbersForward(const KovaHeader& header, long double lat, long double lon) {
  const Parameters c = ParametersOf(header);
  const long double m1 = SnyderM(Rad(c.phi1));
  const long double m2 = SnyderM(Rad(c.phi2));
  const long double q1 = SnyderQ(Rad(c.phi1));
  const long double q2 = SnyderQ(Rad(c.phi2));
  const long double n = (m1 * m1 - m2 * m2) / (q2 - q1);
  const long double C = m1 * m1 + n * q1;
  const long double rho = kClarkeA * std::sqrt(C - n * SnyderQ(Rad(lat))) / n;
  const long double rho0 = kClarkeA * std::sqrt(C - n * SnyderQ(Rad(c.phi0))) / n;
  const long double theta = n * Rad(lon - c.lam0);
  return {rho * std::sin(theta), rho0 - rho * std::cos(theta)};
}

// --- The sphere R = 6370997 m --------------------------------------------

inline constexpr long double kSphereR = 6370997.0L;

// Lambert azimuthal equal-area, (24-2) to (24-4); metres.
inline MapPoint LamazForward(const KovaHeader& header, long double lat, long double lon) {
  const Parameters c = ParametersOf(header);
  const long double p1 = Rad(c.phi0);
  const long double p = Rad(lat);
  const long double dl = Rad(lon - c.lam0);
  const long double k = std::sqrt(
      2.0L / (1.0L + std::sin(p1) * std::sin(p) + std::cos(p1) * std::cos(p) * std::cos(dl)));
  return {kSphereR * k * std::cos(p) * std::sin(dl),
          kSphereR * k * (std::cos(p1) * std::sin(p) - std::sin(p1) * std::cos(p) * std::cos(dl))};
}

// 40 deg 44' 11.8", where the sinusoidal and Mollweide parts of the Goode
// homolosine meet.
inline constexpr long double kGoodeMergeLatitude = 40.0L + 44.0L / 60.0L + 11.8L / 3600.0L;

// Central meridian (degrees) of the Goode lobe holding a point: Goode's 1925
// layout, two lobes in the north (cut at -40), four in the south (cut at
// -100, -20 and 80).
inline long double GoodeLobeMeridian(long double lat, long double lon) {
  if (lat >= 0.0L) return lon <= -40.0L ? -100.0L : 30.0L;
  if (lon <= -100.0L) return -160.0L;
  if (lon <= -20.0L) return -60.0L;
  if (lon <= 80.0L) return 20.0L;
  return 140.0L;
}

// Interrupted Goode homolosine: sinusoidal, (30-1), (30-2); Mollweide,
// (31-1) to (31-3) solved by Newton's method (31-4), moved toward the
// equator by 0.0528035274542 R so that the parts meet at the merge
// latitude; metres. The header is not read.
inline MapPoint GoodeForward(const KovaHeader&, long double lat, long double lon) {
  const long double lamc = GoodeLobeMeridian(lat, lon);
  const long double phi = Rad(lat);
  const long double dl = Rad(lon - lamc);
  if (std::fabs(lat) < kGoodeMergeLatitude) {
    return {kSphereR * Rad(lamc) + kSphereR * dl * std::cos(phi), kSphereR * phi};
  }
  long double theta = phi;
  for (int i = 0; i < 50; ++i) {
    const long double f = 2.0L * theta + std::sin(2.0L * theta) - kPiFull * std::sin(phi);
    const long double df = 2.0L + 2.0L * std::cos(2.0L * theta);
    if (df == 0.0L) break;
    theta -= f / df;
  }
  return {kSphereR * Rad(lamc) + 2.0L * std::sqrt(2.0L) / kPiFull * kSphereR * dl * std::cos(theta),
          std::sqrt(2.0L) * kSphereR * std::sin(theta) -
              std::copysign(0.0528035274542L * kSphereR, lat)};
}

// --- The geostationary view -------------------------------------------------

// Satellite on the equatorial plane at 42164 km from the centre, ellipsoid
// of radii 6378.155 and 6356.7518 km; angles in and out in the projection's
// degree of 0.0174532 rad.
inline constexpr long double kViewH = 42164.0L;
inline constexpr long double kViewA = 6378.155L;
inline constexpr long double kViewB = 6356.7518L;
inline constexpr long double kViewDegree = 0.0174532L;

// Scan angles (east-west x, north-south y) of the point at geodetic
// latitude and longitude from the sub-satellite point at OriginLongitude:
// the point on the ellipsoid in Earth-centred coordinates (X toward the
// satellite, Y east, Z north, with the prime-vertical radius of curvature
// N), then tan x = Y / (H - X) and tan y = Z / sqrt((H - X)^2 + Y^2).
inline MapPoint ViewForward(const KovaHeader& header, long double lat, long double lon) {
  const long double phi = lat * kViewDegree;
  const long double lam = (lon - DecodeReal48(header.OriginLongitude)) * kViewDegree;
  const long double e2 = 1.0L - (kViewB * kViewB) / (kViewA * kViewA);
  const long double N = kViewA / std::sqrt(1.0L - e2 * std::sin(phi) * std::sin(phi));
  const long double X = N * std::cos(phi) * std::cos(lam);
  const long double Y = N * std::cos(phi) * std::sin(lam);
  const long double Z = N * (1.0L - e2) * std::sin(phi);
  return {std::atan(Y / (kViewH - X)) / kViewDegree,
          std::atan(Z / std::hypot(kViewH - X, Y)) / kViewDegree};
}

// --- Hammer and the latitude/longitude grid -------------------------------

// The library's own forward Hammer projection, which its tests check on its
// own against values worked by hand.
inline MapPoint HammerForward(const KovaHeader& header, long double lat, long double lon) {
  MapPoint p{};
  hammer_forward(p.x, p.y, header, lat, lon);
  return p;
}

// Degrees from the origin.
inline MapPoint GeographicForward(const KovaHeader& header, long double lat, long double lon) {
  return {lon - DecodeReal48(header.OriginLongitude), lat - DecodeReal48(header.OriginLatitude)};
}

}  // namespace kova::testing
