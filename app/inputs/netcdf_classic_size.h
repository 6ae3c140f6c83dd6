// The size a classic NetCDF file (CDF-1, CDF-2 or CDF-5) must have. Its
// header says where each variable's values begin and how many bytes they and
// every record take; libnetcdf reads the bytes of a file cut short as if they
// were zeros, so the size is checked before any value is read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace kova::inputs {

struct ClassicLayout {
  bool header_complete = false;      // false: the file ends within its header
  std::uint64_t header_bytes = 0;    // read of the header (all of it, when complete)
  std::uint64_t declared_bytes = 0;  // the end of the last value it declares
};

// The layout of the classic NetCDF header at the start of `file`; none when
// the header is not one this reading can follow (the library then judges).
std::optional<ClassicLayout> ReadClassicLayout(std::FILE* file);

// Raises ConversionError "The NetCDF file is cut short: 4,000 of the 8,852
// bytes its header declares" naming `path` when the classic file there is
// shorter than its header says, and "... its header runs past the end of the
// file" when even the header is not all there.
void CheckClassicNetCdfSize(const std::string& path);

// 8852 as "8,852".
std::string WithThousands(std::uint64_t number);

}  // namespace kova::inputs
