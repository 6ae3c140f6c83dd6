// kova.exe as a Windows user meets it: "\" paths and drive letters, long-path
// names, names outside any code page, another spelling of the same file, an
// output that another program holds open, and the settings file.
#include <gtest/gtest.h>

#include <cfloat>
#include <filesystem>
#include <string>
#include <vector>

#include "app/platform/settings.h"
#include "app/platform/win32/wide.h"
#include "support/kova_run.h"
#include "support/temp_dir.h"

namespace kova::testing {
namespace {

namespace fs = std::filesystem;

// A folder `data` of grids in a fresh temporary folder (on drive C: under
// Wine), with names that may lie outside the user's code page.
class KovaWindows : public KovaTest {
 protected:
  std::string Data(const std::string& name = "") const {
    return name.empty() ? dir_.file(folder_) : dir_.file(folder_ + "/" + name);
  }
  void WriteGrids(const std::vector<std::string>& names) {
    fs::create_directories(FileSystemPath(Data()));
    for (const std::string& name : names) WriteText(Data(name), kSmallGrid);
  }
  bool Exists(const std::string& path) const { return fs::exists(FileSystemPath(path)); }

  std::string folder_ = "data";
};

TEST(Extended, LongDoubleIsThe80BitType) {
  EXPECT_EQ(LDBL_MANT_DIG, 64);
}

// Pattern series spelled the Windows ways; {data} is the folder's full name.
struct SeriesCase {
  const char* label;
  std::string pattern;
};

class WindowsSeries : public KovaWindows, public ::testing::WithParamInterface<SeriesCase> {};

TEST_P(WindowsSeries, ConvertsEveryGridBesideIt) {
  WriteGrids({"rain1.asc", "rain2.asc"});
  std::string pattern = GetParam().pattern;
  if (const auto at = pattern.find("{data}"); at != std::string::npos) {
    pattern.replace(at, 6, Data());
  }
  const KovaResult result = Kova({"convert", pattern});
  EXPECT_EQ(result.out, "Number of images created: 2\n") << result.err;
  EXPECT_EQ(result.code, 0);
  EXPECT_TRUE(Exists(Data("rain1.img")));
  EXPECT_TRUE(Exists(Data("rain2.img")));
}

INSTANTIATE_TEST_SUITE_P(Spellings, WindowsSeries,
                         ::testing::Values(SeriesCase{"DriveLetterAndBackslashes", "{data}\\*.asc"},
                                           SeriesCase{"ForwardSlashes", "{data}/rain?.asc"},
                                           SeriesCase{"Relative", "data\\*.asc"},
                                           SeriesCase{"LongPathPrefix", "\\\\?\\{data}\\*.asc"},
                                           SeriesCase{"DeviceNamespace", "\\\\.\\{data}\\*.ASC"}),
                         [](const auto& info) { return std::string(info.param.label); });

// Folder and file names of several scripts, converted one by one and as a
// series; the names come back intact on standard output.
class ForeignNames : public KovaWindows, public ::testing::WithParamInterface<const char*> {};

TEST_P(ForeignNames, AreReadWrittenAndShown) {
  folder_ = GetParam();
  const std::string grid = "降水 été.asc";
  WriteGrids({grid, "Ωmega.asc"});
  KovaResult single = Kova({"convert", Data(grid)});
  EXPECT_EQ(single.out, "Image " + Data("降水 été.img") + " created successfully\n") << single.err;
  EXPECT_TRUE(Exists(Data("降水 été.img")));
  KovaResult series = Kova({"convert", Data("*.asc"), "-v"});
  EXPECT_EQ(series.code, 0) << series.err;
  EXPECT_NE(series.out.find(Data("Ωmega.asc") + " -> " + Data("Ωmega.img")), std::string::npos)
      << series.out;
  EXPECT_TRUE(Exists(Data("Ωmega.img")));
}

INSTANTIATE_TEST_SUITE_P(Folders, ForeignNames,
                         ::testing::Values("Précipitation été", "降水量", "data"),
                         [](const auto& info) { return "Folder" + std::to_string(info.index); });

// The 8.3 short name of `path`, or `path` itself where the volume has none.
std::string ShortName(const std::string& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ::GetShortPathNameW(win32::Widen(path).c_str(), buffer, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? path : win32::Narrow(std::wstring(buffer, n));
}

// Masks after ";" share the first one's folder, whichever separator the
// pattern is spelled with.
TEST_F(KovaWindows, MasksInTwoFoldersAreRefusedWithBackslashes) {
  const KovaResult result = Kova({"convert", "2024\\*.asc;2025\\*.asc;*.grd"});
  EXPECT_EQ(result.code, 2);
  EXPECT_NE(result.err.find("kova: the masks after ';' share the folder of the first one "
                            "(2024\\); give a pattern of its own for each folder: "
                            "\"2024\\*.asc\" \"2025\\*.asc\" \"2024\\*.grd\""),
            std::string::npos)
      << result.err;
}

// An output that is the input or the template under another spelling is
// refused, and both stay as they were.
TEST_F(KovaWindows, AnotherSpellingOfTheInputOrTemplateIsRefused) {
  WriteGrids({"a long grid name.asc"});
  const std::string input = Data("a long grid name.asc");
  const std::string template_copy = dir_.file("Template.img");
  fs::copy_file(FileSystemPath(WindowsProgramPath(KOVA_PROGRAM)).parent_path() / "template.img",
                FileSystemPath(template_copy));
  const auto input_bytes = ReadAllBytes(input);
  const auto template_bytes = ReadAllBytes(template_copy);
  std::vector<std::pair<std::string, std::string>> spellings = {
      {Native(Data("A LONG GRID NAME.ASC")), "input"},
      {Data("sub/../a long grid name.asc"), "input"},
      {dir_.file("TEMPLATE.IMG"), "template"},
      {dir_.file("data\\..\\template.img"), "template"},
  };
  if (const std::string short_name = ShortName(input); short_name != input) {
    spellings.push_back({short_name, "input"});
  }
  fs::create_directories(FileSystemPath(Data("sub")));
  for (const auto& [output, role] : spellings) {
    SCOPED_TRACE(output);
    const KovaResult result = Kova({"convert", input, "--template", template_copy, "-o", output});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("is the same file as the " + role), std::string::npos) << result.err;
  }
  EXPECT_EQ(ReadAllBytes(input), input_bytes);
  EXPECT_EQ(ReadAllBytes(template_copy), template_bytes);
}

// An image another program keeps open (without letting it be deleted, as an
// image viewer does) stops with a message naming it; its bytes stay, and no
// temporary file is left beside it.
TEST_F(KovaWindows, AnOutputHeldOpenElsewhereIsLeftIntact) {
  WriteGrids({"rain.asc"});
  const std::string image = Data("rain.img");
  ASSERT_EQ(Kova({"convert", Data("rain.asc")}).code, 0);
  const auto earlier = ReadAllBytes(image);
  const HANDLE held =
      ::CreateFileW(win32::Widen(image).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const KovaResult result = Kova({"convert", Data("rain.asc")});
  ::CloseHandle(held);
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find(image), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("in use"), std::string::npos) << result.err;
  EXPECT_EQ(ReadAllBytes(image), earlier);
  EXPECT_EQ(FileNames(FileSystemPath(Data())), (std::vector<std::string>{"rain.asc", "rain.img"}));
  // Let go, the same run replaces it.
  EXPECT_EQ(Kova({"convert", Data("rain.asc")}).code, 0);
}

// The window's two boxes, saved and read back with names outside the code
// page, in a settings file whose own folder has such a name.
TEST_F(KovaWindows, SettingsKeepNamesOutsideTheCodePage) {
  fs::create_directories(FileSystemPath(dir_.file("Réglages 設定")));
  const std::string ini = dir_.file("Réglages 設定/tarvo2kova.ini");
  const std::string input = "C:\\Précipitation été\\降水 *.asc";
  WriteProfileString(ini, "files", "edit1", input);
  WriteProfileString(ini, "files", "edit2", "D:\\Ωutput.img");
  EXPECT_EQ(ReadProfileString(ini, "files", "edit1"), input);
  EXPECT_EQ(ReadProfileString(ini, "FILES", "EDIT2"), "D:\\Ωutput.img");
  WriteProfileString(ini, "files", "edit1", "plain.asc");
  EXPECT_EQ(ReadProfileString(ini, "files", "edit1"), "plain.asc");
  EXPECT_EQ(ReadProfileString(ini, "files", "edit2"), "D:\\Ωutput.img");
}

}  // namespace
}  // namespace kova::testing
