// GeoTIFF and NetCDF files read in child processes. Debian's libnetcdf and
// HDF5 crash, corrupt their memory or never return on some damaged files;
// read in a child, such a file ends with a message and the rest of a series
// goes on. The file is opened in one child, which tells its grids, and each
// grid is read in a fresh one, its values coming back through a pipe; a
// child that has not answered within its time limit is killed.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "app/inputs/input_source.h"

namespace kova::inputs {

// Opening a file and learning its grids takes well under a second; a file
// that takes longer than this is taken to hang the library.
inline constexpr std::chrono::seconds kOpenTimeLimit{10};
// Reading one grid: this much, and kReadTimePerCell for every cell of it (a
// grid of the largest size, 32767 x 32767 cells, gets some four minutes).
inline constexpr std::chrono::seconds kReadTimeLimit{10};
inline constexpr std::chrono::nanoseconds kReadTimePerCell{200};

// The source of the GeoTIFF or NetCDF file `path` (its kind told already)
// whose every call into the readers runs in a child process. Raises what
// the reader raises, and ConversionError "... the NetCDF library failed on
// this file (...)" naming `path` when the child crashes or hangs.
std::unique_ptr<InputSource> OpenInChildProcess(const std::string& path, InputKind kind,
                                                const InputOptions& options);

}  // namespace kova::inputs
