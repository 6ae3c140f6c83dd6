// The grid reader on arbitrary bytes. The input, after its first byte, is
// the grid file. The first byte's top bit chooses the grid limits of
// `kova convert` (32767 x 32767) over the window's (800 x 300); its other
// bits, when below 16, move the text towards the end of the reader's first
// block (blank lines in front), so that tokens straddle the block boundary
// without needing 64 KB inputs.
//
// Besides running the reader, the harness reads the same text with a plain
// model of the format: split at spaces and line feeds, trim codes 0 to 32,
// stop at code 26; a header of known keywords read by them, any other by the
// places of twelve tokens. Reader and model must agree on whether the grid
// is sound and on every header field, cell and extreme, with the kernels of
// each instruction-set tier the processor has; and the fast and the exact
// number conversion must agree on every token.
#include <bit>  // bit_cast of the floats compared
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "app/inputs/tarvo/grid_reader.h"
#include "app/inputs/tarvo/header_keywords.h"
#include "app/platform/base/cpu_tier.h"
#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"

namespace {

using kova::HeaderField;
using kova::HeaderKeyword;
using kova::fuzz::Check;
using kova::grid_detail::ConvertGridFloat;
using kova::grid_detail::FloatStatus;

struct Token {
  std::string_view text;   // trimmed
  std::size_t raw_length;  // from its first character above code 32 to its separator
};

std::vector<Token> SplitTokens(std::string_view text) {
  const std::size_t end_of_text = text.find('\x1a');
  if (end_of_text != std::string_view::npos) text = text.substr(0, end_of_text);
  std::vector<Token> tokens;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= 32) ++pos;
    if (pos == text.size()) break;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] != ' ' && text[pos] != '\n') ++pos;
    std::size_t stop = pos;
    while (stop > start && static_cast<unsigned char>(text[stop - 1]) <= 32) --stop;
    tokens.push_back({text.substr(start, stop - start), pos - start});
  }
  return tokens;
}

// The exact conversion of a token, after checking that the fast one agrees.
FloatStatus ConvertBothWays(std::string_view token, float& value) {
  float fast = 0.0f;
  float exact = 0.0f;
  const FloatStatus fast_status = ConvertGridFloat(token, fast, true);
  const FloatStatus exact_status = ConvertGridFloat(token, exact, false);
  Check(fast_status == exact_status, "fast and exact conversion disagree on validity");
  if (exact_status == FloatStatus::kOk) {
    Check(std::bit_cast<std::uint32_t>(fast) == std::bit_cast<std::uint32_t>(exact),
          "fast and exact conversion give different floats");
  }
  value = exact;
  return exact_status;
}

// What the model makes of the text: a sound grid or not, and if sound its
// header, its values and where they start.
struct Model {
  bool sound = false;
  kova::GridHeader header;
  std::vector<Token> tokens;
  std::size_t first_value = 12;
};

// The header values of a model, and whether every value converted.
struct ModelHeader {
  std::int32_t cols = 0, rows = 0;
  float left = 0, bottom = 0, width = 0, height = 0;
  bool left_centre = false, bottom_centre = false, height_given = false, converted = true;
  std::string no_data;
  std::vector<HeaderField> sizes;  // the cell size, width and height lines given
};

void TakeValue(HeaderKeyword kind, std::string_view token, ModelHeader& h) {
  float value = 0.0f;
  const bool real = ConvertBothWays(token, value) == FloatStatus::kOk;
  const bool whole = kind.field == HeaderField::kColumns || kind.field == HeaderField::kRows;
  if (kind.field == HeaderField::kNoData) {
    h.no_data = std::string(token);
    return;
  }
  h.converted = h.converted && (whole || real);
  switch (kind.field) {
    case HeaderField::kColumns:
    case HeaderField::kRows:
      try {
        (kind.field == HeaderField::kColumns ? h.cols : h.rows) =
            kova::ParseGridInteger(std::string(token));
      } catch (const kova::ConvertError&) {
        h.converted = false;
      }
      return;
    case HeaderField::kLeft:
      h.left = value;
      h.left_centre = kind.centre;
      return;
    case HeaderField::kBottom:
      h.bottom = value;
      h.bottom_centre = kind.centre;
      return;
    default:
      break;
  }
  h.sizes.push_back(kind.field);
  if (kind.field != HeaderField::kCellHeight) h.width = value;
  if (kind.field != HeaderField::kCellWidth) h.height = value;
  h.height_given = h.height_given || kind.field == HeaderField::kCellHeight;
}

bool IsNumberToken(std::string_view token) {
  float ignored = 0.0f;
  return ConvertBothWays(token, ignored) != FloatStatus::kInvalid;
}

Model ReadModel(std::string_view text, kova::GridLimits limits) {
  Model m;
  m.tokens = SplitTokens(text);
  for (const Token& t : m.tokens) {
    float ignored = 0.0f;
    ConvertBothWays(t.text, ignored);
    if (t.raw_length > kova::kMaxGridTokenLength) return m;
  }
  if (m.tokens.size() < 10) return m;
  // By the keywords when the first five are known and settle different
  // things; each value converts as its keyword says, where it is known.
  unsigned settled = 0;
  bool by_keywords = true;
  ModelHeader h;
  for (std::size_t line = 0; line < 5; ++line) {
    const auto kind = kova::FindHeaderKeyword(m.tokens[2 * line].text);
    TakeValue(kind.value_or(kova::kPlaceFields[line]), m.tokens[2 * line + 1].text, h);
    const unsigned bits = kind ? kova::HeaderFieldBits(kind->field) : 0;
    by_keywords = by_keywords && kind && (settled & bits) == 0;
    settled |= bits;
  }
  std::size_t next = 10;
  if (!by_keywords) {
    // By place; the values of known keywords must have converted both ways.
    if (m.tokens.size() < 12) return m;
    const bool first_pass = h.converted;
    h = ModelHeader();
    for (std::size_t line = 0; line < 6; ++line) {
      TakeValue(kova::kPlaceFields[line], m.tokens[2 * line + 1].text, h);
    }
    h.converted = h.converted && first_pass;
    next = 12;
  }
  // The lines that complete a keyword header, then its optional no-data line.
  while (by_keywords && settled != (kova::kPlacingFieldBits | kova::kNoDataFieldBit)) {
    const bool placed = (settled & kova::kPlacingFieldBits) == kova::kPlacingFieldBits;
    if (next >= m.tokens.size() || IsNumberToken(m.tokens[next].text)) {
      if (placed) break;
      return m;
    }
    const auto known = kova::FindHeaderKeyword(m.tokens[next].text);
    if (!known && !placed) return m;
    const HeaderKeyword kind = known.value_or(HeaderKeyword{HeaderField::kNoData});
    const unsigned bits = kova::HeaderFieldBits(kind.field);
    if ((settled & bits) != 0 || next + 1 >= m.tokens.size()) return m;
    settled |= bits;
    TakeValue(kind, m.tokens[next + 1].text, h);
    next += 2;
  }
  if (!h.converted || h.cols < 1 || h.rows < 1) return m;
  for (HeaderField field : h.sizes) {
    if (!((field == HeaderField::kCellHeight ? h.height : h.width) > 0.0f)) return m;
  }
  kova::GridHeader& g = m.header;
  g.GridCols = h.cols;
  g.GridRows = h.rows;
  g.NoDataText = h.no_data;
  g.CellSize = h.width;
  if (h.height_given) g.CellHeight = h.height;
  const auto edge = [](float centre, float size) {
    return static_cast<float>(static_cast<long double>(centre) -
                              static_cast<long double>(size) / 2);
  };
  g.GridLeft = h.left_centre ? edge(h.left, h.width) : h.left;
  g.GridBottom = h.bottom_centre ? edge(h.bottom, h.height) : h.bottom;
  if (std::isinf(g.GridLeft) || std::isinf(g.GridBottom)) return m;
  m.first_value = next;
  if (g.GridCols > limits.MaxCols || g.GridRows > limits.MaxRows) return m;
  const std::size_t expected = static_cast<std::size_t>(g.GridCols) * g.GridRows;
  if (m.tokens.size() - next != expected) return m;
  for (std::size_t k = next; k < m.tokens.size(); ++k) {
    float value = 0.0f;
    if (m.tokens[k].text != g.NoDataText &&
        ConvertBothWays(m.tokens[k].text, value) != FloatStatus::kOk) {
      return m;
    }
  }
  m.sound = true;
  return m;
}

void CompareWithModel(const Model& m, const kova::GridHeader& h, kova::GridData& values,
                      const kova::GridReader& reader) {
  Check(h.GridCols == m.header.GridCols && h.GridRows == m.header.GridRows,
        "grid size differs from the model");
  Check(
      std::bit_cast<std::uint32_t>(h.GridLeft) == std::bit_cast<std::uint32_t>(m.header.GridLeft) &&
          std::bit_cast<std::uint32_t>(h.GridBottom) ==
              std::bit_cast<std::uint32_t>(m.header.GridBottom) &&
          std::bit_cast<std::uint32_t>(h.CellSize) ==
              std::bit_cast<std::uint32_t>(m.header.CellSize) &&
          h.CellHeight == m.header.CellHeight,
      "grid corner or cell size differs from the model");
  Check(h.NoDataText == m.header.NoDataText, "no-data text differs from the model");
  const std::size_t cells = static_cast<std::size_t>(h.GridCols) * h.GridRows;
  Check(values.Values.size() == cells && values.NoData.size() == cells,
        "the grid holds a number of cells other than its size");
  values.Cols = h.GridCols;  // the reader fills the cells only
  values.Rows = h.GridRows;

  float smallest = std::numeric_limits<float>::infinity();
  float largest = -smallest;
  std::size_t k = m.first_value;
  for (int r = 0; r < h.GridRows; ++r) {
    for (int c = 0; c < h.GridCols; ++c, ++k) {
      const std::string_view token = m.tokens[k].text;
      if (token == h.NoDataText) {
        Check(values.IsNoData(r, c), "a no-data token gave a value");
        continue;
      }
      Check(!values.IsNoData(r, c), "a value was taken for no data");
      float expected = 0.0f;
      ConvertBothWays(token, expected);
      Check(std::bit_cast<std::uint32_t>(values.at(r, c)) == std::bit_cast<std::uint32_t>(expected),
            "a cell differs from the exact conversion of its token");
      if (expected < smallest) smallest = expected;
      if (expected > largest) largest = expected;
    }
  }
  float low = 0.0f;
  float high = 0.0f;
  const bool any = reader.ValidValueRange(low, high);
  Check(any == (smallest <= largest), "reader and model disagree on whether a value is valid");
  if (any) Check(low == smallest && high == largest, "value extremes differ from the model");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const kova::GridLimits limits =
      (data[0] & 0x80) != 0 ? kova::kImageGridLimits : kova::kWindowGridLimits;
  // Below 16: the text starts 64 x that many bytes before the end of the
  // first block; otherwise at the start of the file.
  const std::size_t place = data[0] & 0x7F;
  const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t shift = place < 16 ? kova::kGridReadBlockSize - 64 * place : 0;
  std::string text(shift, '\n');
  text.append(body);

  static const std::string path = kova::fuzz::Scratch().File("grid.asc");
  kova::fuzz::WriteBytes(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());

  const Model model = ReadModel(body, limits);  // the blank lines in front change nothing

  // The kernels of every tier the processor has, each held to the model.
  static const std::vector<kova::CpuTier> tiers = kova::AvailableCpuTiers();
  static kova::GridData values;
  for (const kova::CpuTier tier : tiers) {
    const kova::CpuTierLimit limit(tier);
    kova::GridReader reader;
    kova::GridHeader header;
    bool read = false;
    try {
      reader.ReadGridHeader(path, header);
      reader.ReadGridValues(header, values, limits);
      read = true;
    } catch (const kova::KovaError&) {
      // Expected for most inputs; the model says whether it should have been.
    }
    Check(read == model.sound, read ? "reader accepted a grid the model refuses"
                                    : "reader refused a grid the model accepts");
    if (read) CompareWithModel(model, header, values, reader);
  }
  return 0;
}
