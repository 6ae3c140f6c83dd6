// Reader of Tarvo ASCII grid files: six keyword-value header pairs, then the
// grid values row by row, the top row first. The reader is positional: it
// counts tokens and never looks at the keywords.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kova {

inline constexpr int kMaxGridRows = 300;
inline constexpr int kMaxGridCols = 800;
inline constexpr float kNoDataMarker = -10000000.0f;
inline constexpr float kValueMinStart = 99999997952.0f;  // nearest float to 1e11
inline constexpr float kValueMaxStart = -1000000000.0f;

// The file is read in blocks of this size; memory does not grow with it.
inline constexpr std::size_t kGridReadBlockSize = 64 * 1024;
// No token of a grid file may be longer (counted from its first character
// above code 32 to the space or line feed that ends it).
inline constexpr std::size_t kMaxGridTokenLength = 4096;

struct GridHeader {
  std::int32_t GridCols = 0;
  std::int32_t GridRows = 0;
  float GridLeft = 0.0f;
  float GridBottom = 0.0f;
  float CellSize = 0.0f;
  std::string NoDataText;
};

// The fixed 300 x 800 grid of a conversion run, rows and columns from 1.
// A no-data cell holds kNoDataMarker and is also flagged as such, so that a
// valid value equal to the marker is never taken for a missing one.
class GridValues {
 public:
  GridValues()
      : cells_(std::make_unique<Row[]>(kMaxGridRows)),
        no_data_(std::make_unique<FlagRow[]>(kMaxGridRows)) {
    Clear();
  }
  void Clear();  // all cells 0 and valid
  float& at(int row, int col) { return cells_[row - 1][col - 1]; }
  float at(int row, int col) const { return cells_[row - 1][col - 1]; }
  const float* row(int r) const { return cells_[r - 1].data(); }

  // Stores a cell: a value, or no data (the marker, flagged).
  void Store(int row, int col, float value) {
    cells_[row - 1][col - 1] = value;
    no_data_[row - 1][col - 1] = false;
  }
  void StoreNoData(int row, int col) {
    cells_[row - 1][col - 1] = kNoDataMarker;
    no_data_[row - 1][col - 1] = true;
  }
  bool IsNoData(int row, int col) const { return no_data_[row - 1][col - 1]; }
  const bool* no_data_row(int r) const { return no_data_[r - 1].data(); }

 private:
  using Row = std::array<float, kMaxGridCols>;
  using FlagRow = std::array<bool, kMaxGridCols>;
  std::unique_ptr<Row[]> cells_;
  std::unique_ptr<FlagRow[]> no_data_;
};

class GridReader {
 public:
  GridReader();
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  // Opens the grid file and reads the twelve header tokens. Raises the file
  // error of the open, ConvertError for a header number that is not one, and
  // ConversionError (naming the file) for a text that ends before the twelfth
  // token, for GridCols or GridRows below 1, or for a token longer than
  // kMaxGridTokenLength.
  void ReadGridHeader(const std::string& path, GridHeader& header);

  // Reads the rest of the file into `values` and finds the smallest and
  // largest valid value (the start values when there is none). Raises
  // ConvertError for a value that is not a number, RangeError for a value
  // beyond column 800 or row 300, FloatOverflowError for one beyond the float
  // range, and ConversionError (naming the file) for fewer or more values
  // than GridCols x GridRows or for an overlong token. The file stays open.
  void ReadGridValues(const GridHeader& header, GridValues& values, float& value_min,
                      float& value_max);

  // The smallest and largest valid value that the last ReadGridValues met,
  // whatever their magnitude (the start values of value_min and value_max
  // cap the extremes of grids whose values all lie beyond them); false when
  // the grid held no valid value.
  bool ValidValueRange(float& smallest, float& largest) const;

  void Close();  // closes the file; also done by the destructor

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

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
