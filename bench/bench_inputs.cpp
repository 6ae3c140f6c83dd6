// Reading the 4000 x 2000 field from a GeoTIFF and from NetCDF files into
// the grid the conversion takes, in this process and (as `kova` reads them)
// in child processes; and the small field, whose reading in children costs
// mostly the processes themselves.
#include <benchmark/benchmark.h>
#include <unistd.h>  // getpid of the temporary folder

#include <filesystem>
#include <string>

#include "app/inputs/input_readers.h"  // ReadInChildProcesses
#include "app/inputs/input_source.h"
#include "bench/input_grids.h"

namespace {

struct LargeFiles {
  std::filesystem::path folder;
  std::string tiff, tiff_striped, netcdf4, netcdf_classic, small_tiff, small_netcdf4;
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
    small_tiff = (folder / "small.tif").string();
    small_netcdf4 = (folder / "small.nc").string();
    kova::testing::WriteGeoTiff(small_tiff, kova::testing::SmallField(), {});
    kova::testing::NetCdfLayout small_layout;
    small_layout.netcdf4 = true;
    kova::testing::WriteNetCdf(small_netcdf4, kova::testing::SmallField(), small_layout);
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

void ReadInput(benchmark::State& state, const std::string& path, bool in_child = false) {
  kova::inputs::ReadInChildProcesses(in_child);
  std::size_t cells = 0;
  for (auto _ : state) {
    auto source = kova::inputs::OpenInput(path, {});
    kova::GridData grid = source->ReadGrid(0);
    cells = grid.Values.size();
    benchmark::DoNotOptimize(grid.Values.data());
  }
  kova::inputs::ReadInChildProcesses(false);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells));
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
void BM_ReadGeoTiffTiledDeflateInChild(benchmark::State& state) {
  ReadInput(state, Files().tiff, true);
}
void BM_ReadNetCdf4InChild(benchmark::State& state) {
  ReadInput(state, Files().netcdf4, true);
}
void BM_ReadNetCdfClassicInChild(benchmark::State& state) {
  ReadInput(state, Files().netcdf_classic, true);
}
void BM_ReadSmallGeoTiff(benchmark::State& state) {
  ReadInput(state, Files().small_tiff);
}
void BM_ReadSmallGeoTiffInChild(benchmark::State& state) {
  ReadInput(state, Files().small_tiff, true);
}
void BM_ReadSmallNetCdf4(benchmark::State& state) {
  ReadInput(state, Files().small_netcdf4);
}
void BM_ReadSmallNetCdf4InChild(benchmark::State& state) {
  ReadInput(state, Files().small_netcdf4, true);
}
BENCHMARK(BM_ReadGeoTiffTiledDeflateInChild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetCdf4InChild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetCdfClassicInChild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSmallGeoTiff)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadSmallGeoTiffInChild)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadSmallNetCdf4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadSmallNetCdf4InChild)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadGeoTiffTiledDeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGeoTiffStriped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetCdf4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetCdfClassic)->Unit(benchmark::kMillisecond);

}  // namespace
