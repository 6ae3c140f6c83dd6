#include "app/window/win32/win32_ui.h"

#include "app/platform/win32/wide.h"

namespace kova::win32 {
namespace {

CursorKind application_cursor = CursorKind::Default;

HCURSOR CursorOf(CursorKind cursor) {
  switch (cursor) {
    case CursorKind::Busy:
      return ::LoadCursorW(nullptr, IDC_WAIT);
    case CursorKind::Hand:
      return ::LoadCursorW(nullptr, IDC_HAND);
    case CursorKind::Default:
      break;
  }
  return ::LoadCursorW(nullptr, IDC_ARROW);
}

}  // namespace

void Win32Ui::ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) {
  const UINT symbol = kind == MessageKind::Error ? MB_ICONERROR : MB_ICONINFORMATION;
  ::MessageBoxW(::GetActiveWindow(), Widen(text).c_str(), Widen(caption).c_str(), MB_OK | symbol);
}

void Win32Ui::SetCursor(CursorKind cursor) {
  SetApplicationCursor(cursor);
}

void SetApplicationCursor(CursorKind cursor) {
  application_cursor = cursor;
  // A run blocks the message loop, so the busy cursor must show now.
  ::SetCursor(CursorOf(cursor));
}

CursorKind ApplicationCursor() {
  return application_cursor;
}

bool ApplyApplicationCursor() {
  if (application_cursor == CursorKind::Default) return false;
  ::SetCursor(CursorOf(application_cursor));
  return true;
}

}  // namespace kova::win32
