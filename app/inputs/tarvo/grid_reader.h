// Reader of Tarvo ASCII grid files: a header of keyword-value pairs, then the
// grid values row by row, the top row first. A header whose keywords are all
// known (header_keywords.h) is read by its keywords, in any order,
// its no-data line optional; any other header by the places of its twelve
// tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/grid_data.h"

namespace kova {

inline constexpr int kMaxGridRows = 300;
inline constexpr int kMaxGridCols = 800;
inline constexpr float kNoDataMarker = -10000000.0f;

// The file is read in blocks of this size; memory does not grow with it.
inline constexpr std::size_t kGridReadBlockSize = 64 * 1024;
// No token of a grid file may be longer (counted from its first character
// above code 32 to the space or line feed that ends it).
inline constexpr std::size_t kMaxGridTokenLength = 4096;

struct GridHeader {
  std::int32_t GridCols = 0;
  std::int32_t GridRows = 0;
  float GridLeft = 0.0f;            // x of the left edge (a centre given is moved by half a cell)
  float GridBottom = 0.0f;          // y of the bottom edge
  float CellSize = 0.0f;            // the cell width, and its height unless CellHeight is given
  std::optional<float> CellHeight;  // from a "dy" line
  std::string NoDataText;           // empty: the header has no no-data line
};

// The largest grid a run converts: the window's run holds at most 800
// columns and 300 rows; kova convert takes grids up to the image format's
// 32767 columns and rows.
struct GridLimits {
  std::int32_t MaxCols = kMaxGridCols;
  std::int32_t MaxRows = kMaxGridRows;
};
inline constexpr GridLimits kWindowGridLimits{kMaxGridCols, kMaxGridRows};
inline constexpr GridLimits kImageGridLimits{32767, 32767};

class GridReader {
 public:
  GridReader();
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  // Opens the grid file and reads its header: by its keywords when the first
  // five are known and name five different things (the lines that complete
  // it follow, the no-data line among them or left out: a number where its
  // keyword would be is the first value), otherwise by the places of twelve
  // tokens. Raises the file error of the open, ConvertError for a header
  // number that is not one, FloatOverflowError for one beyond the float
  // range, and ConversionError (naming the file) for a text that ends before
  // the header is complete, for a keyword header that lacks a line or gives
  // one twice, for GridCols or GridRows below 1, for a cell size not above 0,
  // or for a token longer than kMaxGridTokenLength.
  void ReadGridHeader(const std::string& path, GridHeader& header);

  // Reads the rest of the file into grid.Values and grid.NoData (GridCols x
  // GridRows cells, the top row first; a no-data cell holds kNoDataMarker
  // and is flagged) and notes the smallest and largest valid value. The
  // other members of `grid` are left as they are. Raises ConvertError for a
  // value that is not a number, RangeError (saying the limit) for a value
  // that would land beyond limits.MaxCols or limits.MaxRows,
  // FloatOverflowError for one beyond the float range, and ConversionError
  // (naming the file) for fewer or more values than GridCols x GridRows, for
  // an overlong token or for a grid that does not fit in memory. Errors of a
  // token say its line and column. The file stays open.
  void ReadGridValues(const GridHeader& header, GridData& grid,
                      GridLimits limits = kWindowGridLimits);

  // The smallest and largest valid value that the last ReadGridValues met
  // (ValidValueRange of its grid); false when the grid held no valid value.
  bool ValidValueRange(float& smallest, float& largest) const;

  void Close();  // closes the file; also done by the destructor

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Fills the members of `grid` that a Tarvo grid's header gives: size, lower
// left corner, square cells, and the name of `path` for the title. The
// values come with ReadGridValues.
void TakeGridHeader(const GridHeader& header, const std::string& path, GridData& grid);

// The decimal conversion of a grid number: optional sign, digits, optional
// "." and digits, optional exponent; at least one digit or the ".". The value
// is converted to extended precision and then rounded to a 4-byte float.
// Raises ConvertError "'%s' is not a valid floating point value" and
// FloatOverflowError beyond the float range. Independent of the C locale.
float ParseGridFloat(const std::string& token);

// The whole-number conversion: optional leading spaces, sign, decimal digits,
// or "$" / "0x" hexadecimal; 32-bit signed range. Raises ConvertError
// "'%s' is not a valid integer value".
std::int32_t ParseGridInteger(const std::string& token);

// The smallest and largest valid value of a grid (+infinity and -infinity
// when it has none), as a pass over its cells in order with std::min and
// std::max finds them; false when it has none.
bool ValidValueRange(const GridData& grid, float& smallest, float& largest);

namespace grid_detail {

enum class FloatStatus { kOk, kInvalid, kOverflow };

// The decimal conversion without raising. With `allow_fast` the common case
// (at most 19 significant digits, decimal exponent within +-27) is computed
// with exact double or extended arithmetic, giving the same float as the
// exact way; otherwise, and always without `allow_fast`, the exact library
// conversion is used. `took_fast`, when given, tells which way was taken.
FloatStatus ConvertGridFloat(std::string_view token, float& value, bool allow_fast = true,
                             bool* took_fast = nullptr);

}  // namespace grid_detail

}  // namespace kova
