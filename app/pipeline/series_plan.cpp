#include "app/pipeline/series_plan.h"

#include <filesystem>
#include <utility>

#include "app/conversion.h"  // IsInputPattern
#include "app/inputs/convert_input.h"
#include "app/platform/base/errors.h"
#include "app/platform/file_search.h"
#include "app/platform/paths.h"
#include "app/platform/process.h"
#include "app/platform/safe_output.h"

namespace kova {
namespace {

// The refusal of writing `output` over `source`, when it is the same file;
// none otherwise.
std::exception_ptr OverwritingRefusal(const std::string& output, const std::string& source,
                                      const char* role) {
  try {
    RefuseOverwriting(output, source, role);
  } catch (const RefusedFileError&) {
    return std::current_exception();
  }
  return nullptr;
}

SeriesEntry EntryOf(const std::shared_ptr<PlannedInput>& file, std::string output, bool gridded,
                    std::size_t grid, const PlanRules& rules) {
  SeriesEntry entry;
  entry.input = file->path;
  entry.output = std::move(output);
  entry.gridded_file = gridded;
  entry.grid = grid;
  entry.same_as_template = OverwritingRefusal(entry.output, rules.template_path, "template");
  entry.file = file;
  return entry;
}

// The destination of the images of `source` as the window names them: a
// series of time steps goes beside its file unless `output` is a folder.
std::string WindowDestination(const inputs::InputSource& source, const std::string& output) {
  const bool steps =
      source.GridCount() > 1 || (source.GridCount() == 1 && !source.NameSuffix(0).empty());
  if (!steps) return output;
  std::error_code ec;
  const bool folder = !output.empty() && std::filesystem::is_directory(FileSystemPath(output), ec);
  return folder ? output : std::string();
}

}  // namespace

inputs::InputKind PlanInput(const std::string& input, const std::string& output,
                            const PlanRules& rules, std::vector<SeriesEntry>& series) {
  auto file = std::make_shared<PlannedInput>();
  file->path = input;
  try {
    file->kind = inputs::DetectInputKind(input);
  } catch (const KovaError&) {
    // Not readable: the conversion reports it as it does for a grid.
  }
  const std::string single = inputs::SingleImageName(input, output);
  if (file->kind == inputs::InputKind::kTarvoGrid) {
    SeriesEntry entry = EntryOf(file, single, false, 0, rules);
    entry.same_as_input = OverwritingRefusal(single, input, "input");
    file->unconverted = 1;
    series.push_back(std::move(entry));
    return file->kind;
  }

  std::vector<SeriesEntry> images;
  std::exception_ptr failure;
  try {
    file->options = rules.options;
    file->source = inputs::OpenInputOfKind(input, file->kind, rules.options);
    const inputs::InputSource& source = *file->source;
    const std::string destination =
        rules.steps_beside_unless_folder ? WindowDestination(source, output) : output;
    for (const inputs::InputImage& image : inputs::NameInputImages(source, input, destination)) {
      images.push_back(EntryOf(file, image.Output, true, image.Grid, rules));
    }
    file->projection = source.Projection();
  } catch (const inputs::InputOptionError&) {
    if (rules.option_errors_leave) throw;
    failure = std::current_exception();
  } catch (const KovaError&) {
    failure = std::current_exception();
  }
  if (failure) {
    file->source.reset();
    images.clear();
    SeriesEntry entry = EntryOf(file, single, true, 0, rules);
    entry.same_as_input = OverwritingRefusal(single, input, "input");
    entry.plan_failure = failure;
    try {
      std::rethrow_exception(failure);
    } catch (const KovaError& error) {
      entry.plan_error = error.Text();
    }
    images.push_back(std::move(entry));
  }
  file->unconverted = images.size();
  for (SeriesEntry& image : images) series.push_back(std::move(image));
  return file->kind;
}

std::optional<std::string> PatternFolderTarget(const std::string& pattern,
                                               const std::string& folder) {
  const std::string directory_part = pattern.substr(0, DirectoryPartLength(pattern));
  if (directory_part.empty()) return std::nullopt;
  return IsAbsolutePath(directory_part) ? directory_part : JoinPath(folder, directory_part);
}

std::string EnterFolder(const std::string& folder) {
  try {
    SetCurrentDirectory(folder);
  } catch (KovaError& error) {
    error.AddContext("folder " + folder);
    throw;
  }
  return CurrentDirectory();
}

std::string EnteredFolderName(const std::string& folder) {
  const std::string here = CurrentDirectory();
  std::string full;
  try {
    full = EnterFolder(folder);
  } catch (...) {
    SetCurrentDirectory(here);
    throw;
  }
  SetCurrentDirectory(here);
  return full;
}

std::vector<std::string> PatternMatches(const std::string& pattern, const std::string& folder) {
  std::vector<std::string> found;
  try {
    found = FindFiles(folder, pattern.substr(DirectoryPartLength(pattern)));
  } catch (KovaError& error) {
    error.AddContext("folder " + folder);
    throw;
  }
  for (std::string& name : found) name = JoinPath(folder, name);
  return found;
}

std::string PatternImageName(const std::string& path) {
  return ChangeFileExt(path, ".img");
}

}  // namespace kova
