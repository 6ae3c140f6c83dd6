#include "app/conversion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "app/inputs/tarvo/grid_reader.h"
#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "image/real48.h"
#include "projection/projections.h"

namespace kova {
namespace {

constexpr std::uint8_t kOutputImageType = 200;
constexpr long double kCodeSteps = 253.0L;  // codes 0..253 carry values

// Smallest magnitude other than zero that a 6-byte real holds.
const long double kSmallestReal48 = std::ldexp(1.0L, -128);

// The distance from x (a nonzero 6-byte real) to the next 6-byte real away
// from zero.
long double Real48StepAway(long double x) {
  return std::ldexp(1.0L, std::ilogb(x) - kReal48FractionBits);
}

// The next 6-byte real above x.
long double NextReal48Up(long double x) {
  if (x == 0.0L) return kSmallestReal48;
  if (x > 0.0L) return RoundToReal48(x + Real48StepAway(x));
  // Towards zero: below a power of two the spacing halves.
  long double step = Real48StepAway(x);
  if (std::ldexp(1.0L, std::ilogb(x)) == -x) step /= 2;
  return RoundToReal48(x + step);
}

// The next 6-byte real below x.
long double NextReal48Down(long double x) {
  return -NextReal48Up(-x);
}

// The code quotient of value v, computed as the image component computes it
// when writing a row: at extended precision, then rounded to a double.
double CodeQuotient(long double v, long double offset, long double factor) {
  return static_cast<double>((v - offset) / factor);
}

// A grid size as the image header's 16-bit field holds it; `what` says
// which size it is ("columns", "rows").
std::int16_t ToInt16(std::int32_t value, const char* what) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    RangeError error;
    error.AddContext("grid of " + std::to_string(value) + " " + what + "; an image has at most " +
                     std::to_string(std::numeric_limits<std::int16_t>::max()));
    throw error;
  }
  return static_cast<std::int16_t>(value);
}

// Runs `step`; an error that leaves it is told where it happened.
template <typename Step>
auto InPlace(const std::string& where, Step&& step) {
  try {
    return step();
  } catch (KovaError& error) {
    error.AddContext(where);
    throw;
  }
}

}  // namespace

ValueScaling ChooseValueScaling(float value_min, float value_max) {
  if (value_max < value_min) return {};  // nothing to code: every cell is no data
  const long double low = value_min;
  const long double high = value_max;

  // The offset is the stored value of code 0; it must not lie above the
  // smallest value, or that value would code below 0. Only magnitudes below
  // the range of a 6-byte real are affected.
  long double offset = RoundToReal48(low);
  while (offset > low) offset = NextReal48Down(offset);

  long double factor = 1.0L;
  if (high > low) {
    factor = RoundToReal48(static_cast<double>((high - offset) / kCodeSteps));
    if (factor < kSmallestReal48) factor = kSmallestReal48;
    // The stored factor may have been rounded down far enough to put the
    // largest value a hair above code 253; step it up until it is not.
    while (CodeQuotient(high, offset, factor) > kCodeSteps) factor = NextReal48Up(factor);
  }
  return {static_cast<double>(factor), static_cast<double>(offset)};
}

std::string ImageTitleFor(const std::string& input_name) {
  return "Created from Tarvo " + FileNameOf(input_name) + " by Tarvo2Kova; " + KOVA_CONTACT_EMAIL;
}

bool IsInputPattern(const std::string& input_text) {
  // The "?" of a Windows long-path prefix ("\\?\C:\...") is no wildcard.
  return input_text.find_first_of("*?", LongPathPrefixLength(input_text)) != std::string::npos;
}

void PrepareImageHeader(TKovaImg& image, const std::string& template_path, const GridData& grid) {
  // The template, attached afresh. Its header copy becomes the output's
  // header; the template file itself is never written.
  InPlace("template " + template_path, [&] { image.SetFileName(template_path); });
  if (image.Status() != 1) {
    throw ConversionError("The template " + template_path + " is not a valid Kova image");
  }
  SetImageHeaderFromGrid(image, grid);
}

void SetImageHeaderFromGrid(TKovaImg& image, const GridData& grid) {
  // The grid's right and top edges.
  const float grid_right =
      RoundToFloat(static_cast<long double>(grid.Cols) * grid.CellWidth + grid.Left);
  const float grid_top =
      RoundToFloat(static_cast<long double>(grid.Rows) * grid.CellHeight + grid.Bottom);
  image.SuspendWriteThrough();

  // Size, centre and cell size.
  image.SetColumns(ToInt16(grid.Cols, "columns"));
  image.SetRows(ToInt16(grid.Rows, "rows"));
  if (KeepsProjectionOrigin(image.ProjectionType())) {
    // The grid is in the projection's map units: the pixel of map 0/0 is
    // placed so that each pixel position lies where the latitude/longitude
    // branch below puts it, x = left + (column + 1) x width and
    // y = bottom + (rows - 1 - row) x height.
    image.SetOriginColumn(
        static_cast<double>(-(grid.Left / static_cast<long double>(grid.CellWidth)) - 1.0L));
    image.SetOriginRow(static_cast<double>(grid.Bottom / static_cast<long double>(grid.CellHeight) +
                                           (grid.Rows - 1)));
  } else {
    image.SetOriginLongitude(
        static_cast<double>((static_cast<long double>(grid.Left) + grid_right) / 2));
    image.SetOriginLatitude(
        static_cast<double>((static_cast<long double>(grid.Bottom) + grid_top) / 2));
    image.SetOriginColumn(static_cast<double>(static_cast<long double>(grid.Cols) / 2 - 1));
    image.SetOriginRow(static_cast<double>(static_cast<long double>(grid.Rows) / 2 - 1));
  }
  image.SetPixelWidth(grid.CellWidth);
  image.SetPixelHeight(grid.CellHeight);
}

SafeOutput WriteGridImageInRange(TKovaImg& image, const GridData& grid, const std::string& output,
                                 float value_min, float value_max) {
  const std::size_t cols = static_cast<std::size_t>(std::max(grid.Cols, 0));
  if (grid.Values.size() != cols * static_cast<std::size_t>(std::max(grid.Rows, 0)) ||
      grid.NoData.size() != grid.Values.size()) {
    throw RangeError();
  }

  // Type and scaling, from the true extremes of the valid values.
  const ValueScaling scaling = ChooseValueScaling(value_min, value_max);
  image.SetImageType(kOutputImageType);
  image.SetScaleFactor(scaling.ScaleFactor);
  image.SetScaleOffset(scaling.ScaleOffset);

  // The new image, created as the output's temporary file,
  // attached there, titled and its rows coded; it takes the output's name
  // only once it is complete. The component builds it in memory and writes
  // it whole (in 1 MB pieces beyond that size), instead of a pre-filled file
  // that the title and every row then write over. No-data cells code to
  // NoDataCode whatever the valid values are.
  return InPlace("output " + output, [&] {
    SafeOutput pending(output);
    image.CreateImageWithRaster(
        pending.TemporaryPath(), ImageTitleFor(grid.SourceName), grid.Values, grid.NoData,
        [&pending](const void* data, std::size_t count) { pending.Write(data, count); });
    if (image.Status() != 1) {
      throw ConversionError("The image " + output + " could not be created");
    }
    return pending;
  });
}

SafeOutput WriteGridImage(TKovaImg& image, const GridData& grid, const std::string& output) {
  float value_min = 0.0f;
  float value_max = 0.0f;
  ValidValueRange(grid, value_min, value_max);
  return WriteGridImageInRange(image, grid, output, value_min, value_max);
}

SafeOutput WriteGridImage(TKovaImg& image, GridData& grid, const std::string& output,
                          RangeCoding& coding) {
  ClampToRange(grid, coding);
  return WriteGridImageInRange(image, grid, output, coding.Range.Min, coding.Range.Max);
}

void ClampToRange(GridData& grid, RangeCoding& coding) {
  const FixedValueRange range = coding.Range;
  std::size_t clamped = 0;
  float smallest = std::numeric_limits<float>::infinity();
  float largest = -std::numeric_limits<float>::infinity();
  const std::size_t count = std::min(grid.Values.size(), grid.NoData.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (grid.NoData[i] != 0) continue;
    float& value = grid.Values[i];
    smallest = std::min(smallest, value);
    largest = std::max(largest, value);
    if (value < range.Min) {
      value = range.Min;
      ++clamped;
    } else if (value > range.Max) {
      value = range.Max;
      ++clamped;
    }
  }
  coding.Clamped = clamped;
  coding.GridMin = largest < smallest ? 0.0f : smallest;
  coding.GridMax = largest < smallest ? -1.0f : largest;
}

namespace {

void RefuseUnplaceable(const std::string& template_path, const GridData& grid,
                       const std::string& output) {
  RefuseOverwriting(output, template_path, "template");
  RefuseUnplaceableGrid(grid);
}

}  // namespace

void RefuseUnplaceableGrid(const GridData& grid) {
  if (!(grid.CellWidth > 0.0f) || !(grid.CellHeight > 0.0f)) {
    throw ConversionError("The grid " + grid.SourceName +
                          " has no positive cell size; it cannot be placed on a map");
  }
}

SafeOutput ConvertGrid(TKovaImg& image, const std::string& template_path, const GridData& grid,
                       const std::string& output) {
  RefuseUnplaceable(template_path, grid, output);
  PrepareImageHeader(image, template_path, grid);
  return WriteGridImage(image, grid, output);
}

SafeOutput ConvertGrid(TKovaImg& image, const std::string& template_path, GridData& grid,
                       const std::string& output, RangeCoding& coding) {
  RefuseUnplaceable(template_path, grid, output);
  PrepareImageHeader(image, template_path, grid);
  return WriteGridImage(image, grid, output, coding);
}

void AddInputContext(KovaError& error, const std::string& input) {
  const std::string& where = error.Context();
  if (where.starts_with("template ") || where.starts_with("output ")) {
    error.AddActivity("converting " + input);
  } else {
    error.AddContext(input);
  }
}

}  // namespace kova
