// Reading the 4000 x 2000 field from a GeoTIFF and from NetCDF files into
// the grid the conversion takes.
#include <benchmark/benchmark.h>
#include <unistd.h>  // getpid of the temporary folder

#include <filesystem>
#include <string>

#include "app/inputs/input_source.h"
#include "bench/input_grids.h"

namespace {

struct LargeFiles {
  std::filesystem::path folder;
  std::string tiff, tiff_striped, netcdf4, netcdf_classic;
  LargeFiles() {
    folder =
        std::filesystem::temp_directory_path() / ("kova-bench-inputs-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const kova::testing::Field field = kova::bench::LargeField();
    tiff = (folder / "large.tif").string();
    tiff_striped = (folder / "large-striped.tif").string();
    netcdf4 = (folder / "large.nc").string();
    netcdf_classic = (folder / "large-classic.nc").string();
    kova::testing::WriteGeoTiff(tiff, field, kova::bench::LargeTiffLayout());
    kova::testing::TiffLayout striped;
    striped.no_data = "-9999";
    kova::testing::WriteGeoTiff(tiff_striped, field, striped);
    kova::testing::WriteNetCdf(netcdf4, field, kova::bench::LargeNetCdfLayout(true));
    kova::testing::WriteNetCdf(netcdf_classic, field, kova::bench::LargeNetCdfLayout(false));
  }
  ~LargeFiles() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

const LargeFiles& Files() {
  static const LargeFiles files;
  return files;
}

void ReadInput(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    auto source = kova::inputs::OpenInput(path, {});
    kova::GridData grid = source->ReadGrid(0);
    benchmark::DoNotOptimize(grid.Values.data());
  }
  state.SetItemsProcessed(state.iterations() * kova::bench::kLargeCols * kova::bench::kLargeRows);
}

void BM_ReadGeoTiffTiledDeflate(benchmark::State& state) {
  ReadInput(state, Files().tiff);
}
void BM_ReadGeoTiffStriped(benchmark::State& state) {
  ReadInput(state, Files().tiff_striped);
}
void BM_ReadNetCdf4(benchmark::State& state) {
  ReadInput(state, Files().netcdf4);
}
void BM_ReadNetCdfClassic(benchmark::State& state) {
  ReadInput(state, Files().netcdf_classic);
}
BENCHMARK(BM_ReadGeoTiffTiledDeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGeoTiffStriped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetCdf4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetCdfClassic)->Unit(benchmark::kMillisecond);

}  // namespace
