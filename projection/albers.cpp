// Albers equal-area conic with two standard parallels on the Clarke 1866
// ellipsoid (type 8), map coordinates in metres from the origin.
// Snyder, "Map Projections: A Working Manual", ch. 14: m (14-15), q (3-12),
// n (14-14), C (14-13), rho0 (14-12a), inverse rho (14-10), q (14-19),
// theta (14-11), lambda (14-9); the authalic latitude beta = arcsin(q / qp)
// (3-11) is turned into geodetic latitude by the three-term series (3-18).
#include <cmath>

#include "projection/helpers.h"
#include "projection/projectn.h"

namespace kova {
namespace {

constexpr long double kParallelTolerance = 1e-7L;  // smallest usable |q2 - q1|
constexpr long double kConeTolerance = 1e-6L;      // smallest usable |n|

// (14-15)
long double albers_m(long double e2, long double phi) {
  return checked_div(std::cos(phi), checked_sqrt(1.0L - e2 * sin_square(phi)));
}

// (3-12)
long double albers_q(long double e, long double e2, long double phi) {
  const long double sinphi = std::sin(phi);
  const long double esinphi = e * sinphi;
  return (1.0L - e2) *
         (checked_div(sinphi, 1.0L - e2 * sin_square(phi)) -
          checked_ln(checked_div(1.0L - esinphi, 1.0L + esinphi)) * checked_div(1.0L, 2.0L * e));
}

}  // namespace

void albers_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header, long double x,
                    long double y) {
  constexpr long double a = kClarke1866AxisMetres;
  constexpr long double e = kClarke1866Eccentricity;
  const long double phi0 = deg_to_rad(DecodeReal48(header.OriginLatitude));
  const long double phi1 = deg_to_rad(DecodeReal48(header.StdParallel1));
  const long double phi2 = deg_to_rad(DecodeReal48(header.StdParallel2));
  const long double lam0 = deg_to_rad(DecodeReal48(header.OriginLongitude));
  const long double e2 = e * e;

  const long double m1 = albers_m(e2, phi1);
  const long double m2 = albers_m(e2, phi2);
  const long double q0 = albers_q(e, e2, phi0);
  const long double q1 = albers_q(e, e2, phi1);
  const long double q2 = albers_q(e, e2, phi2);

  // A degenerate cone (equal parallels, or parallels symmetric about the
  // equator) answers the header's origin for every point.
  if (std::fabs(q2 - q1) < kParallelTolerance) {
    latitude = header.OriginLatitude;
    longitude = header.OriginLongitude;
    return;
  }
  const long double n = (square(m1) - square(m2)) / (q2 - q1);
  if (std::fabs(n) < kConeTolerance) {
    latitude = header.OriginLatitude;
    longitude = header.OriginLongitude;
    return;
  }
  const long double C = square(m1) + n * q1;
  const long double rho0 = a * checked_sqrt(C - n * q0) / n;

  // rho is taken non-negative whatever the sign of n.
  const long double rho = checked_sqrt(square(x) + square(rho0 - y));
  const long double q = (C - square(rho) * square(n) / square(a)) / n;

  // Authalic latitude; the divisor is q at the pole, about 1.9954814.
  const long double qp =
      1.0L - checked_ln(checked_div(1.0L - e, 1.0L + e)) * ((1.0L - e2) / (2.0L * e));
  const long double beta = arcsine(q / qp);

  // (3-18), each coefficient term formed as power * numerator / denominator.
  const long double e_2 = power(e, 2.0L);
  const long double e_4 = power(e, 4.0L);
  const long double e_6 = power(e, 6.0L);
  const long double A2 = e_2 * 1.0L / 3.0L + e_4 * 31.0L / 180.0L + e_6 * 517.0L / 5040.0L;
  const long double A4 = e_4 * 23.0L / 360.0L + e_6 * 251.0L / 3780.0L;
  const long double A6 = e_6 * 761.0L / 45360.0L;
  const long double phi =
      beta + A2 * std::sin(2.0L * beta) + A4 * std::sin(4.0L * beta) + A6 * std::sin(6.0L * beta);

  // One-argument arctangent: right while |lambda - lambda0| |n| < 90 degrees.
  const long double theta = std::atan(checked_div(x, rho0 - y));
  const long double lam = lam0 + theta / n;  // not folded

  latitude = EncodeReal48(rad_to_deg(phi));
  longitude = EncodeReal48(rad_to_deg(lam));
}

}  // namespace kova
