#include "app/inputs/template_check.h"

#include <cmath>
#include <cstdio>  // std::snprintf of angles

#include "app/platform/base/errors.h"
#include "image/real48.h"
#include "projection/projections.h"

namespace kova::inputs {
namespace {

// Parameters closer than this (degrees) are the same; a 6-byte real holds
// an angle to about 1e-10 degrees.
constexpr long double kAngleTolerance = 1e-7L;

std::string Degrees(long double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10Lg", value);
  return text;
}

void CheckAngle(const char* what, long double template_value, long double input_value,
                const std::string& template_path) {
  if (std::fabs(template_value - input_value) <= kAngleTolerance) return;
  throw ConversionError("The template " + template_path + " has " + what + " " +
                        Degrees(template_value) + ", the input's projection " +
                        Degrees(input_value));
}

// The projections a GeoTIFF input can name, for the message of one that
// has no counterpart: "Lambert conformal conic, ...".
std::string GeoTiffProjectionNames() {
  std::string names;
  for (const Projection& projection : kProjections) {
    if (!projection.from_geotiff) continue;
    if (!names.empty()) names += ", ";
    names += projection.name;
  }
  return names;
}

}  // namespace

void CheckTemplateProjection(GridCoordinates coordinates,
                             const std::optional<InputProjection>& projection,
                             const KovaHeader& template_header, const std::string& template_path,
                             bool template_named) {
  const int template_type = template_header.ProjectionType;
  if (coordinates == GridCoordinates::kUnstated) return;
  if (coordinates == GridCoordinates::kGeographic) {
    if (template_type == kGeographicProjection) return;
    throw ConversionError("The input has latitude/longitude coordinates, but the template " +
                          template_path + " is not a latitude/longitude image (projection " +
                          std::to_string(template_type) + ")");
  }

  const std::string name = projection ? projection->Name : "unknown projection";
  if (!projection || projection->KovaType == 0) {
    throw ConversionError("The input's projection (" + name + ") has no Kova counterpart (" +
                          GeoTiffProjectionNames() + ")");
  }
  if (template_type == kGeographicProjection) {
    throw ConversionError(template_named
                              ? "The input has projected coordinates (" + name +
                                    "), but the template " + template_path +
                                    " is a latitude/longitude image; give --template with a Kova "
                                    "image of that projection"
                              : "The input has projected coordinates (" + name +
                                    "); give --template with a Kova image of that projection");
  }
  if (template_type != projection->KovaType) {
    throw ConversionError("The template " + template_path + " has projection " +
                          std::to_string(template_type) + ", the input " + name + " (projection " +
                          std::to_string(projection->KovaType) + ")");
  }
  CheckAngle("origin latitude", DecodeReal48(template_header.OriginLatitude),
             projection->OriginLatitude, template_path);
  CheckAngle("origin longitude", DecodeReal48(template_header.OriginLongitude),
             projection->OriginLongitude, template_path);
  const Projection* kind = FindProjection(projection->KovaType);
  if (kind != nullptr && kind->parallels) {
    CheckAngle("first standard parallel", DecodeReal48(template_header.StdParallel1),
               projection->StdParallel1, template_path);
    CheckAngle("second standard parallel", DecodeReal48(template_header.StdParallel2),
               projection->StdParallel2, template_path);
  }
}

}  // namespace kova::inputs
