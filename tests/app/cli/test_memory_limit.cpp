// A grid larger than the memory the run may take stops with a clear error
// before its values are read, instead of the system killing the run once the
// values fill the memory it promised. The run is put into a control group
// of its own with a memory limit, which needs root and a writable control
// group hierarchy; elsewhere the test is skipped.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>  // geteuid, getpid

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/kova_run.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

namespace fs = std::filesystem;

void Check(int status) {
  ASSERT_EQ(status, NC_NOERR) << nc_strerror(status);
}

// A NetCDF-4 file of a 32767 x 32767 latitude/longitude grid of 4-byte
// floats: evenly spaced coordinates, no value written (chunks that are never
// written take no room), about half a megabyte on disk and 5 GB in memory.
void WriteHugeGrid(const std::string& path) {
  constexpr int kSide = 32767;
  int file = 0;
  Check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &file));
  int dims[2];
  Check(nc_def_dim(file, "lat", kSide, &dims[0]));
  Check(nc_def_dim(file, "lon", kSide, &dims[1]));
  int lat = 0, lon = 0, rain = 0;
  Check(nc_def_var(file, "lat", NC_DOUBLE, 1, &dims[0], &lat));
  Check(nc_def_var(file, "lon", NC_DOUBLE, 1, &dims[1], &lon));
  Check(nc_put_att_text(file, lat, "units", 13, "degrees_north"));
  Check(nc_put_att_text(file, lon, "units", 12, "degrees_east"));
  Check(nc_def_var(file, "rain", NC_FLOAT, 2, dims, &rain));
  const std::size_t chunks[2] = {1024, 1024};
  Check(nc_def_var_chunking(file, rain, NC_CHUNKED, chunks));
  Check(nc_enddef(file));
  std::vector<double> lats(kSide), lons(kSide);
  for (int i = 0; i < kSide; ++i) {
    lats[i] = 90.0 - (i + 0.5) * (180.0 / kSide);
    lons[i] = -180.0 + (i + 0.5) * (360.0 / kSide);
  }
  Check(nc_put_var_double(file, lat, lats.data()));
  Check(nc_put_var_double(file, lon, lons.data()));
  Check(nc_close(file));
}

// A memory control group of its own with a limit, in the older memory
// hierarchy or in cgroup v2, removed again at the end; its folder is empty
// when none can be made.
class MemoryGroup {
 public:
  explicit MemoryGroup(long long limit_bytes) {
    const std::string name = "kova-test-" + std::to_string(::getpid());
    std::error_code error;
    const bool older = fs::exists("/sys/fs/cgroup/memory/memory.limit_in_bytes", error);
    const fs::path folder = fs::path(older ? "/sys/fs/cgroup/memory" : "/sys/fs/cgroup") / name;
    if (!fs::create_directory(folder, error)) return;
    folder_ = folder;
    const fs::path limit = folder / (older ? "memory.limit_in_bytes" : "memory.max");
    if (!(std::ofstream(limit) << limit_bytes) || !fs::exists(limit, error)) {
      fs::remove(folder_, error);
      folder_.clear();
    }
  }
  ~MemoryGroup() {
    std::error_code error;
    if (!folder_.empty()) fs::remove(folder_, error);
  }
  MemoryGroup(const MemoryGroup&) = delete;
  MemoryGroup& operator=(const MemoryGroup&) = delete;
  const fs::path& folder() const { return folder_; }

 private:
  fs::path folder_;
};

TEST(MemoryLimit, AGridBeyondTheMemoryLeftStopsWithAClearError) {
  if (::geteuid() != 0) GTEST_SKIP() << "a memory control group needs root; not run as root";
  const MemoryGroup group(1LL << 30);
  if (group.folder().empty()) GTEST_SKIP() << "no memory control group can be made here";
  testing::TempDir dir;
  WriteHugeGrid(dir.file("huge.nc"));
  const testing::KovaResult result = testing::RunKova(
      dir.path(), {"convert", "huge.nc", "-o", "huge.img"}, group.folder() / "cgroup.procs");
  EXPECT_EQ(result.code, 1) << result.err;
  EXPECT_EQ(result.err, "kova: The grid (32767 x 32767 cells) does not fit in memory: huge.nc\n");
  EXPECT_FALSE(fs::exists(dir.path() / "huge.img"));
}

}  // namespace
}  // namespace kova
