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
  return !path.empty() && std::filesystem::is_directory(FileSystemPath(path), ec);
}

// The image of grid `i`: a single grid as SingleImageName says (with the
// source's NamePart behind the input's name, unless `output` names a file),
// a time step into the folder `output` names (or beside the input). The one
// step of a series cut to one (--index time=N) takes `output` as typed, as
// any single image does.
std::string ImageNameFor(const InputSource& source, std::size_t i, const std::string& input,
                         const std::string& output) {
  const std::string step = source.NameSuffix(i);
  const std::string suffix = source.NamePart() + step;
  if ((step.empty() || source.GridCount() == 1) && !output.empty() && !IsFolder(output)) {
    return output;
  }
  if (suffix.empty()) return SingleImageName(input, output);
  if (output.empty()) return OutputNameFor(input, "", suffix);
  if (IsFolder(output)) return OutputNameFor(input, output, suffix);
  ConversionError error("The time steps need a folder for their images; " + output + " is not one");
  error.AddContext(input);
  throw error;
}

}  // namespace

std::string SingleImageName(const std::string& input, const std::string& output) {
  if (output.empty()) return ChangeFileExt(input, ".img");
  return IsFolder(output) ? OutputNameFor(input, output, "") : output;
}

std::vector<InputImage> PlanInputImages(const std::string& input, const std::string& output,
                                        const InputOptions& options) {
  RequireRegularFile(input);
  const std::unique_ptr<InputSource> source = OpenInput(input, options);
  std::vector<InputImage> images;
  for (std::size_t i = 0; i < source->GridCount(); ++i) {
    images.push_back({i, ImageNameFor(*source, i, input, output)});
    RefuseOverwriting(images.back().Output, input, "input");
  }
  return images;
}

namespace {

void ReadGridOf(InputSource& source, std::size_t grid_index, GridData& grid) {
  grid = GridData();
  try {
    grid = source.ReadGrid(grid_index);
  } catch (KovaError& error) {
    if (source.GridCount() > 1) {
      error.AddContext("time step " + source.NameSuffix(grid_index).substr(1));
    }
    throw;
  }
}

}  // namespace

void ReadInputGrid(const InputConversion& conversion, const std::string& input,
                   std::size_t grid_index, GridData& grid) {
  RequireRegularFile(input);
  const std::unique_ptr<InputSource> source = OpenInput(input, conversion.Options);
  ReadGridOf(*source, grid_index, grid);
}

SafeOutput ConvertInputGrid(TKovaImg& image, const InputConversion& conversion,
                            const std::string& input, std::size_t grid_index,
                            const std::string& output, GridData& grid, RangeCoding* coding) {
  RefuseOverwriting(output, input, "input");
  RequireRegularFile(input);
  const std::unique_ptr<InputSource> source = OpenInput(input, conversion.Options);
  ReadGridOf(*source, grid_index, grid);
  try {
    image.SetFileName(conversion.TemplatePath);
  } catch (KovaError& error) {
    error.AddContext("template " + conversion.TemplatePath);
    AddInputContext(error, input);
    throw;
  }
  if (image.Status() != 1) {
    throw ConversionError("The template " + conversion.TemplatePath + " is not a valid Kova image");
  }
  try {
    CheckTemplateProjection(grid.Coordinates, source->Projection(), image.Header(),
                            conversion.TemplatePath, conversion.TemplateNamed);
  } catch (KovaError& error) {
    // In a series, the input that does not suit the template.
    error.AddContext(input);
    throw;
  }
  try {
    if (coding != nullptr)
      return ConvertGrid(image, conversion.TemplatePath, grid, output, *coding);
    return ConvertGrid(image, conversion.TemplatePath, grid, output);
  } catch (KovaError& error) {
    AddInputContext(error, input);
    throw;
  }
}

}  // namespace kova::inputs
