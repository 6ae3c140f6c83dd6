// The projections that have an inverse, one row each: everything the rest of
// the tool needs to know about a projection code (its names, map units, the
// header fields it reads, how a conversion places a grid in it, its inverse)
// is read from this table, so that a new projection is one more row.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "projection/projectn.h"

namespace kova {

// The projection codes of the Kova format that have an inverse.
enum ProjectionCode : std::uint8_t {
  kHammerProjection = 2,
  kGeographicProjection = 3,
  kConformalConicProjection = 4,
  kGeostationaryProjection = 5,
  kLambertAzimuthalProjection = 6,
  kAlbersProjection = 8,
  kGoodeProjection = 9,
};

// The figure of the Earth an inverse works on.
enum class EarthFigure {
  kNone,        // the unit disc, degrees of latitude and longitude
  kView,        // the geostationary view's own ellipsoid
  kClarke1866,  // the Clarke 1866 ellipsoid
  kSphere,      // the sphere of radius kSphereRadiusMetres
};

using InverseProjection = void (*)(Real48& latitude, Real48& longitude, const KovaHeader& header,
                                   long double x, long double y);

struct Projection {
  std::uint8_t code;            // ProjectionType
  const char* template_name;    // the name `kova template` takes
  const char* name;             // what `kova info` and the GeoTIFF reader call it
  const char* description;      // the projection in a template's title
  const char* map_units;        // the unit of map x and y, and of the pixel sizes
  long double metres_per_unit;  // the map unit in metres; 0: not a length
  EarthFigure figure;
  bool origin_latitude;   // reads OriginLatitude
  bool origin_longitude;  // reads OriginLongitude
  bool parallels;         // reads StdParallel1 and StdParallel2
  // `kova template` takes an origin latitude. The geostationary view adds
  // OriginLatitude to its latitudes, but its satellite stands over the
  // equator, so a template of it keeps 0.
  bool template_origin_latitude;
  // A conversion keeps the template's OriginLatitude and OriginLongitude,
  // the projection's own origin, and places the grid by its map units
  // through OriginColumn and OriginRow; otherwise (a latitude/longitude grid)
  // the origin becomes the grid's centre.
  bool keeps_origin;
  // The inverse may decline a point (beyond the Lambert azimuthal sphere)
  // and leave its outputs unwritten.
  bool may_decline;
  // A GeoTIFF input's coordinate transformation can name this projection
  // (the reader maps the transformation codes; the template check lists
  // these names when an input's projection has no counterpart).
  bool from_geotiff;
  long double typical_pixel;  // map units per pixel of a typical image
  InverseProjection inverse;
};

inline constexpr std::array<Projection, 7> kProjections{{
    {.code = kHammerProjection,
     .template_name = "hammer",
     .name = "Hammer equal-area",
     .description = "Hammer equal-area",
     .map_units = "unit-disc units",
     .metres_per_unit = 0.0L,
     .figure = EarthFigure::kNone,
     .origin_latitude = true,
     .origin_longitude = true,
     .parallels = false,
     .template_origin_latitude = true,
     .keeps_origin = true,
     .may_decline = false,
     .from_geotiff = false,
     .typical_pixel = 0.001L,
     .inverse = hammer_inverse},
    {.code = kGeographicProjection,
     .template_name = "latlon",
     .name = "latitude/longitude grid",
     .description = "latitude/longitude",
     .map_units = "degrees",
     .metres_per_unit = 0.0L,
     .figure = EarthFigure::kNone,
     .origin_latitude = true,
     .origin_longitude = true,
     .parallels = false,
     .template_origin_latitude = true,
     .keeps_origin = false,
     .may_decline = false,
     .from_geotiff = false,
     .typical_pixel = 0.1L,
     .inverse = geographic_inverse},
    {.code = kConformalConicProjection,
     .template_name = "lambert-conic",
     .name = "Lambert conformal conic",
     .description = "Lambert conformal conic (Clarke 1866)",
     .map_units = "kilometres",
     .metres_per_unit = 1000.0L,
     .figure = EarthFigure::kClarke1866,
     .origin_latitude = true,
     .origin_longitude = true,
     .parallels = true,
     .template_origin_latitude = true,
     .keeps_origin = true,
     .may_decline = false,
     .from_geotiff = true,
     .typical_pixel = 10.0L,
     .inverse = conformal_conic_inverse},
    {.code = kGeostationaryProjection,
     .template_name = "geostationary",
     .name = "geostationary satellite view",
     .description = "geostationary view",
     .map_units = "degrees of scan angle",
     .metres_per_unit = 0.0L,
     .figure = EarthFigure::kView,
     .origin_latitude = true,
     .origin_longitude = true,
     .parallels = false,
     .template_origin_latitude = false,
     .keeps_origin = true,
     .may_decline = false,
     .from_geotiff = false,
     .typical_pixel = 0.01L,
     .inverse = geostationary_inverse},
    {.code = kLambertAzimuthalProjection,
     .template_name = "lambert-azimuthal",
     .name = "Lambert azimuthal equal-area",
     .description = "Lambert azimuthal equal-area (sphere)",
     .map_units = "metres",
     .metres_per_unit = 1.0L,
     .figure = EarthFigure::kSphere,
     .origin_latitude = true,
     .origin_longitude = true,
     .parallels = false,
     .template_origin_latitude = true,
     .keeps_origin = true,
     .may_decline = true,
     .from_geotiff = true,
     .typical_pixel = 10000.0L,
     .inverse = lamaz_inverse},
    {.code = kAlbersProjection,
     .template_name = "albers",
     .name = "Albers equal-area conic",
     .description = "Albers equal-area conic (Clarke 1866)",
     .map_units = "metres",
     .metres_per_unit = 1.0L,
     .figure = EarthFigure::kClarke1866,
     .origin_latitude = true,
     .origin_longitude = true,
     .parallels = true,
     .template_origin_latitude = true,
     .keeps_origin = true,
     .may_decline = false,
     .from_geotiff = true,
     .typical_pixel = 10000.0L,
     .inverse = albers_inverse},
    {.code = kGoodeProjection,
     .template_name = "goode",
     .name = "interrupted Goode homolosine",
     .description = "Goode homolosine (interrupted, sphere)",
     .map_units = "metres",
     .metres_per_unit = 1.0L,
     .figure = EarthFigure::kSphere,
     .origin_latitude = false,
     .origin_longitude = false,
     .parallels = false,
     .template_origin_latitude = false,
     .keeps_origin = true,
     .may_decline = false,
     .from_geotiff = false,
     .typical_pixel = 10000.0L,
     .inverse = goode_inverse},
}};

// The row of a projection code; nullptr for the codes without an inverse
// (0, 1, 7, 10 and above).
constexpr const Projection* FindProjection(std::uint8_t code) noexcept {
  for (const Projection& projection : kProjections) {
    if (projection.code == code) return &projection;
  }
  return nullptr;
}

// The row of a `kova template` name; nullptr for an unknown name.
constexpr const Projection* FindProjectionByTemplateName(std::string_view name) noexcept {
  for (const Projection& projection : kProjections) {
    if (name == projection.template_name) return &projection;
  }
  return nullptr;
}

// Whether a conversion into an image of this projection code keeps the
// template's origin (every projection but the latitude/longitude grid; see
// Projection::keeps_origin). False for the codes without an inverse.
constexpr bool KeepsProjectionOrigin(std::uint8_t code) noexcept {
  const Projection* projection = FindProjection(code);
  return projection != nullptr && projection->keeps_origin;
}

}  // namespace kova
