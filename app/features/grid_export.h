// A Kova image back to a Tarvo ASCII grid: the grid's size, lower-left corner
// and cell size from the image's size and georeference (the inverse of how
// a conversion places a grid), each valid pixel as its decoded value in the
// fewest digits that read back to the same 4-byte float, every other pixel
// as the no-data text.
#pragma once

#include <string>

#include "app/features/image_raster.h"

namespace kova {

inline constexpr const char* kDefaultExportNoData = "-9999";

// Lower-left corner and cell size of the grid an image was made from, as
// the 4-byte floats a grid file carries.
struct GridPlacement {
  float left = 0.0f;
  float bottom = 0.0f;
  float cell = 0.0f;
};

// Lower-left corner and pixel sizes of the grid an image was made from, in
// its map units, at extended precision: the inverse of how a conversion
// places a grid.
struct MapPlacement {
  long double left = 0.0L;
  long double bottom = 0.0L;
  long double width = 0.0L;
  long double height = 0.0L;
};

// Raises a KovaError naming the image when a pixel size is not positive.
MapPlacement MapPlacementOf(const ImageRaster& image);

// Raises a KovaError naming the image when its pixels are not square or
// their size is not positive, and the floating-point overflow error when a
// number does not fit a 4-byte float.
GridPlacement GridPlacementOf(const ImageRaster& image);

// The shortest decimal text that reads back to exactly `value`.
std::string ShortestText(float value);

// The whole text of the grid file. `no_data_text` marks pixels without a
// value; a KovaError is raised when it is also the text of a value of the
// image, since that value would come back as no data.
std::string ExportGridText(const ImageRaster& image,
                           const std::string& no_data_text = kDefaultExportNoData);

}  // namespace kova
