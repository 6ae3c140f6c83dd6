// The template shipped beside the programs: the Kova image whose header every
// converted grid starts from. A latitude/longitude image (projection 3) of
// image type 200, one pixel of no data, georeferenced at 0/0 with one-degree
// pixels; a conversion replaces size, origin, pixel size and scaling.
#pragma once

#include <string>

#include "image/format.h"

namespace kova {

inline constexpr const char* kTemplateTitle = "Tarvo2Kova template: lat/lon grid, image type 200";

KovaHeader TemplateHeader();

// Writes the template image: its header and the one no-data pixel. Raises
// the FileError of a failed write.
void WriteTemplateImage(const std::string& path, const KovaHeader& header = TemplateHeader());

}  // namespace kova
