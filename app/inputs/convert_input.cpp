#include "app/inputs/convert_input.h"

#include <filesystem>  // is_directory of the -o folder

#include "app/inputs/template_check.h"
#include "app/platform/errors.h"
#include "app/platform/paths.h"
#include "app/platform/safe_output.h"

namespace kova::inputs {
namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

// The image of grid `i`: a single grid goes to `output` (or beside the
// input), a time step into the folder `output` names (or beside the input).
std::string ImageNameFor(const InputSource& source, std::size_t i, const std::string& input,
                         const std::string& output) {
  const std::string suffix = source.NameSuffix(i);
  if (IsFolder(output)) return OutputNameFor(input, output, suffix);
  if (source.GridCount() == 1 && !output.empty()) return output;
  if (!output.empty()) {
    ConversionError error("The " + std::to_string(source.GridCount()) +
                          " time steps need a folder for their images; " + output + " is not one");
    error.AddContext(input);
    throw error;
  }
  return OutputNameFor(input, "", suffix);
}

}  // namespace

SafeOutput ConvertSourceGrid(TKovaImg& image, const InputConversion& conversion,
                             const InputSource& source, const GridData& grid,
                             const std::string& output) {
  image.SetFileName(conversion.TemplatePath);
  if (image.Status() != 1) {
    throw ConversionError("The template " + conversion.TemplatePath + " is not a valid Kova image");
  }
  CheckTemplateProjection(grid.Coordinates, source.Projection(), image.Header(),
                          conversion.TemplatePath, conversion.TemplateNamed);
  return ConvertGrid(image, conversion.TemplatePath, grid, output);
}

void ConvertInputFile(TKovaImg& image, const InputConversion& conversion, const std::string& input,
                      const std::string& output,
                      const std::function<void(SafeOutput&, const GridData&)>& deliver) {
  RequireRegularFile(input);
  std::unique_ptr<InputSource> source = OpenInput(input, conversion.Options);
  // Every name first, so that no image is written over its input and a
  // series that cannot be named writes nothing.
  std::vector<std::string> names;
  for (std::size_t i = 0; i < source->GridCount(); ++i) {
    names.push_back(ImageNameFor(*source, i, input, output));
    RefuseOverwriting(names.back(), input, "input");
  }
  for (std::size_t i = 0; i < source->GridCount(); ++i) {
    try {
      const GridData grid = source->ReadGrid(i);
      SafeOutput image_file = ConvertSourceGrid(image, conversion, *source, grid, names[i]);
      deliver(image_file, grid);
    } catch (KovaError& error) {
      if (source->GridCount() > 1) error.AddContext("time step " + source->NameSuffix(i).substr(1));
      throw;
    }
  }
}

}  // namespace kova::inputs
