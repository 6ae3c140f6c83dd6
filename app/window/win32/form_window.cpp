#include "app/window/win32/form_window.h"

#include <commctrl.h>  // SetWindowSubclass
#include <shellapi.h>  // DragQueryFileW, ShellExecuteW
// commdlg.h after windows.h: GetOpenFileNameW
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "app/platform/process.h"
#include "app/platform/win32/wide.h"
#include "app/window/win32/win32_ui.h"
#include "host/diagnostics.h"

namespace kova::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"TForm1";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kWindowExStyle = WS_EX_ACCEPTFILES;
// Control identifiers: 100 + the control's place in the layout.
constexpr int kFirstControlId = 100;
constexpr COLORREF kNavy = RGB(0, 0, 128);
// The gap between the preview picture and its line, and below the line.
constexpr int kInfoGap = 6;
constexpr int kInfoHeight = 13;
constexpr int kPanelBottomGap = 8;

int IdOf(FormControl control) {
  return kFirstControlId + static_cast<int>(control);
}

// A font of `pixels` character height (the cell height less its leading),
// at 96 dots per inch.
HFONT MakeFont(const wchar_t* face, int pixels, bool underline) {
  return ::CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Labels size themselves to their text: one whose text does not fit its
// place grows to the right.
void GrowToText(HWND label, HFONT font, const ControlLayout& layout) {
  const std::wstring text = WindowText(label);
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, font);
  SIZE extent{0, 0};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  if (extent.cx > layout.width) {
    ::SetWindowPos(label, nullptr, 0, 0, extent.cx, layout.height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

FormWindow* WindowOf(HWND hwnd) {
  return reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  if (::GetClassInfoExW(instance, kWindowClass, &window_class)) return;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &FormWindow::WindowProcedure;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassExW(&window_class);
}

}  // namespace

std::wstring DialogFilter() {
  std::wstring filter;
  for (const FileFilter& kind : kOpenDialogFilters) {
    filter += Widen(kind.name) + L'\0' + Widen(kind.masks) + L'\0';
  }
  return filter + L'\0';
}

std::optional<std::string> Desktop::ChooseFile(HWND owner, const std::string& offered) {
  const std::wstring filter = DialogFilter();
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring start = Widen(offered);
  std::copy_n(start.begin(), std::min(start.size(), name.size() - 1), name.begin());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  // Also for the output box, so the file need not exist; the handler
  // changes the current directory itself, and only when confirmed.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
  return Narrow(name.data());
}

void Desktop::OpenAddress(HWND owner, const std::string& address) {
  ::ShellExecuteW(owner, L"open", Widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

FormWindow::FormWindow(FormPaths paths, Desktop* desktop)
    : desktop_(desktop != nullptr ? desktop : &own_desktop_),
      logic_(*this, KovaImg1, std::move(paths), ApplicationTitle(ProgramPath())) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterWindowClass(instance);
  // Centred on the screen, at its outer size.
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - kFormOuterWidth) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - kFormOuterHeight) / 2;
  // WM_CREATE makes the controls and runs FormCreate.
  ::CreateWindowExW(kWindowExStyle, kWindowClass, Widen(kFormCaption).c_str(), kWindowStyle, left,
                    top, kFormOuterWidth, kFormOuterHeight, nullptr, nullptr, instance, this);
}

FormWindow::~FormWindow() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  for (HFONT font : {form_font_, verdana_, link_font_}) {
    if (font != nullptr) ::DeleteObject(font);
  }
}

LRESULT CALLBACK FormWindow::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<FormWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
    window->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  FormWindow* window = WindowOf(hwnd);
  if (window == nullptr) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  return window->Handle(message, wparam, lparam);
}

LRESULT FormWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      logic_.Guarded(&FormLogic::FormCreate);
      return 0;
    case WM_COMMAND:
      Command(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_ACTIVATE:
      // The control that had the focus gets it back when the window does.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(hwnd_, focus)) focus_ = focus;
      }
      break;  // activated, the window takes the focus and hands it on
    case WM_SETFOCUS:
      ::SetFocus(focus_ != nullptr ? focus_ : Control(FormControl::Button1));
      return 0;
    case WM_SETCURSOR:
      if (ApplyApplicationCursor()) return TRUE;
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      if (reinterpret_cast<HWND>(lparam) == Control(FormControl::Label5)) {
        ::SetTextColor(dc, kNavy);
      }
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DROPFILES:
      DropFiles(Box::Input, reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_DESTROY:
      hwnd_ = nullptr;
      if (ends_program_) ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wparam, lparam);
}

void FormWindow::CreateControls() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  form_font_ = MakeFont(L"MS Sans Serif", 11, false);
  verdana_ = MakeFont(L"Verdana", 11, false);
  link_font_ = MakeFont(L"MS Sans Serif", 13, true);

  // The tab order is the order of making: the tab stops first, by their
  // place in it, then the labels.
  std::vector<FormControl> order;
  for (std::size_t i = 0; i < kFormControlCount; ++i) order.push_back(static_cast<FormControl>(i));
  std::stable_sort(order.begin(), order.end(), [](FormControl a, FormControl b) {
    const int ta = LayoutOf(a).tab_order < 0 ? 1000 : LayoutOf(a).tab_order;
    const int tb = LayoutOf(b).tab_order < 0 ? 1000 : LayoutOf(b).tab_order;
    return ta < tb;
  });

  for (FormControl control : order) {
    const ControlLayout& layout = LayoutOf(control);
    const wchar_t* kind = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex_style = 0;
    switch (layout.kind) {
      case ControlKind::Label:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
      case ControlKind::Link:
        style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
        break;
      case ControlKind::Edit:
        kind = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        ex_style = WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES;
        break;
      case ControlKind::Button:
        kind = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case ControlKind::FileList:
        // Never shown: the matching of patterns is done by the conversion run.
        kind = L"LISTBOX";
        style = WS_CHILD | WS_TABSTOP | LBS_SORT | LBS_NOINTEGRALHEIGHT;
        break;
    }
    HWND hwnd = ::CreateWindowExW(ex_style, kind, Widen(layout.text).c_str(), style, layout.left,
                                  layout.top, layout.width, layout.height, hwnd_,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdOf(control))),
                                  instance, nullptr);
    HFONT font = layout.font == ControlFont::Link      ? link_font_
                 : layout.font == ControlFont::Verdana ? verdana_
                                                       : form_font_;
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    controls_[static_cast<std::size_t>(control)] = hwnd;
    if (layout.kind == ControlKind::Edit) {
      ::SetWindowSubclass(hwnd, &FormWindow::BoxProcedure, 0, reinterpret_cast<DWORD_PTR>(this));
    }
    if (layout.kind == ControlKind::Link) {
      ::SetWindowSubclass(hwnd, &FormWindow::LinkProcedure, 0, reinterpret_cast<DWORD_PTR>(this));
    }
  }
  // The address and the contact are set by the build and may be longer
  // than the places laid out for them.
  GrowToText(Control(FormControl::Label5), link_font_, LayoutOf(FormControl::Label5));
  GrowToText(Control(FormControl::Label14), verdana_, LayoutOf(FormControl::Label14));

  // The line below the preview picture, shown with it.
  preview_info_ =
      ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX, kPreviewLeft,
                        kPreviewTop, kPreviewWidth, kInfoHeight, hwnd_, nullptr, instance, nullptr);
  ::SendMessageW(preview_info_, WM_SETFONT, reinterpret_cast<WPARAM>(verdana_), FALSE);

  focus_ = Control(FormControl::Button1);
  ::SetFocus(focus_);
}

void FormWindow::Command(int id, int code) {
  const auto is = [id](FormControl control) { return id == IdOf(control); };
  if (is(FormControl::Button1) && code == BN_CLICKED) {
    logic_.Guarded(&FormLogic::Button1Click);
  } else if (is(FormControl::Button2) && code == BN_CLICKED) {
    logic_.Guarded(&FormLogic::Button2Click);
  } else if (is(FormControl::Button3) && code == BN_CLICKED) {
    logic_.Guarded(&FormLogic::Button3Click);
  } else if (is(FormControl::Label5) && code == STN_CLICKED) {
    logic_.Guarded(&FormLogic::Label5Click);
  } else if (id == IDOK) {
    // Enter, through the dialog keys: in either box it starts the run.
    HWND focus = ::GetFocus();
    if (focus == BoxOf(Box::Input) || focus == BoxOf(Box::Output)) {
      logic_.Guarded(&FormLogic::Button1Click);
    }
  }
}

LRESULT CALLBACK FormWindow::BoxProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR, DWORD_PTR data) {
  auto* window = reinterpret_cast<FormWindow*>(data);
  if (message == WM_DROPFILES) {
    window->DropFiles(hwnd == window->BoxOf(Box::Output) ? Box::Output : Box::Input,
                      reinterpret_cast<HDROP>(wparam));
    return 0;
  }
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(hwnd, &FormWindow::BoxProcedure, 0);
  }
  return ::DefSubclassProc(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK FormWindow::LinkProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                           UINT_PTR, DWORD_PTR data) {
  auto* window = reinterpret_cast<FormWindow*>(data);
  switch (message) {
    case WM_MOUSEMOVE:
      if (!window->link_tracked_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        window->link_tracked_ = ::TrackMouseEvent(&track) != FALSE;
      }
      window->logic_.Guarded(&FormLogic::Label5MouseMove);
      break;
    case WM_MOUSELEAVE:
      window->link_tracked_ = false;
      window->logic_.Guarded(&FormLogic::Label5MouseLeave);
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, &FormWindow::LinkProcedure, 0);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wparam, lparam);
}

bool FormWindow::PreTranslate(MSG& message) {
  return hwnd_ != nullptr && ::IsDialogMessageW(hwnd_, &message) != FALSE;
}

void FormWindow::DropFiles(Box box, HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    paths.push_back(Narrow(path));
  }
  ::DragFinish(drop);
  logic_.Drop(box, paths);
}

void FormWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(hwnd_, &paint);
  if (!preview_pixels_.empty()) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = preview_size_.cx;
    info.bmiHeader.biHeight = -preview_size_.cy;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    ::SetDIBitsToDevice(dc, kPreviewLeft, kPreviewTop, static_cast<DWORD>(preview_size_.cx),
                        static_cast<DWORD>(preview_size_.cy), 0, 0, 0,
                        static_cast<UINT>(preview_size_.cy), preview_pixels_.data(), &info,
                        DIB_RGB_COLORS);
  }
  ::EndPaint(hwnd_, &paint);
}

COLORREF FormWindow::PreviewPixel(int x, int y) const {
  const std::uint32_t bgr =
      preview_pixels_.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(preview_size_.cx) +
                         static_cast<std::size_t>(x));
  return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
}

std::string FormWindow::BoxText(Box box) const {
  return Narrow(WindowText(BoxOf(box)));
}

void FormWindow::SetBoxText(Box box, const std::string& text) {
  ::SetWindowTextW(BoxOf(box), Widen(text).c_str());
}

void FormWindow::FocusBox(Box box) {
  focus_ = BoxOf(box);
  ::SetFocus(focus_);
}

std::optional<std::string> FormWindow::ChooseFile(const std::string& offered) {
  return desktop_->ChooseFile(hwnd_, offered);
}

void FormWindow::OpenAddress(const std::string& address) {
  desktop_->OpenAddress(hwnd_, address);
}

void FormWindow::ShowErrorBox(const std::string& caption, const std::string& text) {
  CurrentUi().ShowMessage(MessageKind::Error, caption, text);
}

void FormWindow::SetCursor(CursorKind cursor) {
  SetApplicationCursor(cursor);
}

void FormWindow::ShowPreview(const FormPreview& preview) {
  // The picture over the button face: a no-data pixel shows the background.
  const RgbaImage& picture = preview.picture;
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  const unsigned face_rgb[3] = {GetRValue(face), GetGValue(face), GetBValue(face)};
  preview_size_ = {picture.width, picture.height};
  preview_pixels_.assign(
      static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height), 0);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::array<std::uint8_t, 4> rgba = picture.at(x, y);
      unsigned mixed[3];
      for (int c = 0; c < 3; ++c) {
        mixed[c] = (rgba[c] * rgba[3] + face_rgb[c] * (255u - rgba[3]) + 127u) / 255u;
      }
      preview_pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                      static_cast<std::size_t>(x)] = (mixed[0] << 16) | (mixed[1] << 8) | mixed[2];
    }
  }
  const int info_top = kPreviewTop + picture.height + kInfoGap;
  ::SetWindowTextW(preview_info_, Widen(preview.info).c_str());
  ::SetWindowPos(preview_info_, nullptr, kPreviewLeft, info_top, kPreviewWidth, kInfoHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);

  // The window grows to hold the panel below the controls.
  RECT outer{0, 0, 0, 0};
  ::GetWindowRect(hwnd_, &outer);
  RECT needed{0, 0, kFormClientWidth, info_top + kInfoHeight + kPanelBottomGap};
  ::AdjustWindowRectEx(&needed, kWindowStyle, FALSE, kWindowExStyle);
  const int height = std::max<int>(kFormOuterHeight, needed.bottom - needed.top);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

int RunFormWindow() {
  Win32Ui ui;
  ScopedUi installed(ui);
  // The core's diagnostic lines go to the process's standard output.
  SendCoreDiagnosticsTo(stdout);
  FormWindow form;
  if (form.Handle() == nullptr) return 1;  // no window station or display to show it on
  form.EndProgramWhenClosed();
  ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
  ::UpdateWindow(form.Handle());
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form.PreTranslate(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace kova::win32
