// The conversion run behind "Make Kova image": saves the two file boxes,
// expands the input box into input and output names, converts each grid into
// a Kova image built on the template, and reports the result.
#pragma once

#include <cmath>    // std::isinf of RoundToFloat
#include <cstddef>  // std::size_t of the clamped count
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/grid_data.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/platform/errors.h"
#include "app/platform/safe_output.h"
#include "image/kova_img.h"

namespace kova {

struct ConversionSettings {
  // The template image whose header every output starts from.
  std::string template_path;
  // Where the two boxes are saved (section "files", keys "edit1" and
  // "edit2") at the start of every run; no value: not saved.
  std::optional<std::string> settings_path;
  // The largest grid the run converts: the window's 800 x 300, or up to the
  // image format's limit for kova convert.
  GridLimits grid_limits = kWindowGridLimits;
};

struct ExpandedNames {
  std::vector<std::string> InputNames;
  std::vector<std::string> OutputNames;
};

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

// Rounds an extended value to a 4-byte float, as a store into one does;
// raises FloatOverflowError (saying `where`, when given) for a finite value
// beyond the float range. Inline, as the GeoTIFF and NetCDF reader module
// uses it without the rest of the conversion.
inline float RoundToFloat(long double value, const std::string& where = {}) {
  const auto rounded = static_cast<float>(value);
  if (std::isinf(rounded) && !std::isinf(value)) {
    FloatOverflowError error;
    error.AddContext(where);
    throw error;
  }
  return rounded;
}

// The text of the Title of an image made from `input_name`.
std::string ImageTitleFor(const std::string& input_name);

// The input text names several files when it holds "*" or "?".
bool IsInputPattern(const std::string& input_text);

// The output's header prepared in `image` from the template and the grid's
// size, corners and cell sizes: the template attached afresh (never written),
// then Columns, Rows, OriginLongitude, OriginLatitude, OriginColumn,
// OriginRow, PixelWidth and PixelHeight in this order. Raises
// ConversionError for a template that is not a valid image.
void PrepareImageHeader(TKovaImg& image, const std::string& template_path, const GridData& grid);

// The image of the grid's values, built on the header that
// PrepareImageHeader left in `image`: image type and scaling from the valid
// values, the output created as its temporary file and attached there, its
// title naming grid.SourceName, the rows coded and written. The image is
// handed back not yet in place: Commit() on the result moves it onto
// `output` (an existing file there keeps its old bytes until then); dropping
// the result leaves no trace of it. `image` is left attached to the
// temporary file.
SafeOutput WriteGridImage(TKovaImg& image, const GridData& grid, const std::string& output);

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

// The grid of a conversion, set up once per run (or once per thread) and
// reused for every file, so that its memory is taken only once.
struct ConversionWorkspace {
  GridHeader header;
  GridData grid;
};

// Says which input an error met while converting it: its place, or, for an
// error about the template or the output ("template t.img"), what was being
// done: "template t.img (converting g.asc)", so that the file that failed
// comes first.
void AddInputContext(KovaError& error, const std::string& input);

// Converts the Tarvo grid file `input` into a complete image for `output`,
// built on the template, in the order in which its errors show: the grid's
// header, the template, the grid's values, the image. The result is handed
// back as WriteGridImage does. An output that is the same file as the input
// or the template is refused before anything is read or written. Only
// `image` and `workspace` are touched, so that several files may be
// converted at once, each with its own image and workspace. With `coding`,
// the values are coded in its fixed range, as WriteGridImage does with it.
SafeOutput ConvertGridFile(TKovaImg& image, ConversionWorkspace& workspace,
                           const std::string& template_path, const std::string& input,
                           const std::string& output, GridLimits limits = kWindowGridLimits,
                           RangeCoding* coding = nullptr);

// How a run converts one input file: its images made complete and put in
// place one by one, each named in `created` as soon as it is there. Given
// the run's image component and workspace, and the template.
using FileConversion = std::function<void(
    TKovaImg& image, ConversionWorkspace& workspace, const std::string& template_path,
    const std::string& input, const std::string& output, std::vector<std::string>& created)>;

class Converter {
 public:
  // `list_directory` is where patterns without a directory part are matched:
  // the process's current directory when the window is created.
  Converter(TKovaImg& image, ConversionSettings settings, std::string list_directory);

  // Converts each input file with `conversion` instead of reading it as a
  // Tarvo grid within the settings' grid limits.
  void SetFileConversion(FileConversion conversion) { convert_file_ = std::move(conversion); }

  // One run: settings saved, names expanded, each file converted, the closing
  // information message shown (naming the image when the run made one). Errors leave as exceptions;
  // the cursor is back to default and the grid file closed whether the run completes or fails.
  void Run(const std::string& input_text, const std::string& output_text);

  // The input box expanded into input and output names (a pattern is matched
  // in the ListDirectory, which a directory part changes).
  ExpandedNames ExpandInputPattern(const std::string& input_text, const std::string& output_text);

  const std::string& ListDirectory() const noexcept { return list_directory_; }
  const ConversionSettings& Settings() const noexcept { return settings_; }
  // The images the last run created, in order (also when it failed later).
  const std::vector<std::string>& CreatedImages() const noexcept { return created_images_; }

 private:
  TKovaImg& image_;
  ConversionSettings settings_;
  std::string list_directory_;
  std::vector<std::string> created_images_;
  // The grid of the last file, kept from one run to the next, so that a
  // grid of the same size needs no new memory.
  ConversionWorkspace workspace_;
  FileConversion convert_file_;
};

}  // namespace kova
