#include "app/inputs/input_common.h"

#include <new>  // std::bad_alloc

#include "app/inputs/input_source.h"
#include "app/platform/errors.h"

namespace kova::inputs {

void CheckGridSize(std::int64_t cols, std::int64_t rows, const std::string& path) {
  if (cols >= 1 && rows >= 1 && cols <= kMaxGridSide && rows <= kMaxGridSide) return;
  ConversionError error("The grid has " + std::to_string(cols) + " x " + std::to_string(rows) +
                        " cells; a Kova image holds 1 to 32767 columns and rows");
  error.AddContext(path);
  throw error;
}

void AllocateGrid(GridData& grid, std::int32_t cols, std::int32_t rows, const std::string& path) {
  const std::size_t cells = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
  try {
    grid.Values.assign(cells, 0.0f);
    grid.NoData.assign(cells, 0);
  } catch (const std::bad_alloc&) {
    grid.Values = {};
    grid.NoData = {};
    ConversionError error("The grid (" + std::to_string(cols) + " x " + std::to_string(rows) +
                          " cells) does not fit in memory");
    error.AddContext(path);
    throw error;
  }
}

}  // namespace kova::inputs
