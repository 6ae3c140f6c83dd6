// The native Win32 window, driven in-process as a user would drive it: the
// boxes' texts set, "Make Kova image" pressed by message, files dropped,
// Enter pressed in a box; the message boxes captured through the installed
// Ui, the dialog and the shell through a stand-in desktop.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/platform/paths.h"
#include "app/platform/process.h"
#include "app/platform/settings.h"
#include "app/platform/win32/wide.h"
#include "app/window/win32/form_window.h"
#include "app/window/win32/win32_ui.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#ifdef KOVA_TEST_READERS
#include "support/input_fixtures.h"
#endif

// shlobj.h after windows.h: DROPFILES
#include <shlobj.h>

namespace kova::win32 {
namespace {

using kova::testing::ReadAllBytes;
using kova::testing::RecordingUi;
using kova::testing::TempDir;
using kova::testing::WriteText;

// 4 x 3 cells, one missing; smallest value 0.5 (code 0), largest 10 (code 253).
const char kGrid[] =
    "columns 4\r\nrows 3\r\nleft 10.5\r\nbottom 50.25\r\ncell 0.5\r\nnodata -9999\r\n"
    "1.5 2.5 -9999 4.0\r\n0.5 3.25 7.75 1e1\r\n6 5.5 .5 9.125\r\n";

std::string TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return Narrow(text);
}

void SetText(HWND hwnd, const std::string& text) {
  ::SetWindowTextW(hwnd, Widen(text).c_str());
}

// Answers the open dialog from a queue and records what it was offered and
// which addresses were opened.
class FakeDesktop : public Desktop {
 public:
  std::optional<std::string> ChooseFile(HWND, const std::string& offered) override {
    offered_names.push_back(offered);
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void OpenAddress(HWND, const std::string& address) override { opened.push_back(address); }

  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> offered_names;
  std::vector<std::string> opened;
};

// A drop of `paths` as the shell hands it over: DROPFILES and the names.
HDROP MakeDrop(const std::vector<std::string>& paths) {
  std::wstring names;
  for (const std::string& path : paths) names += Widen(path) + L'\0';
  names += L'\0';
  HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(),
              names.size() * sizeof(wchar_t));
  ::GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    start_directory_ = CurrentDirectory();
    folder_ = Utf8Path(dir_.path());
  }
  void TearDown() override {
    SetCurrentDirectory(start_directory_);
    SetApplicationCursor(CursorKind::Default);
  }

  FormPaths Paths() const {
    return {File("tarvo2kova.ini"), ProgramDirectory() + "template.img", folder_};
  }
  std::string File(const std::string& name) const { return JoinPath(folder_, name); }
  // "Make Kova image" pressed with these box texts.
  void Run(FormWindow& form, const std::string& input, const std::string& output) {
    SetText(form.Control(FormControl::Edit1), input);
    SetText(form.Control(FormControl::Edit2), output);
    ::SendMessageW(form.Control(FormControl::Button1), BM_CLICK, 0, 0);
  }

  TempDir dir_;
  std::string folder_;
  std::string start_directory_;
  RecordingUi ui_;
  FakeDesktop desktop_;
};

struct ControlCase {
  FormControl control;
  const wchar_t* window_class;
  RECT place;  // left, top, right, bottom in the window's client area
  const char* text;
  const wchar_t* face;  // nullptr: not checked
  int height;           // the font's character height
  bool visible;
};

class Win32WindowControls : public Win32Window,
                            public ::testing::WithParamInterface<ControlCase> {};

TEST_P(Win32WindowControls, StandWhereTheLayoutPutsThem) {
  const ControlCase& c = GetParam();
  FormWindow form(Paths(), &desktop_);
  HWND control = form.Control(c.control);
  ASSERT_NE(control, nullptr);

  wchar_t window_class[32] = {};
  ::GetClassNameW(control, window_class, 32);
  EXPECT_EQ(std::wstring(window_class), std::wstring(c.window_class)) << c.text;
  RECT place;
  ::GetWindowRect(control, &place);
  ::MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&place), 2);
  EXPECT_EQ(place.left, c.place.left);
  EXPECT_EQ(place.top, c.place.top);
  EXPECT_EQ(place.bottom, c.place.bottom);
  // The labels whose text the build sets grow to the right when it is longer.
  EXPECT_GE(place.right, c.place.right);
  if (c.control != FormControl::Label5 && c.control != FormControl::Label14) {
    EXPECT_EQ(place.right, c.place.right);
  }
  EXPECT_EQ(TextOf(control), c.text);
  EXPECT_EQ((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, c.visible);
  if (c.face != nullptr) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), std::wstring(c.face));
    EXPECT_EQ(font.lfHeight, -c.height);
    EXPECT_EQ(font.lfUnderline != 0, c.control == FormControl::Label5);
  }

  // The controls keep their places when the window is resized.
  ::SetWindowPos(form.Handle(), nullptr, 0, 0, 900, 500, SWP_NOMOVE | SWP_NOZORDER);
  RECT after;
  ::GetWindowRect(control, &after);
  ::MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&after), 2);
  EXPECT_EQ(after.left, place.left);
  EXPECT_EQ(after.top, place.top);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, Win32WindowControls,
    ::testing::Values(
        ControlCase{FormControl::Label4,
                    L"Static",
                    {16, 8, 186, 21},
                    "Step 1: Get ASCII data from:",
                    L"Verdana",
                    11,
                    true},
        ControlCase{FormControl::Label5,
                    L"Static",
                    {200, 6, 428, 22},
                    KOVA_DOWNLOAD_URL,
                    L"MS Sans Serif",
                    13,
                    true},
        ControlCase{FormControl::Label1,
                    L"Static",
                    {16, 32, 161, 45},
                    "Step 2 : Make Kova image",
                    L"Verdana",
                    11,
                    true},
        ControlCase{FormControl::Label2,
                    L"Static",
                    {32, 56, 127, 69},
                    "Input file (*.asc)",
                    L"Verdana",
                    11,
                    true},
        ControlCase{FormControl::Edit1, L"Edit", {152, 52, 569, 73}, "", L"Verdana", 11, true},
        ControlCase{
            FormControl::Button2, L"Button", {584, 50, 609, 75}, "..", L"Verdana", 11, true},
        ControlCase{FormControl::Label3,
                    L"Static",
                    {32, 88, 137, 101},
                    "Output file (*.img)",
                    L"Verdana",
                    11,
                    true},
        ControlCase{FormControl::Edit2, L"Edit", {152, 84, 569, 105}, "", L"Verdana", 11, true},
        ControlCase{
            FormControl::Button3, L"Button", {584, 82, 609, 107}, "..", L"Verdana", 11, true},
        ControlCase{FormControl::Button1,
                    L"Button",
                    {16, 120, 169, 145},
                    "Make Kova image",
                    L"Verdana",
                    11,
                    true},
        ControlCase{FormControl::Label6,
                    L"Static",
                    {8, 160, 275, 173},
                    "Wildcards * and ? are allowed in input file box.",
                    L"Verdana",
                    11,
                    true},
        ControlCase{FormControl::Label14,
                    L"Static",
                    {442, 160, 610, 173},
                    "Info : " KOVA_CONTACT_EMAIL,
                    L"Verdana",
                    11,
                    true},
        ControlCase{
            FormControl::FileListBox1, L"ListBox", {232, 48, 353, 113}, "", nullptr, 0, false}));

TEST_F(Win32Window, OpensCentredAtItsOuterSizeWithItsCaption) {
  FormWindow form(Paths(), &desktop_);
  wchar_t window_class[32] = {};
  ::GetClassNameW(form.Handle(), window_class, 32);
  EXPECT_EQ(std::wstring(window_class), L"TForm1");
  EXPECT_EQ(TextOf(form.Handle()), "Tarvo ASCII Grid To Kova image conversion");
  RECT outer;
  ::GetWindowRect(form.Handle(), &outer);
  EXPECT_EQ(outer.right - outer.left, 630);
  EXPECT_EQ(outer.bottom - outer.top, 207);
  EXPECT_NEAR((outer.left + outer.right) / 2.0, ::GetSystemMetrics(SM_CXSCREEN) / 2.0, 1.0);
  EXPECT_NEAR((outer.top + outer.bottom) / 2.0, ::GetSystemMetrics(SM_CYSCREEN) / 2.0, 1.0);
  EXPECT_NE(::GetWindowLongW(form.Handle(), GWL_STYLE) & WS_THICKFRAME, 0);
  EXPECT_EQ(form.KovaImg1.Status(), 0);
}

TEST_F(Win32Window, TabGoesThroughButtonsAndBoxesInOrder) {
  FormWindow form(Paths(), &desktop_);
  const std::vector<FormControl> order{FormControl::Button1, FormControl::Edit1,
                                       FormControl::Button2, FormControl::Edit2,
                                       FormControl::Button3, FormControl::Button1};
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), form.Control(order[i]), FALSE),
              form.Control(order[i + 1]))
        << i;
  }
}

TEST_F(Win32Window, StartsFromTheSettingsFile) {
  const std::string input = File("Précipitation été\\降水.asc");
  WriteProfileString(File("tarvo2kova.ini"), "files", "edit1", input);
  WriteProfileString(File("tarvo2kova.ini"), "files", "edit2", "out.img");
  FormWindow form(Paths(), &desktop_);
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit1)), input);
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit2)), "out.img");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(Win32Window, ConvertsOneGridAndOpensThePreview) {
  std::filesystem::create_directory(FileSystemPath(File("Précipitation été")));
  const std::string grid = File("Précipitation été\\降水.asc");
  const std::string image = File("Précipitation été\\降水.img");
  WriteText(grid, kGrid);
  FormWindow form(Paths(), &desktop_);
  RECT closed;
  ::GetWindowRect(form.Handle(), &closed);
  Run(form, grid, image);

  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].kind, MessageKind::Information);
  EXPECT_EQ(ui_.messages[0].caption, "Information");
  EXPECT_EQ(ui_.messages[0].text, "Image " + image + " created successfully");
  ASSERT_FALSE(ui_.cursors.empty());
  EXPECT_EQ(ui_.cursors.front(), CursorKind::Busy);
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);

  const std::vector<unsigned char> bytes = ReadAllBytes(image);
  ASSERT_EQ(bytes.size(), 512u + 12u);
  EXPECT_EQ(bytes[512 + 2], 254);      // the missing cell
  EXPECT_EQ(bytes[512 + 4 + 0], 0);    // 0.5, the smallest value
  EXPECT_EQ(bytes[512 + 4 + 3], 253);  // 10, the largest

  // 4 x 3 pixels enlarged four times; no data shows the button face.
  EXPECT_EQ(form.PreviewSize().cx, 16);
  EXPECT_EQ(form.PreviewSize().cy, 12);
  EXPECT_EQ(form.PreviewPixel(2 * 4 + 1, 1), ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(form.PreviewPixel(1, 5), RGB(68, 1, 84));
  EXPECT_EQ(form.PreviewPixel(3 * 4 + 1, 5), RGB(253, 231, 37));
  EXPECT_NE(::GetWindowLongW(form.PreviewInfo(), GWL_STYLE) & WS_VISIBLE, 0);
  EXPECT_EQ(TextOf(form.PreviewInfo()), "降水.img: 4 x 3 pixels, values 0.5 to 10.0");
  RECT open;
  ::GetWindowRect(form.Handle(), &open);
  EXPECT_GT(open.bottom - open.top, closed.bottom - closed.top);

  // The run saved both boxes.
  SetText(form.Control(FormControl::Edit1), "");
  FormWindow again(Paths(), &desktop_);
  EXPECT_EQ(TextOf(again.Control(FormControl::Edit1)), grid);
  EXPECT_EQ(TextOf(again.Control(FormControl::Edit2)), image);
}

TEST_F(Win32Window, ConvertsASeriesBesideItsGrids) {
  std::filesystem::create_directory(FileSystemPath(File("sub")));
  for (const char* name : {"b.asc", "a.ASC", "c.txt"})
    WriteText(File("sub\\" + std::string(name)), kGrid);
  FormWindow form(Paths(), &desktop_);
  Run(form, File("sub\\*.asc"), File("ignored.img"));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Number of images created: 2");
  EXPECT_EQ(ReadAllBytes(File("sub\\a.img")).size(), 524u);
  EXPECT_EQ(ReadAllBytes(File("sub\\b.img")).size(), 524u);
  EXPECT_FALSE(std::filesystem::exists(FileSystemPath(File("ignored.img"))));
  EXPECT_EQ(TextOf(form.PreviewInfo()), "b.img: 4 x 3 pixels, values 0.5 to 10.0");
}

#ifdef KOVA_TEST_READERS
// Through the reader module beside the program, in child processes that
// are this program started anew, as tarvo2kova.exe reads them.
TEST_F(Win32Window, ReadsGeoTiffAndNetCdfFilesInAFolderOfAnyName) {
  const std::string folder = File("降水 été");
  std::filesystem::create_directory(FileSystemPath(folder));
  testing::NetCdfLayout series;
  series.times = {0, 1, 31};
  testing::WriteNetCdf(File("rain.nc"), testing::SmallField(), series);
  testing::WriteGeoTiff(File("field.tif"), testing::SmallField(), testing::TiffLayout());
  for (const char* name : {"rain.nc", "field.tif"}) {
    std::filesystem::rename(FileSystemPath(File(name)), FileSystemPath(folder + "\\" + name));
  }
  FormWindow form(Paths(), &desktop_);
  Run(form, folder + "\\field.tif", folder + "\\field.img");
  Run(form, folder + "\\rain.nc", folder);
  WriteText(folder + "\\bad.tif", std::string("II*\0broken", 10));
  Run(form, folder + "\\bad.tif", "");
  ASSERT_EQ(ui_.messages.size(), 3u);
  EXPECT_EQ(ui_.messages[0].text, "Image " + folder + "\\field.img created successfully");
  EXPECT_EQ(ui_.messages[1].text, "Number of images created: 3");
  EXPECT_EQ(ReadBytes(folder + "\\rain_20240201.img").size(),
            ReadBytes(folder + "\\field.img").size());
  EXPECT_EQ(ui_.messages[2].kind, MessageKind::Error);
  EXPECT_NE(ui_.messages[2].text.find("bad.tif"), std::string::npos) << ui_.messages[2].text;
}
#endif

TEST_F(Win32Window, AnErrorGoesToTheErrorBoxAndTheWindowGoesOn) {
  FormWindow form(Paths(), &desktop_);
  const std::string grid = File("grid.asc");
  Run(form, grid, File("out.img"));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].kind, MessageKind::Error);
  EXPECT_EQ(ui_.messages[0].caption, ApplicationTitle(ProgramPath()));
  // The first character as it is, the others in lower case.
  EXPECT_EQ(ui_.messages[0].caption, "win32_window_tests");
  EXPECT_EQ(ui_.messages[0].text, "File not found.\n" + grid);
  EXPECT_EQ(ui_.cursors.back(), CursorKind::Default);
  EXPECT_EQ(form.PreviewSize().cx, 0);

  WriteText(grid, kGrid);
  ::SendMessageW(form.Control(FormControl::Button1), BM_CLICK, 0, 0);
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[1].text, "Image " + File("out.img") + " created successfully");
}

TEST_F(Win32Window, EnterInEitherBoxStartsTheRun) {
  WriteText(File("g.asc"), kGrid);
  for (FormControl box : {FormControl::Edit1, FormControl::Edit2}) {
    ui_.messages.clear();
    FormWindow form(Paths(), &desktop_);
    ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
    ::SetForegroundWindow(form.Handle());
    // Button1 comes first in the tab order: it has the focus at the start.
    EXPECT_EQ(::GetFocus(), form.Control(FormControl::Button1));
    SetText(form.Control(FormControl::Edit1), File("g.asc"));
    SetText(form.Control(FormControl::Edit2), File("g.img"));
    ::SetFocus(form.Control(box));
    ASSERT_EQ(::GetFocus(), form.Control(box));
    MSG enter{form.Control(box), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_TRUE(form.PreTranslate(enter));
    ASSERT_EQ(ui_.messages.size(), 1u) << static_cast<int>(box);
    EXPECT_EQ(ui_.messages[0].text, "Image " + File("g.img") + " created successfully");
  }
}

struct DropCase {
  const char* name;
  bool on_output_box;  // else on the window
  std::vector<std::string> dropped;
  std::string input;  // expected in Edit1 (relative to the folder); empty: untouched
  std::string output;
};

class Win32WindowDrops : public Win32Window, public ::testing::WithParamInterface<DropCase> {};

TEST_P(Win32WindowDrops, FillTheBoxes) {
  const DropCase& c = GetParam();
  std::filesystem::create_directory(FileSystemPath(File("series")));
  WriteText(File("series\\a.asc"), kGrid);
  WriteText(File("series\\b.asc"), kGrid);
  FormWindow form(Paths(), &desktop_);
  std::vector<std::string> paths;
  for (const std::string& name : c.dropped) paths.push_back(File(name));
  HWND target = c.on_output_box ? form.Control(FormControl::Edit2) : form.Handle();
  ::SendMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit1)), c.input.empty() ? "" : File(c.input));
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit2)), c.output.empty() ? "" : File(c.output));
}

INSTANTIATE_TEST_SUITE_P(
    Drops, Win32WindowDrops,
    ::testing::Values(
        DropCase{"OneGrid", false, {"series\\a.asc"}, "series\\a.asc", ""},
        DropCase{"Folder", false, {"series"}, "series\\*.asc", ""},
        DropCase{"SeveralGrids", false, {"series\\a.asc", "series\\b.asc"}, "series\\*.asc", ""},
        DropCase{"NameOnTheOutputBox", true, {"out.img"}, "", "out.img"},
        DropCase{"FolderOnTheOutputBox", true, {"series"}, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Win32Window, BrowseButtonsFillTheirBoxAndMoveTheCurrentDirectory) {
  std::filesystem::create_directory(FileSystemPath(File("in")));
  WriteText(File("in\\grid.asc"), kGrid);
  desktop_.answers = {File("in\\grid.asc"), std::nullopt, File("out.img")};
  FormWindow form(Paths(), &desktop_);
  SetText(form.Control(FormControl::Edit2), "old2");
  ::SendMessageW(form.Control(FormControl::Button2), BM_CLICK, 0, 0);
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit1)), File("in\\grid.asc"));
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit2)), "old2");
  EXPECT_EQ(CurrentDirectory(), File("in"));
  ::SendMessageW(form.Control(FormControl::Button3), BM_CLICK, 0, 0);  // cancelled
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit2)), "old2");
  ::SendMessageW(form.Control(FormControl::Button3), BM_CLICK, 0, 0);
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit1)), File("in\\grid.asc"));
  EXPECT_EQ(TextOf(form.Control(FormControl::Edit2)), File("out.img"));
  // The dialog opens on the name last chosen through it, from either button.
  EXPECT_EQ(desktop_.offered_names,
            (std::vector<std::string>{"", File("in\\grid.asc"), File("in\\grid.asc")}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(Win32Window, LinkOpensTheDownloadPageAndShowsTheHand) {
  FormWindow form(Paths(), &desktop_);
  HWND link = form.Control(FormControl::Label5);
  ::SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(20, 8));
  EXPECT_EQ(ApplicationCursor(), CursorKind::Hand);
  // Over every control, until the mouse leaves the link.
  EXPECT_EQ(::SendMessageW(form.Handle(), WM_SETCURSOR,
                           reinterpret_cast<WPARAM>(form.Control(FormControl::Edit1)),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  ::SendMessageW(link, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(ApplicationCursor(), CursorKind::Default);

  ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 8));
  ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(20, 8));
  EXPECT_EQ(desktop_.opened, std::vector<std::string>{KOVA_DOWNLOAD_URL});
  EXPECT_TRUE(ui_.messages.empty());
}

// What a message box showed: caption, text and symbol, read from another
// thread once the box is up, which then closes it with its "OK" button.
struct ShownBox {
  std::string caption;
  std::string text;
  HICON symbol = nullptr;
  bool has_ok = false;
};

// For EnumThreadWindows: reads the visible message box among a thread's
// windows into the ShownBox at `found`, and closes it.
BOOL CALLBACK ReadAndCloseBox(HWND box, LPARAM found) {
  wchar_t name[16] = {};
  ::GetClassNameW(box, name, 16);
  if (std::wstring(name) != L"#32770" || !::IsWindowVisible(box)) return TRUE;
  auto& shown = *reinterpret_cast<ShownBox*>(found);
  shown.caption = TextOf(box);
  shown.text = TextOf(::GetDlgItem(box, 0xFFFF));  // the message's static
  shown.symbol = reinterpret_cast<HICON>(
      ::SendMessageW(::GetDlgItem(box, 0x0440), STM_GETICON, 0, 0));  // the symbol's
  shown.has_ok = ::GetDlgItem(box, IDOK) != nullptr;
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  return FALSE;
}

ShownBox ReadAndCloseBoxOf(DWORD thread) {
  ShownBox shown;
  for (int tries = 0; tries < 500 && shown.caption.empty(); ++tries) {
    ::Sleep(10);
    ::EnumThreadWindows(thread, &ReadAndCloseBox, reinterpret_cast<LPARAM>(&shown));
  }
  return shown;
}

TEST(Win32MessageBoxes, CarryTheirCaptionSymbolAndOneOkButton) {
  struct Case {
    MessageKind kind;
    const char* caption;
    const wchar_t* symbol;
  };
  Win32Ui ui;
  for (const Case& c : {Case{MessageKind::Error, "Error", IDI_HAND},
                        Case{MessageKind::Information, "Information", IDI_ASTERISK},
                        Case{MessageKind::Error, "tarvo2kova", IDI_HAND}}) {
    ShownBox shown;
    std::thread reader(
        [&shown, thread = ::GetCurrentThreadId()] { shown = ReadAndCloseBoxOf(thread); });
    ui.ShowMessage(c.kind, c.caption, "Image été.img created successfully");
    reader.join();
    EXPECT_EQ(shown.caption, c.caption);
    EXPECT_EQ(shown.text, "Image été.img created successfully");
    EXPECT_EQ(shown.symbol, ::LoadIconW(nullptr, c.symbol)) << c.caption;
    EXPECT_TRUE(shown.has_ok);
  }
}

TEST(Win32DialogFilter, OffersAllFilesFirstThenTheInputKinds) {
  const wchar_t expected[] =
      L"All files (*.*)\0*.*\0Tarvo ASCII grids (*.asc)\0*.asc\0"
      L"GeoTIFF files (*.tif, *.tiff)\0*.tif;*.tiff\0"
      L"NetCDF files (*.nc, *.nc4, *.cdf)\0*.nc;*.nc4;*.cdf\0";  // and the closing \0
  EXPECT_EQ(DialogFilter(), std::wstring(expected, sizeof expected / sizeof *expected));
}

}  // namespace
}  // namespace kova::win32
