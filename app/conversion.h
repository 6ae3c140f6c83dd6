// One grid into one Kova image: the scaling of its values onto the codes,
// the output's header prepared from the template and the grid, the image
// coded and handed back ready to be put in place. The run that plans a
// series and converts its files is in app/pipeline/.
#pragma once

#include <cstddef>  // std::size_t of the clamped count
#include <cstdint>
#include <string>

#include "app/grid_data.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/platform/base/errors.h"
#include "app/platform/safe_output.h"
#include "image/kova_img.h"

namespace kova {

// The scaling that maps the valid values of a grid onto the codes 0..253.
struct ValueScaling {
  double ScaleFactor = 1.0;
  double ScaleOffset = 0.0;
};

// Scaling for valid values from value_min to value_max, chosen among the
// values a 6-byte real holds so that value_min codes exactly to 0 and
// value_max to 253 (value_max below value_min: no valid value at all).
// A grid whose values are all equal gets ScaleFactor 1 and that value as
// ScaleOffset; a grid without valid values gets 1 and 0.
ValueScaling ChooseValueScaling(float value_min, float value_max);

// One range of values for every image of a run, in place of each grid's own
// extremes: each image gets the scaling ChooseValueScaling(Min, Max) gives,
// so that one code means one value across a series. Valid values outside
// the range are coded as its nearer end (0 or 253), never as no data.
struct FixedValueRange {
  float Min = 0.0f;
  float Max = 0.0f;
};

// How a conversion codes values when a fixed range is given; each conversion
// that takes it sets Clamped.
struct RangeCoding {
  FixedValueRange Range;
  std::size_t Clamped = 0;  // valid cells of the last grid moved into Range
  // The extremes of the last grid's valid values before they were clamped
  // (GridMax < GridMin: no valid value).
  float GridMin = 0.0f;
  float GridMax = -1.0f;
};

// Moves every valid value of `grid` below coding.Range.Min up to it
// and every one above Range.Max down to it, setting Clamped, GridMin and
// GridMax.
void ClampToRange(GridData& grid, RangeCoding& coding);

// The text of the Title of an image made from `input_name`.
std::string ImageTitleFor(const std::string& input_name);

// The input text names several files when it holds "*" or "?".
bool IsInputPattern(const std::string& input_text);

// The output's header prepared in `image` from the template and the grid's
// size, corners and cell sizes: the template attached afresh (never written),
// then SetImageHeaderFromGrid. Raises ConversionError for a template that is
// not a valid image.
void PrepareImageHeader(TKovaImg& image, const std::string& template_path, const GridData& grid);

// On the template attached in `image`, with its write-through suspended (the
// template file is never written): Columns, Rows, OriginLongitude,
// OriginLatitude, OriginColumn, OriginRow, PixelWidth and PixelHeight from
// the grid's size, corners and cell sizes, in this order.
void SetImageHeaderFromGrid(TKovaImg& image, const GridData& grid);

// Refuses a grid without a positive cell size: it cannot be placed on a map.
void RefuseUnplaceableGrid(const GridData& grid);

// The image of the grid's values, built on the header that
// PrepareImageHeader left in `image`: image type and scaling from the valid
// values, the output created as its temporary file and attached there, its
// title naming grid.SourceName, the rows coded and written. The image is
// handed back not yet in place: Commit() on the result moves it onto
// `output` (an existing file there keeps its old bytes until then); dropping
// the result leaves no trace of it. `image` is left attached to the
// temporary file.
SafeOutput WriteGridImage(TKovaImg& image, const GridData& grid, const std::string& output);

// WriteGridImage with the extremes of the grid's valid values known already.
SafeOutput WriteGridImageInRange(TKovaImg& image, const GridData& grid, const std::string& output,
                                 float value_min, float value_max);

// WriteGridImage with the scaling of coding.Range: the grid's valid values
// are first clamped into it (coding.Clamped says how many were).
SafeOutput WriteGridImage(TKovaImg& image, GridData& grid, const std::string& output,
                          RangeCoding& coding);

// A grid of any input kind into one image: both steps above, after refusing
// an output that is the template (the caller refuses one that is its input
// before reading it) and a grid without a positive cell size.
SafeOutput ConvertGrid(TKovaImg& image, const std::string& template_path, const GridData& grid,
                       const std::string& output);
// The same with the values coded in a fixed range, clamped into it first.
SafeOutput ConvertGrid(TKovaImg& image, const std::string& template_path, GridData& grid,
                       const std::string& output, RangeCoding& coding);

// Says which input an error met while converting it: its place, or, for an
// error about the template or the output ("template t.img"), what was being
// done: "template t.img (converting g.asc)", so that the file that failed
// comes first.
void AddInputContext(KovaError& error, const std::string& input);

}  // namespace kova
