// Numeric helpers shared by the inverse projections: angle conversion, a
// tangent and an arcsine built from sine, cosine and arctangent, a one-step
// longitude wrap, a guarded power, the conformal-conic factors and the region
// tables of the interrupted Goode homolosine.
//
// The angular constants are this unit's own limited-precision literals, used
// exactly as written (not full-precision values), so that results agree with
// images made by earlier releases of the tool.
//
// Floating-point faults are not masked: where an argument leaves a helper's
// domain the arithmetic faults and the matching error is raised
// (FloatDivideByZeroError, FloatInvalidOperationError, FloatOverflowError).
#pragma once

#include <cstdint>

namespace kova {

inline constexpr long double kDegToRad = 0.01745329251994L;
// pi, 2 pi and pi / 2 to ten decimals, as the projection formulas use them.
inline constexpr long double kPiTenDecimals = 3.1415926536L;
inline constexpr long double kTwoPiTenDecimals = 6.2831853072L;
inline constexpr long double kHalfPiTenDecimals = 1.5707963268L;

// Semi-major axis of the Clarke 1866 ellipsoid in kilometres; lcc_constants
// scales its origin radius by it.
inline constexpr long double kClarke1866AxisKm = 6378.2064L;

// The figures of the Earth the inverses work on: the Clarke 1866 ellipsoid
// (conformal conic and Albers; its axis in metres, and the eccentricity as
// both use it) and the sphere of the Lambert azimuthal and Goode inverses.
inline constexpr long double kClarke1866AxisMetres = 6378206.4L;
inline constexpr long double kClarke1866Eccentricity = 0.08227185L;
inline constexpr long double kSphereRadiusMetres = 6370997.0L;

// --- Checked arithmetic at the points where the arithmetic can fault -------

// a / b. A zero divisor raises FloatDivideByZeroError, or
// FloatInvalidOperationError for 0 / 0; a quotient beyond the extended range
// raises FloatOverflowError.
long double checked_div(long double a, long double b);

// Square root; a negative argument raises FloatInvalidOperationError.
long double checked_sqrt(long double x);

// Natural logarithm; ln 0 raises FloatDivideByZeroError, the logarithm of a
// negative number FloatInvalidOperationError.
long double checked_ln(long double x);

// e^x; a result beyond the extended range raises FloatOverflowError.
long double checked_exp(long double x);

// --- Helpers ----------------------------------------------------------------

// Degrees to radians: x * 0.01745329251994.
long double deg_to_rad(long double x);

// Radians to degrees: x / 0.01745329251994 (a division by the same factor).
long double rad_to_deg(long double x);

// sin x / cos x.
long double tangent(long double x);

// arctan(x / sqrt(1 - x*x)), for -1 < x < 1. At |x| = 1 the division faults
// (FloatDivideByZeroError); beyond, the square root (FloatInvalidOperationError).
long double arcsine(long double x);

// +1 for x >= 0 (either zero), -1 for x < 0.
int sign_of(long double x);

// One fold of a longitude in radians: x when |x| <= 3.1415926536, otherwise
// x - sign_of(x) * 6.2831853072. Inputs beyond 3 pi stay outside [-pi, pi].
long double wrap_lon(long double x);

// e^(exponent * ln base) for base > 0; 0 for base <= 0 whatever the exponent.
long double power(long double base, long double exponent);

long double square(long double x);
long double sin_square(long double x);

// Snyder (14-15): m = cos phi / sqrt(1 - e^2 sin^2 phi).
long double conic_m(long double e, long double phi);

// Snyder (15-9): t = tan(pi/4 - phi/2) / ((1 - e sin phi) / (1 + e sin phi))^(e/2).
long double conic_t(long double e, long double phi);

// Cone constant n, scale constant F and origin radius rho0 (kilometres, on
// the Clarke 1866 axis) of a Lambert conformal conic projection with origin
// latitude phi0 and standard parallels phi1, phi2, all in degrees; Snyder
// (15-8), (15-10), (15-7a). Equal parallels raise FloatInvalidOperationError
// (0 / 0 in n).
void lcc_constants(long double& n, long double& F, long double& rho0, long double phi0,
                   long double phi1, long double phi2, long double e);

// The interrupted Goode homolosine: the latitude where its sinusoidal and
// Mollweide parts meet (40 deg 44' 11.8"), and its interruptions, in radians:
// -40 degrees in the north; -100, -20 and 80 degrees in the south.
inline constexpr long double kGoodeMergeLatitude = 0.710987989993L;
inline constexpr long double kGoodeNorthCut = -0.698131700798L;
inline constexpr long double kGoodeSouthCutWest = -1.74532925199L;
inline constexpr long double kGoodeSouthCutMiddle = -0.349065850399L;
inline constexpr long double kGoodeSouthCutEast = 1.3962634016L;

// Central meridian, in radians, of a region of the interrupted Goode
// homolosine (0 for region numbers above 11).
long double goode_lobe_meridian(std::uint8_t region);

// Region 0 to 11 of the interrupted Goode homolosine holding a point, given
// either latitude and longitude in radians or map northing and easting
// divided by the sphere radius.
std::uint8_t goode_region(long double north, long double east);

}  // namespace kova
