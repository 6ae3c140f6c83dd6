// The header of a grid file: read by its keywords or by the places of its
// tokens, each value converted as its line says, and the messages that say
// which line is wrong and what seems to be missing.
#include <array>
#include <cmath>  // isinf
#include <optional>
#include <string>

#include "app/inputs/tarvo/decimal.h"
#include "app/inputs/tarvo/reader_impl.h"

namespace kova {

namespace grid_detail {

// The values the header lines gave, and which line gave each.
struct HeaderValues {
  std::int32_t cols = 0;
  std::int32_t rows = 0;
  float left = 0.0f;
  float bottom = 0.0f;
  float width = 0.0f;
  float height = 0.0f;
  bool left_centre = false;
  bool bottom_centre = false;
  std::string no_data;
  std::array<int, kHeaderFieldCount> line{};  // 0: not given
};

}  // namespace grid_detail

namespace {

using grid_detail::ConvertFloatOrThrow;
using grid_detail::FloatStatus;
using grid_detail::HeaderValues;
using grid_detail::kMaxHeaderLines;
using grid_detail::LooksLikeKeyword;

// A header has five to seven lines: their number, and the line after them
// with its article.
const char* const kLineCountWords[] = {"five", "six", "seven"};
const char* const kNextLineWords[] = {"a sixth", "a seventh", "an eighth"};

bool IsNumber(std::string_view token) {
  float value = 0.0f;
  return grid_detail::ConvertGridFloat(token, value) != FloatStatus::kInvalid;
}

// Adds where a bad header value stands and what was expected there: the
// value of header line `line`, as `kind`.
void AddHeaderContext(KovaError& error, const std::string& where, int line, HeaderKeyword kind,
                      std::string_view token) {
  std::string context = where;
  if (dynamic_cast<ConvertError*>(&error) == nullptr) {
    error.AddContext(context);  // a number, only out of range
    return;
  }
  context += std::string(context.empty() ? "" : "; ") + "expected " + HeaderKeywordText(kind) +
             " as the value of header line " + std::to_string(line);
  if (LooksLikeKeyword(token)) {
    context += "; '" + std::string(token) + "' looks like a keyword: is a header line missing?";
  }
  error.AddContext(context);
}

// The x or y of an edge from that of the centre of the lower-left cell.
float EdgeOfCentre(float centre, float size) {
  const auto edge = static_cast<float>(static_cast<long double>(centre) - size / 2.0L);
  if (std::isinf(edge)) throw FloatOverflowError();
  return edge;
}

}  // namespace

std::string GridReader::Impl::HeaderShapeHint() {
  // A keyword that is a number means that a line of the header is missing,
  // so that the values moved up into it.
  for (int number = 1; number <= header_count; number += 2) {
    const std::string& token = header_tokens[number - 1];
    if (IsNumber(token)) {
      const int line = (number + 1) / 2;
      return "line " + std::to_string(LineAt(header_offsets[number - 1])) + ": header line " +
             std::to_string(line) + " should begin with the keyword of " +
             HeaderKeywordText(kPlaceFields[line - 1]) + ", not the number '" + token +
             "'; is a header line missing?";
    }
  }
  return {};
}

void GridReader::Impl::TakeHeaderValue(HeaderKeyword kind, int line, HeaderValues& values) {
  const int number = 2 * line;
  const std::string& token = header_tokens[number - 1];
  try {
    switch (kind.field) {
      case HeaderField::kColumns:
        values.cols = ParseGridInteger(token);
        break;
      case HeaderField::kRows:
        values.rows = ParseGridInteger(token);
        break;
      case HeaderField::kLeft:
        values.left = ConvertFloatOrThrow(token);
        values.left_centre = kind.centre;
        break;
      case HeaderField::kBottom:
        values.bottom = ConvertFloatOrThrow(token);
        values.bottom_centre = kind.centre;
        break;
      case HeaderField::kCellSize:
        values.width = values.height = ConvertFloatOrThrow(token);
        break;
      case HeaderField::kCellWidth:
        values.width = ConvertFloatOrThrow(token);
        break;
      case HeaderField::kCellHeight:
        values.height = ConvertFloatOrThrow(token);
        break;
      case HeaderField::kNoData:
        values.no_data = token;
        break;
    }
  } catch (KovaError& error) {
    AddHeaderContext(error, LineColumnAt(header_offsets[number - 1]), line, kind, token);
    throw;
  }
  values.line[static_cast<std::size_t>(kind.field)] = line;
}

void GridReader::ReadGridHeader(const std::string& path, GridHeader& header) {
  Impl& in = *impl_;
  in.Reset();
  in.file.Open(path, FileAccess::ReadOnly);
  in.path = path;

  // The first five lines. A value is converted as its keyword says, or as
  // its place says where the keyword is not known, the moment it is read.
  std::array<std::optional<HeaderKeyword>, kMaxHeaderLines> kinds;
  HeaderValues values;
  unsigned settled = 0;
  bool by_keywords = true;
  for (int line = 1; line <= 5; ++line) {
    const std::optional<HeaderKeyword> kind = FindHeaderKeyword(in.ReadHeaderToken(2 * line - 1));
    kinds[line - 1] = kind;
    if (!kind || (HeaderFieldBits(kind->field) & settled) != 0) by_keywords = false;
    if (kind) settled |= HeaderFieldBits(kind->field);
    in.ReadHeaderToken(2 * line);
    in.TakeHeaderValue(kind.value_or(kPlaceFields[line - 1]), line, values);
  }

  std::string no_data_line;  // "keyword value", for messages
  int lines = 6;
  if (!by_keywords) {
    // By the places of the tokens, whatever the keywords say: the values of
    // known keywords are converted again as their places say.
    values = HeaderValues();
    for (int line = 1; line <= 5; ++line) in.TakeHeaderValue(kPlaceFields[line - 1], line, values);
    in.ReadHeaderToken(11);
    in.ReadHeaderToken(12);
    in.TakeHeaderValue(kPlaceFields[5], 6, values);
    no_data_line = in.header_tokens[10] + " " + in.header_tokens[11];
  } else {
    // By the keywords: the lines that complete the header follow, then an
    // optional no-data line. A number where a keyword would stand is the
    // first value; an unknown keyword there starts the no-data line, as its
    // place says.
    for (lines = 5; lines < kMaxHeaderLines; ++lines) {
      const bool placed = (settled & kPlacingFieldBits) == kPlacingFieldBits;
      if (placed && (settled & kNoDataFieldBit) != 0) break;
      const int line = lines + 1;
      std::string_view token;
      if (!in.NextToken(token)) {
        if (placed) break;  // no values: said when they are read
        throw ConversionError("Grid file " + path + " ends before its header is complete");
      }
      if (IsNumber(token)) {
        in.PutBack(token);
        if (placed) break;
        const HeaderField missing = FirstMissingField(settled);
        throw ConversionError("Grid file " + path + " has no header line for " +
                              HeaderFieldText(missing) + " (such as '" +
                              HeaderFieldExample(missing) + "')");
      }
      in.KeepHeaderToken(2 * line - 1, token);
      std::optional<HeaderKeyword> kind = FindHeaderKeyword(token);
      if (!kind && !placed) {
        const HeaderField missing = FirstMissingField(settled);
        throw ConversionError("Grid file " + path + " has no header line for " +
                              HeaderFieldText(missing) + " (such as '" +
                              HeaderFieldExample(missing) + "'); '" + std::string(token) +
                              "' on header line " + std::to_string(line) + " is not one");
      }
      if (!kind) kind = HeaderKeyword{HeaderField::kNoData};
      const unsigned bits = HeaderFieldBits(kind->field);
      if ((bits & settled) != 0) {
        int first = 0;
        for (int earlier = 0; earlier < lines; ++earlier) {
          if (kinds[earlier] && (HeaderFieldBits(kinds[earlier]->field) & bits) != 0) {
            first = earlier + 1;
            break;
          }
        }
        throw ConversionError("Grid file " + path + " gives " + HeaderKeywordText(*kind) +
                              " twice in its header (header lines " + std::to_string(first) +
                              " and " + std::to_string(line) + ")");
      }
      settled |= bits;
      kinds[line - 1] = kind;
      in.ReadHeaderToken(2 * line);
      in.TakeHeaderValue(*kind, line, values);
    }
    const int no_data_at = values.line[static_cast<std::size_t>(HeaderField::kNoData)];
    if (no_data_at != 0) {
      no_data_line =
          in.header_tokens[2 * no_data_at - 2] + " " + in.header_tokens[2 * no_data_at - 1];
    }
  }

  // For the message of a word where the first value should be.
  std::string names;
  for (int line = 1; line <= lines; ++line) {
    names += std::string(line > 1 ? ", " : "") +
             HeaderKeywordShortText(by_keywords ? *kinds[line - 1] : kPlaceFields[line - 1]);
  }
  in.extra_line_hint =
      std::string(kNextLineWords[lines - 5]) + " header line (the header has " +
      kLineCountWords[lines - 5] + ": " + names + "; " +
      (no_data_line.empty() ? "it has no no-data line"
                            : "'" + no_data_line + "' was read as the no-data line") +
      ")";

  header.GridCols = values.cols;
  header.GridRows = values.rows;
  header.NoDataText = values.no_data;
  if (header.GridCols < 1 || header.GridRows < 1) {
    ConversionError error("Grid file " + path + " gives a grid of " +
                          std::to_string(header.GridCols) + " columns and " +
                          std::to_string(header.GridRows) + " rows; both must be at least 1");
    error.AddContext(in.HeaderShapeHint());
    throw error;
  }
  // A cell size, width or height that is not above 0, named by its line.
  for (const HeaderField field :
       {HeaderField::kCellSize, HeaderField::kCellWidth, HeaderField::kCellHeight}) {
    const int line = values.line[static_cast<std::size_t>(field)];
    const float size = field == HeaderField::kCellHeight ? values.height : values.width;
    if (line == 0 || size > 0.0f) continue;
    ConversionError error("Grid file " + path + " gives a " +
                          HeaderKeywordShortText(HeaderKeyword{field}) + " of " +
                          in.header_tokens[2 * line - 1] + "; it must be above 0");
    error.AddContext(in.HeaderShapeHint());
    throw error;
  }
  header.CellSize = values.width;
  header.CellHeight.reset();
  if (values.line[static_cast<std::size_t>(HeaderField::kCellHeight)] != 0) {
    header.CellHeight = values.height;
  }
  header.GridLeft = values.left;
  header.GridBottom = values.bottom;
  try {
    if (values.left_centre) header.GridLeft = EdgeOfCentre(values.left, values.width);
    if (values.bottom_centre) header.GridBottom = EdgeOfCentre(values.bottom, values.height);
  } catch (KovaError& error) {
    error.AddContext("Grid file " + path + ": the edge of its lower-left cell");
    throw;
  }
  in.header_read = true;
}

}  // namespace kova
