// make_input_grids FOLDER: writes the 4000 x 2000 field of the input
// benchmarks as large.asc, large.tif and large.nc into FOLDER, for
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
  const kova::testing::Field field = kova::bench::LargeField();
  try {
    kova::testing::WriteTarvoGrid(folder + "/large.asc", field);
    kova::testing::WriteGeoTiff(folder + "/large.tif", field, kova::bench::LargeTiffLayout());
    kova::testing::WriteNetCdf(folder + "/large.nc", field, kova::bench::LargeNetCdfLayout(true));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_input_grids: %s\n", error.what());
    return 1;
  }
  return 0;
}
