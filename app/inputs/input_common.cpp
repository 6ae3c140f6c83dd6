#include "app/inputs/input_common.h"

#include <new>  // std::bad_alloc

#include "app/inputs/input_source.h"
#include "app/platform/errors.h"
#include "app/platform/process.h"  // AvailableMemory

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
  auto throw_out_of_memory = [&] {
    grid.Values = {};
    grid.NoData = {};
    ConversionError error("The grid (" + std::to_string(cols) + " x " + std::to_string(rows) +
                          " cells) does not fit in memory");
    error.AddContext(path);
    throw error;
  };
  // A large grid is measured against what the system can still give: it
  // hands out more than it has, and would kill the run once the values fill
  // it.
  constexpr std::size_t kAskAbove = std::size_t{64} << 20;
  if (cells * kBytesPerGridCell > kAskAbove && cells * kBytesPerGridCell > AvailableMemory()) {
    throw_out_of_memory();
  }
  try {
    grid.Values.assign(cells, 0.0f);
    grid.NoData.assign(cells, 0);
  } catch (const std::bad_alloc&) {
    throw_out_of_memory();
  }
}

}  // namespace kova::inputs
