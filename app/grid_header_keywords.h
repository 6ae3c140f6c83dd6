// The keywords of a Tarvo grid's header lines, as grid files from different
// sources spell them. A header whose keywords are all known is read by its
// keywords, in any order; any other header is read by the places of its
// tokens.
#pragma once

#include <optional>
#include <string_view>

namespace kova {

// What a header line gives.
enum class HeaderField {
  kColumns,
  kRows,
  kLeft,        // x of the left edge, or of the centre of the lower-left cell
  kBottom,      // y of the bottom edge, or of the centre of the lower-left cell
  kCellSize,    // width and height of a square cell
  kCellWidth,   // x extent of a cell (dx)
  kCellHeight,  // y extent of a cell (dy)
  kNoData,
};
inline constexpr int kHeaderFieldCount = 8;

struct HeaderKeyword {
  HeaderField field;
  bool centre = false;  // kLeft and kBottom: the centre of the lower-left cell
};

// The known keyword `token` is, in any letter case; nothing for any other
// text.
std::optional<HeaderKeyword> FindHeaderKeyword(std::string_view token);

// What a field is, for messages: "the number of columns", "the cell width".
const char* HeaderFieldText(HeaderField field);

// A keyword of the field, for messages: "ncols", "dy".
const char* HeaderFieldExample(HeaderField field);

}  // namespace kova
