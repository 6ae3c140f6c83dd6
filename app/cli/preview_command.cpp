// kova preview IMAGE [-o FILE.png] [--size N] [--colours viridis|grey] [--legend]
#include <CLI/CLI.hpp>

#include <cstdio>

#include "app/cli/feature_commands.h"
#include "app/features/png_file.h"
#include "app/features/preview.h"
#include "app/platform/paths.h"
#include "app/platform/safe_output.h"

namespace kova::cli {

void AddPreviewCommand(CLI::App& app, PreviewOptions& options) {
  CLI::App* command =
      app.add_subcommand("preview", "Draw a Kova image as a PNG picture (no data transparent)");
  command->add_option("IMAGE", options.image, "Kova image (*.img)")->required();
  command->add_option("-o,--output", options.output, "PNG file (default: IMAGE with .png)");
  command->add_option("--size", options.size, "Longest side in pixels (box filter)")
      ->check(CLI::PositiveNumber);
  command->add_option("--colours", options.colours, "Colour map")
      ->check(CLI::IsMember({"viridis", "grey"}));
  command->add_flag("--legend", options.legend,
                    "Add a strip with the title, a colour bar and the values");
}

int RunPreview(const PreviewOptions& options) {
  const ImageRaster image = ReadImageRaster(options.image);
  kova::PreviewOptions preview;
  preview.size = options.size;
  preview.colours = ColourMapNamed(options.colours).value_or(ColourMap::Viridis);
  preview.legend = options.legend;
  const std::string output =
      options.output.empty() ? ChangeFileExt(options.image, ".png") : options.output;
  RefuseOverwriting(output, options.image, "image");
  WriteFileWhole(output, EncodePng(RenderPreview(image, preview)));
  std::printf("%s\n", output.c_str());
  return 0;
}

}  // namespace kova::cli
