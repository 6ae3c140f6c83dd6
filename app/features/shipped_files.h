// Where the files that come with the programs lie. In the build tree and in
// the Windows packages, template.img lies beside the programs; an installed
// Linux package keeps the programs in bin/ and the template in
// share/tarvo2kova/, which the build names relative to the programs' folder.
#pragma once

#include <functional>
#include <string>

namespace kova {

// The template for programs in `program_dir` (with its trailing separator):
// template.img beside them when it is there, else the one in `installed_dir`
// (relative to `program_dir`; empty when the layout has none) when that is
// there, else the name beside the programs, so that a missing template is
// reported where it belongs.
std::string ChooseTemplatePath(const std::string& program_dir, const std::string& installed_dir,
                               const std::function<bool(const std::string&)>& exists);

// The template of the running program.
std::string ShippedTemplatePath();

}  // namespace kova
