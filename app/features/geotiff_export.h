// A Kova image as a GeoTIFF: the decoded values as 4-byte floats (or the
// 8-bit codes), placed as the conversion placed the grid, so that converting
// the GeoTIFF again gives the image's codes, size and georeference. The
// file itself is written by the GeoTIFF writer of the reader module.
#pragma once

#include <string>

#include "app/features/image_raster.h"
#include "app/inputs/geotiff_image.h"

namespace kova {

// What is written for the pixels: decoded values, no-data pixels as
// `no_data`; or the codes themselves, the NoDataCode as no data.
struct GeoTiffContent {
  bool codes = false;
  float no_data = -9999.0f;
};

// The GeoTIFF of `image`. Latitude/longitude images are WGS 84 degrees;
// Lambert conformal conic, Albers and Lambert azimuthal images a projected
// system defined in the file, in metres, on the ellipsoid or sphere the
// projection's inverse uses. Raises a KovaError naming the image for a
// projection without a GeoTIFF counterpart (Hammer, geostationary, Goode)
// or none at all, for a pixel size that is not positive, and when
// `content.no_data` is also a value of the image.
inputs::GeoTiffImage GeoTiffOf(const ImageRaster& image, const GeoTiffContent& content);

}  // namespace kova
