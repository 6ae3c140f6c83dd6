// GeoTIFF input: one band of any integer or floating sample type, striped or
// tiled, in any compression libtiff reads, georeferenced by ModelPixelScale
// plus ModelTiepoint or by a ModelTransformation without rotation.
#pragma once

#include <memory>
#include <string>

#include "app/inputs/input_source.h"

namespace kova::inputs {

// The tag of the no-data value as text, written by most GIS software.
inline constexpr unsigned kTiffNoDataTag = 42113;

// Makes libtiff know the GeoTIFF tags and the no-data tag, and turns its
// messages into the text of the next error (once per process; for writers
// of such files too).
void RegisterTiffTags();

std::unique_ptr<InputSource> OpenGeoTiff(const std::string& path, const InputOptions& options);

}  // namespace kova::inputs
