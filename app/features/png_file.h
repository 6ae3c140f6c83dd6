// PNG coding of RGBA pixels (8 bits per channel) through libspng.
#pragma once

#include <string>
#include <string_view>

#include "app/features/preview.h"

namespace kova {

// The PNG file bytes of the image. A coding failure raises a KovaError.
std::string EncodePng(const RgbaImage& image);

// The pixels of PNG file bytes, as 8-bit RGBA. Raises a KovaError for bytes
// that are not a PNG image.
RgbaImage DecodePng(std::string_view bytes);

}  // namespace kova
