// Where the programs find their template: beside them in the build tree and
// the Windows packages, in the installed layout's data folder otherwise.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/features/shipped_files.h"

namespace kova {
namespace {

struct TemplateCase {
  const char* name;
  const char* installed_dir;    // relative to the programs' folder
  std::set<std::string> files;  // the files that exist
  std::string expected;
};

class TemplatePathTest : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplatePathTest, PicksTheFileThatIsThere) {
  const TemplateCase& c = GetParam();
  const auto exists = [&c](const std::string& path) { return c.files.count(path) > 0; };
  EXPECT_EQ(ChooseTemplatePath("/usr/bin/", c.installed_dir, exists), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TemplatePathTest,
    ::testing::Values(
        // The build tree: the template beside the programs wins even where an
        // installed one exists too.
        TemplateCase{"BesideWins",
                     "../share/tarvo2kova",
                     {"/usr/bin/template.img", "/usr/share/tarvo2kova/template.img"},
                     "/usr/bin/template.img"},
        TemplateCase{"Installed",
                     "../share/tarvo2kova",
                     {"/usr/share/tarvo2kova/template.img"},
                     "/usr/share/tarvo2kova/template.img"},
        TemplateCase{"DeeperPrefix",
                     "../../share/tarvo2kova",
                     {"/share/tarvo2kova/template.img"},
                     "/share/tarvo2kova/template.img"},
        TemplateCase{"NeverAboveTheRoot",
                     "../../../../opt/kova",
                     {"/opt/kova/template.img"},
                     "/opt/kova/template.img"},
        // Missing everywhere: the name beside the programs, so that the
        // message names the place the template belongs.
        TemplateCase{"MissingNamesBeside", "../share/tarvo2kova", {}, "/usr/bin/template.img"},
        // A layout without a data folder (Windows) never looks elsewhere.
        TemplateCase{"NoInstalledFolder",
                     "",
                     {"/usr/share/tarvo2kova/template.img", "/usr/template.img"},
                     "/usr/bin/template.img"}),
    [](const ::testing::TestParamInfo<TemplateCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kova
