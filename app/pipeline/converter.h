// The conversion run behind "Make Kova image": saves the two file boxes,
// expands the input box into input and output names, converts each input
// file (of any kind, told by its content) into its images built on the
// template, and reports the result.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/grid_data.h"
#include "app/inputs/tarvo/grid_reader.h"  // GridLimits
#include "image/kova_img.h"

namespace kova {

struct ConversionSettings {
  // The template image whose header every output starts from.
  std::string template_path;
  // Where the two boxes are saved (section "files", keys "edit1" and
  // "edit2") at the start of every run; no value: not saved.
  std::optional<std::string> settings_path;
  // The largest Tarvo grid the run converts: the window's 800 x 300, or up
  // to the image format's limit.
  GridLimits grid_limits = kWindowGridLimits;
};

struct ExpandedNames {
  std::vector<std::string> InputNames;
  std::vector<std::string> OutputNames;
};

class Converter {
 public:
  // `list_directory` is where patterns without a directory part are matched:
  // the process's current directory when the window is created.
  Converter(TKovaImg& image, ConversionSettings settings, std::string list_directory);

  // One run: settings saved, names expanded, each file converted as `kova
  // convert` converts it (a Tarvo grid into its output; a GeoTIFF's band 1;
  // a NetCDF file's only variable, a time series as one image per step
  // beside the file or in the folder the output names), each image in place
  // before the next is begun; then the closing information message (naming
  // the image when the run made one). Errors leave as exceptions; the cursor
  // is back to default and the input file closed whether the run completes
  // or fails.
  void Run(const std::string& input_text, const std::string& output_text);

  // The input box expanded into input and output names (a pattern is matched
  // in the ListDirectory, which a directory part changes, and the current
  // directory with it).
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
  GridData grid_;
};

}  // namespace kova
