#include "app/features/shipped_files.h"

#include <filesystem>  // lexically_normal of the installed folder

#include "app/platform/file.h"
#include "app/platform/process.h"

// The template's folder relative to the installed programs' folder, such as
// "../share/tarvo2kova"; empty where the template is installed beside them.
#ifndef KOVA_TEMPLATE_DIR
#error "KOVA_TEMPLATE_DIR must name the installed template's folder relative to the program's"
#endif

namespace kova {

namespace {
constexpr const char* kTemplateName = "template.img";
}  // namespace

std::string ChooseTemplatePath(const std::string& program_dir, const std::string& installed_dir,
                               const std::function<bool(const std::string&)>& exists) {
  const std::string beside = program_dir + kTemplateName;
  if (installed_dir.empty() || exists(beside)) return beside;
  const std::string installed = (std::filesystem::path(program_dir) / installed_dir / kTemplateName)
                                    .lexically_normal()
                                    .string();
  return exists(installed) ? installed : beside;
}

std::string ShippedTemplatePath() {
  return ChooseTemplatePath(ProgramDirectory(), KOVA_TEMPLATE_DIR, FileExists);
}

}  // namespace kova
