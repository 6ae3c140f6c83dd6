// NetCDF input (classic and NetCDF-4) after the CF conventions: one variable
// on a regular latitude/longitude grid, one grid per time step.
#pragma once

#include <memory>
#include <string>

#include "app/inputs/input_source.h"

namespace kova::inputs {

std::unique_ptr<InputSource> OpenNetCdf(const std::string& path, const InputOptions& options);

// Readies libnetcdf, HDF5 (its error printing off on this thread) and libtiff
// without opening a file: done once before the first child process that
// reads a file, each child starts from them ready.
void PrepareReaders();

}  // namespace kova::inputs
