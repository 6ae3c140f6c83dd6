// The NetCDF reader on arbitrary bytes. The first byte's low bit fixes the
// time dimension at index 0 (--index time=0) instead of one grid per step;
// the rest is the file. fuzz_netcdf takes only the classic formats (classic,
// 64-bit offset, CDF-5: "CDF" and a version byte), read by libnetcdf
// itself; fuzz_netcdf4 (built from this file with KOVA_FUZZ_NETCDF4) only
// NetCDF-4 files, read through the HDF5 library. The reader's own code is
// the same for both; they are apart because HDF5 1.10.8 crashes or hangs on
// damaged files within about a minute (see the note in `./run`), which would
// leave little time for the classic formats.
//
// Whatever the reader accepts must name its images soundly: one name part
// per grid, all different, made of digits and "T" only (and the sign of a
// year before year 0): no character a file name cannot carry. Every grid
// read must be whole: as many values and no-data flags as cells, finite
// edges and cell sizes above zero, no value that is not finite (NaN is no
// data), and reading a grid again gives the same grid.
//
// When the reader is done, no NetCDF file may be left open.
//
// libnetcdf and the HDF5 library beneath it are Debian's, not built with the
// sanitizers. On a damaged NetCDF-4 file, nc_open itself fails and leaks
// what HDF5 had allocated for it (seen with libnetcdf 4.9.0 and HDF5
// 1.10.8); those leaks are suppressed below, by the two libraries' names,
// and only those. That nothing of ours leaks with them is what the check
// for files left open covers: our side holds no memory of the library but
// an open file.
#include <netcdf.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>  // std::memcmp of the signature
#include <optional>
#include <set>
#include <string>

#include "app/inputs/netcdf_reader.h"
#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"

namespace {

using kova::fuzz::Check;

// Grids above this many cells are opened but not read, and at most this
// many time steps of a file: a few bytes can declare a large grid.
constexpr std::size_t kMaxCellsRead = std::size_t{1} << 20;
constexpr std::size_t kMaxGridsRead = 4;

void CheckGrid(const kova::GridData& grid, std::size_t cells) {
  kova::fuzz::CheckGridShape(grid, cells);
  Check(grid.SourceName.rfind("input.nc", 0) == 0, "the title's name is not the file's");
}

bool SameGrid(const kova::GridData& a, const kova::GridData& b) {
  if (a.NoData != b.NoData || a.Values.size() != b.Values.size()) return false;
  for (std::size_t k = 0; k < a.Values.size(); ++k) {
    if (a.NoData[k] == 0 &&
        std::bit_cast<std::uint32_t>(a.Values[k]) != std::bit_cast<std::uint32_t>(b.Values[k])) {
      return false;
    }
  }
  return std::bit_cast<std::uint32_t>(a.Left) == std::bit_cast<std::uint32_t>(b.Left) &&
         std::bit_cast<std::uint32_t>(a.Bottom) == std::bit_cast<std::uint32_t>(b.Bottom) &&
         a.CellWidth == b.CellWidth && a.CellHeight == b.CellHeight;
}

// An open file's id is its slot in the library's list shifted 16 bits up;
// slots are taken from 1 upwards.
bool AnyNetCdfFileOpen() {
  for (int slot = 1; slot <= 64; ++slot) {
    int format = 0;
    if (nc_inq_format(slot << 16, &format) == NC_NOERR) return true;
  }
  return false;
}

#ifndef KOVA_FUZZ_NETCDF4
// libnetcdf sets up every dimension a classic header declares before it
// reads them: a 358-byte file declaring 4,194,304 dimensions keeps it busy
// for about a second, and past the fuzzer's 10 s under the sanitizers. A
// count beyond what the file could hold (8 bytes a dimension at least) is
// the library's to handle, not the reader's to test; such inputs are
// skipped.
bool DeclaresMoreDimensionsThanItHolds(const std::uint8_t* file, std::size_t size) {
  const bool wide = size > 3 && file[3] == 5;  // CDF-5: 8-byte counts
  const std::size_t at = 4 + (wide ? 8 : 4);   // behind the record count
  const std::size_t count_bytes = wide ? 8 : 4;
  if (size < at + 4 + count_bytes) return false;
  auto big_endian = [&](std::size_t from, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t k = 0; k < bytes; ++k) value = value << 8 | file[from + k];
    return value;
  };
  const std::uint64_t kDimensionTag = 10;
  return big_endian(at, 4) == kDimensionTag && big_endian(at + 4, count_bytes) > size / 8;
}
#endif

}  // namespace

// The libraries' own leaks on a file they fail to open (see above).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libhdf5_serial.so\nleak:libnetcdf.so\n";
}

// libnetcdf sizes some of its arrays from counts in the file's header before
// it knows they cannot be there (a 3 KB classic file asks malloc for 17 GB).
// Without the sanitizers malloc refuses such a request and the library
// reports an error; under AddressSanitizer the request would be granted and
// its shadow memory alone exceed the fuzzer's limit. So a C allocation above
// 1 GB fails as it would on a smaller machine. A C++ allocation (ours) that
// large still ends the run as a finding: new never returns null.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
#ifdef KOVA_FUZZ_NETCDF4
  if (size < 9 || std::memcmp(data + 1, "\x89HDF\r\n\x1a\n", 8) != 0) return 0;
#else
  if (size < 4 || std::memcmp(data + 1, "CDF", 3) != 0) return 0;
  if (DeclaresMoreDimensionsThanItHolds(data + 1, size - 1)) return 0;
#endif
  kova::inputs::InputOptions options;
  if ((data[0] & 1) != 0) options.Index["time"] = 0;
  static const std::string path = kova::fuzz::Scratch().File("input.nc");
  kova::fuzz::WriteBytes(path, data + 1, size - 1);
  try {
    const auto source = kova::inputs::OpenNetCdf(path, options);
    const std::size_t grids = source->GridCount();
    Check(grids >= 1, "a variable with no grid to convert");
    std::set<std::string> names;
    for (std::size_t i = 0; i < grids; ++i) {
      const std::string suffix = source->NameSuffix(i);
      Check(names.insert(suffix).second, "two grids of one file get the same image name");
      if (grids > 1) Check(suffix.size() > 1 && suffix[0] == '_', "a time step without a name");
      for (std::size_t k = 1; k < suffix.size(); ++k) {
        const char c = suffix[k];
        Check((c >= '0' && c <= '9') || c == 'T' || (c == '-' && k == 1),
              "a time step's name holds a character other than a digit, T or a year's sign");
      }
    }
    const std::optional<std::size_t> cells = source->CellCount();
    Check(cells.has_value(), "a NetCDF variable does not tell its cell count");
    if (*cells > kMaxCellsRead) return 0;
    for (std::size_t i = 0; i < grids && i < kMaxGridsRead; ++i) {
      const kova::GridData grid = source->ReadGrid(i);
      CheckGrid(grid, *cells);
      if (i == 0) Check(SameGrid(grid, source->ReadGrid(0)), "a grid read twice differs");
    }
  } catch (const kova::KovaError&) {
    // A refusal with its message: what most inputs get.
  }
  Check(!AnyNetCdfFileOpen(), "a NetCDF file left open");
  return 0;
}
