// The values of a grid file: the short-token kernels straight into the grid
// where they can, the general way for any other token, and the messages that
// say where a value is wrong.
#include "app/inputs/tarvo/grid_reader.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>  // file_size: the most values a file can hold
#include <limits>
#include <new>  // bad_alloc
#include <string>

#include "app/inputs/tarvo/decimal.h"
#include "app/inputs/tarvo/reader_impl.h"
#include "app/inputs/tarvo/short_tokens.h"
#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "app/platform/process.h"  // ExceedsMemoryLeft

namespace kova {

using grid_detail::ConvertFloatOrThrow;
using grid_detail::Decimal;
using grid_detail::DecimalToFloat;
using grid_detail::FloatOrThrow;
using grid_detail::FloatStatus;
using grid_detail::LooksLikeKeyword;
using grid_detail::MakeShortNoData;
using grid_detail::QuadTrial;
using grid_detail::ReadShortTokens;
using grid_detail::ScanDecimal;
using grid_detail::ShortNoData;
using grid_detail::ShortRun;

GridReader::GridReader() : impl_(std::make_unique<Impl>()) {}
GridReader::~GridReader() = default;

void GridReader::Close() {
  impl_->Reset();
  impl_->file.Close();
}

namespace {

// "N values of its C columns and R rows", for the messages of a grid whose
// value count does not match its header.
std::string GridSizeText(const GridHeader& header) {
  return std::to_string(std::int64_t{header.GridCols} * header.GridRows) + " values of its " +
         std::to_string(header.GridCols) + " columns and " + std::to_string(header.GridRows) +
         " rows";
}

// The limit that a grid exceeds, for the context of its "Range check error".
std::string GridLimitText(const GridHeader& header, GridLimits limits) {
  std::string text;
  if (header.GridCols > limits.MaxCols) {
    text = "grid of " + std::to_string(header.GridCols) + " columns";
  } else if (header.GridRows > limits.MaxRows) {
    text = "grid of " + std::to_string(header.GridRows) + " rows";
  } else {
    text = "values beyond row " + std::to_string(limits.MaxRows);
  }
  text += "; at most " + std::to_string(limits.MaxCols) + " columns and " +
          std::to_string(limits.MaxRows) + " rows can be converted";
  if (limits.MaxCols < kImageGridLimits.MaxCols || limits.MaxRows < kImageGridLimits.MaxRows) {
    text += " (kova convert takes grids up to " + std::to_string(kImageGridLimits.MaxCols) + " x " +
            std::to_string(kImageGridLimits.MaxRows) + ")";
  }
  return text;
}

}  // namespace

void TakeGridHeader(const GridHeader& header, const std::string& path, GridData& grid) {
  grid.Cols = header.GridCols;
  grid.Rows = header.GridRows;
  grid.Left = header.GridLeft;
  grid.Bottom = header.GridBottom;
  grid.CellWidth = header.CellSize;
  grid.CellHeight = header.CellHeight.value_or(header.CellSize);
  grid.SourceName = FileNameOf(path);
}

void GridReader::ReadGridValues(const GridHeader& header, GridData& grid, GridLimits limits) {
  Impl& in = *impl_;
  if (!in.file.IsOpen() || !in.header_read) throw FileError(IoResult::kFileNotOpen);
  const std::int64_t expected = std::int64_t{header.GridCols} * header.GridRows;
  // The value after the last one that fits the limits: the first beyond
  // the last column that fits in row 1, or the first of the first row
  // beyond the last that fits.
  const std::int64_t beyond_limits =
      header.GridCols > limits.MaxCols
          ? std::int64_t{limits.MaxCols}
          : std::int64_t{header.GridCols} * std::min(header.GridRows, limits.MaxRows);
  const std::int64_t capacity = std::min(expected, beyond_limits);
  const std::int64_t stop_at = header.GridRows > limits.MaxRows || header.GridCols > limits.MaxCols
                                   ? beyond_limits
                                   : expected;
  // Room for the values is taken up front, but never more than the file can
  // hold (a value takes at least two characters), so that a small file whose
  // header claims a huge grid fails on its values, not on memory.
  std::error_code size_error;
  const std::uintmax_t file_size = std::filesystem::file_size(FileSystemPath(in.path), size_error);
  const std::int64_t fits_in_file =
      size_error
          ? capacity
          : static_cast<std::int64_t>(std::min<std::uintmax_t>(file_size / 2 + 1, INT64_MAX));
  const auto cells = static_cast<std::size_t>(std::min(capacity, fits_in_file));
  auto throw_out_of_memory = [&] {
    grid.Values = {};
    grid.NoData = {};
    throw ConversionError("Grid file " + in.path + " of " + std::to_string(header.GridCols) +
                          " columns and " + std::to_string(header.GridRows) + " rows needs " +
                          std::to_string((capacity * kBytesPerGridCell + (1 << 20) - 1) >> 20) +
                          " MB of memory, more than is available");
  };
  if (ExceedsMemoryLeft(cells * kBytesPerGridCell)) throw_out_of_memory();
  try {
    // Every cell up to the count read is written below and the rest cut
    // off at the end, so a grid reused for a file of the same size is not
    // filled first.
    grid.Values.resize(cells);
    grid.NoData.resize(cells);
  } catch (const std::bad_alloc&) {
    throw_out_of_memory();
  }
  const std::string_view no_data = header.NoDataText;
  in.smallest_valid = std::numeric_limits<float>::infinity();
  in.largest_valid = -std::numeric_limits<float>::infinity();
  std::int64_t count = 0;
  const char* token_start = nullptr;
  std::string_view token;
  const ShortNoData short_no_data = MakeShortNoData(no_data);
  QuadTrial quad_trial;
  try {
    for (;;) {
      // The common tokens, one after another straight into the grid, until
      // one is not common, runs over the end of the buffer, or would be the
      // first beyond the room taken or the limits.
      const ShortRun run = ReadShortTokens(
          in.buffer.get(), in.pos, in.end, short_no_data, grid.Values.data(), grid.NoData.data(),
          count, std::min(stop_at, static_cast<std::int64_t>(grid.Values.size())), quad_trial);
      in.pos = run.pos;
      count = run.count;
      if (!in.SkipToToken()) break;
      // Any other token.
      float value = kNoDataMarker;
      std::uint8_t missing = 1;
      const char* begin = in.buffer.get() + in.pos;
      const char* limit = in.buffer.get() + in.end;
      token_start = begin;
      Decimal d;
      const char* stop = ScanDecimal(begin, limit, d);
      if (d.valid && stop != limit && (*stop == ' ' || *stop == '\n')) {
        // A number followed directly by a space or a line feed is read
        // straight from the buffer; anything else takes the general way
        // through the trimmed token.
        token = std::string_view(begin, static_cast<std::size_t>(stop - begin));
        if (token.size() > kMaxGridTokenLength) in.ThrowTokenTooLong();
        in.pos += token.size() + 1;
        if (token != no_data) {
          FloatStatus status = DecimalToFloat(d, begin, stop, value, true, nullptr);
          value = FloatOrThrow(status, value, token);
          missing = 0;
        }
      } else {
        token = in.TakeToken();
        token_start = token.data();
        if (token != no_data) {
          value = ConvertFloatOrThrow(token);
          missing = 0;
        }
      }
      if (count == stop_at) {
        // As in a fixed array of the limits' size: a value beyond it is a
        // range error, even where it is a surplus value.
        if (count != expected || header.GridRows >= limits.MaxRows) {
          RangeError error;
          error.AddContext(GridLimitText(header, limits));
          throw error;
        }
        throw ConversionError("Grid file " + in.path + " holds more than the " +
                              GridSizeText(header));
      }
      if (count == static_cast<std::int64_t>(grid.Values.size())) {
        // Only should the file have grown since its size was taken.
        const auto more =
            static_cast<std::size_t>(std::min(stop_at, std::max<std::int64_t>(2 * count, 1024)));
        grid.Values.resize(more);
        grid.NoData.resize(more);
      }
      grid.Values[static_cast<std::size_t>(count)] = value;
      grid.NoData[static_cast<std::size_t>(count)] = missing;
      ++count;
    }
  } catch (const std::bad_alloc&) {
    throw_out_of_memory();  // only should the file have grown while being read
  } catch (const ConversionError&) {
    throw;  // names the file and says what is wrong with it as a whole
  } catch (const RangeError&) {
    throw;  // says the limit
  } catch (const FileError&) {
    throw;  // the file itself failed, not a token
  } catch (KovaError& error) {
    const std::string saved(token_start ? std::string(token) : std::string());
    const std::uint64_t offset = token_start ? in.OffsetOf(token_start) : 0;
    std::string where = token_start ? in.LineColumnAt(offset) : std::string();
    if (count == 0 && LooksLikeKeyword(saved)) {
      where += std::string(where.empty() ? "" : "; ") + "expected the first grid value; '" + saved +
               "' looks like the keyword of " + in.extra_line_hint;
    }
    error.AddContext(where);
    throw;
  }
  if (count < expected) {
    ConversionError error("Grid file " + in.path + " holds only " + std::to_string(count) +
                          " of the " + GridSizeText(header));
    error.AddContext(in.HeaderShapeHint());
    throw error;
  }
  grid.Values.resize(static_cast<std::size_t>(count));
  grid.NoData.resize(static_cast<std::size_t>(count));
  kova::ValidValueRange(grid, in.smallest_valid, in.largest_valid);
}

bool GridReader::ValidValueRange(float& smallest, float& largest) const {
  smallest = impl_->smallest_valid;
  largest = impl_->largest_valid;
  return smallest <= largest;
}

}  // namespace kova
