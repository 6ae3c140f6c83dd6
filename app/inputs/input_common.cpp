#include "app/inputs/input_common.h"

#include <cmath>   // std::isfinite
#include <cstdio>  // std::snprintf of the size
#include <new>     // std::bad_alloc

#include "app/grid_data.h"  // RoundToFloat
#include "app/inputs/input_source.h"
#include "app/platform/base/errors.h"
#include "app/platform/process.h"  // ExceedsMemoryLeft

namespace kova::inputs {

void CheckGridSize(std::int64_t cols, std::int64_t rows, const std::string& path) {
  if (cols >= 1 && rows >= 1 && cols <= kMaxGridSide && rows <= kMaxGridSide) return;
  ConversionError error("The grid has " + std::to_string(cols) + " x " + std::to_string(rows) +
                        " cells; a Kova image holds 1 to 32767 columns and rows");
  error.AddContext(path);
  throw error;
}

float RoundCellSize(long double size, const char* what, const std::string& path) {
  const float rounded = RoundToFloat(size, path);
  if (rounded > 0.0f) return rounded;
  char text[40];
  std::snprintf(text, sizeof text, "%.9Lg", size);
  ConversionError error(std::string("The cell ") + what + " " + text +
                        " is too small: as a 4-byte float it is 0");
  error.AddContext(path);
  throw error;
}

float RoundEdge(long double edge, const char* what, const std::string& path) {
  if (std::isfinite(edge)) return RoundToFloat(edge, path);
  ConversionError error(std::string("The grid's ") + what + " edge is not a finite number");
  error.AddContext(path);
  throw error;
}

void AllocateGrid(GridData& grid, std::int32_t cols, std::int32_t rows, const std::string& path) {
  const std::size_t cells = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
  auto throw_out_of_memory = [&] {
    grid.Values = {};
    grid.NoData = {};
    ConversionError error("The grid (" + std::to_string(cols) + " x " + std::to_string(rows) +
                          " cells) does not fit in memory");
    error.AddContext(path);
    throw error;
  };
  if (ExceedsMemoryLeft(cells * kBytesPerGridCell)) throw_out_of_memory();
  try {
    grid.Values.assign(cells, 0.0f);
    grid.NoData.assign(cells, 0);
  } catch (const std::bad_alloc&) {
    throw_out_of_memory();
  }
}

}  // namespace kova::inputs
