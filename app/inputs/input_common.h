// Pieces every input reader shares: the size a Kova image can hold, the
// rounding of a value or coordinate into a 4-byte float, the grid arrays.
#pragma once

#include <cstdint>
#include <string>

#include "app/grid_data.h"

namespace kova::inputs {

// Columns and rows of a Kova image are 16-bit signed numbers.
inline constexpr std::int64_t kMaxGridSide = 32767;

// Raises ConversionError naming `path` unless 1 <= cols, rows <= 32767.
void CheckGridSize(std::int64_t cols, std::int64_t rows, const std::string& path);

// A cell's width or height (`what`) rounded to a 4-byte float. Raises
// FloatOverflowError beyond the float range, and ConversionError naming
// `path` for a size that rounds to 0 (a cell of no extent places nothing).
float RoundCellSize(long double size, const char* what, const std::string& path);

// An edge (`what`: "left", "bottom") rounded to a 4-byte float. Raises
// FloatOverflowError beyond the float range, and ConversionError naming
// `path` for an edge that is not a number or infinite.
float RoundEdge(long double edge, const char* what, const std::string& path);

}  // namespace kova::inputs
