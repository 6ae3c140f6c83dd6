// Hammer equal-area projection of the whole sphere, normalised to the unit
// disc (type 2). Forward equations as in Snyder & Voxland, "An Album of Map
// Projections" (USGS PP 1453), Hammer projection:
//   x = 2 sqrt2 R cos phi sin(lam/2) / sqrt(1 + cos phi cos(lam/2))
//   y =   sqrt2 R sin phi            / sqrt(1 + cos phi cos(lam/2))
// here divided by 2 sqrt2 R and sqrt2 R, with the northing of the origin
// latitude taken off y. The inverse solves the forward equations with a
// two-dimensional secant (quasi-Newton) iteration working in degrees.
#include <cmath>

#include "projection/helpers.h"
#include "projection/projectn.h"

namespace kova {
namespace {

constexpr long double kStartLatitude = -30.0L;
constexpr long double kStartLongitude = 36.5L;
constexpr long double kResidualTolerance = 1e-12L;  // on |ex| + |ey|
constexpr long double kSmallestDeterminant = 1e-11L;
constexpr int kMaxSteps = 100;

}  // namespace

void hammer_forward(long double& x, long double& y, const KovaHeader& header, long double latitude,
                    long double longitude) {
  const long double phi0 = DecodeReal48(header.OriginLatitude);
  const long double lam0 = DecodeReal48(header.OriginLongitude);
  const long double p = deg_to_rad(latitude);
  const long double p0 = deg_to_rad(phi0);
  // Half the longitude difference, taken in degrees and not wrapped.
  const long double h = deg_to_rad(longitude - lam0) * 0.5L;
  const long double c = std::cos(p);
  const long double d = checked_sqrt(std::cos(h) * c + 1.0L);
  x = checked_div(std::sin(h) * c, d);
  y = checked_div(std::sin(p), d) - checked_div(std::sin(p0), checked_sqrt(std::cos(p0) + 1.0L));
}

// The current latitude and longitude live in the two outputs, so every
// iterate is rounded to a 6-byte real as it is stored. Each column of the
// Jacobian is estimated from the last step taken in that coordinate alone;
// the first step measures against the point (0, 0). The loop ends on
// convergence, on a near-singular estimate or after 100 steps, and these
// ends are not told apart.
void hammer_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header, long double x,
                    long double y) {
  latitude = EncodeReal48(kStartLatitude);
  longitude = EncodeReal48(kStartLongitude);
  long double prev_lat = 0.0L;
  long double prev_lon = 0.0L;

  long double xc;
  long double yc;
  hammer_forward(xc, yc, header, DecodeReal48(latitude), DecodeReal48(longitude));
  long double ex = x - xc;
  long double ey = y - yc;

  int step = 0;
  while (std::fabs(ex) + std::fabs(ey) > kResidualTolerance) {
    if (++step > kMaxSteps) break;
    const long double lat = DecodeReal48(latitude);
    const long double lon = DecodeReal48(longitude);

    long double xa;
    long double ya;
    long double xb;
    long double yb;
    hammer_forward(xa, ya, header, prev_lat, lon);
    hammer_forward(xb, yb, header, lat, prev_lon);
    const long double dxa = xc - xa;
    const long double dya = yc - ya;
    const long double dxb = xc - xb;
    const long double dyb = yc - yb;

    const long double det = dxa * dyb - dxb * dya;
    if (std::fabs(det) < kSmallestDeterminant) break;
    const long double new_lat = lat + (lat - prev_lat) * (dyb * ex - dxb * ey) / det;
    const long double new_lon = lon + (lon - prev_lon) * (dxa * ey - dya * ex) / det;

    prev_lat = lat;
    prev_lon = lon;
    latitude = EncodeReal48(new_lat);
    longitude = EncodeReal48(new_lon);

    hammer_forward(xc, yc, header, DecodeReal48(latitude), DecodeReal48(longitude));
    ex = x - xc;
    ey = y - yc;
  }
}

}  // namespace kova
