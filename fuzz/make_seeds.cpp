// make_fuzz_seeds CORPUS_DIR EXAMPLE_GRID: writes the small seed inputs of
// the fuzz harnesses into CORPUS_DIR/<harness>/, built with the format code
// itself so that every header in them is one the tool would write. Run it
// again after a change of the image format; the seeds live in the tree.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/conversion.h"
#include "app/pipeline/converter.h"
#include "app/platform/base/errors.h"
#include "host/ui.h"
#include "image/format.h"
#include "image/kova_img.h"
#include "image/real48.h"
#include "image/template_image.h"
#include "support/input_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

struct ProjectionSeed {
  std::uint8_t type;
  long double lat0, lon0, parallel1, parallel2, pixel_size;
};

// A typical header of each projection code, with its own pixel size unit:
// unit disc (2), degrees (3, 5), kilometres (4), metres (6, 8, 9).
const ProjectionSeed kProjections[] = {
    {0, 0, 0, 0, 0, 1},      {1, 0, 0, 0, 0, 1},       {2, 0, 10, 0, 0, 0.004},
    {3, 40, 10, 0, 0, 0.1},  {4, 23, -96, 33, 45, 10}, {5, 0, 0, 0, 0, 0.05},
    {6, 45, 10, 0, 0, 5000}, {7, 0, 0, 0, 0, 1},       {8, 23, -96, 29.5, 45.5, 5000},
    {9, 0, 0, 0, 0, 50000},
};

kova::KovaHeader HeaderOf(const ProjectionSeed& p, int rows, int columns) {
  kova::KovaHeader h = kova::TemplateHeader();
  h.ProjectionType = p.type;
  h.Rows = static_cast<std::int16_t>(rows);
  h.Columns = static_cast<std::int16_t>(columns);
  h.OriginLatitude = kova::EncodeReal48(p.lat0);
  h.OriginLongitude = kova::EncodeReal48(p.lon0);
  h.OriginColumn = kova::EncodeReal48(columns / 2.0L);
  h.OriginRow = kova::EncodeReal48(rows / 2.0L);
  h.PixelWidth = kova::EncodeReal48(p.pixel_size);
  h.PixelHeight = kova::EncodeReal48(p.pixel_size);
  h.StdParallel1 = kova::EncodeReal48(p.parallel1);
  h.StdParallel2 = kova::EncodeReal48(p.parallel2);
  return h;
}

Bytes ImageBytes(const kova::KovaHeader& h) {
  const kova::HeaderBytes header = kova::EncodeHeader(h);
  Bytes bytes(header.begin(), header.end());
  for (int i = 0; i < h.Rows * h.Columns; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 37));
  return bytes;
}

void Append(Bytes& bytes, const kova::Real48& real) {
  bytes.insert(bytes.end(), real.begin(), real.end());
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteSeed(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw kova::FileError(kova::IoResult::kDiskFull);
}

// A grid file's seed for the grid harness: the first byte (top bit: the
// limits of kova convert; the rest below 16: the text towards the end of the
// first block), then the text.
Bytes GridSeed(std::uint8_t shift, const Bytes& text) {
  Bytes bytes{shift};
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

// A conversion seed: the template's length, the template, the grid.
Bytes ConversionSeed(const Bytes& template_bytes, const Bytes& grid) {
  Bytes bytes{static_cast<std::uint8_t>(template_bytes.size()),
              static_cast<std::uint8_t>(template_bytes.size() >> 8)};
  bytes.insert(bytes.end(), template_bytes.begin(), template_bytes.end());
  bytes.insert(bytes.end(), grid.begin(), grid.end());
  return bytes;
}

const char* const kSmallGrid =
    "ncols 4\nnrows 3\nxllcorner 29.0\nyllcorner -4.0\ncellsize 0.5\nNODATA_value -9999\n"
    "1.5 2.25 -9999 3\n0.001 1e2 -7.5E-1 +4.\n.5 -9999 12345.678 -0\n";
const char* const kOddGrid =
    "ncols\t2\r\nnrows 2\r\nxllcorner -1.5e1\r\nyllcorner 2.5e-1\r\ncellsize 1\r\nnodata nd\r\n"
    "3.4028234e38 -1.17549435E-38\r\nnd 0.1000000000000000055511151231257827\r\n\x1a trailing";
// A single row of the greatest width, with no data at both ends.
std::string WideGrid() {
  std::string text = "c 800\nr 1\nx 0\ny 0\ns 0.25\nn -10000000\n-10000000";
  for (int c = 2; c < 800; ++c) text += " " + std::to_string(c % 97) + "." + std::to_string(c % 7);
  return text + " -10000000\n";
}

// Converts the example grid with the shipped template into a real output.
Bytes ConvertedImage(const fs::path& example, const fs::path& scratch) {
  const fs::path template_path = scratch / "template.img";
  const fs::path output = scratch / "example.img";
  kova::WriteTemplateImage(template_path.string());
  kova::TKovaImg image;
  kova::Converter converter(image, {template_path.string(), std::nullopt}, scratch.string());
  struct : kova::Ui {
    void ShowMessage(kova::MessageKind, const std::string&, const std::string&) override {}
    void SetCursor(kova::CursorKind) override {}
  } quiet;
  kova::ScopedUi scoped(quiet);
  converter.Run(example.string(), output.string());
  return ReadFile(output);
}

// GeoTIFF and NetCDF seeds: the test fixtures' small field in several
// layouts, each behind the harness's first byte (GeoTIFF: the band less 1;
// NetCDF: 1 fixes the time at its first step). NetCDF-4 seeds go to
// netcdf4/, the classic formats to netcdf/.
void WriteInputSeeds(const fs::path& corpus, const fs::path& scratch) {
  using kova::testing::NetCdfLayout;
  using kova::testing::Sample;
  using kova::testing::TiffLayout;
  kova::testing::Field field = kova::testing::SmallField();
  // Fewer rows keep the seeds small; tiles of 16 still leave partial ones.
  field.rows = 17;
  field.values.resize(static_cast<std::size_t>(field.rows * field.cols));
  auto seed = [&](const fs::path& dir, const std::string& name, std::uint8_t first) {
    Bytes bytes{first};
    const Bytes file = ReadFile(scratch / name);
    bytes.insert(bytes.end(), file.begin(), file.end());
    WriteSeed(dir, name, bytes);
  };

  const fs::path tiffs = corpus / "geotiff";
  struct TiffSeed {
    const char* name;
    std::uint8_t first;
    TiffLayout layout;
  };
  std::vector<TiffSeed> tiff_seeds(11);
  tiff_seeds[0] = {"float_striped_nodata.tif", 0, {}};
  tiff_seeds[0].layout.no_data = "-9999";
  tiff_seeds[1] = {"int16_tiled_point.tif", 0, {}};
  tiff_seeds[1].layout.sample = Sample::kInt16;
  tiff_seeds[1].layout.tiled = true;
  tiff_seeds[1].layout.pixel_is_point = true;
  tiff_seeds[1].layout.no_data = "-9999";
  tiff_seeds[2] = {"uint8_band2_separate.tif", 1, {}};
  tiff_seeds[2].layout.sample = Sample::kUInt8;
  tiff_seeds[2].layout.bands = 2;
  tiff_seeds[2].layout.band = 2;
  tiff_seeds[2].layout.planar_separate = true;
  tiff_seeds[2].layout.no_data = "255";
  tiff_seeds[2].layout.hole_value = 255;
  tiff_seeds[3] = {"uint32_deflate_transformation.tif", 0, {}};
  tiff_seeds[3].layout.sample = Sample::kUInt32;
  tiff_seeds[3].layout.compression = COMPRESSION_ADOBE_DEFLATE;
  tiff_seeds[3].layout.transformation = true;
  tiff_seeds[3].layout.no_data = "4294967295";
  tiff_seeds[3].layout.hole_value = 4294967295.0;
  tiff_seeds[4] = {"double_bigtiff_south_up.tif", 0, {}};
  tiff_seeds[4].layout.sample = Sample::kFloat64;
  tiff_seeds[4].layout.bigtiff = true;
  tiff_seeds[4].layout.south_up = true;
  tiff_seeds[5] = {"float_lzw_tiled_3bands.tif", 2, {}};
  tiff_seeds[5].layout.compression = COMPRESSION_LZW;
  tiff_seeds[5].layout.tiled = true;
  tiff_seeds[5].layout.bands = 3;
  tiff_seeds[5].layout.band = 3;
  tiff_seeds[6] = {"albers.tif", 0, {}};
  tiff_seeds[6].layout.model = ModelTypeProjected;
  tiff_seeds[6].layout.std_parallel1 = 29.5;
  tiff_seeds[6].layout.std_parallel2 = 45.5;
  tiff_seeds[6].layout.false_easting = 1000000;
  tiff_seeds[7] = {"rotated.tif", 0, {}};
  tiff_seeds[7].layout.transformation = true;
  tiff_seeds[7].layout.rotation = 0.01;
  tiff_seeds[8] = {"no_geokeys_packbits.tif", 0, {}};
  tiff_seeds[8].layout.model = 0;
  tiff_seeds[8].layout.sample = Sample::kInt16;
  tiff_seeds[8].layout.compression = COMPRESSION_PACKBITS;
  tiff_seeds[9] = {"uint64_largest_nodata.tif", 0, {}};
  tiff_seeds[9].layout.sample = Sample::kUInt64;
  tiff_seeds[9].layout.no_data = "18446744073709551615";
  tiff_seeds[9].layout.hole_value = 0x1p64;
  tiff_seeds[10] = {"int64_tiled_nodata.tif", 0, {}};
  tiff_seeds[10].layout.sample = Sample::kInt64;
  tiff_seeds[10].layout.tiled = true;
  tiff_seeds[10].layout.no_data = "-9223372036854775808";
  tiff_seeds[10].layout.hole_value = -0x1p63;
  for (const TiffSeed& t : tiff_seeds) {
    kova::testing::WriteGeoTiff((scratch / t.name).string(), field, t.layout);
    seed(tiffs, t.name, t.first);
  }

  const fs::path netcdfs = corpus / "netcdf";
  const fs::path netcdf4s = corpus / "netcdf4";
  struct NetCdfSeed {
    const char* name;
    std::uint8_t first;
    NetCdfLayout layout;
  };
  std::vector<NetCdfSeed> netcdf_seeds(8);
  netcdf_seeds[0] = {"classic_fill.nc", 0, {}};
  netcdf_seeds[0].layout.fill = -9999;
  netcdf_seeds[1] = {"netcdf4_ascending_packed.nc", 0, {}};
  netcdf_seeds[1].layout.netcdf4 = true;
  netcdf_seeds[1].layout.lat_ascending = true;
  netcdf_seeds[1].layout.var_type = NC_SHORT;
  netcdf_seeds[1].layout.fill = -32767;
  netcdf_seeds[1].layout.scale = 0.5;
  netcdf_seeds[1].layout.offset = -10;
  netcdf_seeds[2] = {"classic_days.nc", 0, {}};
  netcdf_seeds[2].layout.times = {0, 1, 31};
  netcdf_seeds[2].layout.missing_value = -1;
  netcdf_seeds[3] = {"classic_hours_first_step.nc", 1, {}};
  netcdf_seeds[3].layout.times = {0, 6, 12};
  netcdf_seeds[3].layout.time_units = "hours since 1999-12-31 18:00:00";
  netcdf_seeds[4] = {"netcdf4_level_steps.nc", 0, {}};
  netcdf_seeds[4].layout.netcdf4 = true;
  netcdf_seeds[4].layout.var_type = NC_DOUBLE;
  netcdf_seeds[4].layout.times = {1, 2};
  netcdf_seeds[4].layout.time_units = "1";
  netcdf_seeds[4].layout.extra_dim = "level";
  netcdf_seeds[4].layout.extra_length = 1;
  netcdf_seeds[5] = {"classic_two_variables.nc", 0, {}};
  netcdf_seeds[5].layout.second_variable = true;
  netcdf_seeds[6] = {"cdf5_packed_ascending.nc", 0, {}};
  netcdf_seeds[6].layout.cdf5 = true;
  netcdf_seeds[6].layout.lat_ascending = true;
  netcdf_seeds[6].layout.var_type = NC_SHORT;
  netcdf_seeds[6].layout.fill = -32767;
  netcdf_seeds[6].layout.scale = 0.25;
  netcdf_seeds[6].layout.offset = 100;
  netcdf_seeds[7] = {"netcdf4_days_fill.nc", 1, {}};
  netcdf_seeds[7].layout.netcdf4 = true;
  netcdf_seeds[7].layout.times = {0, 1};
  netcdf_seeds[7].layout.fill = -9999;
  for (const NetCdfSeed& n : netcdf_seeds) {
    kova::testing::WriteNetCdf((scratch / n.name).string(), field, n.layout);
    seed(n.layout.netcdf4 ? netcdf4s : netcdfs, n.name, n.first);
  }
}

void WriteAllSeeds(const fs::path& corpus, const fs::path& example) {
  const fs::path scratch = fs::temp_directory_path() / "kova-fuzz-seeds";
  fs::remove_all(scratch);
  fs::create_directories(scratch);

  // Grid reader: the example, small grids of every number form, and the
  // small grid moved against the end of the first read block.
  const fs::path grids = corpus / "grid_reader";
  WriteSeed(grids, "example.asc", GridSeed(0x7F, ReadFile(example)));
  WriteSeed(grids, "small.asc", GridSeed(0x7F, Text(kSmallGrid)));
  WriteSeed(grids, "small_at_block_end.asc", GridSeed(0x81, Text(kSmallGrid)));
  WriteSeed(grids, "odd.asc", GridSeed(0xFF, Text(kOddGrid)));
  WriteSeed(grids, "wide.asc", GridSeed(0xFF, Text(WideGrid())));

  // Attaching: a small image of every projection code, the converted
  // example, the template, and a header that is not valid.
  const fs::path images = corpus / "image_attach";
  for (const ProjectionSeed& p : kProjections) {
    WriteSeed(images, "projection" + std::to_string(p.type) + ".img",
              ImageBytes(HeaderOf(p, 3, 4)));
  }
  const Bytes converted = ConvertedImage(example, scratch);
  WriteSeed(images, "converted.img", converted);
  kova::KovaHeader invalid = kova::TemplateHeader();
  invalid.ImageType = 0;
  WriteSeed(images, "invalid_type.img", ImageBytes(invalid));

  // 6-byte reals: a few stored values, then extended values to encode.
  const fs::path reals = corpus / "real48";
  const long double values[] = {1.0L, -0.1L, 6.0221e23L, 1e-38L, 1.7e38L, 0.0L};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    Bytes bytes;
    Append(bytes, kova::EncodeReal48(values[i]));
    for (int k = 0; k < 24; ++k) bytes.push_back(static_cast<std::uint8_t>(k * 29 + i * 7));
    WriteSeed(reals, "real" + std::to_string(i), bytes);
  }

  // Projection dispatch: each code's header, then three positions.
  const fs::path projections = corpus / "projection";
  for (const ProjectionSeed& p : kProjections) {
    const kova::KovaHeader h = HeaderOf(p, 100, 200);
    Bytes bytes{h.ProjectionType};
    for (const kova::Real48& r : {h.OriginLatitude, h.OriginLongitude, h.OriginColumn, h.OriginRow,
                                  h.PixelWidth, h.PixelHeight, h.StdParallel1, h.StdParallel2}) {
      Append(bytes, r);
    }
    for (long double position : {0.0L, 50.0L, 99.5L}) {
      Append(bytes, kova::EncodeReal48(position));         // row
      Append(bytes, kova::EncodeReal48(position * 2.0L));  // column
    }
    WriteSeed(projections, "projection" + std::to_string(p.type), bytes);
  }

  // Whole run: the shipped template, and templates of other projections,
  // with the small grids.
  const fs::path runs = corpus / "conversion";
  const kova::HeaderBytes shipped = kova::EncodeHeader(kova::TemplateHeader());
  Bytes shipped_template(shipped.begin(), shipped.end());
  shipped_template.push_back(kova::TemplateHeader().NoDataCode);
  WriteSeed(runs, "small", ConversionSeed(shipped_template, Text(kSmallGrid)));
  WriteSeed(runs, "odd", ConversionSeed(shipped_template, Text(kOddGrid)));
  WriteSeed(runs, "wide", ConversionSeed(shipped_template, Text(WideGrid())));
  for (const ProjectionSeed& p : kProjections) {
    if (p.type == 2 || p.type == 4 || p.type == 6 || p.type == 9) {
      WriteSeed(runs, "projection" + std::to_string(p.type),
                ConversionSeed(ImageBytes(HeaderOf(p, 1, 1)), Text(kSmallGrid)));
    }
  }
  // Raster rows: the harness draws type, scaling and values from the bytes;
  // a few fixed pseudo-random inputs start it off.
  const fs::path rows = corpus / "raster_rows";
  std::uint32_t state = 12345;
  for (int seed = 0; seed < 4; ++seed) {
    Bytes bytes;
    for (int i = 0; i < 64 << seed; ++i) {
      state = state * 1664525u + 1013904223u;  // a linear congruential sequence
      bytes.push_back(static_cast<std::uint8_t>(state >> 24));
    }
    WriteSeed(rows, "rows" + std::to_string(seed), bytes);
  }
  WriteInputSeeds(corpus, scratch);
  fs::remove_all(scratch);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_DIR EXAMPLE_GRID\n");
    return 2;
  }
  try {
    WriteAllSeeds(argv[1], argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
