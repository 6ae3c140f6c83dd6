#include "app/inputs/tarvo/header_keywords.h"

#include <algorithm>
#include <array>

namespace kova {
namespace {

struct KnownKeyword {
  std::string_view text;  // lower case
  HeaderKeyword keyword;
};

using enum HeaderField;

// The spellings met in grid files: the classic ones, their short forms,
// the plain words some writers use, and the British centre.
constexpr std::array kKnownKeywords = {
    KnownKeyword{"ncols", {kColumns}},
    KnownKeyword{"ncol", {kColumns}},
    KnownKeyword{"ncolumns", {kColumns}},
    KnownKeyword{"columns", {kColumns}},
    KnownKeyword{"cols", {kColumns}},
    KnownKeyword{"nrows", {kRows}},
    KnownKeyword{"nrow", {kRows}},
    KnownKeyword{"rows", {kRows}},
    KnownKeyword{"xllcorner", {kLeft}},
    KnownKeyword{"xll", {kLeft}},
    KnownKeyword{"xmin", {kLeft}},
    KnownKeyword{"left", {kLeft}},
    KnownKeyword{"leftedge", {kLeft}},
    KnownKeyword{"xllcenter", {kLeft, true}},
    KnownKeyword{"xllcentre", {kLeft, true}},
    KnownKeyword{"yllcorner", {kBottom}},
    KnownKeyword{"yll", {kBottom}},
    KnownKeyword{"ymin", {kBottom}},
    KnownKeyword{"bottom", {kBottom}},
    KnownKeyword{"bottomedge", {kBottom}},
    KnownKeyword{"yllcenter", {kBottom, true}},
    KnownKeyword{"yllcentre", {kBottom, true}},
    KnownKeyword{"cellsize", {kCellSize}},
    KnownKeyword{"cell_size", {kCellSize}},
    KnownKeyword{"cell", {kCellSize}},
    KnownKeyword{"dx", {kCellWidth}},
    KnownKeyword{"xdim", {kCellWidth}},
    KnownKeyword{"dy", {kCellHeight}},
    KnownKeyword{"ydim", {kCellHeight}},
    KnownKeyword{"nodata_value", {kNoData}},
    KnownKeyword{"nodata", {kNoData}},
    KnownKeyword{"no_data", {kNoData}},
    KnownKeyword{"no_data_value", {kNoData}},
    KnownKeyword{"nodatavalue", {kNoData}},
};

constexpr std::size_t kLongestKeyword =
    std::max_element(kKnownKeywords.begin(), kKnownKeywords.end(),
                     [](const auto& a, const auto& b) { return a.text.size() < b.text.size(); })
        -> text.size();

struct FieldTexts {
  const char* text;
  const char* example;
};

constexpr FieldTexts kFieldTexts[kHeaderFieldCount] = {{"the number of columns", "ncols"},
                                                       {"the number of rows", "nrows"},
                                                       {"the x of the left edge", "xllcorner"},
                                                       {"the y of the bottom edge", "yllcorner"},
                                                       {"the cell size", "cellsize"},
                                                       {"the cell width", "dx"},
                                                       {"the cell height", "dy"},
                                                       {"the no-data text", "nodata_value"}};

}  // namespace

std::optional<HeaderKeyword> FindHeaderKeyword(std::string_view token) {
  if (token.size() > kLongestKeyword) return std::nullopt;
  char lower[kLongestKeyword];
  for (std::size_t i = 0; i < token.size(); ++i) {
    const char c = token[i];
    lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  const std::string_view text(lower, token.size());
  for (const KnownKeyword& known : kKnownKeywords) {
    if (known.text == text) return known.keyword;
  }
  return std::nullopt;
}

const char* HeaderFieldText(HeaderField field) {
  return kFieldTexts[static_cast<int>(field)].text;
}

const char* HeaderFieldExample(HeaderField field) {
  return kFieldTexts[static_cast<int>(field)].example;
}

std::string HeaderKeywordText(HeaderKeyword kind) {
  if (kind.centre) {
    return kind.field == kLeft ? "the x of the centre of the lower-left cell"
                               : "the y of the centre of the lower-left cell";
  }
  return HeaderFieldText(kind.field);
}

const char* HeaderKeywordShortText(HeaderKeyword kind) {
  switch (kind.field) {
    case kColumns:
      return "columns";
    case kRows:
      return "rows";
    case kLeft:
      return kind.centre ? "left cell centre" : "left edge";
    case kBottom:
      return kind.centre ? "bottom cell centre" : "bottom edge";
    case kCellSize:
      return "cell size";
    case kCellWidth:
      return "cell width";
    case kCellHeight:
      return "cell height";
    case kNoData:
      break;
  }
  return "no-data text";
}

unsigned HeaderFieldBits(HeaderField field) {
  switch (field) {
    case kColumns:
      return kColumnsFieldBit;
    case kRows:
      return kRowsFieldBit;
    case kLeft:
      return kLeftFieldBit;
    case kBottom:
      return kBottomFieldBit;
    case kCellSize:
      return kWidthFieldBit | kHeightFieldBit;
    case kCellWidth:
      return kWidthFieldBit;
    case kCellHeight:
      return kHeightFieldBit;
    case kNoData:
      break;
  }
  return kNoDataFieldBit;
}

HeaderField FirstMissingField(unsigned settled) {
  if ((settled & kColumnsFieldBit) == 0) return kColumns;
  if ((settled & kRowsFieldBit) == 0) return kRows;
  if ((settled & kLeftFieldBit) == 0) return kLeft;
  if ((settled & kBottomFieldBit) == 0) return kBottom;
  if ((settled & (kWidthFieldBit | kHeightFieldBit)) == 0) return kCellSize;
  return (settled & kWidthFieldBit) == 0 ? kCellWidth : kCellHeight;
}

}  // namespace kova
