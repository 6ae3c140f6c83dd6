// A file read in child processes must give what the same readers give in
// this process: the same grids, names and projection, the same errors of the
// same classes. And NetCDF-4 files read on several threads here print
// nothing of HDF5 on standard error.
#include <gtest/gtest.h>
#include <unistd.h>  // dup, dup2 of standard error

#include <cstdio>
#include <functional>
#include <thread>
#include <typeinfo>

#include "app/inputs/input_readers.h"
#include "app/inputs/input_source.h"
#include "app/platform/base/errors.h"
#include "support/input_fixtures.h"
#include "support/temp_dir.h"

namespace kova::inputs {
namespace {

using kova::testing::NetCdfLayout;
using kova::testing::TempDir;
using kova::testing::TiffLayout;

struct Reading {
  std::size_t grids = 0;
  std::string name_part;
  std::vector<std::string> suffixes;
  std::optional<InputProjection> projection;
  std::optional<std::size_t> cells;
  std::vector<GridData> data;
  // The error instead, by class and text.
  std::string error_class;
  std::string error_message, error_context;
};

Reading ReadAll(const std::string& path, const InputOptions& options, bool in_child) {
  ReadInChildProcesses(in_child);
  Reading reading;
  try {
    auto source = OpenInput(path, options);
    reading.grids = source->GridCount();
    reading.name_part = source->NamePart();
    reading.projection = source->Projection();
    reading.cells = source->CellCount();
    for (std::size_t i = 0; i < reading.grids; ++i) {
      reading.suffixes.push_back(source->NameSuffix(i));
      reading.data.push_back(source->ReadGrid(i));
    }
  } catch (const KovaError& error) {
    reading.error_class = typeid(error).name();
    reading.error_message = error.Message();
    reading.error_context = error.Context();
  }
  ReadInChildProcesses(false);
  return reading;
}

struct ChildCase {
  const char* name;
  std::function<void(const std::string&)> write;
  InputOptions options;
  bool fails = false;
};
void PrintTo(const ChildCase& c, std::ostream* os) {
  *os << c.name;
}

class InChildren : public ::testing::TestWithParam<ChildCase> {};

TEST_P(InChildren, ReadAsInThisProcess) {
  TempDir dir;
  const std::string path = dir.file("input");
  GetParam().write(path);
  const Reading here = ReadAll(path, GetParam().options, false);
  const Reading there = ReadAll(path, GetParam().options, true);
  EXPECT_EQ(!here.error_class.empty(), GetParam().fails) << here.error_message;
  EXPECT_EQ(there.error_class, here.error_class);
  EXPECT_EQ(there.error_message, here.error_message);
  EXPECT_EQ(there.error_context, here.error_context);
  EXPECT_EQ(there.grids, here.grids);
  EXPECT_EQ(there.name_part, here.name_part);
  EXPECT_EQ(there.suffixes, here.suffixes);
  EXPECT_EQ(there.cells, here.cells);
  ASSERT_EQ(there.projection.has_value(), here.projection.has_value());
  if (here.projection) {
    EXPECT_EQ(there.projection->Name, here.projection->Name);
    EXPECT_EQ(there.projection->KovaType, here.projection->KovaType);
    EXPECT_EQ(there.projection->StdParallel2, here.projection->StdParallel2);
  }
  ASSERT_EQ(there.data.size(), here.data.size());
  for (std::size_t i = 0; i < here.data.size(); ++i) {
    const GridData& a = here.data[i];
    const GridData& b = there.data[i];
    EXPECT_EQ(b.Cols, a.Cols);
    EXPECT_EQ(b.Rows, a.Rows);
    EXPECT_EQ(b.Left, a.Left);
    EXPECT_EQ(b.Bottom, a.Bottom);
    EXPECT_EQ(b.CellWidth, a.CellWidth);
    EXPECT_EQ(b.CellHeight, a.CellHeight);
    EXPECT_EQ(b.Coordinates, a.Coordinates);
    EXPECT_EQ(b.SourceName, a.SourceName);
    EXPECT_TRUE(b.Values == a.Values);
    EXPECT_TRUE(b.NoData == a.NoData);
  }
}

auto Tiff(const std::function<void(TiffLayout&)>& change) {
  return [=](const std::string& path) {
    TiffLayout layout;
    change(layout);
    kova::testing::WriteGeoTiff(path, kova::testing::SmallField(), layout);
  };
}

auto NetCdf(const std::function<void(NetCdfLayout&)>& change) {
  return [=](const std::string& path) {
    NetCdfLayout layout;
    change(layout);
    kova::testing::WriteNetCdf(path, kova::testing::SmallField(), layout);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Files, InChildren,
    ::testing::Values(
        ChildCase{"GeoTiffTiledBand2",
                  Tiff([](TiffLayout& l) {
                    l.tiled = true;
                    l.bands = 2;
                    l.band = 2;
                    l.no_data = "-9999";
                  }),
                  {2, "", {}}},
        ChildCase{"GeoTiffAlbers",
                  Tiff([](TiffLayout& l) {
                    l.model = ModelTypeProjected;
                    l.std_parallel1 = 29.5;
                    l.std_parallel2 = 45.5;
                  }),
                  {}},
        ChildCase{"NetCdf4StepsOfOneVariable",
                  NetCdf([](NetCdfLayout& l) {
                    l.netcdf4 = true;
                    l.times = {0, 1, 2};
                    l.second_variable = true;
                    l.chunk_lat = 5;
                    l.chunk_lon = 7;
                  }),
                  {1, "snow", {}}},
        ChildCase{"NetCdfLevelChosen",
                  NetCdf([](NetCdfLayout& l) {
                    l.extra_dim = "level";
                    l.extra_length = 3;
                    l.fill = -9999;
                  }),
                  {1, "", {{"level", 2}}}},
        // Errors of each class come back as they were raised.
        ChildCase{"BandNotThere", Tiff([](TiffLayout&) {}), {3, "", {}}, true},
        ChildCase{"VariableNotThere", NetCdf([](NetCdfLayout&) {}), {1, "hail", {}}, true},
        ChildCase{
            "TwoCandidates", NetCdf([](NetCdfLayout& l) { l.second_variable = true; }), {}, true},
        ChildCase{"ValueBeyondAFloat",
                  [](const std::string& path) {
                    kova::testing::Field field = kova::testing::SmallField();
                    field.values[5] = 1e39;
                    NetCdfLayout layout;
                    layout.var_type = NC_DOUBLE;
                    kova::testing::WriteNetCdf(path, field, layout);
                  },
                  {},
                  true},
        ChildCase{"ClassicCutShort",
                  [](const std::string& path) {
                    NetCdf([](NetCdfLayout&) {})(path);
                    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 40);
                  },
                  {},
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InChildren, LibraryCrashEndsTheFileNotTheProgram) {
  TempDir dir;
  const std::string path = dir.file("crash.nc");
  // The classic header of a variable whose dimension list the library reads
  // through a null pointer.
  std::filesystem::copy_file(KOVA_LIBRARY_FAULTS "/classic_segv_getn_longlong.nc", path);
  const Reading reading = ReadAll(path, {}, true);
  EXPECT_EQ(reading.error_context, path);
  EXPECT_EQ(reading.error_message.rfind(
                "Reading stopped: the NetCDF library failed on this file (the reading ", 0),
            0u)
      << reading.error_message;
}

// HDF5 prints its errors on each thread that has not switched them off: the
// attributes the library looks for and does not find, on every thread.
TEST(InThisProcess, NetCdf4OnTwoThreadsPrintsNothing) {
  TempDir dir;
  for (const char* name : {"a.nc", "b.nc"}) {
    NetCdf([](NetCdfLayout& l) {
      l.netcdf4 = true;
      l.times = {0, 1};
      l.second_variable = true;
    })(dir.file(name));
  }
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  std::FILE* err = std::fopen(dir.file("err").c_str(), "w+");
  ASSERT_NE(err, nullptr);
  ::dup2(::fileno(err), STDERR_FILENO);
  auto read = [&](const std::string& name) {
    for (int i = 0; i < 3; ++i) ReadAll(dir.file(name), {1, "rain", {}}, false);
  };
  std::thread first(read, "a.nc"), second(read, "b.nc");
  first.join();
  second.join();
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  std::fseek(err, 0, SEEK_END);
  EXPECT_EQ(std::ftell(err), 0);
  std::fclose(err);
}

}  // namespace
}  // namespace kova::inputs
