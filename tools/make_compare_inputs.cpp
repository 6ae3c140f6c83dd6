// make_compare_inputs FOLDER: the small field of the input tests as GeoTIFF
// and NetCDF files of many layouts (sample types, tiles and strips,
// compression, no-data markers, orientation, projections, time steps,
// variables, packing), for tools/compare-builds.sh.
#include <cstdio>
#include <functional>
#include <string>

#include "support/input_fixtures.h"

using namespace kova::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_compare_inputs FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const auto tiff = [&](const char* name, const std::function<void(TiffLayout&)>& change,
                        const Field& field = SmallField()) {
    TiffLayout layout;
    change(layout);
    WriteGeoTiff(folder + name, field, layout);
  };
  const auto netcdf = [&](const char* name, const std::function<void(NetCdfLayout&)>& change) {
    NetCdfLayout layout;
    change(layout);
    WriteNetCdf(folder + name, SmallField(), layout);
  };
  try {
    WriteTarvoGrid(folder + "field.asc", SmallField());
    tiff("float32.tif", [](TiffLayout&) {});
    tiff("float64_tiled.tif", [](TiffLayout& l) {
      l.sample = Sample::kFloat64;
      l.tiled = true;
    });
    tiff("uint8_nodata.tif", [](TiffLayout& l) {
      l.sample = Sample::kUInt8;
      l.no_data = "255";
      l.hole_value = 255;
    });
    tiff("int16_deflate.tif", [](TiffLayout& l) {
      l.sample = Sample::kInt16;
      l.no_data = "-9999";
      l.compression = COMPRESSION_ADOBE_DEFLATE;
    });
    tiff("uint32_lzw_point.tif", [](TiffLayout& l) {
      l.sample = Sample::kUInt32;
      l.no_data = "4000";
      l.hole_value = 4000;
      l.compression = COMPRESSION_LZW;
      l.pixel_is_point = true;
    });
    tiff("int64_bigtiff.tif", [](TiffLayout& l) {
      l.sample = Sample::kInt64;
      l.no_data = "-1";
      l.hole_value = -1;
      l.bigtiff = true;
    });
    tiff("three_bands_separate.tif", [](TiffLayout& l) {
      l.bands = 3;
      l.band = 2;
      l.planar_separate = true;
    });
    tiff("south_up_transform.tif", [](TiffLayout& l) {
      l.south_up = true;
      l.transformation = true;
    });
    tiff("rotated.tif", [](TiffLayout& l) {
      l.transformation = true;
      l.rotation = 0.01;
    });
    tiff("no_geokeys.tif", [](TiffLayout& l) { l.model = 0; });
    tiff(
        "albers.tif", [](TiffLayout& l) { l = AlbersTiff(); }, AlbersField());
    WriteAlbersTemplate(folder + "albers.img");
    netcdf("classic.nc", [](NetCdfLayout&) {});
    netcdf("netcdf4_chunked.nc", [](NetCdfLayout& l) {
      l.netcdf4 = true;
      l.chunk_lat = 5;
      l.chunk_lon = 8;
    });
    netcdf("cdf5_double.nc", [](NetCdfLayout& l) {
      l.cdf5 = true;
      l.var_type = NC_DOUBLE;
    });
    netcdf("lat_ascending_fill.nc", [](NetCdfLayout& l) {
      l.lat_ascending = true;
      l.fill = -1e30;
    });
    netcdf("packed_short.nc", [](NetCdfLayout& l) {
      l.var_type = NC_SHORT;
      l.scale = 0.5;
      l.offset = 10;
      l.missing_value = -32767;
    });
    netcdf("times.nc", [](NetCdfLayout& l) { l.times = {0, 1, 31}; });
    netcdf("record_times.nc", [](NetCdfLayout& l) {
      l.times = {0, 10};
      l.record_time = true;
    });
    netcdf("levels.nc", [](NetCdfLayout& l) {
      l.extra_dim = "level";
      l.extra_length = 2;
    });
    netcdf("two_variables.nc", [](NetCdfLayout& l) { l.second_variable = true; });
    netcdf("plain_names.nc", [](NetCdfLayout& l) { l.plain_names_only = true; });
    netcdf("uneven.nc", [](NetCdfLayout& l) { l.lat_jitter = 0.01; });
    netcdf("lon_first.nc", [](NetCdfLayout& l) { l.lon_first = true; });
    netcdf("bad_time_units.nc", [](NetCdfLayout& l) {
      l.times = {0, 1};
      l.time_units = std::string("days since 2024\0-01-01", 22);
    });
    netcdf("records_packed_two.nc", [](NetCdfLayout& l) { l = PackedRecordsOfTwoVariables(); });
    netcdf("cdf5_records.nc", [](NetCdfLayout& l) { l = Cdf5Records(); });
    netcdf("netcdf4_chunked_times.nc", [](NetCdfLayout& l) { l = NetCdf4ChunkedTimes(); });
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_compare_inputs: %s\n", error.what());
    return 1;
  }
  return 0;
}
