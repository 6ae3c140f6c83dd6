// PNG coding in a build made without libspng: every use says so.
#include "app/features/png_file.h"
#include "app/platform/errors.h"

namespace kova {

std::string EncodePng(const RgbaImage&) {
  throw KovaError("This build of kova cannot write PNG images (made without libspng)");
}

RgbaImage DecodePng(std::string_view) {
  throw KovaError("This build of kova cannot read PNG images (made without libspng)");
}

}  // namespace kova
