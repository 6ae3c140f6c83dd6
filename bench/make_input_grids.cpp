// make_input_grids FOLDER: writes the 4000 x 2000 field of the input
// benchmarks into FOLDER as large.asc, large.tif (tiled, deflate) and
// large.nc (NetCDF-4, contiguous), two more layouts of it (large_strip.tif:
// one deflate strip; large_chunked.nc: deflate chunks of 500 x 1000), and the
// small field in the same kinds (small.asc, small.tif, small.nc), whose runs
// give what a conversion takes whatever the grid's size. For
// bench/peak_memory_inputs.py.
#include <cstdio>
#include <string>

#include "bench/input_grids.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_input_grids FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  try {
    const kova::testing::Field small = kova::testing::SmallField();
    kova::testing::WriteTarvoGrid(folder + "/small.asc", small);
    kova::testing::WriteGeoTiff(folder + "/small.tif", small, kova::bench::LargeTiffLayout());
    kova::testing::WriteNetCdf(folder + "/small.nc", small, kova::bench::LargeNetCdfLayout(true));

    const kova::testing::Field field = kova::bench::LargeField();
    kova::testing::WriteTarvoGrid(folder + "/large.asc", field);
    kova::testing::WriteGeoTiff(folder + "/large.tif", field, kova::bench::LargeTiffLayout());
    kova::testing::WriteNetCdf(folder + "/large.nc", field, kova::bench::LargeNetCdfLayout(true));

    kova::testing::TiffLayout strip = kova::bench::LargeTiffLayout();
    strip.tiled = false;
    strip.rows_per_strip = 0;
    kova::testing::WriteGeoTiff(folder + "/large_strip.tif", field, strip);
    kova::testing::NetCdfLayout chunked = kova::bench::LargeNetCdfLayout(true);
    chunked.chunk_lat = 500;
    chunked.chunk_lon = 1000;
    kova::testing::WriteNetCdf(folder + "/large_chunked.nc", field, chunked);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_input_grids: %s\n", error.what());
    return 1;
  }
  return 0;
}
