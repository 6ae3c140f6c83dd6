// Whether the template image can carry a grid in the coordinates its input
// file states: a latitude/longitude grid needs a latitude/longitude template,
// a projected grid a template of the same projection with the same
// parameters. A Tarvo grid states nothing and goes with any template.
#pragma once

#include <optional>
#include <string>

#include "app/grid_data.h"
#include "app/inputs/input_source.h"
#include "image/format.h"

namespace kova::inputs {

// Raises ConversionError with the reason when `template_header` (read from
// `template_path`; `template_named`: given with --template rather than the
// one beside the program) does not fit a grid of `coordinates` and
// `projection`.
void CheckTemplateProjection(GridCoordinates coordinates,
                             const std::optional<InputProjection>& projection,
                             const KovaHeader& template_header, const std::string& template_path,
                             bool template_named);

}  // namespace kova::inputs
