// Pixel position to latitude and longitude: the header's linear
// georeference gives map coordinates, the projection code picks the inverse.
#include "projection/projections.h"
#include "projection/projectn.h"

namespace kova {

void pixel_to_lat_lon(Real48& latitude, Real48& longitude, KovaHeader header, const Real48& row,
                      const Real48& column) {
  // Map x grows to the right, map y upward; no half-pixel shift.
  const long double x =
      (DecodeReal48(column) - DecodeReal48(header.OriginColumn)) * DecodeReal48(header.PixelWidth);
  const long double y =
      (-DecodeReal48(row) + DecodeReal48(header.OriginRow)) * DecodeReal48(header.PixelHeight);

  const Projection* projection = FindProjection(header.ProjectionType);
  if (projection == nullptr) {  // 0, 1, 7 and 10 to 255 have no inverse
    latitude = Real48{};
    longitude = Real48{};
    return;
  }
  if (projection->may_decline) {
    // An inverse that declines a point leaves its outputs unwritten; the
    // caller then gets the no-data coordinate, not whatever its variables
    // held.
    latitude = EncodeReal48(kNoDataCoordinate);
    longitude = EncodeReal48(kNoDataCoordinate);
  }
  projection->inverse(latitude, longitude, header, x, y);
}

}  // namespace kova
