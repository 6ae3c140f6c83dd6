#include "app/cli/convert_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>  // std::any_of of the mask folders
#include <atomic>
#include <charconv>  // std::from_chars of --index, std::to_chars of the scale
#include <chrono>
#include <cstdio>
#include <filesystem>  // is_directory of an input, the folder of an output
#include <memory>
#include <optional>

#include "app/cli/series_range.h"
#include "app/conversion.h"
#include "app/features/grid_export.h"  // ShortestText
#include "app/features/shipped_files.h"
#include "app/inputs/convert_input.h"
#include "app/inputs/tarvo/grid_reader.h"  // ParseGridFloat of --range
#include "app/pipeline/convert_entry.h"
#include "app/pipeline/convert_in_order.h"
#include "app/pipeline/series_plan.h"
#include "app/platform/base/errors.h"
#include "app/platform/base/printable.h"
#include "app/platform/file.h"
#include "app/platform/interrupt.h"
#include "app/platform/paths.h"
#include "app/platform/process.h"
#include "app/platform/safe_output.h"
#include "app/value_spread.h"
#include "image/format.h"
#include "image/kova_img.h"

namespace kova::cli {
namespace {

// --- One file ----------------------------------------------------------------

// True when `path` holds a file whose first bytes are a valid Kova header.
bool IsKovaImage(const std::string& path) {
  HeaderBytes bytes{};
  BinaryFile file(path, FileAccess::ReadOnly);
  return file.Read(bytes.data(), bytes.size()) == bytes.size() && IsValidHeader(bytes);
}

// Refuses to replace an existing output that is not a Kova image: it may be
// the user's data under an unlucky name. An output that cannot be read is
// left to the write, which reports why.
void CheckOutputReplaceable(const std::string& output) {
  if (!FileExists(output)) return;
  bool is_image = true;
  try {
    is_image = IsKovaImage(output);
  } catch (const FileError&) {
    return;
  }
  if (!is_image) {
    throw ConversionError("The output " + output +
                          " exists and is not a Kova image; --force replaces it");
  }
}

// What a converted grid held, for the line of -v.
struct GridSummary {
  int rows = 0;
  int columns = 0;
  float value_min = 0.0f;   // the extremes of the valid values;
  float value_max = -1.0f;  // value_max < value_min: no valid value
};

GridSummary SummariseGrid(const GridData& grid) {
  GridSummary summary{grid.Rows, grid.Cols};
  if (!ValidValueRange(grid, summary.value_min, summary.value_max)) {
    summary.value_min = 0.0f;
    summary.value_max = -1.0f;
  }
  return summary;
}

// The input a message of one image names: the file, and the time step of a
// NetCDF series (which the grid's source name carries behind the file name).
std::string GridPlace(const SeriesEntry& entry, const GridData& grid) {
  const std::string file = FileNameOf(entry.input);
  if (grid.SourceName.size() > file.size() + 1 &&
      grid.SourceName.compare(0, file.size(), file) == 0) {
    return entry.input + ", time step " + grid.SourceName.substr(file.size() + 1);
  }
  return entry.input;
}

std::string CellsText(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " cell" : " cells");
}

// The shortest decimal that reads back to `value`.
std::string ShortestDouble(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string RangeText(const FixedValueRange& range) {
  return ShortestText(range.Min) + " to " + ShortestText(range.Max);
}

// The warning of a grid whose few extreme values squeeze all others into a
// few codes.
std::string OutlierText(const std::string& place, const OutlierFinding& finding) {
  return "warning: " + place + ": " + std::to_string(finding.crowd_cells) + " of " +
         std::to_string(finding.valid_cells) + " valid values fall into " +
         std::to_string(finding.crowd_codes) + (finding.crowd_codes == 1 ? " code" : " codes") +
         "; the " + (finding.largest ? "largest" : "smallest") + " value " +
         ShortestText(finding.value) + " (row " + std::to_string(finding.row) + ", column " +
         std::to_string(finding.column) +
         ") stretches the scale. If it marks missing cells, declare it as the file's no-data "
         "value; otherwise give --range MIN MAX";
}

// What converting one file of the series gave; delivered in series order.
struct FileResult {
  std::string diagnostics;           // what the file's conversion reported, in order
  std::optional<std::string> error;  // the failure, "message: where"
  std::optional<SafeOutput> image;   // complete, not yet in place
  GridSummary grid;
};

// A converter of files: one image component and one grid, used by one
// thread at a time.
class FileConverter {
 public:
  FileConverter(const EntryConversion& conversion, const ConvertOptions& options,
                const std::optional<FixedValueRange>& range)
      : conversion_(conversion),
        options_(options),
        range_(range),
        grid_(std::make_unique<GridData>()) {}

  FileResult Convert(const SeriesEntry& entry) {
    FileResult result;
    DiagnosticsCapture capture(result.diagnostics);
    std::optional<RangeCoding> coding;
    if (range_) coding = RangeCoding{*range_};
    try {
      // An output that is the input or the template is refused by the
      // conversion itself, naming both files.
      if (!options_.force && !entry.same_as_input && !entry.same_as_template) {
        CheckOutputReplaceable(entry.output);
      }
      result.image.emplace(
          ConvertEntry(image_, *grid_, conversion_, entry, coding ? &*coding : nullptr));
      Report(entry, coding, result);
    } catch (const KovaError& error) {
      result.error = error.Text();
    } catch (const std::exception& error) {
      result.error = error.what();
    }
    return result;
  }

 private:
  // What the grid just converted tells the user: the cells clamped into a
  // fixed range, or outliers that crush the codes; the line of -v.
  void Report(const SeriesEntry& entry, const std::optional<RangeCoding>& coding,
              FileResult& result) const {
    const GridData& grid = *grid_;
    if (coding) {
      // The grid's values were clamped: its extremes are the coding's.
      result.grid = {grid.Rows, grid.Cols, coding->GridMin, coding->GridMax};
      if (coding->Clamped > 0 && !options_.quiet) {
        PrintDiagnostic(GridPlace(entry, grid) + ": " + CellsText(coding->Clamped) +
                        " outside the range " + RangeText(coding->Range) +
                        " coded as its nearer end");
      }
      // A range the user gave is the user's choice; the range of a series
      // is stretched by a far value of one file as a file's own is, and that
      // file shows it on the series' scale.
      if (!options_.series_range) return;
    } else if (options_.verbose) {
      result.grid = SummariseGrid(grid);
    }
    if (options_.quiet) return;
    // The scaling the image was made with.
    const ValueScaling scaling{image_.ScaleFactor(), image_.ScaleOffset()};
    if (const auto finding = FindOutliers(grid, scaling)) {
      PrintDiagnostic(OutlierText(GridPlace(entry, grid), *finding));
    }
  }

  const EntryConversion& conversion_;
  const ConvertOptions& options_;
  std::optional<FixedValueRange> range_;
  TKovaImg image_;
  std::unique_ptr<GridData> grid_;
};

// --- Progress --------------------------------------------------------------

// One updating line on standard error, "37/100 rain_037.asc", shown only on
// a terminal and only once the series has taken about a second.
class ProgressLine {
 public:
  explicit ProgressLine(bool wanted)
      : enabled_(wanted && StandardErrorIsTerminal()), start_(std::chrono::steady_clock::now()) {}
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Show(std::size_t done, std::size_t count, const std::string& input) {
    if (!enabled_) return;
    if (std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
    const std::string line = "\r" + std::to_string(done) + "/" + std::to_string(count) + " " +
                             EscapeControlBytes(FileNameOf(input)) + "\x1b[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    shown_ = true;
  }

  // Takes the line away before anything else is printed.
  void Clear() {
    if (!shown_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
};

std::string ValueText(float value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
  return buffer;
}

// The line of -v for a created image.
std::string VerboseLine(const SeriesEntry& entry, const GridSummary& grid) {
  std::string line = entry.input + " -> " + entry.output + ", " + std::to_string(grid.columns) +
                     " x " + std::to_string(grid.rows) + ", ";
  line += grid.value_max < grid.value_min
              ? "no valid value"
              : "values " + ValueText(grid.value_min) + " to " + ValueText(grid.value_max);
  return EscapeControlBytes(line) + "\n";
}

// Moves a finished image into place; the failure's text, if any.
std::optional<std::string> CommitImage(SafeOutput& image, const std::string& input) {
  try {
    image.Commit();
  } catch (KovaError& error) {
    error.AddContext("output " + image.Path());
    AddInputContext(error, input);
    return error.Text();
  }
  return std::nullopt;
}

unsigned OnlineProcessors() {
  const unsigned count = OnlineProcessorCount();
  return count > 0 ? count : 1u;
}

}  // namespace

std::string StopText(std::size_t failed_index, std::size_t count) {
  return "stopped at file " + std::to_string(failed_index + 1) + " of " + std::to_string(count) +
         "; " + std::to_string(failed_index) + (failed_index == 1 ? " image" : " images") +
         " created";
}

std::string InterruptText(std::size_t index, std::size_t count, std::size_t created) {
  return "interrupted at file " + std::to_string(index + 1) + " of " + std::to_string(count) +
         "; " + std::to_string(created) + (created == 1 ? " image" : " images") + " created";
}

std::string SummaryText(std::size_t created, std::size_t count) {
  return std::to_string(created) + " of " + std::to_string(count) + " images created; " +
         std::to_string(count - created) + " failed";
}

namespace {

// The images of one input file, as PlanInput names them; `output` is -o
// (empty: beside the input). An option that names nothing the file has is a
// usage error. Returns the file's kind.
inputs::InputKind AppendImagesOf(const std::string& input, const std::string& output,
                                 const PlanRules& rules, std::vector<SeriesEntry>& series) {
  try {
    return PlanInput(input, output, rules, series);
  } catch (const inputs::InputOptionError& error) {
    throw UsageError(EscapeControlBytes(error.Text()));
  }
}

std::string TemplatePathOf(const ConvertOptions& options) {
  return options.template_path.empty() ? ShippedTemplatePath() : options.template_path;
}

const char* KindName(inputs::InputKind kind) {
  switch (kind) {
    case inputs::InputKind::kTiff:
      return "a GeoTIFF file";
    case inputs::InputKind::kNetCdf:
      return "a NetCDF file";
    case inputs::InputKind::kTarvoGrid:
      break;
  }
  return "a Tarvo grid";
}

// Refuses `option`, given, when no input is of the `kind` it applies to: it
// would change nothing.
void RequireInputKind(bool given, const char* option, const char* what, inputs::InputKind kind,
                      const std::vector<std::pair<std::string, inputs::InputKind>>& inputs) {
  if (!given) return;
  for (const auto& [name, input_kind] : inputs) {
    if (input_kind == kind) return;
  }
  const std::string chooses = std::string(option) + " chooses " + what + " of " + KindName(kind);
  if (inputs.size() == 1) {
    throw UsageError(chooses + "; " + EscapeControlBytes(inputs.front().first) + " is " +
                     KindName(inputs.front().second));
  }
  if (!inputs.empty()) {
    throw UsageError(chooses + "; none of the " + std::to_string(inputs.size()) + " inputs is one");
  }
}

}  // namespace

kova::inputs::InputOptions InputOptionsOf(const ConvertOptions& options) {
  kova::inputs::InputOptions input_options;
  input_options.Band = options.band == 0 ? 1 : options.band;
  input_options.Variable = options.variable;
  for (const std::string& text : options.indices) {
    const std::size_t equals = text.find('=');
    std::size_t index = 0;
    const char* digits = equals == std::string::npos ? nullptr : text.c_str() + equals + 1;
    const char* end = text.c_str() + text.size();
    if (digits == nullptr || equals == 0 || digits == end ||
        std::from_chars(digits, end, index).ptr != end) {
      throw UsageError("--index takes DIMENSION=N with N counted from 0, not " + text);
    }
    input_options.Index[text.substr(0, equals)] = index;
  }
  return input_options;
}

std::vector<SeriesEntry> ExpandSeries(const ConvertOptions& options,
                                      const std::string& start_directory) {
  PlanRules rules;
  rules.template_path = TemplatePathOf(options);
  rules.options = InputOptionsOf(options);
  std::vector<SeriesEntry> series;
  std::vector<std::pair<std::string, inputs::InputKind>> kinds;
  for (const std::string& input : options.inputs) {
    if (!IsInputPattern(input)) {
      kinds.emplace_back(input, AppendImagesOf(input, options.output, rules, series));
      continue;
    }
    // The masks after the first share its folder.
    const std::size_t semicolon = input.find(';');
    if (semicolon != std::string::npos &&
        std::any_of(input.begin() + static_cast<std::ptrdiff_t>(semicolon), input.end(),
                    IsPathSeparator)) {
      const std::string folder = input.substr(0, DirectoryPartLength(input.substr(0, semicolon)));
      std::string patterns;
      for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find(';', start), input.size());
        std::string mask = input.substr(start, end - start);
        if (start > 0 && DirectoryPartLength(mask) == 0) mask = folder + mask;
        if (!mask.empty()) patterns += (patterns.empty() ? "\"" : " \"") + mask + "\"";
        start = end + 1;
      }
      throw UsageError("the masks after ';' share the folder of the first one" +
                       (folder.empty() ? std::string() : " (" + folder + ")") +
                       "; give a pattern of its own for each folder: " + patterns);
    }
    // Every pattern is matched from the directory kova was started in.
    const std::optional<std::string> folder = PatternFolderTarget(input, start_directory);
    const std::vector<std::string> matches =
        PatternMatches(input, folder ? EnteredFolderName(*folder) : start_directory);
    if (matches.empty()) PrintDiagnostic("the pattern " + input + " matched no file");
    // Masks that overlap list a file once for each; it is converted once.
    // The names come sorted, so that a file listed again follows itself.
    for (std::size_t i = 0; i < matches.size(); ++i) {
      if (i > 0 && matches[i] == matches[i - 1]) continue;
      kinds.emplace_back(matches[i], AppendImagesOf(matches[i], "", rules, series));
    }
  }
  RequireInputKind(options.band != 0, "--band", "a band", inputs::InputKind::kTiff, kinds);
  RequireInputKind(!options.variable.empty(), "--variable", "a variable",
                   inputs::InputKind::kNetCdf, kinds);
  RequireInputKind(!options.indices.empty(), "--index", "a dimension's index",
                   inputs::InputKind::kNetCdf, kinds);
  return series;
}

Subcommand AddConvertCommand(CLI::App& app, ConvertOptions& options) {
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert Tarvo ASCII grids, GeoTIFF and NetCDF files into Kova images (*.img)");
  convert->footer(
      "Each image is written beside its grid, with .img in place of the extension.\n"
      "Quote a pattern to let kova match it (masks separated by ; share the folder of\n"
      "the first one, letter case ignored, hidden files skipped):\n"
      "  kova convert \"data/rain_*.asc\"\n"
      "  kova convert \"data/*.asc;*.grd\"\n"
      "  kova convert rain.asc -o /tmp/rain.img\n"
      "  kova convert --keep-going \"2024/*.asc\" \"2025/*.asc\"\n"
      "Ctrl-C stops the series between two files; the images created stay.\n"
      "GeoTIFF and NetCDF files are told by their content. A NetCDF variable with a\n"
      "time axis gives one image per step, NAME_YYYYMMDD.img, beside the file or in\n"
      "the folder -o names:\n"
      "  kova convert elevation.tif --band 2\n"
      "  kova convert rain.nc --variable precip -o images/\n"
      "Each image is scaled from its own smallest and largest value. For a series on\n"
      "one scale (one code, one colour, one amount on every day), give the range or\n"
      "let kova find it; values outside a --range are coded as its nearer end:\n"
      "  kova convert --series-range \"dekads/rain_*.asc\"\n"
      "  kova convert --range 0 200 \"daily/*.asc\"\n"
      "A warning tells of outliers: when all but 0.1 % of a file's valid cells (at\n"
      "least 100 of them, at least one outside) fall into 4 adjacent codes of its\n"
      "scale (its own, or that of --series-range), a few far values (often an\n"
      "undeclared no-data value such as 9999) have squeezed the rest; the image is\n"
      "made as always, the warning names the value and its row and column, and -q\n"
      "silences it.\n"
      "Exit codes: 0 every image created, 1 a file failed or nothing matched,\n"
      "2 usage error, 130 interrupted.");
  convert
      ->add_option("INPUT", options.inputs, "Grid files, or quoted patterns such as \"data/*.asc\"")
      ->required();
  convert->add_option("-o,--output", options.output,
                      "Image file of a single input file, used as typed, or the folder for it");
  convert->add_option("--template", options.template_path,
                      "Template image (default: template.img beside the program)");
  convert->add_flag("--keep-going", options.keep_going,
                    "Try every file; report each failure, then a summary");
  convert->add_flag("--force", options.force,
                    "Replace an existing output even when it is not a Kova image");
  CLI::Option* quiet = convert->add_flag("-q,--quiet", options.quiet, "Print errors only");
  convert->add_flag("-v,--verbose", options.verbose, "Print one line per image created")
      ->excludes(quiet);
  convert->add_option("--band", options.band, "GeoTIFF band to convert (default: 1)")
      ->check(CLI::Range(1, 65535));
  convert->add_option("--variable", options.variable,
                      "NetCDF variable (default: the only one on a latitude/longitude grid)");
  convert->add_option("--index", options.indices,
                      "NetCDF dimension fixed at an index from 0, e.g. --index level=2 "
                      "(repeatable; time=N converts one time step)");
  convert
      ->add_option("-j,--jobs", options.jobs,
                   "Files converted at once (default: one per processor; 1: one after another)")
      ->check(CLI::Range(1u, 1024u));
  CLI::Option* range =
      convert
          ->add_option("--range", options.range,
                       "Code every image from MIN (code 0) to MAX (code 253); values outside "
                       "are clamped, and counted on standard error")
          ->expected(2)
          ->type_name("MIN MAX")
          ->allow_extra_args(false);
  convert
      ->add_flag("--series-range", options.series_range,
                 "Code every image on the smallest and largest value of the whole series "
                 "(each file is read twice)")
      ->excludes(range);
  convert->add_flag("--sync", options.sync,
                    "Wait until each image is on disk before it takes its name (slower; "
                    "for file systems that may lose a replaced file in a power cut)");
  return {convert, [&options] { return RunConvert(options); }};
}

std::optional<FixedValueRange> FixedRangeOf(const ConvertOptions& options) {
  if (options.range.empty()) return std::nullopt;
  if (options.range.size() != 2) throw UsageError("--range takes two numbers, MIN and MAX");
  FixedValueRange range;
  float* const ends[] = {&range.Min, &range.Max};
  for (std::size_t i = 0; i < 2; ++i) {
    try {
      *ends[i] = ParseGridFloat(options.range[i]);
    } catch (const KovaError& error) {
      throw UsageError("--range " + std::string(i == 0 ? "MIN" : "MAX") + ": " + error.what());
    }
  }
  if (!(range.Max > range.Min)) {
    throw UsageError("--range needs MAX greater than MIN, not " + ShortestText(range.Min) +
                     " and " + ShortestText(range.Max));
  }
  return range;
}

namespace {

// The scale of --series-range, found by a first pass over the series; none
// after a failure that stops the run (reported here).
std::optional<std::optional<FixedValueRange>> SeriesRangeOf(const std::vector<SeriesEntry>& series,
                                                            const EntryConversion& conversion,
                                                            const ConvertOptions& options,
                                                            unsigned jobs) {
  SeriesScan scan = ScanSeriesRange(series, conversion.limits, jobs, options.keep_going);
  if (scan.failed && !options.keep_going) {
    PrintDiagnostic(scan.failure);
    PrintDiagnostic("stopped at file " + std::to_string(*scan.failed + 1) + " of " +
                    std::to_string(series.size()) +
                    " while finding the range of the series; no image created");
    return std::nullopt;
  }
  if (options.verbose) {
    if (scan.range) {
      const ValueScaling scaling = ChooseValueScaling(scan.range->Min, scan.range->Max);
      PrintAnswer("series range " + RangeText(*scan.range) + " (ScaleFactor " +
                  ShortestDouble(scaling.ScaleFactor) + ", ScaleOffset " +
                  ShortestDouble(scaling.ScaleOffset) + ")\n");
    } else {
      PrintAnswer("series range: no valid value in the series\n");
    }
  }
  return scan.range;
}

}  // namespace

int RunConvert(const ConvertOptions& options) {
  const bool pattern = options.inputs.size() == 1 && IsInputPattern(options.inputs.front());
  if (!options.output.empty() && (options.inputs.size() > 1 || pattern)) {
    throw UsageError("-o names the image of a single input file; with " +
                     std::string(pattern ? "a pattern" : "several inputs") +
                     " each image is written beside its grid");
  }
  const EntryConversion conversion{TemplatePathOf(options), !options.template_path.empty(),
                                   kImageGridLimits};
  InputOptionsOf(options);  // a malformed --index is refused before --range
  std::optional<FixedValueRange> range = FixedRangeOf(options);
  const std::vector<SeriesEntry> series = ExpandSeries(options, CurrentDirectory());
  const std::size_t count = series.size();
  const unsigned jobs = options.jobs == 0 ? OnlineProcessors() : options.jobs;
  SafeOutput::SetDurableCommits(options.sync);
  if (options.series_range) {
    const auto found = SeriesRangeOf(series, conversion, options, jobs);
    if (!found) return kExitFailure;
    range = *found;
  }

  ProgressLine progress(!options.quiet && count > 1);
  std::size_t created = 0;
  std::optional<std::size_t> stopped_at;
  std::optional<std::size_t> interrupted_at;
  const InterruptWatch interrupt_watch;
  const auto make_converter = [&] {
    return [&series, converter = std::make_shared<FileConverter>(conversion, options, range)](
               std::size_t i) { return converter->Convert(series[i]); };
  };
  ConvertInOrder<FileResult>(count, jobs, make_converter, [&](std::size_t i, FileResult& result) {
    progress.Clear();
    if (InterruptWatch::Interrupted()) {
      interrupted_at = i;  // the file's image, complete or not, is dropped
      return false;
    }
    PrintCapturedDiagnostics(result.diagnostics);
    if (!result.error) result.error = CommitImage(*result.image, series[i].input);
    if (result.error) {
      PrintDiagnostic(*result.error);
      if (!options.keep_going) {
        stopped_at = i;
        return false;
      }
    } else {
      ++created;
      if (options.verbose) PrintAnswer(VerboseLine(series[i], result.grid));
    }
    progress.Show(i + 1, count, series[i].input);
    return true;
  });
  progress.Clear();

  if (interrupted_at) {
    PrintDiagnostic(InterruptText(*interrupted_at, count, created));
    return kExitInterrupted;
  }
  if (stopped_at) {
    if (count > 1) PrintDiagnostic(StopText(*stopped_at, count));
    return kExitFailure;
  }
  if (created < count) {
    PrintDiagnostic(SummaryText(created, count));
    return kExitFailure;
  }
  if (!options.quiet) {
    // One range for every image: the summary says which.
    const std::string scale = range ? "; values coded from " + RangeText(*range) : "";
    PrintAnswer(count == 1 ? "Image " + EscapeControlBytes(series.front().output) +
                                 " created successfully" + scale + "\n"
                           : "Number of images created: " + std::to_string(count) + scale + "\n");
  }
  return count == 0 ? kExitFailure : kExitSuccess;
}

}  // namespace kova::cli
