// A grid as every input kind delivers it to the conversion: 4-byte values row
// by row, the northern row first, a no-data flag per cell, the lower-left
// corner and the cell sizes in map units, and the name an image title carries.
// The Tarvo ASCII reader, the GeoTIFF reader and the NetCDF reader all yield
// this, so the conversion never asks which kind of file it got.
#pragma once

#include <cmath>    // std::isinf of RoundToFloat
#include <cstddef>  // std::size_t
#include <cstdint>
#include <string>
#include <vector>

#include "app/platform/base/errors.h"

namespace kova {

// What the map units of a grid are, as far as its file says.
enum class GridCoordinates {
  kUnstated,    // a Tarvo grid: whatever the template's projection expects
  kGeographic,  // degrees of longitude and latitude
  kProjected,   // metres (or other units) of a map projection
};

// Memory a grid takes per cell: its 4-byte value and its no-data flag. The
// image is coded from them in pieces of bounded size.
inline constexpr std::size_t kBytesPerGridCell = sizeof(float) + sizeof(std::uint8_t);

struct GridData {
  std::int32_t Cols = 0;
  std::int32_t Rows = 0;
  float Left = 0.0f;        // x of the left edge
  float Bottom = 0.0f;      // y of the bottom edge
  float CellWidth = 0.0f;   // x extent of one cell
  float CellHeight = 0.0f;  // y extent of one cell
  GridCoordinates Coordinates = GridCoordinates::kUnstated;

  // Rows x Cols cells, row-major, the top (northern) row first.
  std::vector<float> Values;
  // 1 where a cell holds no value; its entry in Values is then not used.
  std::vector<std::uint8_t> NoData;

  // The input's file name without directory (plus the time step of a NetCDF
  // series), as the image title names it.
  std::string SourceName;

  float at(std::int32_t row, std::int32_t col) const {
    return Values[static_cast<std::size_t>(row) * static_cast<std::size_t>(Cols) +
                  static_cast<std::size_t>(col)];
  }
  bool IsNoData(std::int32_t row, std::int32_t col) const {
    return NoData[static_cast<std::size_t>(row) * static_cast<std::size_t>(Cols) +
                  static_cast<std::size_t>(col)] != 0;
  }
};

// Rounds an extended value to a 4-byte float, as a store into one does;
// raises FloatOverflowError (saying `where`, when given) for a finite value
// beyond the float range. The readers store their values through it.
inline float RoundToFloat(long double value, const std::string& where = {}) {
  const auto rounded = static_cast<float>(value);
  if (std::isinf(rounded) && !std::isinf(value)) {
    FloatOverflowError error;
    error.AddContext(where);
    throw error;
  }
  return rounded;
}

}  // namespace kova
