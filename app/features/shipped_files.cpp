#include "app/features/shipped_files.h"

#include <algorithm>  // std::min
#include <string_view>

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

// `relative` (folders joined by "/", each leading ".." one folder up) taken
// from `directory`, which ends with "/"; never above the root. The result
// ends with "/".
std::string DescendFrom(std::string directory, std::string_view relative) {
  while (relative == ".." || relative.starts_with("../")) {
    const std::size_t parent = directory.find_last_of('/', directory.size() - 2);
    if (directory.size() > 1 && parent != std::string::npos) directory.resize(parent + 1);
    relative.remove_prefix(std::min<std::size_t>(3, relative.size()));
  }
  directory += relative;
  if (!directory.ends_with('/')) directory += '/';
  return directory;
}

}  // namespace

std::string ChooseTemplatePath(const std::string& program_dir, const std::string& installed_dir,
                               const std::function<bool(const std::string&)>& exists) {
  const std::string beside = program_dir + kTemplateName;
  if (installed_dir.empty() || exists(beside)) return beside;
  const std::string installed = DescendFrom(program_dir, installed_dir) + kTemplateName;
  return exists(installed) ? installed : beside;
}

std::string ShippedTemplatePath() {
  return ChooseTemplatePath(ProgramDirectory(), KOVA_TEMPLATE_DIR, FileExists);
}

}  // namespace kova
