// projectn: turns a pixel position of a georeferenced Kova image into
// latitude and longitude through the inverse of the header's projection.
#pragma once

#include "image/format.h"
#include "image/real48.h"

namespace kova {

// Latitude and longitude of a point that an inverse cannot place: outside
// the lobes of the Goode homolosine, or beyond the Lambert azimuthal sphere.
inline constexpr long double kNoDataCoordinate = -9999.0L;

// Latitude and longitude in degrees, as 6-byte reals, of the pixel position
// (row, column) of an image with this header. Projection codes without an
// inverse (0, 1, 7, 10 and above) give 0, 0; a point that the Lambert
// azimuthal inverse declines gives kNoDataCoordinate in both.
void pixel_to_lat_lon(Real48& latitude, Real48& longitude, KovaHeader header, const Real48& row,
                      const Real48& column);

// The inverse projections, all of one shape: outputs first (latitude, then
// longitude, 6-byte reals in degrees), then the header and the map position.
void hammer_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header, long double x,
                    long double y);
void geographic_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header,
                        long double x, long double y);
void conformal_conic_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header,
                             long double x, long double y);
void geostationary_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header,
                           long double x, long double y);
void lamaz_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header, long double x,
                   long double y);
void albers_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header, long double x,
                    long double y);
void goode_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header, long double x,
                   long double y);

// Forward Hammer projection (degrees in, unit-disc coordinates out), the
// equations that hammer_inverse solves.
void hammer_forward(long double& x, long double& y, const KovaHeader& header, long double latitude,
                    long double longitude);

}  // namespace kova
