// The game's one top-level window: black, a title bar and nothing else, as large
// as the primary display allows. Its title carries every spoken line.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

namespace tornello {

// Where a window with a client area of the display's size goes: its outer size
// (client plus frame) clamped to the display, centred on it.
struct WindowPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};
WindowPlacement place_main_window(int display_width, int display_height, const RECT& outer);

class MainWindow {
 public:
  // Title bar only: no system menu, so no close, minimise or maximise box, and
  // no sizing border.
  static constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION;

  MainWindow() = default;
  ~MainWindow() { close(); }
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  bool open(const std::string& title);
  void set_title(const std::string& text);
  // Dispatches at most one waiting message, waiting up to timeout_ms for one.
  // Returns the message handled, or 0.
  int pump(int timeout_ms);
  // How many times each key (by DirectInput code) has been pressed while this
  // window had the focus, repeats not counted.
  const std::array<uint32_t, 256>& presses() const { return presses_; }
  HWND handle() const { return window_; }
  void close();

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);

  HWND window_ = nullptr;
  HINSTANCE instance_ = nullptr;
  std::array<uint32_t, 256> presses_{};
};

}  // namespace tornello
