#include "app/features/geotiff_export.h"

#include <array>
#include <cmath>
#include <cstdio>  // std::snprintf of the citation numbers

#include "app/features/grid_export.h"
#include "app/grid_data.h"  // RoundToFloat
#include "app/platform/base/errors.h"
#include "image/real48.h"
#include "projection/helpers.h"
#include "projection/projections.h"

namespace kova {
namespace {

using inputs::GeoTiffSystem;

// The projections a GeoTIFF can state.
struct SystemOf {
  std::uint8_t projection_type;
  GeoTiffSystem system;
};

constexpr std::array<SystemOf, 4> kSystems{{
    {kGeographicProjection, GeoTiffSystem::kGeographic},
    {kConformalConicProjection, GeoTiffSystem::kLambertConformalConic},
    {kLambertAzimuthalProjection, GeoTiffSystem::kLambertAzimuthalEqualArea},
    {kAlbersProjection, GeoTiffSystem::kAlbersEqualArea},
}};

std::string DescriptionOf(std::uint8_t projection_type) {
  const Projection* projection = FindProjection(projection_type);
  if (projection != nullptr) return projection->description;
  return "projection " + std::to_string(projection_type);
}

// 1 / f of the ellipsoid with eccentricity e: f = 1 - sqrt(1 - e^2), e^2
// formed as e * e as the inverses form it.
long double InverseFlattening(long double e) {
  return 1.0L / (1.0L - std::sqrt(1.0L - e * e));
}

std::string Text(long double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.10Lg", value);
  return buffer;
}

}  // namespace

inputs::GeoTiffImage GeoTiffOf(const ImageRaster& image, const GeoTiffContent& content) {
  const KovaHeader& h = image.header;
  const SystemOf* system = nullptr;
  for (const SystemOf& candidate : kSystems) {
    if (candidate.projection_type == h.ProjectionType) system = &candidate;
  }
  if (system == nullptr) {
    throw KovaError("The image " + image.file_name + " is in the " +
                    DescriptionOf(h.ProjectionType) +
                    " projection, which has no GeoTIFF projection code; it can be exported as a "
                    "Tarvo grid (.asc) only");
  }

  inputs::GeoTiffImage tiff;
  tiff.Columns = static_cast<std::uint32_t>(image.columns());
  tiff.Rows = static_cast<std::uint32_t>(image.rows());
  tiff.Description = std::string(h.Title.begin(), h.Title.end());
  tiff.Description.erase(tiff.Description.find_last_not_of(' ') + 1);
  tiff.System = system->system;

  // The grid's edges as the 4-byte floats it had, in the file's units.
  const MapPlacement placement = MapPlacementOf(image);
  // The image's map unit in the file's: metres, or degrees as they are.
  const Projection& projection = *FindProjection(h.ProjectionType);
  const long double unit = projection.metres_per_unit > 0.0L ? projection.metres_per_unit : 1.0L;
  const long double width = RoundToFloat(placement.width, image.file_name);
  const long double height = RoundToFloat(placement.height, image.file_name);
  const long double left = RoundToFloat(placement.left, image.file_name);
  const long double bottom = RoundToFloat(placement.bottom, image.file_name);
  tiff.Left = static_cast<double>(left * unit);
  tiff.Top = static_cast<double>((bottom + height * h.Rows) * unit);
  tiff.PixelWidth = static_cast<double>(width * unit);
  tiff.PixelHeight = static_cast<double>(height * unit);

  if (system->system == GeoTiffSystem::kGeographic) {
    tiff.Citation = "WGS 84";
  } else {
    tiff.Citation = DescriptionOf(h.ProjectionType);
    tiff.OriginLatitude = static_cast<double>(DecodeReal48(h.OriginLatitude));
    tiff.OriginLongitude = static_cast<double>(DecodeReal48(h.OriginLongitude));
    if (system->system != GeoTiffSystem::kLambertAzimuthalEqualArea) {
      tiff.StdParallel1 = static_cast<double>(DecodeReal48(h.StdParallel1));
      tiff.StdParallel2 = static_cast<double>(DecodeReal48(h.StdParallel2));
    }
    if (projection.figure == EarthFigure::kSphere) {
      tiff.SemiMajorAxis = static_cast<double>(kSphereRadiusMetres);
      tiff.EarthCitation = "sphere of radius " + Text(kSphereRadiusMetres) + " m";
    } else {
      tiff.SemiMajorAxis = static_cast<double>(kClarke1866AxisMetres);
      tiff.InverseFlattening = static_cast<double>(InverseFlattening(kClarke1866Eccentricity));
      tiff.EarthCitation = "Clarke 1866 (a " + Text(kClarke1866AxisMetres) + " m, e " +
                           Text(kClarke1866Eccentricity) + ")";
    }
  }

  if (content.codes) {
    tiff.Codes = image.codes;
    tiff.NoData = std::to_string(h.NoDataCode);
    return tiff;
  }
  // The value of every code, NaN for codes without one.
  std::array<float, 256> values{};
  for (int code = 0; code < 256; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    values[code] = image.IsValue(c) ? RoundToFloat(image.Value(c), image.file_name) : NAN;
  }
  std::array<bool, 256> present{};
  for (const std::uint8_t code : image.codes) present[code] = true;
  for (int code = 0; code < 256; ++code) {
    if (present[code] && values[code] == content.no_data) {
      throw KovaError("The no-data value " + ShortestText(content.no_data) +
                      " is also a value of the image " + image.file_name);
    }
  }
  tiff.NoData = ShortestText(content.no_data);
  tiff.Values.resize(image.codes.size());
  for (std::size_t i = 0; i < image.codes.size(); ++i) {
    const float value = values[image.codes[i]];
    tiff.Values[i] = std::isnan(value) ? content.no_data : value;
  }
  return tiff;
}

}  // namespace kova
