// One small field written as a Tarvo grid, a GeoTIFF and a NetCDF file by
// the same libraries the readers use, so that every fixture can be made
// again from code.
#pragma once

#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <geotiff/xtiffio.h>
#include <netcdf.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/inputs/geotiff_reader.h"
#include "image/format.h"
#include "image/real48.h"
#include "image/template_image.h"

namespace kova::testing {

// A field of cols x rows values, the northern row first; NaN marks no data.
struct Field {
  int cols = 0;
  int rows = 0;
  double left = 0, bottom = 0, cell_width = 0, cell_height = 0;
  std::vector<double> values;

  double at(int row, int col) const { return values[static_cast<std::size_t>(row * cols + col)]; }
  bool missing(int row, int col) const { return at(row, col) != at(row, col); }
};

// 20 x 18 cells of 0.25 degrees (tiles of 16 leave partial ones), whole
// numbers 0..250 with a few holes: exact in every sample type.
inline Field SmallField() {
  Field field{20, 18, -12.5, 40.25, 0.25, 0.25, {}};
  for (int r = 0; r < field.rows; ++r) {
    for (int c = 0; c < field.cols; ++c) {
      const bool hole = (r * 7 + c * 3) % 23 == 0;
      field.values.push_back(hole ? std::nan("") : static_cast<double>((r * 37 + c * 11) % 251));
    }
  }
  return field;
}

inline void WriteTarvoGrid(const std::string& path, const Field& field) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  std::fprintf(file, "ncols %d\nnrows %d\nxllcorner %.17g\nyllcorner %.17g\ncellsize %.17g\n",
               field.cols, field.rows, field.left, field.bottom, field.cell_width);
  std::fprintf(file, "NODATA_value -9999\n");
  for (int r = 0; r < field.rows; ++r) {
    for (int c = 0; c < field.cols; ++c) {
      if (field.missing(r, c)) {
        std::fprintf(file, "-9999 ");
      } else {
        std::fprintf(file, "%.9g ", field.at(r, c));
      }
    }
    std::fprintf(file, "\n");
  }
  std::fclose(file);
}

// An Albers equal-area template with origin 0, 0 and standard parallels 29.5
// and 45.5, for the inputs in Albers metres.
inline void WriteAlbersTemplate(const std::string& path) {
  KovaHeader albers = TemplateHeader();
  albers.ProjectionType = 8;
  albers.OriginLatitude = EncodeReal48(0.0L);
  albers.OriginLongitude = EncodeReal48(0.0L);
  albers.StdParallel1 = EncodeReal48(29.5L);
  albers.StdParallel2 = EncodeReal48(45.5L);
  WriteTemplateImage(path, albers);
}

// --- GeoTIFF ------------------------------------------------------------------

enum class Sample { kUInt8, kInt16, kUInt32, kInt64, kUInt64, kFloat32, kFloat64 };

struct TiffLayout {
  Sample sample = Sample::kFloat32;
  bool tiled = false;
  bool pixel_is_point = false;
  std::optional<std::string> no_data;  // tag 42113; none: NaN or no holes
  double hole_value = -9999;           // written into holes when not float
  std::uint16_t compression = COMPRESSION_NONE;
  int bands = 1;
  int band = 1;  // the band that carries the field
  bool planar_separate = false;
  bool bigtiff = false;
  bool transformation = false;        // ModelTransformation, not scale + tiepoint
  double rotation = 0;                // a nonzero shear term of that matrix
  bool south_up = false;              // rows run from south to north
  short model = ModelTypeGeographic;  // 0: no GeoKeys at all
  // A user-defined projection: Albers equal-area with these parallels.
  double std_parallel1 = 0, std_parallel2 = 0, false_easting = 0;
  // A projected coordinate system named by its EPSG code alone, which only
  // PROJ's database tells the projection of (instead of the one above).
  int epsg = 0;
  int rows_per_strip = 3;  // of a striped file; 0: the whole image in one strip
  // A damaged file: this false easting in the GeoKeys, not the one the
  // tiepoint was placed by.
  std::optional<double> false_easting_key;
};

inline std::size_t SampleBytes(Sample sample) {
  switch (sample) {
    case Sample::kUInt8:
      return 1;
    case Sample::kInt16:
      return 2;
    case Sample::kUInt32:
    case Sample::kFloat32:
      return 4;
    case Sample::kInt64:
    case Sample::kUInt64:
    case Sample::kFloat64:
      return 8;
  }
  return 0;
}

inline void PutSample(Sample sample, double value, unsigned char* at) {
  switch (sample) {
    case Sample::kUInt8: {
      auto v = static_cast<std::uint8_t>(value);
      std::memcpy(at, &v, 1);
      break;
    }
    case Sample::kInt16: {
      auto v = static_cast<std::int16_t>(value);
      std::memcpy(at, &v, 2);
      break;
    }
    case Sample::kUInt32: {
      auto v = static_cast<std::uint32_t>(value);
      std::memcpy(at, &v, 4);
      break;
    }
    // The type's largest value stands for itself (a common no-data value),
    // although a double cannot hold it.
    case Sample::kInt64: {
      auto v = value >= 0x1p63 ? std::numeric_limits<std::int64_t>::max()
                               : static_cast<std::int64_t>(value);
      std::memcpy(at, &v, 8);
      break;
    }
    case Sample::kUInt64: {
      auto v = value >= 0x1p64 ? std::numeric_limits<std::uint64_t>::max()
                               : static_cast<std::uint64_t>(value);
      std::memcpy(at, &v, 8);
      break;
    }
    case Sample::kFloat32: {
      auto v = static_cast<float>(value);
      std::memcpy(at, &v, 4);
      break;
    }
    case Sample::kFloat64:
      std::memcpy(at, &value, 8);
      break;
  }
}

// The field's value for a file cell of the TIFF: holes hold the no-data
// value, other bands a constant that must not leak into the chosen one.
inline double TiffCell(const Field& field, const TiffLayout& layout, int file_row, int col,
                       int band) {
  if (band != layout.band) return 77;
  const int row = layout.south_up ? field.rows - 1 - file_row : file_row;
  if (!field.missing(row, col)) return field.at(row, col);
  const bool is_float = layout.sample == Sample::kFloat32 || layout.sample == Sample::kFloat64;
  return is_float && !layout.no_data ? std::nan("") : layout.hole_value;
}

inline void WriteGeoTiff(const std::string& path, const Field& field, const TiffLayout& layout) {
  kova::inputs::RegisterTiffTags();
  TIFF* tif = TIFFOpen(path.c_str(), layout.bigtiff ? "w8" : "w");
  if (tif == nullptr) throw std::runtime_error("cannot write " + path);
  const std::size_t bytes = SampleBytes(layout.sample);
  const std::uint16_t format =
      layout.sample == Sample::kFloat32 || layout.sample == Sample::kFloat64
          ? SAMPLEFORMAT_IEEEFP
          : (layout.sample == Sample::kInt16 || layout.sample == Sample::kInt64
                 ? SAMPLEFORMAT_INT
                 : SAMPLEFORMAT_UINT);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(field.cols));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(field.rows));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bytes * 8));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(layout.bands));
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, format);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
               layout.planar_separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.compression);
  if (layout.compression != COMPRESSION_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, 1);
  if (layout.no_data) TIFFSetField(tif, kova::inputs::kTiffNoDataTag, layout.no_data->c_str());

  // Georeference of the cell corners (or centres for PixelIsPoint).
  const double shift = layout.pixel_is_point ? 0.5 : 0.0;
  const double top = field.bottom + field.rows * field.cell_height;
  const double x0 = field.left + layout.false_easting + shift * field.cell_width;
  const double y0 =
      layout.south_up ? field.bottom + shift * field.cell_height : top - shift * field.cell_height;
  const double dy = layout.south_up ? field.cell_height : -field.cell_height;
  if (layout.transformation) {
    double matrix[16] = {
        field.cell_width, layout.rotation, 0, x0, 0, dy, 0, y0, 0, 0, 0, 0, 0, 0, 0, 1};
    TIFFSetField(tif, TIFFTAG_GEOTRANSMATRIX, 16, matrix);
  } else {
    double scale[3] = {field.cell_width, field.cell_height, 0};
    double tiepoint[6] = {0, 0, 0, x0, y0, 0};
    if (layout.south_up) scale[1] = -field.cell_height;
    TIFFSetField(tif, TIFFTAG_GEOPIXELSCALE, 3, scale);
    TIFFSetField(tif, TIFFTAG_GEOTIEPOINTS, 6, tiepoint);
  }
  if (layout.model != 0) {
    GTIF* gtif = GTIFNew(tif);
    GTIFKeySet(gtif, GTModelTypeGeoKey, TYPE_SHORT, 1, layout.model);
    GTIFKeySet(gtif, GTRasterTypeGeoKey, TYPE_SHORT, 1,
               layout.pixel_is_point ? RasterPixelIsPoint : RasterPixelIsArea);
    if (layout.model == ModelTypeGeographic) {
      GTIFKeySet(gtif, GeographicTypeGeoKey, TYPE_SHORT, 1, GCS_WGS_84);
    } else if (layout.epsg != 0) {
      GTIFKeySet(gtif, ProjectedCSTypeGeoKey, TYPE_SHORT, 1, layout.epsg);
    } else {
      GTIFKeySet(gtif, ProjectedCSTypeGeoKey, TYPE_SHORT, 1, KvUserDefined);
      GTIFKeySet(gtif, ProjectionGeoKey, TYPE_SHORT, 1, KvUserDefined);
      GTIFKeySet(gtif, GeographicTypeGeoKey, TYPE_SHORT, 1, GCS_WGS_84);
      GTIFKeySet(gtif, ProjCoordTransGeoKey, TYPE_SHORT, 1, CT_AlbersEqualArea);
      GTIFKeySet(gtif, ProjLinearUnitsGeoKey, TYPE_SHORT, 1, Linear_Meter);
      GTIFKeySet(gtif, ProjStdParallel1GeoKey, TYPE_DOUBLE, 1, layout.std_parallel1);
      GTIFKeySet(gtif, ProjStdParallel2GeoKey, TYPE_DOUBLE, 1, layout.std_parallel2);
      GTIFKeySet(gtif, ProjNatOriginLatGeoKey, TYPE_DOUBLE, 1, 0.0);
      GTIFKeySet(gtif, ProjNatOriginLongGeoKey, TYPE_DOUBLE, 1, 0.0);
      GTIFKeySet(gtif, ProjFalseEastingGeoKey, TYPE_DOUBLE, 1,
                 layout.false_easting_key.value_or(layout.false_easting));
      GTIFKeySet(gtif, ProjFalseNorthingGeoKey, TYPE_DOUBLE, 1, 0.0);
    }
    GTIFWriteKeys(gtif);
    GTIFFree(gtif);
  }

  const bool separate = layout.planar_separate;
  const std::size_t pixel = separate ? bytes : bytes * static_cast<std::size_t>(layout.bands);
  const int planes = separate ? layout.bands : 1;
  auto fill = [&](std::vector<unsigned char>& block, int x0_cell, int y0_cell, int width,
                  int height, int plane) {
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        const int row = y0_cell + r, col = x0_cell + c;
        if (row >= field.rows || col >= field.cols) continue;
        for (int b = 1; b <= layout.bands; ++b) {
          if (separate && b != plane + 1) continue;
          const std::size_t at =
              (static_cast<std::size_t>(r) * width + c) * pixel + (separate ? 0 : (b - 1) * bytes);
          PutSample(layout.sample, TiffCell(field, layout, row, col, b), block.data() + at);
        }
      }
    }
  };
  if (layout.tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16u);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16u);
    std::vector<unsigned char> block(16 * 16 * pixel);
    for (int plane = 0; plane < planes; ++plane) {
      for (int y = 0; y < field.rows; y += 16) {
        for (int x = 0; x < field.cols; x += 16) {
          std::fill(block.begin(), block.end(), 0);
          fill(block, x, y, 16, 16, plane);
          TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x, y, 0, static_cast<tsample_t>(plane)),
                               block.data(), static_cast<tmsize_t>(block.size()));
        }
      }
    }
  } else {
    const int rows_per_strip = layout.rows_per_strip > 0 ? layout.rows_per_strip : field.rows;
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rows_per_strip));
    for (int plane = 0; plane < planes; ++plane) {
      for (int y = 0; y < field.rows; y += rows_per_strip) {
        const int height = std::min(rows_per_strip, field.rows - y);
        std::vector<unsigned char> block(static_cast<std::size_t>(field.cols) * height * pixel);
        fill(block, 0, y, field.cols, height, plane);
        TIFFWriteEncodedStrip(
            tif,
            TIFFComputeStrip(tif, static_cast<std::uint32_t>(y), static_cast<tsample_t>(plane)),
            block.data(), static_cast<tmsize_t>(block.size()));
      }
    }
  }
  TIFFClose(tif);
}

// SmallField in metres of an Albers map, and the GeoTIFF layout that names
// that projection (with the parallels of WriteAlbersTemplate).
inline Field AlbersField() {
  Field field = SmallField();
  field.left = -200000;
  field.bottom = 100000;
  field.cell_width = field.cell_height = 5000;
  return field;
}

inline TiffLayout AlbersTiff() {
  TiffLayout layout;
  layout.model = ModelTypeProjected;
  layout.std_parallel1 = 29.5;
  layout.std_parallel2 = 45.5;
  return layout;
}

// --- NetCDF -------------------------------------------------------------------

struct NetCdfLayout {
  bool netcdf4 = false;
  bool cdf5 = false;  // the classic format with 64-bit sizes
  bool lat_ascending = false;
  int var_type = NC_FLOAT;              // NC_FLOAT, NC_DOUBLE or NC_SHORT (packed)
  std::optional<double> fill;           // _FillValue, written into holes
  std::optional<double> missing_value;  // missing_value, written into holes
  double scale = 1, offset = 0;         // packed when either is not 1 / 0
  std::vector<double> times;            // empty: no time dimension
  bool record_time = false;             // the time as the record (unlimited) dimension
  std::string time_units = "days since 2024-01-01";
  std::string extra_dim;  // a "level" dimension of this name
  std::size_t extra_length = 0;
  bool second_variable = false;   // another gridded variable
  bool plain_names_only = false;  // coordinates without CF attributes
  double lat_jitter = 0;          // added to one latitude value
  bool lon_first = false;         // dimensions (..., longitude, latitude)
  // NetCDF-4 only: chunk extents along latitude and longitude (none: stored
  // contiguously), compressed with deflate.
  std::size_t chunk_lat = 0, chunk_lon = 0;
};

// Layouts whose data sit in records or chunks, where a file cut short loses
// whole steps: time as the record dimension, packed, of two variables; the
// 64-bit-size classic format with records; NetCDF-4 chunks with two steps.
inline NetCdfLayout PackedRecordsOfTwoVariables() {
  NetCdfLayout layout;
  layout.times = {0, 1, 2};
  layout.record_time = true;
  layout.second_variable = true;
  layout.var_type = NC_SHORT;
  layout.scale = 0.5;
  layout.fill = -32767;
  return layout;
}

inline NetCdfLayout Cdf5Records() {
  NetCdfLayout layout;
  layout.cdf5 = true;
  layout.times = {0, 1};
  layout.record_time = true;
  return layout;
}

inline NetCdfLayout NetCdf4ChunkedTimes() {
  NetCdfLayout layout;
  layout.netcdf4 = true;
  layout.times = {0, 1};
  layout.chunk_lat = 8;
  layout.chunk_lon = 8;
  return layout;
}

inline void NcCheck(int status) {
  if (status != NC_NOERR) throw std::runtime_error(nc_strerror(status));
}

// Writes `field` as variable "rain"; every time step (and every level)
// holds the field plus 1000 x its index, so each step can be told apart.
inline void WriteNetCdf(const std::string& path, const Field& field, const NetCdfLayout& layout) {
  int ncid = 0;
  NcCheck(nc_create(path.c_str(),
                    layout.netcdf4 ? NC_NETCDF4 : (layout.cdf5 ? NC_64BIT_DATA : NC_CLOBBER),
                    &ncid));
  std::vector<int> dims;
  int time_dim = -1, extra_dim = -1, lat_dim = 0, lon_dim = 0;
  if (!layout.times.empty()) {
    NcCheck(nc_def_dim(ncid, "time", layout.record_time ? NC_UNLIMITED : layout.times.size(),
                       &time_dim));
    dims.push_back(time_dim);
  }
  if (!layout.extra_dim.empty()) {
    NcCheck(nc_def_dim(ncid, layout.extra_dim.c_str(), layout.extra_length, &extra_dim));
    dims.push_back(extra_dim);
  }
  // Named so that only their attributes can tell what they are; without
  // attributes, names that merely look like latitude and longitude.
  const char* lat_name = layout.plain_names_only ? "lat" : "y";
  const char* lon_name = layout.plain_names_only ? "lon" : "x";
  NcCheck(nc_def_dim(ncid, lat_name, static_cast<std::size_t>(field.rows), &lat_dim));
  NcCheck(nc_def_dim(ncid, lon_name, static_cast<std::size_t>(field.cols), &lon_dim));
  dims.push_back(layout.lon_first ? lon_dim : lat_dim);
  dims.push_back(layout.lon_first ? lat_dim : lon_dim);
  int lat_var = 0, lon_var = 0, time_var = 0, extra_var = 0, var = 0, other = 0;
  NcCheck(nc_def_var(ncid, lat_name, NC_DOUBLE, 1, &lat_dim, &lat_var));
  NcCheck(nc_def_var(ncid, lon_name, NC_DOUBLE, 1, &lon_dim, &lon_var));
  auto text = [&](int varid, const char* name, const std::string& value) {
    NcCheck(nc_put_att_text(ncid, varid, name, value.size(), value.c_str()));
  };
  if (!layout.plain_names_only) {
    text(lat_var, "standard_name", "latitude");
    text(lat_var, "units", "degrees_north");
    text(lon_var, "units", "degrees_east");
  }
  if (time_dim >= 0) {
    NcCheck(nc_def_var(ncid, "time", NC_DOUBLE, 1, &time_dim, &time_var));
    text(time_var, "units", layout.time_units);
    text(time_var, "axis", "T");
  }
  if (extra_dim >= 0) {
    NcCheck(nc_def_var(ncid, layout.extra_dim.c_str(), NC_DOUBLE, 1, &extra_dim, &extra_var));
    text(extra_var, "units", "hPa");
  }
  const nc_type type = layout.var_type;
  NcCheck(nc_def_var(ncid, "rain", type, static_cast<int>(dims.size()), dims.data(), &var));
  if (layout.chunk_lat > 0) {
    std::vector<std::size_t> chunks(dims.size(), 1);
    chunks[dims.size() - 2] = layout.lon_first ? layout.chunk_lon : layout.chunk_lat;
    chunks[dims.size() - 1] = layout.lon_first ? layout.chunk_lat : layout.chunk_lon;
    NcCheck(nc_def_var_chunking(ncid, var, NC_CHUNKED, chunks.data()));
    NcCheck(nc_def_var_deflate(ncid, var, 0, 1, 1));
  }
  if (layout.fill) NcCheck(nc_put_att_double(ncid, var, "_FillValue", type, 1, &*layout.fill));
  if (layout.missing_value) {
    NcCheck(nc_put_att_double(ncid, var, "missing_value", type, 1, &*layout.missing_value));
  }
  if (layout.scale != 1 || layout.offset != 0) {
    NcCheck(nc_put_att_double(ncid, var, "scale_factor", NC_DOUBLE, 1, &layout.scale));
    NcCheck(nc_put_att_double(ncid, var, "add_offset", NC_DOUBLE, 1, &layout.offset));
  }
  if (layout.second_variable) {
    NcCheck(nc_def_var(ncid, "snow", NC_FLOAT, static_cast<int>(dims.size()), dims.data(), &other));
  }
  NcCheck(nc_enddef(ncid));

  std::vector<double> lat(static_cast<std::size_t>(field.rows));
  for (int r = 0; r < field.rows; ++r) {
    // Row r of the field is the r-th from the north.
    const int file_row = layout.lat_ascending ? field.rows - 1 - r : r;
    lat[static_cast<std::size_t>(file_row)] =
        field.bottom + (field.rows - r - 0.5) * field.cell_height;
  }
  lat[lat.size() / 2] += layout.lat_jitter;
  std::vector<double> lon(static_cast<std::size_t>(field.cols));
  for (int c = 0; c < field.cols; ++c)
    lon[static_cast<std::size_t>(c)] = field.left + (c + 0.5) * field.cell_width;
  NcCheck(nc_put_var_double(ncid, lat_var, lat.data()));
  NcCheck(nc_put_var_double(ncid, lon_var, lon.data()));
  if (time_dim >= 0) {
    const std::size_t first = 0, steps = layout.times.size();
    NcCheck(nc_put_vara_double(ncid, time_var, &first, &steps, layout.times.data()));
  }
  if (extra_dim >= 0) {
    std::vector<double> levels(layout.extra_length, 500.0);
    NcCheck(nc_put_var_double(ncid, extra_var, levels.data()));
  }

  const std::size_t steps = std::max<std::size_t>(1, layout.times.size());
  const std::size_t levels = std::max<std::size_t>(1, layout.extra_length);
  const double hole =
      layout.fill ? *layout.fill : (layout.missing_value ? *layout.missing_value : std::nan(""));
  std::vector<double> slab(static_cast<std::size_t>(field.rows * field.cols));
  for (std::size_t t = 0; t < steps; ++t) {
    for (std::size_t l = 0; l < levels; ++l) {
      for (int r = 0; r < field.rows; ++r) {
        const int file_row = layout.lat_ascending ? field.rows - 1 - r : r;
        for (int c = 0; c < field.cols; ++c) {
          const double value = field.at(r, c) + 1000.0 * static_cast<double>(t + l);
          const std::size_t at =
              layout.lon_first
                  ? static_cast<std::size_t>(c) * static_cast<std::size_t>(field.rows) +
                        static_cast<std::size_t>(file_row)
                  : static_cast<std::size_t>(file_row * field.cols + c);
          slab[at] = field.missing(r, c) ? hole : (value - layout.offset) / layout.scale;
        }
      }
      std::vector<std::size_t> start(dims.size(), 0), count(dims.size(), 1);
      std::size_t k = 0;
      if (time_dim >= 0) start[k++] = t;
      if (extra_dim >= 0) start[k++] = l;
      count[k] = static_cast<std::size_t>(layout.lon_first ? field.cols : field.rows);
      count[k + 1] = static_cast<std::size_t>(layout.lon_first ? field.rows : field.cols);
      NcCheck(nc_put_vara_double(ncid, var, start.data(), count.data(), slab.data()));
      if (layout.second_variable)
        NcCheck(nc_put_vara_double(ncid, other, start.data(), count.data(), slab.data()));
    }
  }
  NcCheck(nc_close(ncid));
}

}  // namespace kova::testing
