// kova export IMAGE [-o FILE.asc] [--nodata V]
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>

#include "app/cli/feature_commands.h"
#include "app/features/grid_export.h"
#include "app/platform/errors.h"
#include "app/platform/paths.h"
#include "app/platform/safe_output.h"

namespace kova::cli {

void AddExportCommand(CLI::App& app, ExportOptions& options) {
  CLI::App* command =
      app.add_subcommand("export", "Write a Kova image back as a Tarvo ASCII grid (*.asc)");
  command->add_option("IMAGE", options.image, "Kova image (*.img)")->required();
  command->add_option("-o,--output", options.output, "Grid file (default: IMAGE with .asc)");
  command->add_option("--nodata", options.no_data, "Value of cells without data (default -9999)");
}

int RunExport(const ExportOptions& options) {
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
