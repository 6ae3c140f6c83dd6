#include "app/inputs/convert_input.h"

#include <filesystem>  // is_directory of the -o folder

#include "app/platform/base/errors.h"
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

std::vector<InputImage> NameInputImages(const InputSource& source, const std::string& input,
                                        const std::string& output) {
  std::vector<InputImage> images;
  for (std::size_t i = 0; i < source.GridCount(); ++i) {
    images.push_back({i, ImageNameFor(source, i, input, output)});
    RefuseOverwriting(images.back().Output, input, "input");
  }
  return images;
}

}  // namespace kova::inputs
