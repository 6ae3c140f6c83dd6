// Shows the window, converts a small generated grid in a temporary folder on
// the template beside this program, and writes the window with its preview
// panel, frame included, as a 24-bit BMP file:
//
//   tarvo2kova_screenshot OUTPUT.bmp
//
// Run under Wine on an X display (tools/win32_screenshot.sh turns the BMP
// into the PNG of the documentation).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/inputs/child_process.h"  // ServeChildIfAsked
#include "app/platform/paths.h"
#include "app/platform/process.h"
#include "app/platform/win32/wide.h"
#include "app/window/win32/form_window.h"

namespace {

// Prints what the run reports instead of showing it, so nothing is modal.
class PrintingUi : public kova::Ui {
 public:
  void ShowMessage(kova::MessageKind, const std::string& caption,
                   const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void SetCursor(kova::CursorKind) override {}
};

void WriteSampleGrid(const std::string& path) {
  std::ofstream file(kova::FileSystemPath(path), std::ios::binary);
  file << "columns 40\nrows 20\nleft 20.0\nbottom 55.0\ncell 0.25\nnodata -9999\n";
  for (int row = 0; row < 20; ++row) {
    for (int col = 0; col < 40; ++col) {
      if ((row + col) % 17 == 0) {
        file << "-9999";
      } else {
        file << row * 1.5 + col * 0.25;
      }
      file << (col + 1 < 40 ? ' ' : '\n');
    }
  }
}

// Lets the window handle what is queued for it, for about `milliseconds`.
void Pump(DWORD milliseconds) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  while (::GetTickCount64() < end) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(10);
  }
}

// The window as it shows on the screen, frame included, as a BMP file.
bool SaveWindow(HWND hwnd, const std::string& path) {
  RECT outer;
  ::GetWindowRect(hwnd, &outer);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, outer.left, outer.top, SRCCOPY);
  ::SelectObject(memory, old);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom row first, as BMP files keep them
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) / 4 * 4;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * height);
  const int rows = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (rows != height) return false;

  BITMAPFILEHEADER file_header{};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof file_header + sizeof header;
  file_header.bfSize = static_cast<DWORD>(file_header.bfOffBits + pixels.size());
  header.biSizeImage = static_cast<DWORD>(pixels.size());
  std::ofstream file(kova::FileSystemPath(path), std::ios::binary);
  file.write(reinterpret_cast<const char*>(&file_header), sizeof file_header);
  file.write(reinterpret_cast<const char*>(&header), sizeof header);
  file.write(reinterpret_cast<const char*>(pixels.data()),
             static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  kova::inputs::ServeChildIfAsked();
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 2) {
    std::fprintf(stderr, "usage: tarvo2kova_screenshot OUTPUT.bmp\n");
    return 2;
  }
  const std::string output = kova::win32::Narrow(argv[1]);
  ::LocalFree(argv);

  std::error_code ec;
  const std::filesystem::path work =
      std::filesystem::temp_directory_path(ec) /
      ("tarvo2kova-screenshot-" + std::to_string(::GetCurrentProcessId()));
  std::filesystem::create_directories(work, ec);
  const std::string folder = kova::Utf8Path(work);
  const std::string grid = kova::JoinPath(folder, "precipitation_2023.asc");
  WriteSampleGrid(grid);

  PrintingUi ui;
  kova::ScopedUi installed(ui);
  int result = 0;
  {
    kova::FormPaths paths{kova::JoinPath(folder, "tarvo2kova.ini"),
                          kova::ProgramDirectory() + "template.img", folder};
    kova::win32::FormWindow window(paths);
    ::SetWindowTextW(window.Control(kova::FormControl::Edit1), kova::win32::Widen(grid).c_str());
    ::SetWindowTextW(window.Control(kova::FormControl::Edit2),
                     kova::win32::Widen(kova::JoinPath(folder, "precipitation_2023.img")).c_str());
    ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
    ::SetForegroundWindow(window.Handle());
    Pump(500);
    // "Make Kova image" clicked, as the button reports it.
    HWND button = window.Control(kova::FormControl::Button1);
    ::SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    Pump(1000);
    if (window.Handle() == nullptr) {
      std::fprintf(stderr, "the window could not be made (no display?)\n");
      result = 1;
    } else if (window.PreviewSize().cx == 0) {
      std::fprintf(stderr, "the run opened no preview\n");
      result = 1;
    } else if (!SaveWindow(window.Handle(), output)) {
      std::fprintf(stderr, "cannot write %s\n", output.c_str());
      result = 1;
    }
  }
  std::filesystem::remove_all(work, ec);
  return result;
}
