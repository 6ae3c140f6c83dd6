// `kova convert INPUT... [-o OUTPUT] [--template FILE] [--keep-going]
// [--force] [-q | -v] [--jobs N] [--sync]`: grid files, and patterns that the run
// expands by its own rules, into Kova images beside them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_support.h"
#include "app/conversion.h"
#include "app/inputs/input_source.h"
#include "app/pipeline/series_plan.h"

namespace kova::cli {

struct ConvertOptions {
  // Grid files, or quoted patterns with "*" and "?" (masks separated by ";").
  std::vector<std::string> inputs;
  std::string output;                // -o: the image of a single input file
  std::string template_path;         // empty: template.img beside the program
  bool keep_going = false;           // try every file, then summarise
  bool force = false;                // replace an existing output that is not a Kova image
  bool quiet = false;                // errors only
  bool verbose = false;              // one line per image created
  bool sync = false;                 // each image on disk before it is moved into place
  unsigned jobs = 0;                 // files converted at once; 0: one per online processor
  int band = 0;                      // --band: the GeoTIFF band, from 1; 0: not given (1)
  std::string variable;              // --variable: the NetCDF variable
  std::vector<std::string> indices;  // --index DIM=N: NetCDF dimensions fixed
  // --range MIN MAX: every image coded on this range, as grid numbers.
  std::vector<std::string> range;
  bool series_range = false;  // every image coded on the extremes of the whole series
};

Subcommand AddConvertCommand(CLI::App& app, ConvertOptions& options);

// The range of --range, its two numbers read as grid values are; UsageError
// for a text that is not a number and for MAX not above MIN. None without
// --range.
std::optional<FixedValueRange> FixedRangeOf(const ConvertOptions& options);

// Converts the series and returns the exit code: kExitSuccess when every
// image was created, kExitFailure when a file failed or no input matched.
// Raises UsageError for impossible option combinations.
int RunConvert(const ConvertOptions& options);

// --index DIM=N texts as the NetCDF reader takes them; UsageError for a text
// of another form.
kova::inputs::InputOptions InputOptionsOf(const ConvertOptions& options);

// The inputs expanded into the series, in order (SeriesEntry: the images
// of every input, with their names). Patterns are matched relative to
// `start_directory`, which stays the current directory; a
// pattern that matches nothing is reported on standard error. Raises
// UsageError for --band, --variable or --index when no input is of the kind
// they apply to, and for one that names nothing its file has.
std::vector<SeriesEntry> ExpandSeries(const ConvertOptions& options,
                                      const std::string& start_directory);

// The texts the series ends with.
std::string StopText(std::size_t failed_index,
                     std::size_t count);  // "stopped at file 4 of 100; ..."
std::string SummaryText(std::size_t created,
                        std::size_t count);  // "97 of 100 images created; 3 failed"
// "interrupted at file 346 of 4000; 345 images created"
std::string InterruptText(std::size_t index, std::size_t count, std::size_t created);

}  // namespace kova::cli
