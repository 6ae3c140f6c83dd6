// A GeoTIFF to be written, as the GeoTIFF writer of the reader module takes
// it: plain data, so that `kova` describes the file without libtiff and
// libgeotiff, which live only in the module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::inputs {

// The map units of the raster: degrees of WGS 84, or metres of a projection
// defined in the file itself (GeoTIFF's "user-defined" projected system).
enum class GeoTiffSystem {
  kGeographic,
  kLambertConformalConic,  // two standard parallels
  kAlbersEqualArea,
  kLambertAzimuthalEqualArea,
};

struct GeoTiffImage {
  std::uint32_t Columns = 0;
  std::uint32_t Rows = 0;
  // One band, the top row first: 4-byte floats (Values), or 8-bit codes
  // (Codes) when Values is empty.
  std::vector<float> Values;
  std::vector<std::uint8_t> Codes;
  std::string NoData;       // the text of the no-data tag (42113); empty: none
  std::string Description;  // ImageDescription

  // The outer corner of the upper-left pixel and the pixel sizes, in the
  // map units of System.
  double Left = 0.0;
  double Top = 0.0;
  double PixelWidth = 0.0;
  double PixelHeight = 0.0;

  GeoTiffSystem System = GeoTiffSystem::kGeographic;
  std::string Citation;  // what the projection is, in words
  // A projected system: origin and standard parallels in degrees, and the
  // figure of the Earth in metres (InverseFlattening 0: a sphere of radius
  // SemiMajorAxis). No false easting or northing.
  double OriginLatitude = 0.0;
  double OriginLongitude = 0.0;
  double StdParallel1 = 0.0;
  double StdParallel2 = 0.0;
  double SemiMajorAxis = 0.0;
  double InverseFlattening = 0.0;
  std::string EarthCitation;  // what the figure of the Earth is, in words
};

// Writes `image` as a deflate-compressed, striped GeoTIFF at `path` (a
// temporary file of a SafeOutput: the caller moves it into place). Raises
// FileError-like KovaErrors with libtiff's reason when the file cannot be
// written whole.
void WriteGeoTiffFile(const std::string& path, const GeoTiffImage& image);

// WriteGeoTiffFile that raises nothing, for a caller in another module:
// false, with the error's message and context, when the file could not be
// written.
bool WriteGeoTiffCaught(const std::string& path, const GeoTiffImage& image, std::string& message,
                        std::string& context) noexcept;

}  // namespace kova::inputs
