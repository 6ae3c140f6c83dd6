// `kova preview`, `kova template` and `kova export`: one options struct, one
// registration and one run function each. A run prints the name of the file
// it wrote on standard output and returns the exit code.
#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace kova::cli {

struct PreviewOptions {
  std::string image;
  std::string output;  // empty: the image's name with ".png"
  int size = 0;        // longest side in pixels; 0: the image's own size
  std::string colours = "viridis";
  bool legend = false;
};

struct TemplateOptions {
  std::string output;
  std::string projection;
  std::optional<double> origin_latitude;
  std::optional<double> origin_longitude;
  std::optional<double> parallel1;
  std::optional<double> parallel2;
};

struct ExportOptions {
  std::string image;
  std::string output;  // empty: the image's name with ".asc" (".tif" for a GeoTIFF)
  std::optional<double> no_data;
  std::string format;  // "grid" or "geotiff"; empty: told by the output's extension
  bool codes = false;  // a GeoTIFF of the 8-bit codes instead of the values
};

void AddPreviewCommand(CLI::App& app, PreviewOptions& options);
void AddTemplateCommand(CLI::App& app, TemplateOptions& options);
void AddExportCommand(CLI::App& app, ExportOptions& options);

int RunPreview(const PreviewOptions& options);
// Refused parameters are a usage error: exit code 2.
int RunTemplate(const TemplateOptions& options);
int RunExport(const ExportOptions& options);

}  // namespace kova::cli
