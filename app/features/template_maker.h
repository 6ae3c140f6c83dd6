// Template images for every projection the image component can geolocate
// (the table of projection/projections.h):
// the header a conversion starts from, with the fields the projection reads
// (origin, standard parallels), image type 200 and a title that says what it
// is. Parameters that would keep the pixels of a typical image from being
// placed on the globe are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/platform/base/errors.h"
#include "image/format.h"
#include "projection/projections.h"

namespace kova {

struct TemplateParameters {
  std::string projection;
  std::optional<double> origin_latitude;   // degrees; 0 when not given
  std::optional<double> origin_longitude;  // degrees; 0 when not given
  std::optional<double> parallel1;         // degrees; conic projections only
  std::optional<double> parallel2;
};

// Parameters that cannot make a template: an unknown projection, a field
// the projection does not read, a missing or impossible parallel, angles out
// of range, or a georeference under which a typical image cannot be placed.
class TemplateError : public KovaError {
 public:
  using KovaError::KovaError;
};

// The header of the template; raises TemplateError.
KovaHeader MakeTemplateHeader(const TemplateParameters& parameters);

// "Tarvo2Kova template: " and the projection's description and map units.
std::string TemplateTitle(const Projection& projection);

}  // namespace kova
