// kova export IMAGE [-o FILE.asc | -o FILE.tif] [--format grid|geotiff] [--codes] [--nodata V]
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>  // std::tolower of the extension
#include <cmath>
#include <cstdio>

#include "app/cli/cli_support.h"
#include "app/cli/feature_commands.h"
#include "app/features/geotiff_export.h"
#include "app/features/grid_export.h"
#include "app/inputs/input_readers.h"
#include "app/platform/base/errors.h"
#include "app/platform/base/printable.h"
#include "app/platform/paths.h"
#include "app/platform/safe_output.h"

namespace kova::cli {

namespace {

bool EndsWithTiff(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto ends = [&lower](const std::string& end) {
    return lower.size() >= end.size() &&
           lower.compare(lower.size() - end.size(), end.size(), end) == 0;
  };
  return ends(".tif") || ends(".tiff");
}

int RunGeoTiffExport(const ExportOptions& options) {
  const ImageRaster image = ReadImageRaster(options.image);
  GeoTiffContent content;
  content.codes = options.codes;
  if (options.no_data) content.no_data = static_cast<float>(*options.no_data);
  // Everything is known, or refused, before a file is created.
  const inputs::GeoTiffImage tiff = GeoTiffOf(image, content);
  const std::string output =
      options.output.empty() ? ChangeFileExt(options.image, ".tif") : options.output;
  RefuseOverwriting(output, options.image, "image");
  const inputs::InputReaders& writers = inputs::InputReadersFor(output);
  SafeOutput pending(output);
  std::string message, context;
  if (!writers.WriteGeoTiff(pending.TemporaryPath(), tiff, message, context)) {
    KovaError error(message);
    if (!context.empty()) error.AddContext(context);
    throw error;
  }
  pending.Commit();
  PrintAnswer(EscapeControlBytes(output) + "\n");
  return kExitSuccess;
}

}  // namespace

void AddExportCommand(CLI::App& app, ExportOptions& options) {
  CLI::App* command = app.add_subcommand(
      "export", "Write a Kova image back as a Tarvo ASCII grid (*.asc) or as a GeoTIFF (*.tif)");
  command->add_option("IMAGE", options.image, "Kova image (*.img)")->required();
  command->add_option("-o,--output", options.output,
                      "Grid or GeoTIFF file (default: IMAGE with .asc, or .tif with "
                      "--format geotiff); .tif and .tiff make a GeoTIFF");
  command->add_option("--format", options.format, "grid or geotiff (default: told by -o)")
      ->check(CLI::IsMember({"grid", "geotiff"}));
  command->add_flag("--codes", options.codes,
                    "GeoTIFF of the 8-bit pixel codes (no-data code in the no-data tag) instead "
                    "of the decoded values as 4-byte floats");
  command->add_option("--nodata", options.no_data, "Value of cells without data (default -9999)");
  command->footer(
      "A GeoTIFF holds the decoded values as 4-byte floats, deflate-compressed, placed\n"
      "as the conversion placed the grid: WGS 84 degrees for a latitude/longitude\n"
      "image; for Lambert conformal conic, Albers and Lambert azimuthal images the\n"
      "image's projection in metres, on its Clarke 1866 ellipsoid or sphere. Hammer,\n"
      "geostationary and Goode images have no GeoTIFF projection code and are refused.\n"
      "  kova export rain_dekad1.img -o rain_dekad1.tif\n"
      "  kova export rain_dekad1.img --format geotiff --codes");
}

int RunExport(const ExportOptions& options) {
  const bool geotiff =
      options.format.empty() ? EndsWithTiff(options.output) : options.format == "geotiff";
  if (options.no_data && !std::isfinite(static_cast<float>(*options.no_data))) {
    std::fprintf(stderr, "kova: The no-data value must be a finite number.\n");
    return 2;
  }
  if (geotiff) return RunGeoTiffExport(options);
  if (options.codes) throw UsageError("--codes is for a GeoTIFF (-o FILE.tif or --format geotiff)");
  std::string no_data = kDefaultExportNoData;
  if (options.no_data) {
    const auto value = static_cast<float>(*options.no_data);
    if (!std::isfinite(value)) {
      std::fprintf(stderr, "kova: The no-data value must be a finite number.\n");
      return 2;
    }
    no_data = ShortestText(value);
  }
  const ImageRaster image = ReadImageRaster(options.image);
  const std::string output =
      options.output.empty() ? ChangeFileExt(options.image, ".asc") : options.output;
  RefuseOverwriting(output, options.image, "image");
  WriteFileWhole(output, ExportGridText(image, no_data));
  std::printf("%s\n", output.c_str());
  return 0;
}

}  // namespace kova::cli
