#include "platform/win32/main_window.h"

#include <algorithm>

#include "platform/win32/wide_text.h"

namespace tornello {

namespace {
constexpr wchar_t class_name[] = L"TornelloWindow";
}  // namespace

WindowPlacement place_main_window(int display_width, int display_height, const RECT& outer) {
  WindowPlacement placement;
  placement.width = std::min<int>(outer.right - outer.left, display_width);
  placement.height = std::min<int>(outer.bottom - outer.top, display_height);
  placement.x = (display_width - placement.width) / 2;
  placement.y = (display_height - placement.height) / 2;
  return placement;
}

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  // Only the main menu's Exit item ends the game; a close request is dropped.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, w, l);
}

bool MainWindow::open(const std::string& title) {
  if (window_) return true;
  instance_ = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &MainWindow::procedure;
  window_class.hInstance = instance_;
  window_class.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // Nothing is ever drawn: every repaint is the black background.
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = class_name;
  if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }

  const int display_width = GetSystemMetrics(SM_CXSCREEN);
  const int display_height = GetSystemMetrics(SM_CYSCREEN);
  RECT outer{0, 0, display_width, display_height};
  AdjustWindowRectEx(&outer, style, FALSE, 0);
  const WindowPlacement placement = place_main_window(display_width, display_height, outer);
  window_ =
      CreateWindowExW(0, class_name, widen(title).c_str(), style, placement.x, placement.y,
                      placement.width, placement.height, nullptr, nullptr, instance_, nullptr);
  if (!window_) return false;
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  SetForegroundWindow(window_);
  return true;
}

void MainWindow::set_title(const std::string& text) {
  if (window_) SetWindowTextW(window_, widen(text).c_str());
}

int MainWindow::pump(int timeout_ms) {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (timeout_ms <= 0) return 0;
    const DWORD woke = MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(timeout_ms),
                                                   QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke != WAIT_OBJECT_0 || !PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return 0;
  }
  const bool repeat = (message.lParam & (1 << 30)) != 0;
  if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) && !repeat) {
    // The scan code, with the extended-key flag as its top bit, is the
    // DirectInput key code.
    const auto scan = static_cast<size_t>((message.lParam >> 16) & 0x7F);
    const bool extended = (message.lParam & (1 << 24)) != 0;
    ++presses_[scan | (extended ? 0x80 : 0)];
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
  return static_cast<int>(message.message);
}

void MainWindow::close() {
  if (!window_) return;
  DestroyWindow(window_);
  window_ = nullptr;
  UnregisterClassW(class_name, instance_);
}

}  // namespace tornello
