// The first step of a conversion run, shared by `kova convert` and the
// window: patterns matched in a folder handed in, each input's kind told and
// its grids counted, every image named, and the refusals that follow from
// the names alone decided, each once per image.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/inputs/input_source.h"

namespace kova {

// One input file of a series, shared by the entries of its grids.
struct PlannedInput {
  std::string path;
  inputs::InputKind kind = inputs::InputKind::kTarvoGrid;
  // A GeoTIFF or NetCDF file, opened once to name its images and read
  // through this source by each of its entries; none for a Tarvo grid, which
  // is opened when its entry is converted.
  std::unique_ptr<inputs::InputSource> source;
  std::optional<inputs::InputProjection> projection;  // the source's, learnt when opened
  inputs::InputOptions options;                       // it was opened with
  // Held while a grid is read through `source`. An entry that finds it
  // held, converting on another thread, opens the file anew for its grid.
  std::mutex reading;
  // Entries of the file not yet converted; the source is given up after the last.
  std::atomic<std::size_t> unconverted{0};
};

// One image of the series and what it is made from.
struct SeriesEntry {
  std::string input;
  std::string output;
  // A GeoTIFF or NetCDF file: which of its grids (a time step) this image
  // holds, or why its images could not be named.
  bool gridded_file = false;
  std::size_t grid = 0;
  std::string plan_error;           // "message: where"; empty when named
  std::exception_ptr plan_failure;  // that error, to be raised when the entry's turn comes
  // The output is the same file as the input, or as the template: the
  // refusal, raised in its place when the entry is converted.
  std::exception_ptr same_as_input;
  std::exception_ptr same_as_template;
  std::shared_ptr<PlannedInput> file;
};

// How a front end names the images of an input.
struct PlanRules {
  std::string template_path;
  inputs::InputOptions options;
  // The window: the output box names the image of a single grid; the time
  // steps of a series go beside their file unless it names a folder.
  // Otherwise (kova convert), the output of a time series must be a folder.
  bool steps_beside_unless_folder = false;
  // kova convert: an option that names nothing a file has (InputOptionError)
  // leaves the planning and refuses the run. Otherwise the file's entry
  // raises it when its turn comes, as any error of naming its images.
  bool option_errors_leave = true;
};

// Appends the images of the input file `input` to `series`: one for a Tarvo
// grid, one per grid for a GeoTIFF or NetCDF file (opened here, once), named
// after `output` (empty: beside the input) by the readers' rules. A file
// whose images cannot be named gives one entry that raises why when its
// turn comes. Returns the file's kind (a Tarvo grid when it cannot be read).
inputs::InputKind PlanInput(const std::string& input, const std::string& output,
                            const PlanRules& rules, std::vector<SeriesEntry>& series);

// The folder the directory part of `pattern` names, taken relative to
// `folder` unless it is absolute; none when the pattern has no directory
// part (its files are matched in `folder` itself).
std::optional<std::string> PatternFolderTarget(const std::string& pattern,
                                               const std::string& folder);

// Makes `folder` the current directory and returns its full name as the
// platform gives it. Raises the FileError of a folder that cannot be
// entered, saying "folder FOLDER".
std::string EnterFolder(const std::string& folder);

// The full name of `folder` as EnterFolder gives it; the current directory
// is the same again afterwards.
std::string EnteredFolderName(const std::string& folder);

// The files that the masks of `pattern` (after its directory part) match in
// `folder`, as `folder` joined with each name, in the order FindFiles gives.
// Raises the FileError of a folder that cannot be read, saying "folder ...".
std::vector<std::string> PatternMatches(const std::string& pattern, const std::string& folder);

// The image of the input file `path` as a pattern run names it: beside it,
// with ".img" in place of its extension.
std::string PatternImageName(const std::string& path);

}  // namespace kova
