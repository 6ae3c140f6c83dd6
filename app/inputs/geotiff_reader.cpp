#include "app/inputs/geotiff_reader.h"

#include <geotiff/geo_normalize.h>
#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <geotiff/xtiffio.h>
#include <tiffio.h>

#include <charconv>  // std::from_chars for the no-data text
#include <cmath>
#include <cstdarg>  // va_list of libtiff's message handler
#include <cstdio>   // std::vsnprintf
#include <cstring>  // std::memcpy of unaligned samples
#include <limits>
#include <mutex>  // std::call_once of the tag registration
#include <new>    // std::bad_alloc of a tile buffer
#include <type_traits>
#include <vector>

#include "app/grid_data.h"  // RoundToFloat
#include "app/inputs/input_common.h"
#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "app/platform/process.h"  // ExceedsMemoryLeft
#include "projection/projections.h"
#ifdef _WIN32
#include <proj.h>  // the context that finds proj.db beside the programs

#include "app/platform/win32/wide.h"  // Widen: libtiff opens wide names there
#endif

namespace kova::inputs {
namespace {

// A strip that unpacks to more bytes than this is read row by row, so that a
// file stored as one large compressed strip needs no buffer of its size.
constexpr std::size_t kLargestStripBuffer = std::size_t{1} << 20;

// --- libtiff set-up -----------------------------------------------------------

TIFFExtendProc previous_tag_extender = nullptr;

void ExtendTiffTags(TIFF* tif) {
  static const TIFFFieldInfo kNoDataField[] = {
      {kTiffNoDataTag, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("NoData")}};
  TIFFMergeFieldInfo(tif, kNoDataField, 1);
  if (previous_tag_extender != nullptr) previous_tag_extender(tif);
}

// libtiff's warnings: unknown tags and alike are no matter, but a tag whose
// data lies beyond the end of the file is only warned of, and left out (the
// GeoKeys of a file cut short); such a warning is kept.
int KeepTiffIoWarning(TIFF*, void* user_data, const char* module, const char* format,
                      va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  auto& kept = *static_cast<std::string*>(user_data);
  if (kept.empty() && std::strstr(text, "IO error") != nullptr) {
    kept = (module != nullptr ? std::string(module) + ": " : std::string()) + text;
  }
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct GtifCloser {
  void operator()(GTIF* gtif) const { GTIFFree(gtif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;
using GtifHandle = std::unique_ptr<GTIF, GtifCloser>;

#ifdef _WIN32
// PROJ's database, which libgeotiff asks for the EPSG codes of a file's
// GeoKeys, ships in the folder proj beside the programs (PROJ's own search
// looks elsewhere, relative to where it was built or installed).
struct ProjCloser {
  void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
};
using ProjHandle = std::unique_ptr<PJ_CONTEXT, ProjCloser>;

ProjHandle ProgramProjContext() {
  ProjHandle context(proj_context_create());
  if (context) {
    const std::string folder = ProgramDirectory() + "proj";  // UTF-8, as PROJ takes it
    const char* const paths[] = {folder.c_str()};
    proj_context_set_search_paths(context.get(), 1, paths);
    proj_log_level(context.get(), PJ_LOG_NONE);
  }
  return context;
}
#endif

[[noreturn]] void Refuse(const std::string& message, const std::string& path) {
  ConversionError error(message);
  error.AddContext(path);
  throw error;
}

// --- georeference -------------------------------------------------------------

// A tag of doubles, or an empty vector when the file does not have it.
std::vector<double> DoublesTag(TIFF* tif, ttag_t tag) {
  const TIFFField* field = TIFFFieldWithTag(tif, tag);
  if (field == nullptr) return {};
  double* data = nullptr;
  std::uint32_t count = 0;
  if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
    if (TIFFGetField(tif, tag, &count, &data) != 1) return {};
  } else {
    std::uint16_t count16 = 0;
    if (TIFFGetField(tif, tag, &count16, &data) != 1) return {};
    count = count16;
  }
  if (data == nullptr) return {};
  return std::vector<double>(data, data + count);
}

// Where raster (0, 0) lies in model space and how far one column and one row
// move: x = x0 + column * dx, y = y0 + row * dy.
struct RasterToModel {
  long double x0 = 0, y0 = 0, dx = 0, dy = 0;
};

RasterToModel ReadRasterToModel(TIFF* tif, const std::string& path) {
  const std::vector<double> scale = DoublesTag(tif, TIFFTAG_GEOPIXELSCALE);
  const std::vector<double> tiepoints = DoublesTag(tif, TIFFTAG_GEOTIEPOINTS);
  const std::vector<double> matrix = DoublesTag(tif, TIFFTAG_GEOTRANSMATRIX);
  RasterToModel map;
  if (matrix.size() >= 16) {
    // Row-major 4 x 4: x = m0 I + m1 J + m3, y = m4 I + m5 J + m7.
    if (matrix[1] != 0.0 || matrix[4] != 0.0) {
      Refuse(
          "The GeoTIFF is rotated or sheared (its ModelTransformation turns rows against "
          "the map axes); only north-up grids convert",
          path);
    }
    map = {matrix[3], matrix[7], matrix[0], matrix[5]};
  } else if (scale.size() >= 2 && tiepoints.size() >= 6) {
    if (tiepoints.size() > 6) {
      Refuse("The GeoTIFF has several tiepoints; only one tiepoint with a pixel scale converts",
             path);
    }
    const long double i = tiepoints[0], j = tiepoints[1];
    map.dx = scale[0];
    map.dy = -static_cast<long double>(scale[1]);
    map.x0 = tiepoints[3] - i * map.dx;
    map.y0 = tiepoints[4] - j * map.dy;
  } else {
    Refuse(
        "The GeoTIFF has no georeference (ModelPixelScale with ModelTiepoint, or "
        "ModelTransformation)",
        path);
  }
  if (!(map.dx > 0) || map.dy == 0 || !std::isfinite(map.x0) || !std::isfinite(map.y0) ||
      !std::isfinite(map.dx) || !std::isfinite(map.dy)) {
    Refuse("The GeoTIFF's pixel size is zero, not finite or runs from east to west", path);
  }
  return map;
}

double ProjParm(const GTIFDefn& defn, std::initializer_list<int> keys) {
  for (int i = 0; i < defn.nParms; ++i) {
    for (int key : keys) {
      if (defn.ProjParmId[i] == key) return defn.ProjParm[i];
    }
  }
  return 0.0;
}

// The Kova projection that a GeoTIFF coordinate transformation corresponds
// to, with its name and map unit taken from the table of projections when
// this is compiled: the reader module links no projection code.
struct KnownTransformation {
  int ct;
  std::uint8_t kova_type;
  const char* name;
  long double kova_unit_metres;  // the map unit of the Kova projection
};
constexpr KnownTransformation Known(int ct, std::uint8_t kova_type) {
  return {ct, kova_type, FindProjection(kova_type)->name,
          FindProjection(kova_type)->metres_per_unit};
}
constexpr KnownTransformation kKnownTransformations[] = {
    Known(CT_LambertConfConic_2SP, kConformalConicProjection),
    Known(CT_LambertAzimEqualArea, kLambertAzimuthalProjection),
    Known(CT_AlbersEqualArea, kAlbersProjection),
};

// Every projection the table marks as named by a GeoTIFF input has its
// transformation here, and no other.
constexpr bool MatchesTheTable() {
  std::size_t marked = 0;
  for (const Projection& projection : kProjections) marked += projection.from_geotiff ? 1 : 0;
  for (const KnownTransformation& known : kKnownTransformations) {
    if (!FindProjection(known.kova_type)->from_geotiff) return false;
  }
  return marked == std::size(kKnownTransformations);
}
static_assert(MatchesTheTable());

// --- samples ------------------------------------------------------------------

struct NoDataValue {
  bool present = false;
  double value = 0.0;       // for floating-point samples
  long double exact = 0.0;  // for integer samples: holds every 64-bit integer
};

// The no-data value in the sample type T; false when no sample can equal it.
template <typename T>
bool NoDataAs(const NoDataValue& no_data, T& out) {
  if (!no_data.present) return false;
  if constexpr (std::is_floating_point_v<T>) {
    out = static_cast<T>(no_data.value);
    return !std::isnan(no_data.value) && (std::isfinite(out) || std::isinf(no_data.value));
  } else {
    // Compared in extended precision, which holds the bounds of every
    // integer type exactly (a double rounds 2^64 - 1 up to 2^64).
    const long double v = no_data.exact;
    if (!(v == std::floor(v)) || v < static_cast<long double>(std::numeric_limits<T>::min()) ||
        v > static_cast<long double>(std::numeric_limits<T>::max())) {
      return false;
    }
    out = static_cast<T>(v);
    return true;
  }
}

// Decodes `count` samples that lie `step` bytes apart into 4-byte values and
// no-data flags. NaN is no data as well. Returns the index of the first
// infinite or float-overflowing sample, or -1.
template <typename T>
std::int64_t DecodeSamples(const unsigned char* source, std::size_t step, std::int32_t count,
                           const NoDataValue& no_data, float* values, std::uint8_t* flags) {
  T missing{};
  const bool has_missing = NoDataAs(no_data, missing);
  for (std::int32_t i = 0; i < count; ++i) {
    T raw;
    std::memcpy(&raw, source + static_cast<std::size_t>(i) * step, sizeof raw);
    bool is_missing = has_missing && raw == missing;
    if constexpr (std::is_floating_point_v<T>) is_missing = is_missing || std::isnan(raw);
    if (is_missing) {
      values[i] = 0.0f;
      flags[i] = 1;
      continue;
    }
    const auto value = static_cast<float>(raw);
    if constexpr (std::is_floating_point_v<T>) {
      if (std::isinf(value)) return i;
    }
    values[i] = value;
    flags[i] = 0;
  }
  return -1;
}

using SampleDecoder = std::int64_t (*)(const unsigned char*, std::size_t, std::int32_t,
                                       const NoDataValue&, float*, std::uint8_t*);

SampleDecoder DecoderFor(std::uint16_t sample_format, std::uint16_t bits) {
  switch (sample_format) {
    case SAMPLEFORMAT_UINT:
      if (bits == 8) return DecodeSamples<std::uint8_t>;
      if (bits == 16) return DecodeSamples<std::uint16_t>;
      if (bits == 32) return DecodeSamples<std::uint32_t>;
      if (bits == 64) return DecodeSamples<std::uint64_t>;
      break;
    case SAMPLEFORMAT_INT:
      if (bits == 8) return DecodeSamples<std::int8_t>;
      if (bits == 16) return DecodeSamples<std::int16_t>;
      if (bits == 32) return DecodeSamples<std::int32_t>;
      if (bits == 64) return DecodeSamples<std::int64_t>;
      break;
    case SAMPLEFORMAT_IEEEFP:
      if (bits == 32) return DecodeSamples<float>;
      if (bits == 64) return DecodeSamples<double>;
      break;
    default:
      break;
  }
  return nullptr;
}

NoDataValue ReadNoData(TIFF* tif, const std::string& path) {
  NoDataValue no_data;
  const char* text = nullptr;
  if (TIFFGetField(tif, kTiffNoDataTag, &text) != 1 || text == nullptr) return no_data;
  std::string trimmed(text);
  const auto first = trimmed.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return no_data;
  trimmed = trimmed.substr(first, trimmed.find_last_not_of(" \t\r\n") - first + 1);
  const char* begin = trimmed.c_str();
  if (*begin == '+') ++begin;
  const char* end = trimmed.c_str() + trimmed.size();
  const auto [stop, status] = std::from_chars(begin, end, no_data.value);
  const auto [exact_stop, exact_status] = std::from_chars(begin, end, no_data.exact);
  if (status != std::errc() || stop != end || exact_status != std::errc() || exact_stop != end) {
    Refuse("The GeoTIFF's no-data value '" + trimmed + "' is not a number", path);
  }
  no_data.present = true;
  return no_data;
}

// --- the source ---------------------------------------------------------------

class GeoTiffSource final : public InputSource {
 public:
  GeoTiffSource(const std::string& path, const InputOptions& options);

  InputKind Kind() const override { return InputKind::kTiff; }
  std::size_t GridCount() const override { return 1; }
  std::string NameSuffix(std::size_t) const override { return {}; }
  GridData ReadGrid(std::size_t i) override;
  std::optional<InputProjection> Projection() const override { return projection_; }
  std::optional<std::size_t> CellCount() const override {
    return static_cast<std::size_t>(width_) * height_;
  }

 private:
  [[noreturn]] void RefuseRead(const std::string& what) const {
    Refuse("The GeoTIFF cannot be read (" + what + (tiff_message_.empty() ? "" : ": ") +
               tiff_message_ + ")",
           path_);
  }
  void ReadGeoreference();
  void DecodeBlock(const unsigned char* buffer, std::uint32_t block_width, std::uint32_t x0,
                   std::uint32_t y0, std::uint32_t width, std::uint32_t height, GridData& grid);

  std::string path_;
  std::string tiff_message_;     // must outlive tif_
  std::string tiff_io_warning_;  // as well
  TiffHandle tif_;
  int band_ = 1;
  std::uint32_t width_ = 0, height_ = 0;
  std::uint16_t samples_ = 1, bits_ = 0, sample_format_ = SAMPLEFORMAT_UINT;
  std::uint16_t planar_ = PLANARCONFIG_CONTIG;
  SampleDecoder decode_ = nullptr;
  NoDataValue no_data_;

  GridCoordinates coordinates_ = GridCoordinates::kUnstated;
  std::optional<InputProjection> projection_;
  long double left_ = 0, top_ = 0, cell_width_ = 0, cell_height_ = 0;
  bool south_up_ = false;
};

GeoTiffSource::GeoTiffSource(const std::string& path, const InputOptions& options)
    : path_(path), band_(options.Band) {
  RegisterTiffTags();
  TIFFOpenOptions* open_options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(open_options, KeepTiffMessage, &tiff_message_);
  TIFFOpenOptionsSetWarningHandlerExtR(open_options, KeepTiffIoWarning, &tiff_io_warning_);
  tif_.reset(OpenTiff(path, "rm", open_options));  // read, not mapped
  TIFFOpenOptionsFree(open_options);
  if (!tif_) RefuseRead("open");
  if (!tiff_io_warning_.empty()) {
    Refuse("The GeoTIFF is damaged or cut short (" + tiff_io_warning_ + ")", path_);
  }
  TIFF* tif = tif_.get();

  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width_);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height_);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples_);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits_);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sample_format_);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar_);
  CheckGridSize(static_cast<std::int64_t>(width_), static_cast<std::int64_t>(height_), path_);
  if (band_ < 1 || band_ > samples_) {
    InputOptionError error("The GeoTIFF has " + std::to_string(samples_) + " band" +
                           (samples_ == 1 ? "" : "s") + "; there is no band " +
                           std::to_string(band_));
    error.AddContext(path_);
    throw error;
  }
  decode_ = DecoderFor(sample_format_, bits_);
  if (decode_ == nullptr) {
    Refuse("The GeoTIFF's samples (" + std::to_string(bits_) + "-bit, sample format " +
               std::to_string(sample_format_) +
               ") are not 8-, 16-, 32- or 64-bit integers or 32- or 64-bit floating point",
           path_);
  }
  no_data_ = ReadNoData(tif, path_);
  ReadGeoreference();
}

void GeoTiffSource::ReadGeoreference() {
  TIFF* tif = tif_.get();
  RasterToModel map = ReadRasterToModel(tif, path_);

#ifdef _WIN32
  const ProjHandle proj = ProgramProjContext();  // outlives the GTIF that uses it
#endif
  GtifHandle gtif(GTIFNew(tif));
#ifdef _WIN32
  if (gtif && proj) GTIFAttachPROJContext(gtif.get(), proj.get());
#endif
  unsigned short model = 0;
  unsigned short raster_type = RasterPixelIsArea;
  GTIFDefn defn{};
  if (gtif) {
    GTIFKeyGetSHORT(gtif.get(), GTModelTypeGeoKey, &model, 0, 1);
    GTIFKeyGetSHORT(gtif.get(), GTRasterTypeGeoKey, &raster_type, 0, 1);
    if (model != 0) GTIFGetDefn(gtif.get(), &defn);
  }
  // PixelIsPoint: raster (0, 0) is the centre of the first cell; its
  // corner lies half a cell up and to the left.
  if (raster_type == RasterPixelIsPoint) {
    map.x0 -= map.dx / 2;
    map.y0 -= map.dy / 2;
  }

  long double unit = 1.0L;  // model units into the grid's map units
  long double false_easting = 0, false_northing = 0;
  if (model == ModelTypeGeographic) {
    coordinates_ = GridCoordinates::kGeographic;
    if (defn.DefnSet && defn.UOMAngleInDegrees > 0) unit = defn.UOMAngleInDegrees;
  } else if (model == ModelTypeProjected) {
    coordinates_ = GridCoordinates::kProjected;
    InputProjection projection;
    projection.Name = "coordinate transformation " + std::to_string(defn.CTProjection);
    long double kova_unit = 1.0L;
    for (const KnownTransformation& known : kKnownTransformations) {
      if (known.ct != defn.CTProjection) continue;
      projection.Name = known.name;
      projection.KovaType = known.kova_type;
      kova_unit = known.kova_unit_metres;
    }
    projection.OriginLatitude =
        ProjParm(defn, {ProjNatOriginLatGeoKey, ProjFalseOriginLatGeoKey, ProjCenterLatGeoKey});
    projection.OriginLongitude =
        ProjParm(defn, {ProjNatOriginLongGeoKey, ProjFalseOriginLongGeoKey, ProjCenterLongGeoKey});
    projection.StdParallel1 = ProjParm(defn, {ProjStdParallel1GeoKey});
    projection.StdParallel2 = ProjParm(defn, {ProjStdParallel2GeoKey});
    false_easting = ProjParm(
        defn, {ProjFalseEastingGeoKey, ProjFalseOriginEastingGeoKey, ProjCenterEastingGeoKey});
    false_northing = ProjParm(
        defn, {ProjFalseNorthingGeoKey, ProjFalseOriginNorthingGeoKey, ProjCenterNorthingGeoKey});
    const long double metres = defn.UOMLengthInMeters > 0 ? defn.UOMLengthInMeters : 1.0;
    // Map x and y of the Kova projection start at its origin, without the
    // false easting and northing (which libgeotiff gives in metres).
    false_easting /= metres;
    false_northing /= metres;
    unit = metres / kova_unit;
    projection_ = projection;
  } else if (model != 0) {
    Refuse("The GeoTIFF has geocentric coordinates; only map grids convert", path_);
  }

  cell_width_ = map.dx * unit;
  cell_height_ = std::fabs(map.dy) * unit;
  left_ = (map.x0 - false_easting) * unit;
  south_up_ = map.dy > 0;
  top_ = (south_up_ ? map.y0 + height_ * map.dy : map.y0);
  top_ = (top_ - false_northing) * unit;
}

void GeoTiffSource::DecodeBlock(const unsigned char* buffer, std::uint32_t block_width,
                                std::uint32_t x0, std::uint32_t y0, std::uint32_t width,
                                std::uint32_t height, GridData& grid) {
  const std::size_t sample_bytes = bits_ / 8;
  const std::size_t pixel_bytes =
      planar_ == PLANARCONFIG_CONTIG ? sample_bytes * samples_ : sample_bytes;
  const std::size_t band_offset =
      planar_ == PLANARCONFIG_CONTIG ? sample_bytes * static_cast<std::size_t>(band_ - 1) : 0;
  for (std::uint32_t r = 0; r < height; ++r) {
    const std::uint32_t row = y0 + r;
    const std::uint32_t out_row = south_up_ ? height_ - 1 - row : row;
    const std::size_t at = static_cast<std::size_t>(out_row) * width_ + x0;
    const unsigned char* source =
        buffer + static_cast<std::size_t>(r) * block_width * pixel_bytes + band_offset;
    const std::int64_t bad = decode_(source, pixel_bytes, static_cast<std::int32_t>(width),
                                     no_data_, grid.Values.data() + at, grid.NoData.data() + at);
    if (bad >= 0) {
      FloatOverflowError error;
      error.AddContext(path_ + ", row " + std::to_string(row + 1) + ", column " +
                       std::to_string(x0 + bad + 1));
      throw error;
    }
  }
}

GridData GeoTiffSource::ReadGrid(std::size_t) {
  TIFF* tif = tif_.get();
  GridData grid;
  grid.Cols = static_cast<std::int32_t>(width_);
  grid.Rows = static_cast<std::int32_t>(height_);
  grid.Coordinates = coordinates_;
  grid.CellWidth = RoundCellSize(cell_width_, "width", path_);
  grid.CellHeight = RoundCellSize(cell_height_, "height", path_);
  grid.Left = RoundEdge(left_, "left", path_);
  grid.Bottom = RoundEdge(top_ - height_ * cell_height_, "bottom", path_);
  grid.SourceName = FileNameOf(path_);
  AllocateGrid(grid, grid.Cols, grid.Rows, path_);

  const tsample_t plane =
      planar_ == PLANARCONFIG_SEPARATE ? static_cast<tsample_t>(band_ - 1) : tsample_t{0};
  const std::size_t pixel_bytes =
      static_cast<std::size_t>(bits_ / 8) * (planar_ == PLANARCONFIG_CONTIG ? samples_ : 1);
  if (TIFFIsTiled(tif)) {
    std::uint32_t tile_width = 0, tile_height = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile_width);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tile_height);
    const tmsize_t tile_size = TIFFTileSize(tif);
    if (tile_width == 0 || tile_height == 0 || tile_size <= 0 ||
        static_cast<std::size_t>(tile_size) <
            static_cast<std::size_t>(tile_width) * tile_height * pixel_bytes) {
      RefuseRead("tile layout");
    }
    // libtiff decodes whole tiles, and a tile may be far larger than the
    // image (a 1 KB file can declare tiles of 35 TB): a large one is
    // measured against the memory left, as the grid is.
    const auto tile_bytes = static_cast<std::uint64_t>(tile_size);
    auto refuse_tile = [&] {
      Refuse("The GeoTIFF's tiles (" + std::to_string(tile_width) + " x " +
                 std::to_string(tile_height) + " cells, " + std::to_string(tile_bytes >> 20) +
                 " MB each) do not fit in memory",
             path_);
    };
    // Tiles of over 64 MB, many times larger than the whole image, can only
    // come from a damaged file; they are refused before any memory is taken
    // for them.
    constexpr std::uint64_t kLargeTile = std::uint64_t{64} << 20;
    const std::uint64_t image_bytes = std::uint64_t{width_} * height_ * pixel_bytes;
    if (tile_bytes > kLargeTile && tile_bytes / 16 > image_bytes) {
      RefuseRead("tiles of " + std::to_string(tile_width) + " x " + std::to_string(tile_height) +
                 " cells for an image of " + std::to_string(width_) + " x " +
                 std::to_string(height_));
    }
    if (ExceedsMemoryLeft(tile_bytes)) refuse_tile();
    std::vector<unsigned char> buffer;
    try {
      buffer.resize(static_cast<std::size_t>(tile_size));
    } catch (const std::bad_alloc&) {
      refuse_tile();
    }
    for (std::uint32_t y = 0; y < height_; y += tile_height) {
      for (std::uint32_t x = 0; x < width_; x += tile_width) {
        const ttile_t tile = TIFFComputeTile(tif, x, y, 0, plane);
        if (TIFFReadEncodedTile(tif, tile, buffer.data(), tile_size) < 0) {
          RefuseRead("tile " + std::to_string(tile));
        }
        DecodeBlock(buffer.data(), tile_width, x, y, std::min(tile_width, width_ - x),
                    std::min(tile_height, height_ - y), grid);
      }
    }
  } else {
    std::uint32_t rows_per_strip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
    rows_per_strip = std::min(std::max<std::uint32_t>(rows_per_strip, 1), height_);
    const tmsize_t strip_size = TIFFStripSize(tif);
    if (strip_size <= 0) RefuseRead("strip layout");
    if (static_cast<std::size_t>(strip_size) > kLargestStripBuffer) {
      const tmsize_t row_size = TIFFScanlineSize(tif);
      if (row_size <= 0 || static_cast<std::size_t>(row_size) < width_ * pixel_bytes) {
        RefuseRead("strip layout");
      }
      std::vector<unsigned char> row(static_cast<std::size_t>(row_size));
      for (std::uint32_t y = 0; y < height_; ++y) {
        if (TIFFReadScanline(tif, row.data(), y, plane) < 0) {
          RefuseRead("strip " + std::to_string(TIFFComputeStrip(tif, y, plane)));
        }
        DecodeBlock(row.data(), width_, 0, y, width_, 1, grid);
      }
      return grid;
    }
    std::vector<unsigned char> buffer(static_cast<std::size_t>(strip_size));
    for (std::uint32_t y = 0; y < height_; y += rows_per_strip) {
      const tstrip_t strip = TIFFComputeStrip(tif, y, plane);
      const std::uint32_t rows = std::min(rows_per_strip, height_ - y);
      const tmsize_t got = TIFFReadEncodedStrip(tif, strip, buffer.data(), strip_size);
      if (got < 0 || static_cast<std::size_t>(got) < rows * width_ * pixel_bytes) {
        RefuseRead("strip " + std::to_string(strip));
      }
      DecodeBlock(buffer.data(), width_, 0, y, width_, rows, grid);
    }
  }
  return grid;
}

}  // namespace

TIFF* OpenTiff(const std::string& path, const char* mode, TIFFOpenOptions* options) {
#ifdef _WIN32
  return TIFFOpenWExt(win32::Widen(path).c_str(), mode, options);
#else
  return TIFFOpenExt(path.c_str(), mode, options);
#endif
}

int KeepTiffMessage(TIFF*, void* user_data, const char* module, const char* format,
                    va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  auto& kept = *static_cast<std::string*>(user_data);
  if (kept.empty()) kept = (module != nullptr ? std::string(module) + ": " : std::string()) + text;
  return 1;
}

int IgnoreTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

void RegisterTiffTags() {
  static std::once_flag once;
  std::call_once(once, [] {
    XTIFFInitialize();
    previous_tag_extender = TIFFSetTagExtender(ExtendTiffTags);
  });
}

std::unique_ptr<InputSource> OpenGeoTiff(const std::string& path, const InputOptions& options) {
  return std::make_unique<GeoTiffSource>(path, options);
}

}  // namespace kova::inputs
