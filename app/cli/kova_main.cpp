// kova: the command-line face of Tarvo2Kova. One subcommand per task, each
// in its own file of app/cli/ with its own options struct and run function:
// `kova convert` turns grids into images (convert_command.h), `kova info`
// and `kova locate` look inside an image (info_command.h), `kova preview`,
// `kova template` and `kova export` work over an image
// (feature_commands.h).
//
// Standard output carries only the answer; diagnostics go to standard error
// as "kova: <message>". Exit codes: 0 success, 1 failure, 2 usage error.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/cli/cli_support.h"
#include "app/cli/convert_command.h"
#include "app/cli/feature_commands.h"
#include "app/cli/info_command.h"
#include "app/inputs/child_process.h"  // ServeChildIfAsked
#include "app/platform/base/errors.h"
#include "app/platform/process.h"
#include "host/diagnostics.h"

namespace {

using kova::cli::kExitFailure;
using kova::cli::kExitSuccess;
using kova::cli::kExitUsage;
using kova::cli::PrintAnswer;
using kova::cli::PrintDiagnostic;

// `kova help [COMMAND]`: the program's help, or that of one subcommand.
struct HelpOptions {
  std::string command;
};

kova::cli::Subcommand AddHelpCommand(CLI::App& app, HelpOptions& options) {
  CLI::App* help = app.add_subcommand("help", "Show this help, or the help of one command");
  help->add_option("COMMAND", options.command, "The command to explain");
  return {help, [&app, &options] {
            if (options.command.empty()) {
              // The program's own help: app.help() would give that of the
              // command being run, `help`.
              PrintAnswer(
                  app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal));
              return kExitSuccess;
            }
            for (CLI::App* sub : app.get_subcommands({})) {
              if (sub->get_name() == options.command) {
                PrintAnswer(sub->help());
                return kExitSuccess;
              }
            }
            throw kova::cli::UsageError("unknown command '" + options.command + "'");
          }};
}

// The names of the subcommands, for the message about an unknown one.
std::string CommandNames(CLI::App& app) {
  std::string names;
  for (CLI::App* sub : app.get_subcommands({})) {
    if (!names.empty()) names += ", ";
    names += sub->get_name();
  }
  return names;
}

bool IsCommandName(CLI::App& app, const std::string& word) {
  for (CLI::App* sub : app.get_subcommands({})) {
    if (sub->get_name() == word) return true;
  }
  return false;
}

int UsageFailure(const std::string& message) {
  PrintDiagnostic(message);
  PrintDiagnostic("run 'kova help' for the commands and options");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // A child reading a GeoTIFF or NetCDF file for its parent ends here.
  kova::inputs::ServeChildIfAsked();
  kova::PrepareConsole();
  // The arguments as UTF-8 (on Windows taken from the wide command line).
  std::vector<std::string> arguments = kova::CommandLineArguments(argc, argv);
  std::vector<char*> argument_pointers;
  for (std::string& argument : arguments) argument_pointers.push_back(argument.data());
  argument_pointers.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = argument_pointers.data();

  // The core's diagnostic lines ("Error in lamaz_inverse") go to standard
  // error; standard output is the answer alone.
  kova::SendCoreDiagnosticsTo(stderr);
  kova::cli::ConsoleUi console;
  kova::ScopedUi ui(console);

  CLI::App app{"Tarvo2Kova: Tarvo ASCII grids into Kova images", "kova"};
  app.set_version_flag("--version", std::string("kova ") + KOVA_VERSION);
  app.require_subcommand(1);
  // Options are "-x" and "--name" on Windows too: "/" starts a path there.
  app.allow_windows_style_options(false);
  app.footer(
      "Examples:\n"
      "  kova convert \"data/*.asc\"          every grid of data/, images beside them\n"
      "  kova convert rain.asc -o rain.img\n"
      "  kova info rain.img --json\n"
      "  kova locate rain.img 400 150\n"
      "Exit codes: 0 success, 1 failure, 2 usage error.");

  kova::cli::ConvertOptions convert_options;
  kova::cli::InfoOptions info_options;
  kova::cli::LocateOptions locate_options;
  kova::cli::PreviewOptions preview_options;
  kova::cli::TemplateOptions template_options;
  kova::cli::ExportOptions export_options;
  HelpOptions help_options;
  std::vector<kova::cli::Subcommand> subcommands{
      kova::cli::AddConvertCommand(app, convert_options),
      kova::cli::AddInfoCommand(app, info_options),
      kova::cli::AddLocateCommand(app, locate_options),
  };
  kova::cli::AddPreviewCommand(app, preview_options);
  subcommands.push_back(
      {app.get_subcommand("preview"), [&] { return kova::cli::RunPreview(preview_options); }});
  kova::cli::AddTemplateCommand(app, template_options);
  subcommands.push_back(
      {app.get_subcommand("template"), [&] { return kova::cli::RunTemplate(template_options); }});
  kova::cli::AddExportCommand(app, export_options);
  subcommands.push_back(
      {app.get_subcommand("export"), [&] { return kova::cli::RunExport(export_options); }});
  subcommands.push_back(AddHelpCommand(app, help_options));

  if (argc > 1 && argv[1][0] != '-' && !IsCommandName(app, argv[1])) {
    return UsageFailure(std::string("unknown command '") + argv[1] + "'; the commands are " +
                        CommandNames(app));
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return UsageFailure(e.what());
  }

  try {
    for (const kova::cli::Subcommand& subcommand : subcommands) {
      if (subcommand.parser->parsed()) return subcommand.run();
    }
  } catch (const kova::cli::UsageError& error) {
    return UsageFailure(error.what());
  } catch (const kova::KovaError& error) {
    PrintDiagnostic(error.Text());
    return kExitFailure;
  } catch (const std::exception& error) {
    PrintDiagnostic(error.what());
    return kExitFailure;
  }
  return kExitUsage;
}
