// View of the Earth from a geostationary satellite (type 5). Map
// coordinates are the satellite's east-west and north-south scan angles in
// the projection's own degrees (factor 0.0174532). The line of sight is
// intersected with the ellipsoid of equatorial radius 6378.155 km and polar
// radius 6356.7518 km, seen from 42164 km from the Earth's centre; the
// parametric latitude of the intersection is turned into geodetic latitude
// with the relation between parametric (reduced) and geodetic latitude,
// tan phi = (a / b) tan beta.
#include <cmath>

#include "projection/helpers.h"
#include "projection/projectn.h"

namespace kova {
namespace {

// The projection's own constants, used exactly as written.
constexpr long double kScanDegToRad = 0.0174532L;
constexpr long double kRadToDeg = 57.296083L;
constexpr long double kSatelliteDistance = 42164.0L;      // km from the Earth's centre
constexpr long double kEquatorialRadius = 6378.155L;      // km
constexpr long double kPolarRadius = 6356.7518L;          // km
constexpr long double kDistanceRatioSquared = 43.70121L;  // (42164 / 6378.155)^2
constexpr long double kAxisRatio = 1.003367L;             // equatorial / polar
constexpr long double kAxisRatioExcess = 0.003367L;       // kAxisRatio - 1

}  // namespace

void geostationary_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header,
                           long double x, long double y) {
  const long double ax = -x * kScanDegToRad;
  const long double ay = y * kScanDegToRad;
  const long double tx = tangent(ax);
  const long double ty = tangent(ay);

  // Distance sn, along the satellite-to-centre axis, of the nearer
  // intersection of the line of sight with the ellipsoid. Off the disc the
  // discriminant goes negative; its magnitude keeps the computation going.
  const long double q = (square(tx) + 1.0L) * (square(1.0L + kAxisRatioExcess) * square(ty) + 1.0L);
  const long double sn = checked_div(
      kSatelliteDistance -
          kEquatorialRadius *
              checked_sqrt(std::fabs(kDistanceRatioSquared - (kDistanceRatioSquared - 1.0L) * q)),
      q);

  // Earth-centred coordinates of that point: s1 toward the satellite, s2
  // east, s3 north.
  const long double s1 = kSatelliteDistance - sn;
  const long double s2 = -(sn * tx);
  const long double s3 = checked_div(sn * ty, std::cos(ax));

  const long double lat = kRadToDeg * std::atan(kAxisRatio * tangent(arcsine(s3 / kPolarRadius)));
  const long double lon = kRadToDeg * std::atan(checked_div(s2, s1));

  // Relative to the sub-satellite point, stored, then moved to it.
  latitude = EncodeReal48(lat);
  longitude = EncodeReal48(lon);
  latitude = EncodeReal48(DecodeReal48(latitude) + DecodeReal48(header.OriginLatitude));
  longitude = EncodeReal48(DecodeReal48(longitude) + DecodeReal48(header.OriginLongitude));
}

}  // namespace kova
