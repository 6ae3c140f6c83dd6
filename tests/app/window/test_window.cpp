// The main window as its user meets it, the same on every toolkit: its
// controls and their order, the settings it starts from, runs of one grid or
// a series with the preview of the last image, errors in the error box, Enter
// in a box, drops, the browse buttons and the link.
#include <cmath>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/platform/settings.h"
#include "support/window_driver.h"
#ifdef KOVA_TEST_READERS
#include "support/input_fixtures.h"
#endif

namespace kova::testing {
namespace {

using Box = WindowDriver::Box;
using Target = WindowDriver::Target;

std::string FolderOf(const std::string& path) {
  return Utf8Path(FileSystemPath(path).parent_path());
}

// "a b c" as {"a", "b", "c"}.
std::vector<std::string> Words(const std::string& words) {
  std::vector<std::string> list;
  for (std::size_t at = 0; at < words.size();) {
    const std::size_t end = std::min(words.find(' ', at), words.size());
    if (end > at) list.push_back(words.substr(at, end - at));
    at = end + 1;
  }
  return list;
}

std::vector<std::string> Texts(const std::vector<ShownMessage>& messages) {
  std::vector<std::string> texts;
  for (const ShownMessage& message : messages) texts.push_back(message.text);
  return texts;
}

// A case of a table prints as its name.
template <typename Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

bool TemplateExists() {
  return std::filesystem::exists(FileSystemPath(ProgramDirectory() + "template.img"));
}
// The runs need the template that the build writes beside the programs.
#define REQUIRE_TEMPLATE() ASSERT_TRUE(TemplateExists()) << "no template beside the program"

// --- Controls -------------------------------------------------------------------

struct ControlCase {
  FormControl control;
  ControlKind kind;
  int left, top, width, height;
  const char* text;
  const char* face = "Verdana";  // nullptr: not checked
  int pixels = 11;
};

class WindowControls : public WindowTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(WindowControls, StandWhereTheLayoutPutsThem) {
  const ControlCase& c = GetParam();
  auto form = Window();
  EXPECT_EQ(form->Kind(c.control), c.kind);
  Place place{c.left, c.top, c.width, c.height};
  // The labels whose text the build sets grow to the right when it is longer.
  if (c.control == FormControl::Label5 || c.control == FormControl::Label14) {
    place.width = std::max(place.width, form->TextWidth(c.control));
  }
  EXPECT_EQ(form->PlaceOf(c.control), place);
  EXPECT_EQ(form->Text(c.control), c.text);
  if (c.face != nullptr) {
    const FontSeen font = form->Font(c.control);
    EXPECT_EQ(font.face, c.face);
    EXPECT_EQ(font.pixels, c.pixels);
    EXPECT_EQ(font.underline, c.control == FormControl::Label5);
  }
  EXPECT_EQ(form->Visible(c.control), c.control != FormControl::FileListBox1);

  // The controls keep their places when the window is resized.
  for (const auto& [width, height] : {std::pair{900, 500}, std::pair{300, 100}}) {
    form->Resize(width, height);
    EXPECT_EQ(form->PlaceOf(c.control), place) << width;
  }
}

constexpr ControlKind kLabel = ControlKind::Label;
constexpr ControlKind kEdit = ControlKind::Edit;
constexpr ControlKind kButton = ControlKind::Button;
INSTANTIATE_TEST_SUITE_P(
    Layout, WindowControls,
    ::testing::Values(
        ControlCase{FormControl::Label4, kLabel, 16, 8, 170, 13, "Step 1: Get ASCII data from:"},
        ControlCase{FormControl::Label5, ControlKind::Link, 200, 6, 228, 16, KOVA_DOWNLOAD_URL,
                    "MS Sans Serif", 13},
        ControlCase{FormControl::Label1, kLabel, 16, 32, 145, 13, "Step 2 : Make Kova image"},
        ControlCase{FormControl::Label2, kLabel, 32, 56, 95, 13, "Input file (*.asc)"},
        ControlCase{FormControl::Edit1, kEdit, 152, 52, 417, 21, ""},
        ControlCase{FormControl::Button2, kButton, 584, 50, 25, 25, ".."},
        ControlCase{FormControl::Label3, kLabel, 32, 88, 105, 13, "Output file (*.img)"},
        ControlCase{FormControl::Edit2, kEdit, 152, 84, 417, 21, ""},
        ControlCase{FormControl::Button3, kButton, 584, 82, 25, 25, ".."},
        ControlCase{FormControl::Button1, kButton, 16, 120, 153, 25, "Make Kova image"},
        ControlCase{FormControl::Label6, kLabel, 8, 160, 267, 13,
                    "Wildcards * and ? are allowed in input file box."},
        ControlCase{FormControl::Label14, kLabel, 442, 160, 168, 13, "Info : " KOVA_CONTACT_EMAIL},
        ControlCase{FormControl::FileListBox1, ControlKind::FileList, 232, 48, 121, 65, "",
                    nullptr}),
    [](const auto& info) { return std::string(LayoutOf(info.param.control).name); });

TEST_F(WindowTest, OpensCentredAtItsOuterSizeWithItsCaption) {
  auto form = Window();
  form->Show();
  EXPECT_EQ(form->Caption(), "Tarvo ASCII Grid To Kova image conversion");
  const Place frame = form->Frame();
  const Place screen = form->Screen();
  EXPECT_EQ(frame.width, 630);
  EXPECT_EQ(frame.height, 207);
  EXPECT_NEAR(frame.left + frame.width / 2.0, screen.left + screen.width / 2.0, 1.0);
  EXPECT_NEAR(frame.top + frame.height / 2.0, screen.top + screen.height / 2.0, 1.0);
}

TEST_F(WindowTest, TabGoesThroughButtonsAndBoxesInOrder) {
  auto form = Window();
  form->Show();
  EXPECT_EQ(form->Focused(), FormControl::Button1);  // focused at the start
  const std::vector<FormControl> order{FormControl::Button1, FormControl::Edit1,
                                       FormControl::Button2, FormControl::Edit2,
                                       FormControl::Button3, FormControl::Button1};
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    form->Tab(order[i]);
    EXPECT_EQ(form->Focused(), order[i + 1]) << i;
  }
}

// --- The settings file ----------------------------------------------------------

struct SettingsCase {
  const char* name;
  std::string ini;  // empty: no settings file
  std::string edit1, edit2;
};

class WindowSettings : public WindowTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(WindowSettings, FillTheBoxesAtTheStart) {
  const SettingsCase& c = GetParam();
  const std::string ini = Paths().settings_path;
  if (!c.ini.empty()) WriteText(ini, c.ini);
  auto form = Window();
  EXPECT_EQ(form->BoxText(Box::Input), c.edit1);
  EXPECT_EQ(form->BoxText(Box::Output), c.edit2);
  EXPECT_TRUE(form->ErrorBoxes().empty());
  // Reading creates no settings file.
  EXPECT_EQ(std::filesystem::exists(FileSystemPath(ini)), !c.ini.empty());
}

const std::string kLongValue(3000, 'x');
INSTANTIATE_TEST_SUITE_P(
    Start, WindowSettings,
    ::testing::Values(
        SettingsCase{"NoSettingsFile", "", "", ""},
        SettingsCase{"BothKeys", "[files]\nedit1=/data/grid.asc\nedit2=/data/out.img\n",
                     "/data/grid.asc", "/data/out.img"},
        SettingsCase{"PatternAndWindowsLineEnds",
                     "[files]\r\nedit1=/data/*.asc\r\nedit2=out.img\r\n", "/data/*.asc", "out.img"},
        SettingsCase{"ValueOver2047CharactersCut", "[files]\nedit1=" + kLongValue + "\nedit2=b\n",
                     kLongValue.substr(0, 2047), "b"},
        SettingsCase{"OtherSectionOnly", "[other]\nedit1=a\nedit2=b\n", "", ""},
        SettingsCase{"OneKeyMissing", "[files]\nedit2=b.img\n", "", "b.img"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Runs -------------------------------------------------------------------------

TEST_F(WindowTest, ConvertsOneGridAndOpensThePreview) {
  REQUIRE_TEMPLATE();
  const std::string grid = File("降水.asc");
  const std::string image = File("降水.img");
  WriteText(grid, kWindowGrid);
  auto form = Window();
  form->Show();
  EXPECT_FALSE(form->PreviewShown());
  const int closed_height = form->Frame().height;
  Run(*form, grid, image);

  EXPECT_TRUE(form->ErrorBoxes().empty()) << Texts(form->ErrorBoxes())[0];
  const std::vector<ShownMessage> messages = form->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].kind, MessageKind::Information);
  EXPECT_EQ(messages[0].caption, "Information");
  EXPECT_EQ(messages[0].text, "Image " + image + " created successfully");
  ASSERT_FALSE(ui_.cursors.empty());
  EXPECT_EQ(ui_.cursors.front(), CursorKind::Busy);
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);

  const std::vector<std::uint8_t> bytes = ReadAllBytes(image);
  ASSERT_EQ(bytes.size(), kWindowGridImageSize);
  const auto code = [&bytes](int row, int col) { return bytes[512 + row * 4 + col]; };
  EXPECT_EQ(code(0, 2), 254);                           // the missing cell
  EXPECT_EQ(code(1, 0), 0);                             // 0.5, the smallest value
  EXPECT_EQ(code(1, 3), 253);                           // 10, the largest
  EXPECT_EQ(code(2, 2), 0);                             // .5
  EXPECT_EQ(code(2, 0), std::lround(253 * 5.5 / 9.5));  // 6

  // 4 x 3 pixels enlarged four times; the missing cell shows the background.
  ASSERT_TRUE(form->PreviewShown());
  EXPECT_EQ(form->PreviewSize(), std::pair(16, 12));
  EXPECT_EQ(form->PreviewPixel(2 * 4 + 1, 1), std::nullopt);
  EXPECT_EQ(form->PreviewPixel(1, 5), 0x440154u);          // 0.5, the lowest value
  EXPECT_EQ(form->PreviewPixel(3 * 4 + 1, 5), 0xFDE725u);  // 10, the highest
  EXPECT_EQ(form->PreviewInfo(), "降水.img: 4 x 3 pixels, values 0.5 to 10.0");
  // The panel opens below the controls, which keep their places.
  EXPECT_GT(form->Frame().height, closed_height);
  const Place label6 = form->PlaceOf(FormControl::Label6);
  EXPECT_GT(form->PreviewInfoPlace().top, label6.top + label6.height + 12);
  EXPECT_EQ(form->PlaceOf(FormControl::Button1), (Place{16, 120, 153, 25}));

  // The run saved both boxes for the next start.
  form.reset();
  auto again = Window();
  EXPECT_EQ(again->BoxText(Box::Input), grid);
  EXPECT_EQ(again->BoxText(Box::Output), image);
}

struct SeriesCase {
  const char* name;
  std::string files;    // in the folder "sub", separated by spaces
  std::string pattern;  // relative to the folder
  std::string message;  // %1: the folder "sub"
  std::string images;   // made in "sub"
  std::string preview;  // the last image's; empty: no preview
};

class WindowSeries : public WindowTest, public ::testing::WithParamInterface<SeriesCase> {};

TEST_P(WindowSeries, ConvertsThePatternsFilesBesideThem) {
  REQUIRE_TEMPLATE();
  const SeriesCase& c = GetParam();
  MakeFolder("sub");
  for (const std::string& file : Words(c.files)) WriteText(File("sub/" + file), kWindowGrid);
  auto form = Window();
  Run(*form, File(c.pattern), File("ignored.img"));

  EXPECT_TRUE(form->ErrorBoxes().empty()) << Texts(form->ErrorBoxes())[0];
  std::string message = c.message;
  if (const auto at = message.find("%1"); at != std::string::npos) {
    message.replace(at, 2, File("sub"));
  }
  EXPECT_EQ(Texts(form->Messages()), std::vector<std::string>{message});
  EXPECT_EQ(FileNames(FileSystemPath(File("sub")), ".img"), Words(c.images));
  for (const std::string& image : Words(c.images)) {
    EXPECT_EQ(ReadAllBytes(File("sub/" + image)).size(), kWindowGridImageSize);
  }
  EXPECT_FALSE(std::filesystem::exists(FileSystemPath(File("ignored.img"))));
  EXPECT_EQ(form->Converter().ListDirectory(), File("sub"));
  EXPECT_EQ(form->PreviewShown(), !c.preview.empty());
  if (!c.preview.empty()) {
    EXPECT_EQ(form->PreviewInfo(), c.preview + ": 4 x 3 pixels, values 0.5 to 10.0");
  }
}

std::vector<SeriesCase> SeriesCases() {
  const std::string two = "Number of images created: 2";
  std::vector<SeriesCase> cases{
      {"TwoFiles", "b.asc a.asc c.txt", "sub/*.asc", two, "a.img b.img", "b.img"},
      {"OneFile", "a.asc c.txt", "sub/*.asc",
       "Image %1" + Native("/a.img") + " created successfully", "a.img", "a.img"},
      {"NoMatch", "c.txt", "sub/*.asc", "Number of images created: 0", "", ""},
      {"QuestionMark", "a1.asc a2.asc a10.asc", "sub/a?.asc", two, "a1.img a2.img", "a2.img"}};
#ifdef _WIN32
  // Names match in any case on Windows.
  cases.push_back({"AnyCase", "b.asc a.ASC c.txt", "sub/*.asc", two, "a.img b.img", "b.img"});
#endif
  return cases;
}
INSTANTIATE_TEST_SUITE_P(Patterns, WindowSeries, ::testing::ValuesIn(SeriesCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Errors -----------------------------------------------------------------------

struct ErrorCase {
  const char* name;
  std::string grid;  // empty: no input file
  bool template_missing;
  bool settings_unwritable;
  // The box: the message with its "." rule, then where it happened on a
  // second line. %1: the settings file, %2: the grid file, %3: the template.
  std::string text;
};

class WindowErrors : public WindowTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(WindowErrors, GoToTheErrorBoxAndTheWindowGoesOn) {
  REQUIRE_TEMPLATE();
  const ErrorCase& c = GetParam();
  const std::string input = File("grid.asc");
  if (!c.grid.empty()) WriteText(input, c.grid);
  FormPaths paths = Paths();
  if (c.template_missing) paths.template_path = File("template.img");
  if (c.settings_unwritable) paths.settings_path = File("none/tarvo2kova.ini");
  auto form = Window(paths);
  Run(*form, input, File("out.img"));

  std::string text = c.text;
  for (const auto& [mark, value] : {std::pair{"%1", paths.settings_path}, std::pair{"%2", input},
                                    std::pair{"%3", paths.template_path}}) {
    if (const auto at = text.find(mark); at != std::string::npos) text.replace(at, 2, value);
  }
  const std::vector<ShownMessage> boxes = form->ErrorBoxes();
  EXPECT_EQ(Texts(boxes), std::vector<std::string>{text});
  for (const ShownMessage& box : boxes) {
    EXPECT_EQ(box.caption, ApplicationTitle(ProgramPath()));
    // The program's name, first character as it is, the others in lower case.
    EXPECT_EQ(box.caption, KOVA_TEST_PROGRAM);
  }
  EXPECT_TRUE(form->Messages().empty());
  ASSERT_FALSE(ui_.cursors.empty());
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);
  EXPECT_FALSE(form->PreviewShown());
}

INSTANTIATE_TEST_SUITE_P(
    Run, WindowErrors,
    ::testing::Values(
        ErrorCase{"InputMissing", "", false, false, "File not found.\n%2"},
        ErrorCase{"HeaderNotANumber", "columns x4\nrows 3\n", false, false,
                  "'x4' is not a valid integer value.\n%2, line 1, column 9; expected the number "
                  "of columns as the value of header line 1; 'x4' looks like a keyword: is a "
                  "header line missing?"},
        ErrorCase{"ControlByteEscaped", "columns 1x\x7f\xff\nrows 3\n", false, false,
                  "'1x\\x7f\\xff' is not a valid integer value.\n%2, line 1, column 9; expected "
                  "the number of columns as the value of header line 1"},
        ErrorCase{"ValueWithComma",
                  "columns 2\nrows 1\nleft 0\nbottom 0\ncell 1\nnodata -9\n1,5 2\n", false, false,
                  "'1,5' is not a valid floating point value.\n%2, line 7, column 1"},
        ErrorCase{"TemplateMissing", kWindowGrid, true, false,
                  "File not found.\ntemplate %3 (converting %2)"},
        ErrorCase{"SettingsUnwritable", kWindowGrid, false, true, "Unable to write to %1."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, TheNextRunAfterAnErrorSucceeds) {
  REQUIRE_TEMPLATE();
  const std::string grid = File("grid.asc");
  auto form = Window();
  Run(*form, grid, File("out.img"));  // not written yet
  EXPECT_EQ(Texts(form->ErrorBoxes()), std::vector<std::string>{"File not found.\n" + grid});
  EXPECT_TRUE(form->Messages().empty());

  WriteText(grid, kWindowGrid);
  form->Click(FormControl::Button1);
  EXPECT_EQ(form->ErrorBoxes().size(), 1u);
  EXPECT_EQ(Texts(form->Messages()),
            std::vector<std::string>{"Image " + File("out.img") + " created successfully"});
}

// --- Keys and drops ---------------------------------------------------------------

class WindowEnter : public WindowTest, public ::testing::WithParamInterface<Box> {};

TEST_P(WindowEnter, InEitherBoxStartsTheRun) {
  REQUIRE_TEMPLATE();
  WriteText(File("g.asc"), kWindowGrid);
  auto form = Window();
  form->Show();
  form->SetBoxText(Box::Input, File("g.asc"));
  form->SetBoxText(Box::Output, File("g.img"));
  form->Enter(GetParam());
  EXPECT_TRUE(form->ErrorBoxes().empty());
  EXPECT_EQ(Texts(form->Messages()),
            std::vector<std::string>{"Image " + File("g.img") + " created successfully"});
  EXPECT_EQ(ReadAllBytes(File("g.img")).size(), kWindowGridImageSize);
  EXPECT_TRUE(form->PreviewShown());
}

INSTANTIATE_TEST_SUITE_P(Boxes, WindowEnter, ::testing::Values(Box::Input, Box::Output),
                         [](const auto& info) {
                           return std::string(info.param == Box::Input ? "Input" : "Output");
                         });

struct DropCase {
  const char* name;
  Target target;
  std::string dropped;  // relative to the folder, separated by spaces
  std::string input;    // expected in Edit1, relative; empty: left empty
  std::string output;
};

class WindowDrops : public WindowTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(WindowDrops, FillTheBoxes) {
  const DropCase& c = GetParam();
  MakeFolder("series");
  MakeFolder("nc");
  for (const char* name : {"g.asc", "series/a.asc", "series/b.asc", "nc/r.NC", "nc/s.nc",
                           "nc/t.tif", "nc/notes.txt"}) {
    WriteText(File(name), kWindowGrid);
  }
  auto form = Window();
  std::vector<std::string> paths;
  for (const std::string& name : Words(c.dropped)) paths.push_back(File(name));
  form->Drop(c.target, paths);
  EXPECT_EQ(form->BoxText(Box::Input), c.input.empty() ? "" : File(c.input));
  EXPECT_EQ(form->BoxText(Box::Output), c.output.empty() ? "" : File(c.output));
}

INSTANTIATE_TEST_SUITE_P(
    Drops, WindowDrops,
    ::testing::Values(
        DropCase{"OneGridOnTheInputBox", Target::Input, "g.asc", "g.asc", ""},
        DropCase{"OneGridOnTheWindow", Target::Window, "series/a.asc", "series/a.asc", ""},
        DropCase{"Folder", Target::Window, "series", "series/*.asc", ""},
        DropCase{"SeveralGrids", Target::Input, "series/a.asc series/b.asc", "series/*.asc", ""},
        DropCase{"SeveralGridsOnTheWindow", Target::Window, "series/a.asc series/b.asc",
                 "series/*.asc", ""},
        DropCase{"GridsAndNetCdfFiles", Target::Input, "series/a.asc nc/r.NC series/b.asc",
                 "series/*.asc;*.NC", ""},
        DropCase{"FolderOfGeoTiffAndNetCdfFiles", Target::Window, "nc", "nc/*.tif;*.nc", ""},
        DropCase{"NameOnTheOutputBox", Target::Output, "out.img", "", "out.img"},
        DropCase{"FolderOnTheOutputBox", Target::Output, "series", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, TheBoxThatTakesADropHasTheFocus) {
  WriteText(File("g.asc"), kWindowGrid);
  auto form = Window();
  form->Show();
  form->Drop(Target::Output, {File("out.img")});
  EXPECT_EQ(form->Focused(), FormControl::Edit2);
  form->Drop(Target::Window, {File("g.asc")});
  EXPECT_EQ(form->Focused(), FormControl::Edit1);
}

// --- Browse buttons and the link --------------------------------------------------

struct BrowseCase {
  const char* name;
  FormControl button;
  std::string chosen;  // relative to the folder; empty: cancelled
  std::string edit1;   // %1: the folder
  std::string edit2;
};

class WindowBrowse : public WindowTest, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(WindowBrowse, FillsItsBoxAndMovesTheCurrentDirectory) {
  const BrowseCase& c = GetParam();
  MakeFolder("in");
  MakeFolder("out");
  WriteText(File("in/grid.asc"), kWindowGrid);
  auto form = Window();
  form->answers.push_back(c.chosen.empty() ? std::nullopt
                                           : std::optional<std::string>(File(c.chosen)));
  form->SetBoxText(Box::Input, "old1");
  form->SetBoxText(Box::Output, "old2");
  form->Click(c.button);

  EXPECT_EQ(form->offered.size(), 1u);
  const auto expected = [this](const std::string& text) {
    return text.starts_with("%1") ? File(text.substr(3)) : text;
  };
  EXPECT_EQ(form->BoxText(Box::Input), expected(c.edit1));
  EXPECT_EQ(form->BoxText(Box::Output), expected(c.edit2));
  // Confirming makes the chosen file's folder the current directory.
  EXPECT_EQ(CurrentDirectory(), c.chosen.empty() ? start_ : FolderOf(File(c.chosen)));
  EXPECT_TRUE(form->ErrorBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, WindowBrowse,
    ::testing::Values(BrowseCase{"Button2FillsTheInputBox", FormControl::Button2, "in/grid.asc",
                                 "%1/in/grid.asc", "old2"},
                      BrowseCase{"Button3FillsOnlyTheOutputBox", FormControl::Button3,
                                 "out/new.img", "old1", "%1/out/new.img"},
                      BrowseCase{"Button2Cancelled", FormControl::Button2, "", "old1", "old2"},
                      BrowseCase{"Button3Cancelled", FormControl::Button3, "", "old1", "old2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, TheDialogOpensOnTheNameLastChosenFromEitherButton) {
  MakeFolder("in");
  const std::string first = File("in/grid.asc");
  WriteText(first, kWindowGrid);
  auto form = Window();
  form->answers = {first, std::nullopt, File("out.img"), std::nullopt};
  form->Click(FormControl::Button2);
  form->Click(FormControl::Button3);  // cancelled
  form->Click(FormControl::Button3);
  form->Click(FormControl::Button2);  // cancelled
  // Nothing offered at first; a cancel changes nothing.
  EXPECT_EQ(form->offered, (std::vector<std::string>{"", first, first, File("out.img")}));
  EXPECT_EQ(form->BoxText(Box::Input), first);
  EXPECT_EQ(form->BoxText(Box::Output), File("out.img"));
  EXPECT_EQ(CurrentDirectory(), folder_);
}

TEST_F(WindowTest, LinkShowsTheHandAndOpensTheDownloadPage) {
  auto form = Window();
  form->Show();
  EXPECT_EQ(form->Cursor(), CursorKind::Default);
  form->MoveOverLink();
  EXPECT_EQ(form->Cursor(), CursorKind::Hand);
  form->MoveOverLink();
  EXPECT_EQ(form->Cursor(), CursorKind::Hand);
  // Leaving the link gives the normal cursor back.
  form->LeaveLink();
  EXPECT_EQ(form->Cursor(), CursorKind::Default);

  form->ClickLink();
  EXPECT_EQ(form->opened, std::vector<std::string>{KOVA_DOWNLOAD_URL});
  EXPECT_TRUE(form->ErrorBoxes().empty());
  EXPECT_TRUE(form->Messages().empty());
}

#ifdef KOVA_TEST_READERS
// --- Every input kind ---------------------------------------------------------------
// Through the readers, as `kova convert` reads them (on Windows in child
// processes that are this program started anew).

using Writer = std::function<void(const std::string& path)>;
struct InputFile {
  std::string name;
  Writer write;
};

InputFile Tiff(
    const char* name, std::function<void(TiffLayout&)> change = [](TiffLayout&) {}) {
  return {name, [change](const std::string& path) {
            TiffLayout layout;
            change(layout);
            WriteGeoTiff(path, SmallField(), layout);
          }};
}

InputFile NetCdf(const char* name, std::function<void(NetCdfLayout&)> change) {
  return {name, [change](const std::string& path) {
            NetCdfLayout layout;
            change(layout);
            WriteNetCdf(path, SmallField(), layout);
          }};
}

class WindowInputTest : public WindowTest {
 protected:
  // The fixture writers take the name beside the folder, which is plain
  // ASCII, and the file is moved in.
  void Put(const InputFile& file) const {
    const std::string at = Utf8Path(dir_.path() / FileSystemPath(file.name));
    file.write(at);
    std::filesystem::rename(FileSystemPath(at), FileSystemPath(File(file.name)));
  }
};

struct InputCase {
  const char* name;
  InputFile file, other;      // no name: no other file
  std::string input, output;  // relative to the folder; an empty output stays empty
  std::string message;        // %1: the folder
  std::string images;         // relative to the folder, separated by spaces
  std::string preview;        // of the last image
};

class WindowInputs : public WindowInputTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(WindowInputs, GiveTheImagesOfTheSameFieldAsAGrid) {
  REQUIRE_TEMPLATE();
  const InputCase& c = GetParam();
  for (const InputFile& file : {c.file, c.other}) {
    if (!file.name.empty()) Put(file);
  }
  Put({"field.asc", [](const std::string& path) { WriteTarvoGrid(path, SmallField()); }});
  MakeFolder("images");
  auto form = Window();
  // The same field as a Tarvo grid, for the codes every image must hold.
  Run(*form, File("field.asc"), File("images/field.img"));
  std::vector<std::uint8_t> grid_codes = ReadAllBytes(File("images/field.img"));
  ASSERT_EQ(grid_codes.size(), 512u + 20 * 18);
  grid_codes.erase(grid_codes.begin(), grid_codes.begin() + 512);
  ui_.messages.clear();

  Run(*form, File(c.input), c.output.empty() ? "" : File(c.output));
  const std::vector<std::string> errors = Texts(form->ErrorBoxes());
  EXPECT_TRUE(errors.empty()) << errors[0];
  std::string message = c.message;
  if (const auto at = message.find("%1"); at != std::string::npos) message.replace(at, 2, folder_);
  EXPECT_EQ(Texts(form->Messages()), std::vector<std::string>{message});
  std::vector<std::string> images;
  for (const std::string& image : Words(c.images)) images.push_back(File(image));
  EXPECT_EQ(form->Converter().CreatedImages(), images);
  for (const std::string& image : images) {
    std::vector<std::uint8_t> codes = ReadAllBytes(image);
    codes.erase(codes.begin(), codes.begin() + std::min<std::size_t>(512, codes.size()));
    EXPECT_EQ(codes, grid_codes) << image;
  }
  EXPECT_FALSE(std::filesystem::exists(FileSystemPath(File("ignored.img"))));
  EXPECT_TRUE(form->PreviewShown());
  EXPECT_EQ(form->PreviewInfo(), c.preview);
}

void TwoTiledBands(TiffLayout& l) {
  l.bands = 2;
  l.tiled = true;
  l.no_data = "-9999";
}
void OneGrid(NetCdfLayout&) {}
void ThreeSteps(NetCdfLayout& l) {
  l.times = {0, 1, 31};
}
void ThreeStepsInNetCdf4(NetCdfLayout& l) {
  l.times = {0, 1, 31};
  l.netcdf4 = true;
}
void OneStep(NetCdfLayout& l) {
  l.times = {31};
}
const InputFile kNone{};
const std::string kOut = "Image " + Native("%1/out.img") + " created successfully";
const std::string kOutPreview = "out.img: 20 x 18 pixels, values 0 to 250";
const std::string kSteps = "rain_20240101.img rain_20240102.img rain_20240201.img";
const std::string kStepsPreview = "rain_20240201.img: 20 x 18 pixels, values 2000 to 2250";
INSTANTIATE_TEST_SUITE_P(
    Kinds, WindowInputs,
    ::testing::Values(
        InputCase{"GeoTiffBand1Of2", Tiff("field.tif", TwoTiledBands), kNone, "field.tif",
                  "out.img", kOut, "out.img", kOutPreview},
        InputCase{"NetCdfSingleGrid", NetCdf("rain.nc", OneGrid), kNone, "rain.nc", "out.img", kOut,
                  "out.img", kOutPreview},
        InputCase{"NetCdfTimeSeriesBesideTheFile", NetCdf("rain.nc", ThreeSteps), kNone, "rain.nc",
                  "ignored.img", "Number of images created: 3", kSteps, kStepsPreview},
        InputCase{"NetCdf4TimeSeriesIntoAFolder", NetCdf("rain.nc", ThreeStepsInNetCdf4), kNone,
                  "rain.nc", "images", "Number of images created: 3",
                  "images/rain_20240101.img images/rain_20240102.img images/rain_20240201.img",
                  kStepsPreview},
        InputCase{"PatternOfGeoTiffAndNetCdfFiles", Tiff("a.tif"), NetCdf("rain.nc", ThreeSteps),
                  "*.tif;*.nc", "", "Number of images created: 4", "a.img " + kSteps,
                  kStepsPreview},
        InputCase{"NetCdfSeriesOfOneStep", NetCdf("rain.nc", OneStep), kNone, "rain.nc", "out.img",
                  "Image " + Native("%1/rain_20240201.img") + " created successfully",
                  "rain_20240201.img", "rain_20240201.img: 20 x 18 pixels, values 0 to 250"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowInputTest, ConvertsAGridBeyondTheOldWindowsLimit) {
  REQUIRE_TEMPLATE();
  Field wide{1200, 2, 0.0, 10.0, 0.1, 0.1, {}};
  for (int i = 0; i < wide.cols * wide.rows; ++i) wide.values.push_back(i % 7);
  Put({"wide.asc", [&wide](const std::string& path) { WriteTarvoGrid(path, wide); }});
  auto form = Window();
  Run(*form, File("wide.asc"), File("wide.img"));
  EXPECT_TRUE(form->ErrorBoxes().empty());
  EXPECT_EQ(ReadAllBytes(File("wide.img")).size(), 512u + 1200 * 2);
  EXPECT_EQ(form->PreviewInfo(), "wide.img: 1200 x 2 pixels, values 0.0 to 6.0");
}

struct RefusalCase {
  const char* name;
  InputFile file;
  std::string start;  // of the error box's text
};

class WindowRefusals : public WindowInputTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(WindowRefusals, GoToTheErrorBoxNamingTheFile) {
  REQUIRE_TEMPLATE();
  const RefusalCase& c = GetParam();
  Put(c.file);
  auto form = Window();
  Run(*form, File(c.file.name), File("out.img"));
  const std::vector<std::string> errors = Texts(form->ErrorBoxes());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].starts_with(c.start)) << errors[0];
  EXPECT_NE(errors[0].find(File(c.file.name)), std::string::npos) << errors[0];
  EXPECT_TRUE(form->Messages().empty());
  EXPECT_FALSE(std::filesystem::exists(FileSystemPath(File("out.img"))));
  EXPECT_FALSE(form->PreviewShown());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, WindowRefusals,
    ::testing::Values(
        RefusalCase{"NetCdfOfTwoVariables",
                    NetCdf("two.nc", [](NetCdfLayout& l) { l.second_variable = true; }),
                    "The NetCDF file has several variables with latitude and longitude "
                    "dimensions (rain, snow)"},
        RefusalCase{"GeoTiffCutShort",
                    {"cut.tif",
                     [](const std::string& path) {
                       Tiff("cut.tif").write(path);
                       std::filesystem::resize_file(FileSystemPath(path), 700);
                     }},
                    ""},
        RefusalCase{
            "BrokenGeoTiff",
            {"bad.tif",
             [](const std::string& path) { WriteText(path, std::string("II*\0broken", 10)); }},
            ""}),
    [](const auto& info) { return std::string(info.param.name); });
#endif  // KOVA_TEST_READERS

}  // namespace
}  // namespace kova::testing
