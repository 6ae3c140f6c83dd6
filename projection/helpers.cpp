// Projection math helpers. Equation numbers refer to J. P. Snyder, "Map
// Projections: A Working Manual", USGS Professional Paper 1395 (1987); the
// Goode tables follow J. P. Goode's 1925 interrupted homolosine layout as
// given in Snyder & Voxland, "An Album of Map Projections" (USGS PP 1453).
#include "projection/helpers.h"

#include <cmath>

#include "app/platform/base/errors.h"

namespace kova {

long double checked_div(long double a, long double b) {
  if (b == 0.0L) {
    if (a == 0.0L || std::isnan(a)) throw FloatInvalidOperationError();
    throw FloatDivideByZeroError();
  }
  const long double quotient = a / b;
  if (std::isinf(quotient)) throw FloatOverflowError();
  return quotient;
}

long double checked_sqrt(long double x) {
  if (x < 0.0L || std::isnan(x)) throw FloatInvalidOperationError();
  return std::sqrt(x);
}

long double checked_ln(long double x) {
  if (x < 0.0L || std::isnan(x)) throw FloatInvalidOperationError();
  if (x == 0.0L) throw FloatDivideByZeroError();
  return std::log(x);
}

long double checked_exp(long double x) {
  const long double result = std::exp(x);
  if (std::isinf(result)) throw FloatOverflowError();
  return result;
}

long double deg_to_rad(long double x) {
  return x * kDegToRad;
}

long double rad_to_deg(long double x) {
  return x / kDegToRad;
}

long double tangent(long double x) {
  return checked_div(std::sin(x), std::cos(x));
}

// arcsin x = arctan(x / sqrt(1 - x^2)), valid on the open interval (-1, 1).
long double arcsine(long double x) {
  return std::atan(checked_div(x, checked_sqrt(1.0L - x * x)));
}

int sign_of(long double x) {
  return x >= 0.0L ? 1 : -1;
}

long double wrap_lon(long double x) {
  if (std::fabs(x) > kPiTenDecimals) return x - sign_of(x) * kTwoPiTenDecimals;
  return x;
}

long double power(long double base, long double exponent) {
  if (base <= 0.0L) return 0.0L;
  return checked_exp(exponent * std::log(base));
}

long double square(long double x) {
  return x * x;
}

long double sin_square(long double x) {
  const long double s = std::sin(x);
  return s * s;
}

// Snyder (14-15).
long double conic_m(long double e, long double phi) {
  return checked_div(std::cos(phi), checked_sqrt(1.0L - square(e) * square(std::sin(phi))));
}

// Snyder (15-9), with pi/4 formed as 3.1415926536 / 4.
long double conic_t(long double e, long double phi) {
  const long double esinphi = e * std::sin(phi);
  return checked_div(tangent(kPiTenDecimals / 4.0L - phi / 2.0L),
                     power(checked_div(1.0L - esinphi, 1.0L + esinphi), e / 2.0L));
}

// Snyder (15-8) n = (ln m1 - ln m2) / (ln t1 - ln t2), (15-10)
// F = m1 / (n t1^n), (15-7a) rho0 = a F t0^n.
void lcc_constants(long double& n, long double& F, long double& rho0, long double phi0,
                   long double phi1, long double phi2, long double e) {
  const long double p0 = deg_to_rad(phi0);
  const long double p1 = deg_to_rad(phi1);
  const long double p2 = deg_to_rad(phi2);
  const long double t0 = conic_t(e, p0);
  const long double t1 = conic_t(e, p1);
  const long double t2 = conic_t(e, p2);
  const long double m1 = conic_m(e, p1);
  const long double m2 = conic_m(e, p2);
  n = checked_div(checked_ln(m1) - checked_ln(m2), checked_ln(t1) - checked_ln(t2));
  F = checked_div(m1, n * power(t1, n));
  rho0 = kClarke1866AxisKm * F * power(t0, n);
}

// Central meridians of the six lobes: -100 and 30 degrees in the north;
// -160, -60, 20 and 140 degrees in the south.
long double goode_lobe_meridian(std::uint8_t region) {
  switch (region) {
    case 0:
    case 1:
      return -1.74532925199L;
    case 2:
    case 3:
      return 0.523598775598L;
    case 4:
    case 6:
      return -2.79252680319L;
    case 5:
    case 7:
      return -1.0471975512L;
    case 8:
    case 10:
      return 0.349065850399L;
    case 9:
    case 11:
      return 2.44346095279L;
    default:
      return 0.0L;
  }
}

// Bands from the north down: the merge latitude 40 deg 44' 11.8" north, the
// equator, the merge latitude south. Within a band the interruptions from
// the west eastward: -40 degrees in the north; -100, -20 and 80 degrees in
// the south. A point on a band limit belongs to the band to its north, a
// point on an interruption to the region to its west.
std::uint8_t goode_region(long double north, long double east) {
  if (north >= kGoodeMergeLatitude) return east <= kGoodeNorthCut ? 0 : 2;
  if (north >= 0.0L) return east <= kGoodeNorthCut ? 1 : 3;
  if (north >= -kGoodeMergeLatitude) {
    if (east <= kGoodeSouthCutWest) return 4;
    if (east <= kGoodeSouthCutMiddle) return 5;
    if (east <= kGoodeSouthCutEast) return 8;
    return 9;
  }
  if (east <= kGoodeSouthCutWest) return 6;
  if (east <= kGoodeSouthCutMiddle) return 7;
  if (east <= kGoodeSouthCutEast) return 10;
  return 11;
}

}  // namespace kova
