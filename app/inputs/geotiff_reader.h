// GeoTIFF input: one band of any integer or floating sample type, striped or
// tiled, in any compression libtiff reads, georeferenced by ModelPixelScale
// plus ModelTiepoint or by a ModelTransformation without rotation.
#pragma once

#include <tiffio.h>

#include <cstdarg>  // va_list of the message handlers
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

// TIFFOpenExt of a UTF-8 name (on Windows through the wide name).
TIFF* OpenTiff(const std::string& path, const char* mode, TIFFOpenOptions* options);

// libtiff message handlers: the first message of a failure kept in the
// std::string that `user_data` points to, for the error that follows it;
// warnings ignored.
int KeepTiffMessage(TIFF*, void* user_data, const char* module, const char* format,
                    va_list arguments);
int IgnoreTiffWarning(TIFF*, void*, const char*, const char*, va_list);

std::unique_ptr<InputSource> OpenGeoTiff(const std::string& path, const InputOptions& options);

}  // namespace kova::inputs
