// Lambert azimuthal equal-area projection of the sphere R = 6370997 m
// (type 6), map coordinates in metres from the projection centre.
// Snyder, "Map Projections: A Working Manual", ch. 24: (20-18) for rho,
// (24-16) for the angular distance c, (20-14) for phi; the longitude is
// tan(lam - lam0) = x sin c cos phi0 / (rho (cos c - sin phi0 sin phi)),
// a form of (20-15) through cos c = sin phi0 sin phi + cos phi0 cos phi cos(lam - lam0).
#include <cmath>

#include "host/diagnostics.h"
#include "projection/helpers.h"
#include "projection/projectn.h"

namespace kova {
namespace {

constexpr long double kBoundingDiameter = kSphereRadiusMetres * 2.0L;  // 12741994 m
constexpr long double kCentreTolerance = 1e-10L;                       // metres
constexpr long double kDomainLimit = 1.0L;

}  // namespace

// The results go into the outputs as soon as they are known and later steps
// read them back, so the longitude is computed from the latitude as a
// 6-byte real, and the final conversion to degrees works on the stored
// radians. A point beyond the projected sphere is reported as a core
// diagnostic line (standard output in the window) and leaves both outputs
// untouched.
void lamaz_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header, long double x,
                   long double y) {
  const long double phi0 = deg_to_rad(DecodeReal48(header.OriginLatitude));
  const long double lam0 = deg_to_rad(DecodeReal48(header.OriginLongitude));
  const long double sinphi0 = std::sin(phi0);
  const long double cosphi0 = std::cos(phi0);

  const long double rho = checked_sqrt(x * x + y * y);
  const long double t = rho / kBoundingDiameter;
  if (t > kDomainLimit) {
    WriteCoreDiagnostic("Error in lamaz_inverse\r\n");
    return;
  }
  const long double z = 2.0L * arcsine(t);  // angular distance from the centre
  const long double sinz = std::sin(z);
  const long double cosz = std::cos(z);

  longitude = EncodeReal48(lam0);
  if (std::fabs(rho) <= kCentreTolerance) {
    latitude = EncodeReal48(phi0);
  } else {
    latitude = EncodeReal48(arcsine(sinphi0 * cosz + checked_div(cosphi0 * sinz * y, rho)));
    const long double d = cosz - sinphi0 * std::sin(DecodeReal48(latitude));
    // One-argument arctangents: no quadrant correction from the signs.
    if (d != 0.0L) {
      longitude =
          EncodeReal48(wrap_lon(lam0 + std::atan(checked_div(x * sinz * cosphi0, d * rho))));
    } else {
      // Polar aspects, where the meridians are straight lines through the
      // centre; the same form serves a negative phi0.
      longitude = EncodeReal48(wrap_lon(lam0 + std::atan(checked_div(x, -y))));
    }
  }
  latitude = EncodeReal48(rad_to_deg(DecodeReal48(latitude)));
  longitude = EncodeReal48(rad_to_deg(DecodeReal48(longitude)));
}

}  // namespace kova
