// Pixel position to latitude and longitude: the header's linear
// georeference gives map coordinates, the projection code picks the inverse.
#include "projection/projectn.h"

namespace kova {

void pixel_to_lat_lon(Real48& latitude, Real48& longitude, KovaHeader header, const Real48& row,
                      const Real48& column) {
  // Map x grows to the right, map y upward; no half-pixel shift.
  const long double x =
      (DecodeReal48(column) - DecodeReal48(header.OriginColumn)) * DecodeReal48(header.PixelWidth);
  const long double y =
      (-DecodeReal48(row) + DecodeReal48(header.OriginRow)) * DecodeReal48(header.PixelHeight);

  switch (header.ProjectionType) {
    case 2:
      hammer_inverse(latitude, longitude, header, x, y);
      break;
    case 3:
      geographic_inverse(latitude, longitude, header, x, y);
      break;
    case 4:
      conformal_conic_inverse(latitude, longitude, header, x, y);
      break;
    case 5:
      geostationary_inverse(latitude, longitude, header, x, y);
      break;
    case 6:
      // lamaz_inverse leaves its outputs unwritten for a point beyond the
      // sphere; the caller then gets the no-data coordinate, not whatever
      // its variables held.
      latitude = EncodeReal48(kNoDataCoordinate);
      longitude = EncodeReal48(kNoDataCoordinate);
      lamaz_inverse(latitude, longitude, header, x, y);
      break;
    case 8:
      albers_inverse(latitude, longitude, header, x, y);
      break;
    case 9:
      goode_inverse(latitude, longitude, header, x, y);
      break;
    default:  // 0, 1, 7 and 10 to 255 have no inverse
      latitude = Real48{};
      longitude = Real48{};
      break;
  }
}

}  // namespace kova
