// The keywords of a Tarvo grid's header lines, as grid files from different
// sources spell them. A header whose keywords are all known is read by its
// keywords, in any order; any other header is read by the places of its
// tokens.
#pragma once

#include <optional>
#include <string>
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

// What a header line gives, for messages: HeaderFieldText, or "the x of the
// centre of the lower-left cell".
std::string HeaderKeywordText(HeaderKeyword kind);

// The same in short, for the list of a header's lines: "columns", "left
// edge", "left cell centre", "cell width".
const char* HeaderKeywordShortText(HeaderKeyword kind);

// What each of the six lines of a header read by place gives.
inline constexpr HeaderKeyword kPlaceFields[6] = {{HeaderField::kColumns},  {HeaderField::kRows},
                                                  {HeaderField::kLeft},     {HeaderField::kBottom},
                                                  {HeaderField::kCellSize}, {HeaderField::kNoData}};

// The things a header settles, one bit each; a cell size settles both the
// width and the height.
enum : unsigned {
  kColumnsFieldBit = 1,
  kRowsFieldBit = 2,
  kLeftFieldBit = 4,
  kBottomFieldBit = 8,
  kWidthFieldBit = 16,
  kHeightFieldBit = 32,
  kNoDataFieldBit = 64,
  kPlacingFieldBits = 63,  // all but the no-data text, which is optional
};

// The bits that a line of the field settles.
unsigned HeaderFieldBits(HeaderField field);

// The first thing that `settled` lacks, as the field of a line that would
// give it (with the width settled and not the height, kCellHeight).
HeaderField FirstMissingField(unsigned settled);

}  // namespace kova
