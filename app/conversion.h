// The conversion run behind "Make Kova image": saves the two file boxes,
// expands the input box into input and output names, converts each grid into
// a Kova image built on the template, and reports the result.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/grid_reader.h"
#include "app/platform/safe_output.h"
#include "image/kova_img.h"

namespace kova {

struct ConversionSettings {
  // The template image whose header every output starts from.
  std::string template_path;
  // Where the two boxes are saved (section "files", keys "edit1" and
  // "edit2") at the start of every run; no value: not saved.
  std::optional<std::string> settings_path;
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

// The text of the Title of an image made from `input_name`.
std::string ImageTitleFor(const std::string& input_name);

// The input text names several files when it holds "*" or "?".
bool IsInputPattern(const std::string& input_text);

// The grid and the row buffer of a conversion, set up once per run (or once
// per thread) and reused for every file.
struct ConversionWorkspace {
  GridHeader header;
  GridValues values;
  std::array<double, kMaxGridCols> row{};
};

// Converts the grid file `input` into a complete image for `output`, built on
// the template, and hands it back not yet in place: Commit() on the result
// moves it onto `output` (an existing file there keeps its old bytes until
// then); dropping the result leaves no trace of it. An output that is the same
// file as the input or the template is refused before anything is read or
// written. Only `image` and `workspace` are touched, so that several files
// may be converted at once, each with its own image and workspace; `image`
// is left attached to the output's temporary file.
SafeOutput ConvertGridFile(TKovaImg& image, ConversionWorkspace& workspace,
                           const std::string& template_path, const std::string& input,
                           const std::string& output);

class Converter {
 public:
  // `list_directory` is where patterns without a directory part are matched:
  // the process's current directory when the window is created.
  Converter(TKovaImg& image, ConversionSettings settings, std::string list_directory);

  // One run: settings saved, names expanded, each file converted, the closing
  // information message shown. Errors leave as exceptions; the cursor is back
  // to default and the grid file closed whether the run completes or fails.
  void Run(const std::string& input_text, const std::string& output_text);

  // The input box expanded into input and output names (a pattern is matched
  // in the ListDirectory, which a directory part changes).
  ExpandedNames ExpandInputPattern(const std::string& input_text, const std::string& output_text);

  const std::string& ListDirectory() const noexcept { return list_directory_; }
  const ConversionSettings& Settings() const noexcept { return settings_; }

 private:
  TKovaImg& image_;
  ConversionSettings settings_;
  std::string list_directory_;
};

}  // namespace kova
