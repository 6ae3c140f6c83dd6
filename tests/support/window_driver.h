// The window TForm1 driven as its user drives it, whichever toolkit draws it:
// the Qt window on Linux, the Win32 window on Windows. The scenarios of
// tests/app/window/test_window.cpp run over this interface; each window's test
// program implements it (MakeWindow) and adds what only that window has.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/platform/paths.h"
#include "app/platform/process.h"
#include "app/window/form_logic.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kova::testing {

// 4 x 3 cells, one missing; smallest value 0.5 (code 0), largest 10 (code 253).
inline constexpr char kWindowGrid[] =
    "columns 4\r\nrows 3\r\nleft 10.5\r\nbottom 50.25\r\ncell 0.5\r\nnodata -9999\r\n"
    "1.5 2.5 -9999 4.0\r\n0.5 3.25 7.75 1e1\r\n6 5.5 .5 9.125\r\n";
inline constexpr std::size_t kWindowGridImageSize = 512 + 4 * 3;

// A rectangle: in the window's client area for controls, on the screen for
// the window's frame.
struct Place {
  int left, top, width, height;
  bool operator==(const Place&) const = default;
  friend void PrintTo(const Place& p, std::ostream* out) {
    *out << p.width << " x " << p.height << " at " << p.left << ", " << p.top;
  }
};

struct FontSeen {
  std::string face;
  int pixels;  // the character height
  bool underline;
};

class WindowDriver {
 public:
  using Box = FormView::Box;
  enum class Target { Input, Output, Window };  // where files are dropped

  virtual ~WindowDriver() = default;

  // Shows the window and makes it the active one. The scenarios show it
  // only where the focus, the frame or the mouse need it: under Wine without
  // a window manager a shown window takes two seconds to go.
  virtual void Show() = 0;
  virtual std::string Caption() const = 0;
  virtual Place Frame() const = 0;
  virtual Place Screen() const = 0;
  virtual void Resize(int width, int height) = 0;

  virtual ControlKind Kind(FormControl control) const = 0;
  virtual Place PlaceOf(FormControl control) const = 0;
  virtual std::string Text(FormControl control) const = 0;
  virtual FontSeen Font(FormControl control) const = 0;
  virtual bool Visible(FormControl control) const = 0;
  // The width the control's text takes in its own font.
  virtual int TextWidth(FormControl control) const = 0;
  // The control with the keyboard focus (of the shown window).
  virtual std::optional<FormControl> Focused() const = 0;
  // Gives `from` the focus and presses Tab.
  virtual void Tab(FormControl from) = 0;

  virtual std::string BoxText(Box box) const = 0;
  virtual void SetBoxText(Box box, const std::string& text) = 0;
  virtual void Click(FormControl button) = 0;
  // Gives the box the focus and presses Enter in it (of the shown window).
  virtual void Enter(Box box) = 0;
  virtual void Drop(Target target, const std::vector<std::string>& paths) = 0;
  virtual void MoveOverLink() = 0;
  virtual void LeaveLink() = 0;
  virtual void ClickLink() = 0;
  // The application's cursor once the events sent so far have been handled.
  virtual CursorKind Cursor() = 0;

  // The application's error boxes shown, and every other message box.
  virtual std::vector<ShownMessage> ErrorBoxes() const = 0;
  virtual std::vector<ShownMessage> Messages() const = 0;

  virtual bool PreviewShown() const = 0;
  virtual std::string PreviewInfo() const = 0;
  virtual Place PreviewInfoPlace() const = 0;
  virtual std::pair<int, int> PreviewSize() const = 0;
  // 0xRRGGBB of the picture at (x, y); nothing where the background shows.
  virtual std::optional<std::uint32_t> PreviewPixel(int x, int y) const = 0;

  virtual const kova::Converter& Converter() const = 0;

  // The open dialog's answers in turn (nothing: cancelled; none left:
  // cancelled), the names it opened on, the addresses the link opened.
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> offered;
  std::vector<std::string> opened;
};

// The window of the test program's toolkit, over `paths`, with its message
// boxes recorded by `ui`.
std::unique_ptr<WindowDriver> MakeWindow(const FormPaths& paths, RecordingUi& ui);

// A fresh folder whose name is not plain ASCII, the settings file in it, the
// template beside the program; the current directory put back after.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : start_(CurrentDirectory()) {
    std::filesystem::path folder = dir_.path();
#ifndef _WIN32
    folder = std::filesystem::canonical(folder);  // as the current directory reports it
#endif
    folder_ = Utf8Path(folder / FileSystemPath("Précipitation été 降水"));
    std::filesystem::create_directory(FileSystemPath(folder_));
  }
  ~WindowTest() override {
    SetCurrentDirectory(start_);
  }

  // `name` in the folder ("/" as the system's separator).
  std::string File(const std::string& name) const {
    return Native(folder_ + "/" + name);
  }
  FormPaths Paths() const {
    return {File("tarvo2kova.ini"), ProgramDirectory() + "template.img", folder_};
  }
  std::unique_ptr<WindowDriver> Window() {
    return Window(Paths());
  }
  std::unique_ptr<WindowDriver> Window(const FormPaths& paths) {
    return MakeWindow(paths, ui_);
  }
  void MakeFolder(const std::string& name) const {
    std::filesystem::create_directories(FileSystemPath(File(name)));
  }
  // "Make Kova image" pressed on these box texts.
  static void Run(WindowDriver& form, const std::string& input, const std::string& output) {
    form.SetBoxText(WindowDriver::Box::Input, input);
    form.SetBoxText(WindowDriver::Box::Output, output);
    form.Click(FormControl::Button1);
  }

  TempDir dir_;
  std::string folder_;
  std::string start_;
  RecordingUi ui_;
};

}  // namespace kova::testing
