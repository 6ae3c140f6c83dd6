#include "app/pipeline/converter.h"

#include <utility>

#include "app/conversion.h"  // IsInputPattern
#include "app/pipeline/convert_entry.h"
#include "app/pipeline/convert_in_order.h"
#include "app/pipeline/series_plan.h"
#include "app/platform/base/errors.h"
#include "app/platform/process.h"
#include "app/platform/settings.h"
#include "host/ui.h"

namespace kova {
namespace {

const char* const kSettingsSection = "files";

}  // namespace

Converter::Converter(TKovaImg& image, ConversionSettings settings, std::string list_directory)
    : image_(image), settings_(std::move(settings)), list_directory_(std::move(list_directory)) {}

ExpandedNames Converter::ExpandInputPattern(const std::string& input_text,
                                            const std::string& output_text) {
  ExpandedNames names;
  if (!IsInputPattern(input_text)) {
    names.InputNames.push_back(input_text);
    names.OutputNames.push_back(output_text);
    return names;
  }
  if (const std::optional<std::string> folder = PatternFolderTarget(input_text, list_directory_)) {
    list_directory_ = EnterFolder(*folder);
  }
  names.InputNames = PatternMatches(input_text, list_directory_);
  for (const std::string& input : names.InputNames) {
    names.OutputNames.push_back(PatternImageName(input));
  }
  return names;
}

void Converter::Run(const std::string& input_text, const std::string& output_text) {
  std::string message;
  created_images_.clear();
  {
    BusyCursor busy;

    if (settings_.settings_path) {
      WriteProfileString(*settings_.settings_path, kSettingsSection, "edit1", input_text);
      WriteProfileString(*settings_.settings_path, kSettingsSection, "edit2", output_text);
    }
    if (input_text.empty()) throw ConversionError("No input file name given");
    if (!IsInputPattern(input_text) && output_text.empty()) {
      throw ConversionError("No output file name given for " + input_text);
    }

    const ExpandedNames names = ExpandInputPattern(input_text, output_text);
    PlanRules rules;
    rules.template_path = settings_.template_path;
    rules.steps_beside_unless_folder = true;
    rules.option_errors_leave = false;
    std::vector<SeriesEntry> series;
    for (std::size_t i = 0; i < names.InputNames.size(); ++i) {
      PlanInput(names.InputNames[i], names.OutputNames[i], rules, series);
    }

    const EntryConversion conversion{settings_.template_path, false, settings_.grid_limits};
    using Result = std::optional<SafeOutput>;
    ConvertInOrder<Result>(
        series.size(), 1,
        [&] {
          return [&](std::size_t i) {
            return Result(ConvertEntry(image_, grid_, conversion, series[i]));
          };
        },
        [&](std::size_t i, Result& image) {
          image->Commit();
          created_images_.push_back(series[i].output);
          return true;
        });

    if (created_images_.size() == 1) {
      message = "Image " + created_images_.front() + " created successfully";
    } else {
      message = "Number of images created: " + std::to_string(created_images_.size());
    }
  }
  ShowInformationMessage(message);
}

}  // namespace kova
