#include "projection/projectn.h"

namespace kova {

// Placeholder until the inverse projections land: every position gives 0, 0,
// as for a projection code without an inverse.
void pixel_to_lat_lon(Real48& latitude, Real48& longitude, KovaHeader, const Real48&,
                      const Real48&) {
  latitude = Real48{};
  longitude = Real48{};
}

}  // namespace kova
