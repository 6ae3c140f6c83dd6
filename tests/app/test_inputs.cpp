// GeoTIFF and NetCDF inputs: every layout of the same field must read as the
// grid the field is, and what cannot be converted is refused with its reason.
#include <gtest/gtest.h>
#include <sys/stat.h>  // mkfifo

#include <cmath>
#include <functional>

#include "app/inputs/cf_time.h"
#include "app/inputs/input_source.h"
#include "app/inputs/template_check.h"
#include "app/platform/base/errors.h"
#include "image/real48.h"
#include "support/input_fixtures.h"
#include "support/temp_dir.h"

namespace kova::inputs {
namespace {

using kova::testing::Field;
using kova::testing::NetCdfLayout;
using kova::testing::Sample;
using kova::testing::TempDir;
using kova::testing::TiffLayout;

std::unique_ptr<InputSource> Open(const std::string& path, const InputOptions& options = {}) {
  return OpenInput(path, options);
}

// The grid must be the field, cell for cell, with the field's edges and
// cell sizes as 4-byte floats; `offset` is added to every value.
void ExpectField(const GridData& grid, const Field& field, double offset = 0) {
  ASSERT_EQ(grid.Cols, field.cols);
  ASSERT_EQ(grid.Rows, field.rows);
  EXPECT_EQ(grid.Left, static_cast<float>(field.left));
  EXPECT_EQ(grid.Bottom, static_cast<float>(field.bottom));
  EXPECT_EQ(grid.CellWidth, static_cast<float>(field.cell_width));
  EXPECT_EQ(grid.CellHeight, static_cast<float>(field.cell_height));
  int mismatches = 0;
  for (int r = 0; r < field.rows; ++r) {
    for (int c = 0; c < field.cols; ++c) {
      const bool missing = field.missing(r, c);
      const bool ok = grid.IsNoData(r, c) == missing &&
                      (missing || grid.at(r, c) == static_cast<float>(field.at(r, c) + offset));
      if (!ok && ++mismatches <= 3) {
        ADD_FAILURE() << "row " << r << " column " << c << ": read " << grid.at(r, c)
                      << (grid.IsNoData(r, c) ? " (no data)" : "") << ", field "
                      << field.at(r, c) + offset;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// --- GeoTIFF layouts ------------------------------------------------------------

struct TiffCase {
  const char* name;
  TiffLayout layout;
  GridCoordinates coordinates = GridCoordinates::kGeographic;
};
void PrintTo(const TiffCase& c, std::ostream* os) {
  *os << c.name;
}

class GeoTiffLayouts : public ::testing::TestWithParam<TiffCase> {};

TEST_P(GeoTiffLayouts, ReadAsTheField) {
  TempDir dir;
  const Field field = kova::testing::SmallField();
  const std::string path = dir.file("field.tif");
  kova::testing::WriteGeoTiff(path, field, GetParam().layout);
  auto source = Open(path, {GetParam().layout.band, {}, {}});
  EXPECT_EQ(source->Kind(), InputKind::kTiff);
  ASSERT_EQ(source->GridCount(), 1u);
  EXPECT_EQ(source->NameSuffix(0), "");
  const GridData grid = source->ReadGrid(0);
  ExpectField(grid, field);
  EXPECT_EQ(grid.Coordinates, GetParam().coordinates);
  EXPECT_EQ(grid.SourceName, "field.tif");
}

TiffLayout Tiff(Sample sample, bool tiled, bool point, std::optional<std::string> no_data,
                double hole = -9999) {
  TiffLayout layout;
  layout.sample = sample;
  layout.tiled = tiled;
  layout.pixel_is_point = point;
  layout.no_data = std::move(no_data);
  layout.hole_value = hole;
  return layout;
}

TiffLayout With(TiffLayout layout, const std::function<void(TiffLayout&)>& change) {
  change(layout);
  return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, GeoTiffLayouts,
    ::testing::Values(
        TiffCase{"Float32StripedAreaNaNHoles", Tiff(Sample::kFloat32, false, false, {})},
        TiffCase{"Float32TiledPointTag", Tiff(Sample::kFloat32, true, true, "-9999")},
        TiffCase{"Float64TiledAreaTag", Tiff(Sample::kFloat64, true, false, " -1e30 ", -1e30)},
        TiffCase{"Int16StripedPointDeflate",
                 With(Tiff(Sample::kInt16, false, true, "-9999"),
                      [](TiffLayout& l) { l.compression = COMPRESSION_ADOBE_DEFLATE; })},
        TiffCase{"UInt8TiledLzw", With(Tiff(Sample::kUInt8, true, false, "255", 255),
                                       [](TiffLayout& l) { l.compression = COMPRESSION_LZW; })},
        TiffCase{"UInt32Band2Of3", With(Tiff(Sample::kUInt32, false, false, "4000000000", 4e9),
                                        [](TiffLayout& l) {
                                          l.bands = 3;
                                          l.band = 2;
                                        })},
        // The largest 64-bit integers as no data: a double rounds them up,
        // beyond the type.
        TiffCase{"UInt64LargestAsNoData",
                 Tiff(Sample::kUInt64, false, false, "18446744073709551615", 0x1p64)},
        TiffCase{"Int64LargestAsNoData",
                 Tiff(Sample::kInt64, true, false, "9223372036854775807", 0x1p63)},
        TiffCase{"Float64Band3SeparatePlanesBigTiff", With(Tiff(Sample::kFloat64, true, true, {}),
                                                           [](TiffLayout& l) {
                                                             l.bands = 3;
                                                             l.band = 3;
                                                             l.planar_separate = true;
                                                             l.bigtiff = true;
                                                           })},
        TiffCase{"Float32ModelTransformation",
                 With(Tiff(Sample::kFloat32, false, true, "-9999"),
                      [](TiffLayout& l) { l.transformation = true; })},
        TiffCase{"Float32SouthUp", With(Tiff(Sample::kFloat32, false, false, {}),
                                        [](TiffLayout& l) { l.south_up = true; })},
        TiffCase{"NoGeoKeysStatesNothing",
                 With(Tiff(Sample::kFloat32, false, false, {}), [](TiffLayout& l) { l.model = 0; }),
                 GridCoordinates::kUnstated}),
    [](const auto& info) { return std::string(info.param.name); });

// --- NetCDF layouts -------------------------------------------------------------

struct NetCdfCase {
  const char* name;
  NetCdfLayout layout;
  InputOptions options;
  std::vector<std::string> suffixes;  // one per grid
  // What tells the variable and level chosen, in the names and the titles.
  std::string name_part = "";
  std::string title_part = "";
};
void PrintTo(const NetCdfCase& c, std::ostream* os) {
  *os << c.name;
}

class NetCdfLayouts : public ::testing::TestWithParam<NetCdfCase> {};

TEST_P(NetCdfLayouts, ReadAsTheField) {
  TempDir dir;
  const Field field = kova::testing::SmallField();
  const std::string path = dir.file("field.nc");
  kova::testing::WriteNetCdf(path, field, GetParam().layout);
  auto source = Open(path, GetParam().options);
  EXPECT_EQ(source->Kind(), InputKind::kNetCdf);
  ASSERT_EQ(source->GridCount(), GetParam().suffixes.size());
  EXPECT_EQ(source->NamePart(), GetParam().name_part);
  const auto level = GetParam().options.Index.find("level");
  const double level_offset = level == GetParam().options.Index.end() ? 0 : 1000.0 * level->second;
  for (std::size_t i = 0; i < source->GridCount(); ++i) {
    SCOPED_TRACE("grid " + std::to_string(i));
    EXPECT_EQ(source->NameSuffix(i), GetParam().suffixes[i]);
    const GridData grid = source->ReadGrid(i);
    EXPECT_EQ(grid.Coordinates, GridCoordinates::kGeographic);
    const auto time = GetParam().options.Index.find("time");
    const double step = time == GetParam().options.Index.end() ? static_cast<double>(i)
                                                               : static_cast<double>(time->second);
    ExpectField(grid, field, 1000.0 * step + level_offset);
    const std::string stamp =
        GetParam().suffixes[i].empty() ? "" : " " + GetParam().suffixes[i].substr(1);
    EXPECT_EQ(grid.SourceName, "field.nc" + GetParam().title_part + stamp);
  }
}

NetCdfLayout Nc(const std::function<void(NetCdfLayout&)>& change) {
  NetCdfLayout layout;
  change(layout);
  return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, NetCdfLayouts,
    ::testing::Values(
        NetCdfCase{"ClassicFloatFill", Nc([](NetCdfLayout& l) { l.fill = -9999; }), {}, {""}},
        NetCdfCase{"ClassicNaNHolesLatAscending",
                   Nc([](NetCdfLayout& l) { l.lat_ascending = true; }),
                   {},
                   {""}},
        NetCdfCase{"Netcdf4DoubleMissingValue",
                   Nc([](NetCdfLayout& l) {
                     l.netcdf4 = true;
                     l.var_type = NC_DOUBLE;
                     l.missing_value = -1e20;
                   }),
                   {},
                   {""}},
        NetCdfCase{"PackedShortsLatAscending",
                   Nc([](NetCdfLayout& l) {
                     l.var_type = NC_SHORT;
                     l.fill = -32767;
                     l.scale = 0.5;
                     l.offset = -10;
                     l.lat_ascending = true;
                   }),
                   {},
                   {""}},
        NetCdfCase{"DailySteps",
                   Nc([](NetCdfLayout& l) {
                     l.fill = -9999;
                     l.times = {0, 1, 31};
                   }),
                   {},
                   {"_20240101", "_20240102", "_20240201"}},
        NetCdfCase{"SixHourlyStepsNetcdf4",
                   Nc([](NetCdfLayout& l) {
                     l.netcdf4 = true;
                     l.times = {0, 6};
                     l.time_units = "hours since 2023-12-31 18:00:00";
                   }),
                   {},
                   {"_20231231T1800", "_20240101T0000"}},
        NetCdfCase{"StepsWithoutDates",
                   Nc([](NetCdfLayout& l) {
                     l.times = {5, 10};
                     l.time_units = "1";
                   }),
                   {},
                   {"_001", "_002"}},
        NetCdfCase{"OneStepByIndex",
                   Nc([](NetCdfLayout& l) {
                     l.times = {0, 1, 2};
                   }),
                   {1, "", {{"time", 2}}},
                   {"_20240103"},
                   "_rain",
                   " rain"},
        NetCdfCase{"LevelByIndex",
                   Nc([](NetCdfLayout& l) {
                     l.extra_dim = "level";
                     l.extra_length = 3;
                   }),
                   {1, "rain", {{"level", 1}}},
                   {""},
                   "_rain_level1",
                   " rain level=1"},
        NetCdfCase{"SecondVariableByNameOverSteps",
                   Nc([](NetCdfLayout& l) {
                     l.times = {0, 1};
                     l.second_variable = true;
                   }),
                   {1, "rain", {}},
                   {"_20240101", "_20240102"},
                   "_rain",
                   " rain"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- grids larger than one read ------------------------------------------------

// 700 x 400 cells: more values than one NetCDF read takes (65,536) and, as
// 4-byte floats, a strip larger than the GeoTIFF reader unpacks whole (1 MB).
// Whole numbers 0..250 with holes, exact in every sample type.
Field WideField() {
  Field field{700, 400, 10.0, -45.0, 0.125, 0.125, {}};
  for (int r = 0; r < field.rows; ++r) {
    for (int c = 0; c < field.cols; ++c) {
      const bool hole = (r * 7 + c * 3) % 23 == 0;
      field.values.push_back(hole ? std::nan("") : static_cast<double>((r * 37 + c * 11) % 251));
    }
  }
  return field;
}

struct LargeCase {
  const char* name;
  std::function<void(const std::string&, const Field&)> write;
  std::size_t grids = 1;
  InputOptions options = {};
};
void PrintTo(const LargeCase& c, std::ostream* os) {
  *os << c.name;
}

class LargeGrids : public ::testing::TestWithParam<LargeCase> {};

TEST_P(LargeGrids, ReadInPiecesAsTheField) {
  TempDir dir;
  const Field field = WideField();
  const std::string path = dir.file("wide");
  GetParam().write(path, field);
  auto source = Open(path, GetParam().options);
  ASSERT_EQ(source->GridCount(), GetParam().grids);
  for (std::size_t i = 0; i < source->GridCount(); ++i) {
    SCOPED_TRACE("grid " + std::to_string(i));
    ExpectField(source->ReadGrid(i), field, 1000.0 * static_cast<double>(i));
  }
}

std::function<void(const std::string&, const Field&)> WideNc(
    const std::function<void(NetCdfLayout&)>& change) {
  return [change](const std::string& path, const Field& field) {
    NetCdfLayout layout = Nc(change);
    if (!layout.fill) layout.fill = -9999;
    kova::testing::WriteNetCdf(path, field, layout);
  };
}

std::function<void(const std::string&, const Field&)> OneStripTiff(
    const std::function<void(TiffLayout&)>& change) {
  return [change](const std::string& path, const Field& field) {
    TiffLayout layout;
    layout.rows_per_strip = 0;
    change(layout);
    kova::testing::WriteGeoTiff(path, field, layout);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, LargeGrids,
    ::testing::Values(
        LargeCase{"NcClassicBandsOfRows", WideNc([](NetCdfLayout&) {})},
        LargeCase{"NcClassicLatAscending", WideNc([](NetCdfLayout& l) { l.lat_ascending = true; })},
        LargeCase{"NcLongitudeFirst", WideNc([](NetCdfLayout& l) {
                    l.netcdf4 = true;
                    l.lon_first = true;
                  })},
        LargeCase{"NcSmallChunks", WideNc([](NetCdfLayout& l) {
                    l.netcdf4 = true;
                    l.chunk_lat = 16;
                    l.chunk_lon = 16;
                  })},
        LargeCase{"NcOneChunkLargerThanARead", WideNc([](NetCdfLayout& l) {
                    l.netcdf4 = true;
                    l.chunk_lat = 400;
                    l.chunk_lon = 700;
                  })},
        LargeCase{"NcChunksLargerThanAReadSideBySide", WideNc([](NetCdfLayout& l) {
                    l.netcdf4 = true;
                    l.chunk_lat = 200;
                    l.chunk_lon = 400;
                  })},
        LargeCase{"NcPartialChunksLongitudeFirstAscending", WideNc([](NetCdfLayout& l) {
                    l.netcdf4 = true;
                    l.lon_first = true;
                    l.lat_ascending = true;
                    l.chunk_lat = 150;
                    l.chunk_lon = 301;
                  })},
        LargeCase{"NcPackedChunkedSteps", WideNc([](NetCdfLayout& l) {
                    l.netcdf4 = true;
                    l.var_type = NC_SHORT;
                    l.fill = -32767;
                    l.scale = 0.5;
                    l.offset = -10;
                    l.times = {0, 1};
                    l.chunk_lat = 37;
                    l.chunk_lon = 700;
                  }),
                  2},
        LargeCase{"TiffOneStripDeflate",
                  OneStripTiff([](TiffLayout& l) { l.compression = COMPRESSION_ADOBE_DEFLATE; })},
        LargeCase{"TiffOneStripUncompressedSouthUp",
                  OneStripTiff([](TiffLayout& l) { l.south_up = true; })},
        LargeCase{"TiffOneStripLzwBand2OfSeparatePlanes",
                  OneStripTiff([](TiffLayout& l) {
                    l.sample = Sample::kFloat64;
                    l.compression = COMPRESSION_LZW;
                    l.bands = 2;
                    l.band = 2;
                    l.planar_separate = true;
                  }),
                  1,
                  {2, "", {}}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- refusals -------------------------------------------------------------------

struct Refusal {
  const char* name;
  std::function<void(const std::string&)> write;
  InputOptions options;
  const char* message;  // the start of what the error says
};
void PrintTo(const Refusal& c, std::ostream* os) {
  *os << c.name;
}

class InputRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(InputRefusals, SayWhy) {
  TempDir dir;
  const std::string path = dir.file("input");
  GetParam().write(path);
  try {
    auto source = Open(path, GetParam().options);
    for (std::size_t i = 0; i < source->GridCount(); ++i) source->ReadGrid(i);
    FAIL() << "no error";
  } catch (const KovaError& error) {
    EXPECT_EQ(error.Message().substr(0, std::string(GetParam().message).size()), GetParam().message)
        << error.what();
    EXPECT_EQ(error.Context(), path);
  }
}

std::function<void(const std::string&)> TiffFile(const std::function<void(TiffLayout&)>& change) {
  return [change](const std::string& path) {
    TiffLayout layout;
    change(layout);
    kova::testing::WriteGeoTiff(path, kova::testing::SmallField(), layout);
  };
}

std::function<void(const std::string&)> NcFile(const std::function<void(NetCdfLayout&)>& change) {
  return [change](const std::string& path) {
    kova::testing::WriteNetCdf(path, kova::testing::SmallField(), Nc(change));
  };
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, InputRefusals,
    ::testing::Values(
        Refusal{"Rotation",
                TiffFile([](TiffLayout& l) {
                  l.transformation = true;
                  l.rotation = 0.01;
                }),
                {},
                "The GeoTIFF is rotated or sheared"},
        Refusal{"MissingBand",
                TiffFile([](TiffLayout&) {}),
                {2, "", {}},
                "The GeoTIFF has 1 band; there is no band 2"},
        Refusal{"NoDataNotANumber",
                TiffFile([](TiffLayout& l) { l.no_data = "none"; }),
                {},
                "The GeoTIFF's no-data value 'none' is not a number"},
        Refusal{"CellTooSmallForAFloat",
                [](const std::string& path) {
                  Field field = kova::testing::SmallField();
                  field.cell_width = 1e-50;
                  kova::testing::WriteGeoTiff(path, field, {});
                },
                {},
                "The cell width 1e-50 is too small: as a 4-byte float it is 0"},
        Refusal{"FalseEastingNotANumber",
                TiffFile([](TiffLayout& l) {
                  l.model = ModelTypeProjected;
                  l.std_parallel1 = 29.5;
                  l.std_parallel2 = 45.5;
                  l.false_easting_key = std::nan("");
                }),
                {},
                "The grid's left edge is not a finite number"},
        Refusal{"SingleLongitudeNotANumber",
                [](const std::string& path) {
                  Field field = kova::testing::SmallField();
                  field.cols = 1;
                  field.left = std::nan("");
                  field.values.resize(static_cast<std::size_t>(field.rows));
                  kova::testing::WriteNetCdf(path, field, {});
                },
                {},
                "The grid's left edge is not a finite number"},
        Refusal{"TilesFarLargerThanTheImage",
                [](const std::string& path) {
                  // Tiles of 2^20 x 2^20 cells of four 8-byte samples: 35 TB
                  // each, declared in a file of a few hundred bytes.
                  RegisterTiffTags();
                  TIFF* tif = TIFFOpen(path.c_str(), "w");
                  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 20u);
                  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 18u);
                  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 64);
                  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
                  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
                  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
                  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
                  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
                  TIFFSetField(tif, TIFFTAG_TILEWIDTH, 1u << 20);
                  TIFFSetField(tif, TIFFTAG_TILELENGTH, 1u << 20);
                  double scale[3] = {0.25, 0.25, 0}, tiepoint[6] = {0, 0, 0, 10, 50, 0};
                  TIFFSetField(tif, TIFFTAG_GEOPIXELSCALE, 3, scale);
                  TIFFSetField(tif, TIFFTAG_GEOTIEPOINTS, 6, tiepoint);
                  char raw[16] = {};
                  TIFFWriteRawTile(tif, 0, raw, sizeof raw);
                  TIFFClose(tif);
                },
                {},
                "The GeoTIFF cannot be read (tiles of 1048576 x 1048576 cells for an image of "
                "20 x 18)"},
        Refusal{"IrregularLatitude",
                NcFile([](NetCdfLayout& l) { l.lat_jitter = 0.05; }),
                {},
                "The latitude coordinate 'y' is not regular: its largest deviation from an even "
                "spacing of -0.25 is 0.05 at index 9 (value 42.425)"},
        Refusal{"TwoCandidateVariables",
                NcFile([](NetCdfLayout& l) { l.second_variable = true; }),
                {},
                "The NetCDF file has several variables with latitude and longitude dimensions "
                "(rain, snow); choose one with --variable"},
        Refusal{"NamesAloneAreNoCoordinates",
                NcFile([](NetCdfLayout& l) { l.plain_names_only = true; }),
                {},
                "The NetCDF file has no variable with latitude and longitude dimensions"},
        Refusal{"UnknownVariable",
                NcFile([](NetCdfLayout&) {}),
                {1, "hail", {}},
                "The NetCDF file has no variable 'hail'; its variables on a latitude/longitude "
                "grid: rain"},
        Refusal{"CoordinateIsNoGrid",
                NcFile([](NetCdfLayout&) {}),
                {1, "x", {}},
                "The variable 'x' has no latitude and longitude dimensions; its variables on a "
                "latitude/longitude grid: rain"},
        Refusal{"ExtraDimensionUnchosen",
                NcFile([](NetCdfLayout& l) {
                  l.extra_dim = "level";
                  l.extra_length = 2;
                }),
                {},
                "The variable 'rain' has the dimension 'level' (2 indices) beside latitude, "
                "longitude and time; choose one with --index level=N"},
        Refusal{"IndexBeyondDimension",
                NcFile([](NetCdfLayout& l) {
                  l.extra_dim = "level";
                  l.extra_length = 2;
                }),
                {1, "", {{"level", 2}}},
                "--index level=2 lies beyond the dimension's 2 indices (0 to 1)"},
        Refusal{"IndexOfNoDimension",
                NcFile([](NetCdfLayout&) {}),
                {1, "", {{"depth", 0}}},
                "The variable 'rain' has no dimension 'depth' (--index); it has none beside "
                "latitude and longitude"},
        Refusal{"IndexOfNoDimensionBeforeTheOneUnchosen",
                NcFile([](NetCdfLayout& l) {
                  l.extra_dim = "level";
                  l.extra_length = 2;
                  l.times = {0, 1};
                }),
                {1, "", {{"lev", 2}}},
                "The variable 'rain' has no dimension 'lev' (--index); its dimensions beside "
                "latitude and longitude: time, level"},
        Refusal{"CoordinateStepTooSmallForAFloat",
                [](const std::string& path) {
                  Field field = kova::testing::SmallField();
                  field.left = field.bottom = 0;
                  field.cell_width = field.cell_height = 1e-300;
                  kova::testing::WriteNetCdf(path, field, {});
                },
                {},
                "The cell width 1e-300 is too small: as a 4-byte float it is 0"},
        Refusal{"StepsOnTheSameMinute",
                NcFile([](NetCdfLayout& l) {
                  l.times = {0, 10};
                  l.time_units = "seconds since 2024-01-01";
                }),
                {},
                "Two time steps get the same name (20240101); convert them one at a time with "
                "--index"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- template and projection ------------------------------------------------------

struct TemplateCase {
  const char* name;
  GridCoordinates coordinates;
  std::optional<InputProjection> projection;
  std::uint8_t template_type;
  double template_parallel2;
  bool named;
  const char* message;  // empty: fits
};
void PrintTo(const TemplateCase& c, std::ostream* os) {
  *os << c.name;
}

class TemplateFit : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateFit, RefusesWhatDoesNotMatch) {
  KovaHeader header;
  header.ProjectionType = GetParam().template_type;
  header.OriginLatitude = EncodeReal48(40.0L);
  header.OriginLongitude = EncodeReal48(-96.0L);
  header.StdParallel1 = EncodeReal48(29.5L);
  header.StdParallel2 = EncodeReal48(GetParam().template_parallel2);
  const auto check = [&] {
    CheckTemplateProjection(GetParam().coordinates, GetParam().projection, header, "t.img",
                            GetParam().named);
  };
  if (std::string(GetParam().message).empty()) {
    EXPECT_NO_THROW(check());
  } else {
    try {
      check();
      FAIL() << "no error";
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Message(), GetParam().message);
    }
  }
}

const InputProjection kAlbers{"Albers equal-area conic", 8, 40.0, -96.0, 29.5, 45.5};
const InputProjection kMercator{"coordinate transformation 7", 0, 0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Inputs, TemplateFit,
    ::testing::Values(
        TemplateCase{"TarvoGridAnyTemplate", GridCoordinates::kUnstated, {}, 8, 45.5, false, ""},
        TemplateCase{"GeographicOnGeographic", GridCoordinates::kGeographic, {}, 3, 0, false, ""},
        TemplateCase{"GeographicOnAlbers",
                     GridCoordinates::kGeographic,
                     {},
                     8,
                     45.5,
                     true,
                     "The input has latitude/longitude coordinates, but the template t.img is "
                     "not a latitude/longitude image (projection 8)"},
        TemplateCase{"ProjectedWithoutTemplate", GridCoordinates::kProjected, kAlbers, 3, 0, false,
                     "The input has projected coordinates (Albers equal-area conic); give "
                     "--template with a Kova image of that projection"},
        TemplateCase{"ProjectedOnGeographicTemplate", GridCoordinates::kProjected, kAlbers, 3, 0,
                     true,
                     "The input has projected coordinates (Albers equal-area conic), but the "
                     "template t.img is a latitude/longitude image; give --template with a Kova "
                     "image of that projection"},
        TemplateCase{"ProjectedOnOtherProjection", GridCoordinates::kProjected, kAlbers, 6, 45.5,
                     true,
                     "The template t.img has projection 6, the input Albers equal-area conic "
                     "(projection 8)"},
        TemplateCase{"ProjectedOtherParallel", GridCoordinates::kProjected, kAlbers, 8, 45.0, true,
                     "The template t.img has second standard parallel 45, the input's "
                     "projection 45.5"},
        TemplateCase{"ProjectedMatching", GridCoordinates::kProjected, kAlbers, 8, 45.5, true, ""},
        TemplateCase{"ProjectionWithoutKovaCounterpart", GridCoordinates::kProjected, kMercator, 8,
                     45.5, true,
                     "The input's projection (coordinate transformation 7) has no Kova "
                     "counterpart (Lambert conformal conic, Lambert azimuthal equal-area, Albers "
                     "equal-area conic)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GeoTiffProjection, AlbersKeysGiveTheProjectionAndMapMetresFromTheOrigin) {
  TempDir dir;
  const std::string path = dir.file("albers.tif");
  Field field = kova::testing::SmallField();
  field.left = -200000;
  field.bottom = 100000;
  field.cell_width = field.cell_height = 5000;
  TiffLayout layout;
  layout.model = ModelTypeProjected;
  layout.std_parallel1 = 29.5;
  layout.std_parallel2 = 45.5;
  layout.false_easting = 1000000;
  kova::testing::WriteGeoTiff(path, field, layout);
  auto source = Open(path);
  ASSERT_TRUE(source->Projection().has_value());
  EXPECT_EQ(source->Projection()->KovaType, 8);
  EXPECT_EQ(source->Projection()->StdParallel1, 29.5);
  EXPECT_EQ(source->Projection()->StdParallel2, 45.5);
  const GridData grid = source->ReadGrid(0);
  EXPECT_EQ(grid.Coordinates, GridCoordinates::kProjected);
  ExpectField(grid, field);  // the false easting taken off again
}

// --- kinds and time stamps ----------------------------------------------------------

TEST(InputKinds, ToldByTheFirstBytes) {
  const struct {
    std::string bytes;
    InputKind kind;
  } kCases[] = {
      {std::string("II*\0xxxx", 8), InputKind::kTiff},
      {std::string("MM\0*xxxx", 8), InputKind::kTiff},
      {std::string("II+\0xxxx", 8), InputKind::kTiff},
      {std::string("MM\0+xxxx", 8), InputKind::kTiff},
      {std::string("CDF\1xxxx", 8), InputKind::kNetCdf},
      {std::string("CDF\2xxxx", 8), InputKind::kNetCdf},
      {std::string("CDF\5xxxx", 8), InputKind::kNetCdf},
      {std::string("\x89HDF\r\n\x1a\n", 8), InputKind::kNetCdf},
      {std::string("\x89HDF\r\n\x1a", 7), InputKind::kTarvoGrid},
      {std::string("CDF\3xxxx", 8), InputKind::kTarvoGrid},
      {std::string("II*", 3), InputKind::kTarvoGrid},
      {std::string("ncols 4\n", 8), InputKind::kTarvoGrid},
      {std::string(), InputKind::kTarvoGrid},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(
        InputKindOfBytes(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()),
        c.kind)
        << c.bytes;
  }
}

TEST(InputKinds, MissingFileAndFifoAreRefusedWithoutWaiting) {
  TempDir dir;
  EXPECT_THROW(DetectInputKind(dir.file("none.tif")), FileError);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_THROW(DetectInputKind(dir.file("fifo")), KovaError);
}

TEST(CfTime, StampsOfTheCalendars) {
  const struct {
    const char* units;
    const char* calendar;
    std::vector<double> values;
    std::vector<std::string> stamps;
  } kCases[] = {
      {"days since 1970-01-01", "", {0, 59, 365 + 59}, {"19700101", "19700301", "19710301"}},
      {"days since 2000-02-28", "gregorian", {1, 2}, {"20000229", "20000301"}},
      {"days since 1900-02-28", "proleptic_gregorian", {1}, {"19000301"}},
      {"days since 2000-02-28", "noleap", {1}, {"20000301"}},
      {"days since 2001-02-28", "all_leap", {1}, {"20010229"}},
      {"days since 2000-02-29", "360_day", {1, 2}, {"20000230", "20000301"}},
      {"hours since 2024-01-01T00:00:00Z", "", {0, 1.5}, {"20240101T0000", "20240101T0130"}},
      {"minutes since 2024-01-01 06:00 +02:00", "", {0}, {"20240101T0400"}},
      {"seconds since 2024-03-01", "", {-86400}, {"20240229"}},
      {"Days since 1600-1-1 0:0:0", "standard", {0}, {"16000101"}},
      {"days since 2024-01-01", "", {0.9999999999}, {"20240102"}},
      {"months since 2024-01-01", "", {0, 1}, {"001", "002"}},
      {"K", "", {280}, {"001"}},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(CfTimeStamps(c.values, ParseCfTimeUnits(c.units, c.calendar)), c.stamps)
        << c.units << " / " << c.calendar;
  }
}

TEST(CfTime, RefusesWhatItCannotDate) {
  const struct {
    const char* units;
    const char* calendar;
    const char* message;
  } kCases[] = {
      {"days since 2024-01-01", "julian", "The time calendar 'julian' is not supported"},
      {"days since yesterday", "",
       "The time units 'days since yesterday' cannot be read as a date"},
      {"days since 2024-13-01", "",
       "The time units 'days since 2024-13-01' cannot be read as a date"},
      {"days since 2024-01-01 noon", "",
       "The time units 'days since 2024-01-01 noon' cannot be read as a date"},
      // Fields that would overflow a day or second count.
      {"days since 999999999999-01-01", "",
       "The time units 'days since 999999999999-01-01' cannot be read as a date"},
      {"hours since 2024-01-01 9999999999999:00", "",
       "The time units 'hours since 2024-01-01 9999999999999:00' cannot be read as a date"},
      {"hours since 2024-01-01 00:00 +9999999999999", "",
       "The time units 'hours since 2024-01-01 00:00 +9999999999999' cannot be read as a date"},
  };
  for (const auto& c : kCases) {
    try {
      ParseCfTimeUnits(c.units, c.calendar);
      ADD_FAILURE() << "no error for " << c.units;
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
  }
}

TEST(CfTime, RefusesStepsTooFarToName) {
  const auto units = ParseCfTimeUnits("days since 2024-01-01", "");
  for (double value : {1e300, -1.2029e54, 1e12}) {
    try {
      CfTimeStamps({0, value}, units);
      ADD_FAILURE() << "no error for " << value;
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Message().rfind("The time step ", 0), 0u) << error.Message();
      EXPECT_NE(error.Message().find(" lies too far from the reference date to be named"),
                std::string::npos);
    }
  }
  // A billion years still has a name.
  EXPECT_EQ(CfTimeStamps({365.2425e9}, units), std::vector<std::string>{"10000020240101"});
}

TEST(CfTime, DayNumbersRoundTripInEveryCalendar) {
  for (CfCalendar calendar :
       {CfCalendar::kGregorian, CfCalendar::kNoLeap, CfCalendar::kAllLeap, CfCalendar::k360Day}) {
    for (std::int64_t day = -800000; day <= 800000; day += 997) {
      std::int64_t year = 0;
      int month = 0, d = 0;
      CfCalendarDate(calendar, day, year, month, d);
      ASSERT_EQ(CfDayNumber(calendar, year, month, d), day) << static_cast<int>(calendar);
    }
  }
  EXPECT_EQ(CfDayNumber(CfCalendar::kGregorian, 1970, 1, 1), 0);
  EXPECT_EQ(CfDayNumber(CfCalendar::kGregorian, 2000, 3, 1), 11017);
}

}  // namespace
}  // namespace kova::inputs
