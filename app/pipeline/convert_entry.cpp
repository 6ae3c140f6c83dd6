#include "app/pipeline/convert_entry.h"

#include <filesystem>  // is_directory of an input, the folder of an output
#include <mutex>

#include "app/inputs/template_check.h"
#include "app/platform/base/errors.h"
#include "app/platform/paths.h"

namespace kova {
namespace {

// Gives up the source of the entry's file once its last entry is converted.
class ConvertedMark {
 public:
  explicit ConvertedMark(const SeriesEntry& entry) : file_(entry.file.get()) {}
  ~ConvertedMark() {
    if (file_ == nullptr || file_->unconverted.fetch_sub(1) != 1) return;
    const std::lock_guard lock(file_->reading);
    file_->source.reset();
  }
  ConvertedMark(const ConvertedMark&) = delete;
  ConvertedMark& operator=(const ConvertedMark&) = delete;

 private:
  PlannedInput* file_;
};

// Raises the refusal decided when the series was planned, afresh: the one
// kept stays as it was, whatever is added to this one on its way.
[[noreturn]] void RaiseRefusal(const std::exception_ptr& refusal) {
  try {
    std::rethrow_exception(refusal);
  } catch (const RefusedFileError& error) {
    throw RefusedFileError(error.Message());
  }
}

// Grid `entry.grid` of the GeoTIFF or NetCDF file the entry was planned
// from, read into `grid` through the source opened then; a time step of a
// series says which it is when it fails.
void ReadPlannedGrid(const SeriesEntry& entry, GridData& grid) {
  RequireRegularFile(entry.input);
  PlannedInput& file = *entry.file;
  std::unique_lock lock(file.reading, std::try_to_lock);
  std::unique_ptr<inputs::InputSource> own;
  if (!lock.owns_lock() || file.source == nullptr) {
    if (lock.owns_lock()) lock.unlock();
    own = inputs::OpenInputOfKind(entry.input, file.kind, file.options);
  }
  inputs::InputSource& source = own ? *own : *file.source;
  try {
    source.ReadGridInto(entry.grid, grid);
  } catch (KovaError& error) {
    if (source.GridCount() > 1) {
      error.AddContext("time step " + source.NameSuffix(entry.grid).substr(1));
    }
    throw;
  }
}

SafeOutput ConvertTarvoGrid(TKovaImg& image, GridData& grid, const EntryConversion& conversion,
                            const SeriesEntry& entry, RangeCoding* coding) {
  if (entry.same_as_input) RaiseRefusal(entry.same_as_input);
  if (entry.same_as_template) RaiseRefusal(entry.same_as_template);
  const std::unique_ptr<inputs::InputSource> source =
      inputs::OpenInputOfKind(entry.input, inputs::InputKind::kTarvoGrid, {}, conversion.limits);
  // The header, then the template and the output's header, then the values.
  source->ReadGridPlace(0, grid);
  PrepareImageHeader(image, conversion.template_path, grid);
  source->ReadGridInto(0, grid);
  if (coding != nullptr) return WriteGridImage(image, grid, entry.output, *coding);
  float value_min = 0.0f;
  float value_max = 0.0f;
  if (!source->ValueRangeRead(value_min, value_max)) ValidValueRange(grid, value_min, value_max);
  return WriteGridImageInRange(image, grid, entry.output, value_min, value_max);
}

SafeOutput ConvertGriddedFile(TKovaImg& image, GridData& grid, const EntryConversion& conversion,
                              const SeriesEntry& entry, RangeCoding* coding) {
  ReadPlannedGrid(entry, grid);
  const std::string& template_path = conversion.template_path;
  try {
    image.SetFileName(template_path);
  } catch (KovaError& error) {
    error.AddContext("template " + template_path);
    AddInputContext(error, entry.input);
    throw;
  }
  if (image.Status() != 1) {
    throw ConversionError("The template " + template_path + " is not a valid Kova image");
  }
  try {
    inputs::CheckTemplateProjection(grid.Coordinates, entry.file->projection, image.Header(),
                                    template_path, conversion.template_named);
  } catch (KovaError& error) {
    // In a series, the input that does not suit the template.
    error.AddContext(entry.input);
    throw;
  }
  try {
    if (entry.same_as_template) RaiseRefusal(entry.same_as_template);
    RefuseUnplaceableGrid(grid);
    SetImageHeaderFromGrid(image, grid);
    if (coding != nullptr) return WriteGridImage(image, grid, entry.output, *coding);
    return WriteGridImage(image, grid, entry.output);
  } catch (KovaError& error) {
    AddInputContext(error, entry.input);
    throw;
  }
}

}  // namespace

void RefuseFolderInput(const std::string& input) {
  std::error_code ec;
  if (!std::filesystem::is_directory(FileSystemPath(input), ec)) return;
  std::string folder = input;
  while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  throw ConversionError(input + " is a folder; its grids are converted with a pattern such as \"" +
                        folder + separator + "*.asc\"");
}

void RefuseMissingOutputFolder(const std::string& output, const std::string& input) {
  std::error_code input_error;
  if (!std::filesystem::exists(FileSystemPath(input), input_error)) return;
  const std::size_t length = DirectoryPartLength(output);
  if (length == 0) return;  // a bare name
  // Named without its last separator, but for a folder named so by the user
  // ("out/") and a root ("/", "C:\"; "C:" is the drive's current folder).
  std::string folder = output.substr(0, length);
  if (length < output.size() && length > 1 && IsPathSeparator(folder.back()) &&
      folder[length - 2] != ':') {
    folder.pop_back();
  }
  std::error_code ec;
  if (std::filesystem::exists(FileSystemPath(folder), ec) || ec) return;
  ConversionError error("The folder " + folder + " does not exist");
  error.AddContext("output " + output);
  AddInputContext(error, input);
  throw error;
}

SafeOutput ConvertEntry(TKovaImg& image, GridData& grid, const EntryConversion& conversion,
                        const SeriesEntry& entry, RangeCoding* coding) {
  const ConvertedMark mark(entry);
  if (entry.plan_failure) std::rethrow_exception(entry.plan_failure);
  RefuseFolderInput(entry.input);
  RefuseMissingOutputFolder(entry.output, entry.input);
  if (entry.gridded_file) return ConvertGriddedFile(image, grid, conversion, entry, coding);
  try {
    return ConvertTarvoGrid(image, grid, conversion, entry, coding);
  } catch (KovaError& error) {
    AddInputContext(error, entry.input);
    throw;
  }
}

bool ReadEntryExtremes(const SeriesEntry& entry, GridLimits limits, GridData& grid, float& smallest,
                       float& largest) {
  if (entry.plan_failure) std::rethrow_exception(entry.plan_failure);
  if (entry.gridded_file) {
    ReadPlannedGrid(entry, grid);
    return ValidValueRange(grid, smallest, largest);
  }
  try {
    const std::unique_ptr<inputs::InputSource> source =
        inputs::OpenInputOfKind(entry.input, inputs::InputKind::kTarvoGrid, {}, limits);
    source->ReadGridInto(0, grid);
    if (source->ValueRangeRead(smallest, largest)) return smallest <= largest;
    return ValidValueRange(grid, smallest, largest);
  } catch (KovaError& error) {
    error.AddContext(entry.input);
    throw;
  }
}

}  // namespace kova
