// Plain latitude/longitude grid (type 3): map coordinates are degrees from
// the origin, so the inverse only adds the origin. No wrap, no clamp.
#include "projection/projectn.h"

namespace kova {

void geographic_inverse(Real48& latitude, Real48& longitude, const KovaHeader& header,
                        long double x, long double y) {
  latitude = EncodeReal48(y + DecodeReal48(header.OriginLatitude));
  longitude = EncodeReal48(x + DecodeReal48(header.OriginLongitude));
}

}  // namespace kova
