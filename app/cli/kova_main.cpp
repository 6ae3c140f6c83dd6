// kova: the command-line face of Tarvo2Kova. One subcommand per task, each
// with its own options struct and run function; `kova convert` performs the
// same run as the window's "Make Kova image" button on two texts; `kova info`
// and `kova locate` look inside an image (app/cli/info_command.h).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "app/cli/feature_commands.h"
#include "app/cli/info_command.h"
#include "app/conversion.h"
#include "app/platform/errors.h"
#include "app/platform/process.h"
#include "image/kova_img.h"

namespace {

// --- kova convert ------------------------------------------------------------

struct ConvertOptions {
  std::string input;          // a grid file, or a pattern with "*" and "?"
  std::string output;         // the image of a single grid; unused for a pattern
  std::string template_path;  // empty: template.img beside the program
};

void AddConvertCommand(CLI::App& app, ConvertOptions& options) {
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert Tarvo ASCII grid files (*.asc) into Kova images (*.img)");
  convert
      ->add_option("INPUT", options.input,
                   "Grid file, or a pattern such as data/*.asc (several masks separated by ;)")
      ->required();
  convert->add_option("OUTPUT", options.output,
                      "Image file of a single grid; a pattern writes NAME.img beside each grid");
  convert->add_option("--template", options.template_path,
                      "Template image (default: template.img beside the program)");
}

int RunConvert(const ConvertOptions& options) {
  kova::ConversionSettings settings;
  settings.template_path = options.template_path.empty() ? kova::ProgramDirectory() + "template.img"
                                                         : options.template_path;
  settings.grid_limits = kova::kImageGridLimits;  // not the window's 800 x 300
  kova::TKovaImg image;
  kova::Converter converter(image, settings, kova::CurrentDirectory());
  converter.Run(options.input, options.output);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Tarvo2Kova: Tarvo ASCII grids into Kova images", "kova"};
  app.set_version_flag("--version", std::string("kova ") + KOVA_VERSION);
  app.require_subcommand(1);

  ConvertOptions convert_options;
  AddConvertCommand(app, convert_options);
  kova::cli::InfoOptions info_options;
  kova::cli::AddInfoCommand(app, info_options);
  kova::cli::LocateOptions locate_options;
  kova::cli::AddLocateCommand(app, locate_options);
  kova::cli::PreviewOptions preview_options;
  kova::cli::AddPreviewCommand(app, preview_options);
  kova::cli::TemplateOptions template_options;
  kova::cli::AddTemplateCommand(app, template_options);
  kova::cli::ExportOptions export_options;
  kova::cli::AddExportCommand(app, export_options);

  CLI11_PARSE(app, argc, argv);

  try {
    if (app.got_subcommand("convert")) return RunConvert(convert_options);
    if (app.got_subcommand("info")) return kova::cli::RunInfo(info_options);
    if (app.got_subcommand("locate")) return kova::cli::RunLocate(locate_options);
    if (app.got_subcommand("preview")) return kova::cli::RunPreview(preview_options);
    if (app.got_subcommand("template")) return kova::cli::RunTemplate(template_options);
    if (app.got_subcommand("export")) return kova::cli::RunExport(export_options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", kova::ErrorBoxText(error.what()).c_str());
    return 1;
  }
  return 0;
}
