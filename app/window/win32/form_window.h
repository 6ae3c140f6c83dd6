// The main window TForm1 drawn with the Win32 API: one window procedure,
// the controls made in WM_CREATE at their places at 96 dots per inch, their
// commands dispatched in WM_COMMAND to the handlers of FormLogic, which this
// window shares with the Qt window.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// shellapi.h after windows.h: HDROP
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/window/form_logic.h"
#include "image/kova_img.h"

namespace kova::win32 {

// What the window asks of the desktop besides message boxes (which go
// through the installed Ui): the open dialog and the shell. Tests replace it.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // GetOpenFileNameW over `owner`, opening on `offered`, offering the
  // window's filters; the confirmed name, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFile(HWND owner, const std::string& offered);
  // ShellExecuteW "open" on `address`; the result is not examined.
  virtual void OpenAddress(HWND owner, const std::string& address);
};

// The lpstrFilter of the open dialog: "name\0masks\0...\0\0".
std::wstring DialogFilter();

class FormWindow : private FormView {
 public:
  // `desktop` is not owned; nullptr uses the real one.
  explicit FormWindow(FormPaths paths = FormPaths::FromProcess(), Desktop* desktop = nullptr);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // The window, made (but not shown) by the constructor.
  HWND Handle() const noexcept { return hwnd_; }
  HWND Control(FormControl control) const noexcept {
    return controls_[static_cast<std::size_t>(control)];
  }
  HWND PreviewInfo() const noexcept { return preview_info_; }
  // The preview picture's size; 0 x 0 while the panel is closed.
  SIZE PreviewSize() const noexcept { return preview_size_; }
  // The colour the panel shows at (x, y) of the picture (a no-data pixel
  // shows the button face).
  COLORREF PreviewPixel(int x, int y) const;

  // Keyboard navigation and Enter for the message loop: true when the
  // message was handled (IsDialogMessage over the window).
  bool PreTranslate(MSG& message);

  const kova::Converter& Converter() const noexcept { return logic_.Converter(); }

  // Closing the window then ends the message loop of the program.
  void EndProgramWhenClosed() noexcept { ends_program_ = true; }

  TKovaImg KovaImg1;
  TKovaImg KovaImg2;

  // The window procedure of the class "TForm1".
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  // The boxes take dropped files; the link reports the mouse over it.
  static LRESULT CALLBACK BoxProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);
  static LRESULT CALLBACK LinkProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR id, DWORD_PTR data);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void Command(int id, int code);
  void Paint();
  void DropFiles(Box box, HDROP drop);
  HWND BoxOf(Box box) const {
    return Control(box == Box::Input ? FormControl::Edit1 : FormControl::Edit2);
  }

  // What the logic asks of the window.
  std::string BoxText(Box box) const override;
  void SetBoxText(Box box, const std::string& text) override;
  void FocusBox(Box box) override;
  std::optional<std::string> ChooseFile(const std::string& offered) override;
  void OpenAddress(const std::string& address) override;
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void SetCursor(CursorKind cursor) override;
  void ShowPreview(const FormPreview& preview) override;

  Desktop own_desktop_;
  Desktop* desktop_;
  FormLogic logic_;
  HWND hwnd_ = nullptr;
  std::array<HWND, kFormControlCount> controls_{};
  HWND preview_info_ = nullptr;
  HFONT form_font_ = nullptr;
  HFONT verdana_ = nullptr;
  HFONT link_font_ = nullptr;
  HWND focus_ = nullptr;                       // the control that gets the focus with the window
  std::vector<std::uint32_t> preview_pixels_;  // 0x00RRGGBB, top row first
  SIZE preview_size_{0, 0};
  bool link_tracked_ = false;
  bool ends_program_ = false;
};

// Runs the window program: the window shown in the centre of the screen and
// the message loop until it is closed. The exit code.
int RunFormWindow();

}  // namespace kova::win32
