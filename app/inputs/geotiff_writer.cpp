// The GeoTIFF writer of `kova export`: one band, striped, deflate, with
// ModelPixelScale and ModelTiepoint for the upper-left corner (PixelIsArea)
// and GeoKeys for WGS 84 latitude/longitude or a projected system defined
// in the file (GeoTIFF 1.0, section 2.5.3.x user-defined systems).
#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <geotiff/xtiffio.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/inputs/geotiff_image.h"
#include "app/inputs/geotiff_reader.h"
#include "app/platform/base/errors.h"

namespace kova::inputs {
namespace {

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct GtifCloser {
  void operator()(GTIF* gtif) const { GTIFFree(gtif); }
};

// Rows of about this many bytes before compression form a strip.
constexpr std::uint32_t kStripBytes = 64 * 1024;

struct ProjectedKeys {
  short coord_transformation;
  geokey_t origin_latitude;
  geokey_t origin_longitude;
  geokey_t false_easting;
  geokey_t false_northing;
  bool has_parallels;
};

ProjectedKeys KeysOf(GeoTiffSystem system) {
  switch (system) {
    case GeoTiffSystem::kLambertConformalConic:
      return {CT_LambertConfConic_2SP,       ProjFalseOriginLatGeoKey,
              ProjFalseOriginLongGeoKey,     ProjFalseOriginEastingGeoKey,
              ProjFalseOriginNorthingGeoKey, true};
    case GeoTiffSystem::kAlbersEqualArea:
      return {CT_AlbersEqualArea,     ProjNatOriginLatGeoKey,  ProjNatOriginLongGeoKey,
              ProjFalseEastingGeoKey, ProjFalseNorthingGeoKey, true};
    case GeoTiffSystem::kLambertAzimuthalEqualArea:
    default:
      return {CT_LambertAzimEqualArea, ProjCenterLatGeoKey,     ProjCenterLongGeoKey,
              ProjFalseEastingGeoKey,  ProjFalseNorthingGeoKey, false};
  }
}

void SetGeoKeys(GTIF* gtif, const GeoTiffImage& image) {
  GTIFKeySet(gtif, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
  if (image.System == GeoTiffSystem::kGeographic) {
    GTIFKeySet(gtif, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeGeographic);
    GTIFKeySet(gtif, GTCitationGeoKey, TYPE_ASCII, 0, image.Citation.c_str());
    GTIFKeySet(gtif, GeographicTypeGeoKey, TYPE_SHORT, 1, GCS_WGS_84);
    GTIFKeySet(gtif, GeogAngularUnitsGeoKey, TYPE_SHORT, 1, Angular_Degree);
    return;
  }
  const ProjectedKeys keys = KeysOf(image.System);
  GTIFKeySet(gtif, GTModelTypeGeoKey, TYPE_SHORT, 1, ModelTypeProjected);
  GTIFKeySet(gtif, GTCitationGeoKey, TYPE_ASCII, 0, image.Citation.c_str());
  // The figure of the Earth, with a datum of its own.
  GTIFKeySet(gtif, GeographicTypeGeoKey, TYPE_SHORT, 1, KvUserDefined);
  GTIFKeySet(gtif, GeogCitationGeoKey, TYPE_ASCII, 0, image.EarthCitation.c_str());
  GTIFKeySet(gtif, GeogGeodeticDatumGeoKey, TYPE_SHORT, 1, KvUserDefined);
  GTIFKeySet(gtif, GeogPrimeMeridianGeoKey, TYPE_SHORT, 1, PM_Greenwich);
  GTIFKeySet(gtif, GeogAngularUnitsGeoKey, TYPE_SHORT, 1, Angular_Degree);
  GTIFKeySet(gtif, GeogEllipsoidGeoKey, TYPE_SHORT, 1, KvUserDefined);
  GTIFKeySet(gtif, GeogSemiMajorAxisGeoKey, TYPE_DOUBLE, 1, image.SemiMajorAxis);
  if (image.InverseFlattening > 0.0) {
    GTIFKeySet(gtif, GeogInvFlatteningGeoKey, TYPE_DOUBLE, 1, image.InverseFlattening);
  } else {
    GTIFKeySet(gtif, GeogSemiMinorAxisGeoKey, TYPE_DOUBLE, 1, image.SemiMajorAxis);
  }
  // The projection.
  GTIFKeySet(gtif, ProjectedCSTypeGeoKey, TYPE_SHORT, 1, KvUserDefined);
  GTIFKeySet(gtif, PCSCitationGeoKey, TYPE_ASCII, 0, image.Citation.c_str());
  GTIFKeySet(gtif, ProjectionGeoKey, TYPE_SHORT, 1, KvUserDefined);
  GTIFKeySet(gtif, ProjCoordTransGeoKey, TYPE_SHORT, 1, keys.coord_transformation);
  GTIFKeySet(gtif, ProjLinearUnitsGeoKey, TYPE_SHORT, 1, Linear_Meter);
  if (keys.has_parallels) {
    GTIFKeySet(gtif, ProjStdParallel1GeoKey, TYPE_DOUBLE, 1, image.StdParallel1);
    GTIFKeySet(gtif, ProjStdParallel2GeoKey, TYPE_DOUBLE, 1, image.StdParallel2);
  }
  GTIFKeySet(gtif, keys.origin_latitude, TYPE_DOUBLE, 1, image.OriginLatitude);
  GTIFKeySet(gtif, keys.origin_longitude, TYPE_DOUBLE, 1, image.OriginLongitude);
  GTIFKeySet(gtif, keys.false_easting, TYPE_DOUBLE, 1, 0.0);
  GTIFKeySet(gtif, keys.false_northing, TYPE_DOUBLE, 1, 0.0);
}

}  // namespace

void WriteGeoTiffFile(const std::string& path, const GeoTiffImage& image) {
  RegisterTiffTags();
  std::string message;
  const auto fail = [&](const std::string& what) {
    KovaError error("The GeoTIFF could not be written (" + what +
                    (message.empty() ? "" : ": " + message) + ")");
    error.AddContext(path);
    throw error;
  };
  const bool floats = !image.Values.empty();
  const std::size_t cells = static_cast<std::size_t>(image.Columns) * image.Rows;
  if (cells == 0 || (floats ? image.Values.size() : image.Codes.size()) != cells) {
    fail("no pixels, or not Columns x Rows of them");
  }

  TIFFOpenOptions* open_options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(open_options, KeepTiffMessage, &message);
  TIFFOpenOptionsSetWarningHandlerExtR(open_options, IgnoreTiffWarning, nullptr);
  // BigTIFF only when a classic file's 4 GB could not hold the raster.
  const bool big = cells * (floats ? 4 : 1) > (std::size_t{3} << 30);
  std::unique_ptr<TIFF, TiffCloser> tif(OpenTiff(path, big ? "w8" : "w", open_options));
  TIFFOpenOptionsFree(open_options);
  if (!tif) fail("open");
  TIFF* t = tif.get();

  const std::uint16_t bits = floats ? 32 : 8;
  const std::uint32_t row_bytes = image.Columns * (bits / 8);
  const std::uint32_t rows_per_strip =
      std::max<std::uint32_t>(1, std::min(image.Rows, kStripBytes / std::max(row_bytes, 1u)));
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, image.Columns);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, image.Rows);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t{1});
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, floats ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(t, TIFFTAG_PREDICTOR, floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
  if (!image.Description.empty()) {
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, image.Description.c_str());
  }
  if (!image.NoData.empty()) TIFFSetField(t, kTiffNoDataTag, image.NoData.c_str());

  double scale[3] = {image.PixelWidth, image.PixelHeight, 0.0};
  double tiepoint[6] = {0.0, 0.0, 0.0, image.Left, image.Top, 0.0};
  TIFFSetField(t, TIFFTAG_GEOPIXELSCALE, 3, scale);
  TIFFSetField(t, TIFFTAG_GEOTIEPOINTS, 6, tiepoint);
  {
    std::unique_ptr<GTIF, GtifCloser> gtif(GTIFNew(t));
    if (!gtif) fail("GeoKeys");
    SetGeoKeys(gtif.get(), image);
    if (GTIFWriteKeys(gtif.get()) == 0) fail("GeoKeys");
  }

  // libtiff compresses in place: each strip goes through a copy.
  std::vector<unsigned char> strip(static_cast<std::size_t>(row_bytes) * rows_per_strip);
  const unsigned char* source =
      floats ? reinterpret_cast<const unsigned char*>(image.Values.data()) : image.Codes.data();
  for (std::uint32_t row = 0, index = 0; row < image.Rows; row += rows_per_strip, ++index) {
    const std::uint32_t rows = std::min(rows_per_strip, image.Rows - row);
    const std::size_t bytes = static_cast<std::size_t>(row_bytes) * rows;
    std::copy(source + static_cast<std::size_t>(row) * row_bytes,
              source + static_cast<std::size_t>(row) * row_bytes + bytes, strip.begin());
    if (TIFFWriteEncodedStrip(t, index, strip.data(), static_cast<tmsize_t>(bytes)) < 0) {
      fail("strip " + std::to_string(index));
    }
  }
  if (TIFFFlush(t) != 1) fail("flush");
}

bool WriteGeoTiffCaught(const std::string& path, const GeoTiffImage& image, std::string& message,
                        std::string& context) noexcept {
  try {
    WriteGeoTiffFile(path, image);
    return true;
  } catch (const KovaError& error) {
    message = error.Message();
    context = error.Context();
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
    message = "The GeoTIFF could not be written";
  }
  return false;
}

}  // namespace kova::inputs
