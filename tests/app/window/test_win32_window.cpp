// The native Win32 window under the window scenarios (test_window.cpp),
// driven in-process as a user would drive it: "Make Kova image" pressed by
// message, files dropped, Tab and Enter through the message loop's dialog
// keys; the message boxes captured through the installed Ui, the dialog and
// the shell through a stand-in desktop. And what only the Win32 window has:
// its class and frame, the cursor over the other controls, the message
// boxes' caption, symbol and button, the dialog's filter.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/platform/win32/wide.h"
#include "app/window/win32/form_window.h"
#include "app/window/win32/win32_ui.h"
#include "support/window_driver.h"

// shlobj.h after windows.h: DROPFILES
#include <shlobj.h>

namespace kova::win32 {
namespace {

using kova::testing::FontSeen;
using kova::testing::Place;
using kova::testing::RecordingUi;
using kova::testing::ShownMessage;
using kova::testing::WindowDriver;
using kova::testing::WindowTest;

std::string TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return Narrow(text);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[32] = {};
  ::GetClassNameW(hwnd, name, 32);
  return name;
}

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

class Win32Window : public WindowDriver, private Desktop {
 public:
  Win32Window(const FormPaths& paths, RecordingUi& ui) : ui_(ui), form(paths, this) {}
  ~Win32Window() override { SetApplicationCursor(CursorKind::Default); }

  void Show() override {
    ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
    ::SetForegroundWindow(form.Handle());
  }
  std::string Caption() const override { return TextOf(form.Handle()); }
  Place Frame() const override {
    RECT outer;
    ::GetWindowRect(form.Handle(), &outer);
    return {outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top};
  }
  Place Screen() const override {
    return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  void Resize(int width, int height) override {
    ::SetWindowPos(form.Handle(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
  }

  ControlKind Kind(FormControl control) const override {
    HWND hwnd = form.Control(control);
    const std::wstring name = ClassOf(hwnd);
    if (name == L"Edit") return ControlKind::Edit;
    if (name == L"Button") return ControlKind::Button;
    if (name == L"ListBox") return ControlKind::FileList;
    EXPECT_EQ(name, L"Static");
    // A link is a static that reports clicks.
    return (::GetWindowLongW(hwnd, GWL_STYLE) & SS_NOTIFY) != 0 ? ControlKind::Link
                                                                : ControlKind::Label;
  }
  Place PlaceOf(FormControl control) const override { return PlaceIn(form.Control(control)); }
  std::string Text(FormControl control) const override { return TextOf(form.Control(control)); }
  FontSeen Font(FormControl control) const override {
    LOGFONTW font{};
    ::GetObjectW(FontOf(form.Control(control)), sizeof font, &font);
    return {Narrow(font.lfFaceName), -font.lfHeight, font.lfUnderline != 0};
  }
  bool Visible(FormControl control) const override {
    return (::GetWindowLongW(form.Control(control), GWL_STYLE) & WS_VISIBLE) != 0;
  }
  int TextWidth(FormControl control) const override {
    HWND hwnd = form.Control(control);
    const std::wstring text = Widen(TextOf(hwnd));
    HDC dc = ::GetDC(hwnd);
    HGDIOBJ old = ::SelectObject(dc, FontOf(hwnd));
    SIZE extent{0, 0};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(hwnd, dc);
    return extent.cx;
  }
  std::optional<FormControl> Focused() const override {
    for (std::size_t i = 0; i < kFormControlCount; ++i) {
      if (form.Control(static_cast<FormControl>(i)) == ::GetFocus()) {
        return static_cast<FormControl>(i);
      }
    }
    return std::nullopt;
  }
  void Tab(FormControl from) override {
    ::SetFocus(form.Control(from));
    EXPECT_EQ(::GetFocus(), form.Control(from));
    Key(form.Control(from), VK_TAB);
  }

  std::string BoxText(Box box) const override { return TextOf(BoxOf(box)); }
  void SetBoxText(Box box, const std::string& text) override {
    ::SetWindowTextW(BoxOf(box), Widen(text).c_str());
  }
  void Click(FormControl button) override { ::SendMessageW(form.Control(button), BM_CLICK, 0, 0); }
  void Enter(Box box) override {
    ::SetFocus(BoxOf(box));
    EXPECT_EQ(::GetFocus(), BoxOf(box));
    Key(BoxOf(box), VK_RETURN);
  }
  void Drop(Target target, const std::vector<std::string>& paths) override {
    HWND hwnd = target == Target::Window
                    ? form.Handle()
                    : BoxOf(target == Target::Input ? Box::Input : Box::Output);
    ::SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
  }
  void MoveOverLink() override {
    ::SendMessageW(form.Control(FormControl::Label5), WM_MOUSEMOVE, 0, MAKELPARAM(20, 8));
  }
  void LeaveLink() override {
    ::SendMessageW(form.Control(FormControl::Label5), WM_MOUSELEAVE, 0, 0);
  }
  void ClickLink() override {
    HWND link = form.Control(FormControl::Label5);
    ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 8));
    ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(20, 8));
  }
  CursorKind Cursor() override { return ApplicationCursor(); }

  // Every message box goes through the Ui, the error box too.
  std::vector<ShownMessage> ErrorBoxes() const override { return Of(true); }
  std::vector<ShownMessage> Messages() const override { return Of(false); }

  bool PreviewShown() const override {
    return form.PreviewSize().cx > 0 &&
           (::GetWindowLongW(form.PreviewInfo(), GWL_STYLE) & WS_VISIBLE) != 0;
  }
  std::string PreviewInfo() const override { return TextOf(form.PreviewInfo()); }
  Place PreviewInfoPlace() const override { return PlaceIn(form.PreviewInfo()); }
  std::pair<int, int> PreviewSize() const override {
    return {form.PreviewSize().cx, form.PreviewSize().cy};
  }
  std::optional<std::uint32_t> PreviewPixel(int x, int y) const override {
    const COLORREF colour = form.PreviewPixel(x, y);
    if (colour == ::GetSysColor(COLOR_BTNFACE)) return std::nullopt;
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  }
  const kova::Converter& Converter() const override { return form.Converter(); }

  RecordingUi& ui_;
  FormWindow form;

 private:
  std::optional<std::string> ChooseFile(HWND, const std::string& name) override {
    offered.push_back(name);
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void OpenAddress(HWND, const std::string& address) override { opened.push_back(address); }

  HWND BoxOf(Box box) const {
    return form.Control(box == Box::Input ? FormControl::Edit1 : FormControl::Edit2);
  }
  Place PlaceIn(HWND hwnd) const {
    RECT place;
    ::GetWindowRect(hwnd, &place);
    ::MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&place), 2);
    return {place.left, place.top, place.right - place.left, place.bottom - place.top};
  }
  static HFONT FontOf(HWND hwnd) {
    return reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0));
  }
  // A key pressed in `hwnd`, through the message loop's dialog keys.
  void Key(HWND hwnd, WPARAM key) {
    MSG down{hwnd, WM_KEYDOWN, key, 0, 0, {0, 0}};
    EXPECT_TRUE(form.PreTranslate(down));
  }
  std::vector<ShownMessage> Of(bool errors) const {
    std::vector<ShownMessage> shown;
    for (const ShownMessage& message : ui_.messages) {
      if ((message.kind == MessageKind::Error) == errors) shown.push_back(message);
    }
    return shown;
  }
};

class Win32WindowTest : public WindowTest {
 protected:
  Win32Window& Form() {
    if (!window_) window_ = std::make_unique<Win32Window>(Paths(), ui_);
    return *window_;
  }
  std::unique_ptr<Win32Window> window_;
};

TEST_F(Win32WindowTest, IsOfTheClassTForm1WithAFrameThatSizes) {
  FormWindow& form = Form().form;
  EXPECT_EQ(ClassOf(form.Handle()), L"TForm1");
  EXPECT_NE(::GetWindowLongW(form.Handle(), GWL_STYLE) & WS_THICKFRAME, 0);
  EXPECT_EQ(form.KovaImg1.Status(), 0);
}

TEST_F(Win32WindowTest, TheHandShowsOverEveryControlWhileOverTheLink) {
  FormWindow& form = Form().form;
  Form().MoveOverLink();
  EXPECT_EQ(::SendMessageW(form.Handle(), WM_SETCURSOR,
                           reinterpret_cast<WPARAM>(form.Control(FormControl::Edit1)),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
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

namespace kova::testing {

std::unique_ptr<WindowDriver> MakeWindow(const FormPaths& paths, RecordingUi& ui) {
  return std::make_unique<win32::Win32Window>(paths, ui);
}

}  // namespace kova::testing
