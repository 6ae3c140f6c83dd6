// Lambert conformal conic with two standard parallels on the Clarke 1866
// ellipsoid (type 4), map coordinates in kilometres from the origin.
// Snyder, "Map Projections: A Working Manual", ch. 15: inverse by (15-11)
// for rho and t, (14-11) for theta, (14-9) for lambda and the iteration
// (7-9) for phi.
#include <cmath>

#include "projection/helpers.h"
#include "projection/projectn.h"

namespace kova {
namespace {

constexpr long double kLatitudeTolerance = 1e-5L;  // radians, between iterates
constexpr int kMaxIterations = 15;

}  // namespace

void conformal_conic_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header,
                             long double x, long double y) {
  constexpr long double e = kClarke1866Eccentricity;
  long double n;
  long double F;
  long double rho0;
  lcc_constants(n, F, rho0, DecodeReal48(header.OriginLatitude), DecodeReal48(header.StdParallel1),
                DecodeReal48(header.StdParallel2), e);
  const long double lam0 = deg_to_rad(DecodeReal48(header.OriginLongitude));

  // (15-11): rho takes the sign of n, which cancels the sign of F for a
  // southern cone.
  const long double s = sign_of(n);
  const long double rho = s * checked_sqrt(square(x) + square(rho0 - y));
  const long double t = power(checked_div(rho, kClarke1866AxisKm * F), checked_div(1.0L, n));

  // (14-11), the one-argument arctangent: right within 90/|n| degrees of the
  // central meridian. Level with the apex (y = rho0) the division faults.
  const long double theta = std::atan(checked_div(x, rho0 - y));
  longitude = EncodeReal48(rad_to_deg(wrap_lon(lam0 + checked_div(theta, n))));

  // (7-9), started from the spherical value.
  long double phi = kHalfPiTenDecimals - 2.0L * std::atan(t);
  for (int i = 0; i < kMaxIterations; ++i) {
    const long double phi_old = phi;
    const long double esinphi = e * std::sin(phi_old);
    phi = kHalfPiTenDecimals -
          2.0L * std::atan(t * power(checked_div(1.0L - esinphi, 1.0L + esinphi), e / 2.0L));
    if (std::fabs(phi_old - phi) < kLatitudeTolerance) break;
  }
  latitude = EncodeReal48(rad_to_deg(phi));
}

}  // namespace kova
