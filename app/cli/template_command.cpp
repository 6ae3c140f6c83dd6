// kova template -o FILE.img --projection NAME [--origin-lat D] [--origin-lon D]
//               [--parallel1 D --parallel2 D]
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "app/cli/feature_commands.h"
#include "app/features/shipped_files.h"
#include "app/features/template_maker.h"
#include "app/platform/base/errors.h"
#include "app/platform/safe_output.h"

namespace kova::cli {

void AddTemplateCommand(CLI::App& app, TemplateOptions& options) {
  CLI::App* command =
      app.add_subcommand("template", "Make a template image for grids in a projection's map units");
  command->add_option("-o,--output", options.output, "Template image to write (*.img)")->required();
  std::string names;
  for (const Projection& projection : kProjections) {
    names += std::string(names.empty() ? "" : ", ") + projection.template_name + " (" +
             projection.map_units + ")";
  }
  command->add_option("--projection", options.projection, "One of: " + names)->required();
  command->add_option("--origin-lat", options.origin_latitude,
                      "Latitude of the projection origin, degrees (default 0)");
  command->add_option("--origin-lon", options.origin_longitude,
                      "Central meridian or origin longitude, degrees (default 0)");
  command->add_option("--parallel1", options.parallel1, "First standard parallel (conic)");
  command->add_option("--parallel2", options.parallel2, "Second standard parallel (conic)");
}

int RunTemplate(const TemplateOptions& options) {
  KovaHeader header;
  try {
    header = MakeTemplateHeader({options.projection, options.origin_latitude,
                                 options.origin_longitude, options.parallel1, options.parallel2});
  } catch (const TemplateError& error) {
    std::fprintf(stderr, "kova: %s\n", ErrorBoxText(error.what()).c_str());
    return 2;
  }
  // The template the programs use serves every conversion; it stays as it is.
  const std::string shipped = ShippedTemplatePath();
  const HeaderBytes bytes = EncodeHeader(header);
  std::string file(bytes.begin(), bytes.end());
  file.push_back(static_cast<char>(header.NoDataCode));  // the one pixel
  RefuseOverwriting(options.output, shipped, "template");
  WriteFileWhole(options.output, file);
  std::printf("%s\n", options.output.c_str());
  return 0;
}

}  // namespace kova::cli
