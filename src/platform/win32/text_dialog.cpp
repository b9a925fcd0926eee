#include "platform/win32/text_dialog.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_text.h"

namespace tornello {

namespace {

// Everything one dialog needs, reached from its window procedure through the
// window's user data.
struct Dialog {
  HWND window = nullptr;
  HWND edit = nullptr;
  std::vector<HWND> disabled;  // windows to enable again
  std::vector<HWND> lowered;   // windows that were top-most
  std::wstring answer;
  bool done = false;
};

BOOL CALLBACK collect_window(HWND window, LPARAM dialog_address) {
  auto* dialog = reinterpret_cast<Dialog*>(dialog_address);
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  EnableWindow(window, FALSE);
  dialog->disabled.push_back(window);
  if (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    dialog->lowered.push_back(window);
  }
  return TRUE;
}

void disable_other_windows(Dialog& dialog, HWND owner) {
  EnumThreadWindows(GetCurrentThreadId(), &collect_window, reinterpret_cast<LPARAM>(&dialog));
  if (owner && IsWindowEnabled(owner)) {
    EnableWindow(owner, FALSE);
    dialog.disabled.push_back(owner);
  }
}

void restore_other_windows(Dialog& dialog) {
  for (HWND window : dialog.disabled) EnableWindow(window, TRUE);
  for (HWND window : dialog.lowered) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  dialog.disabled.clear();
  dialog.lowered.clear();
}

// Closes the dialog, with or without an answer. The other windows come back
// before the dialog goes, so the focus returns to the game's window.
void finish(Dialog& dialog, bool confirmed) {
  if (confirmed) {
    const int length = GetWindowTextLengthW(dialog.edit);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(dialog.edit, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    dialog.answer = std::move(text);
  }
  restore_other_windows(dialog);
  DestroyWindow(dialog.window);
}

LRESULT CALLBACK dialog_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(l);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!dialog) return DefWindowProcW(window, message, w, l);
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
        finish(*dialog, LOWORD(w) == IDOK);
        return 0;
      }
      break;
    case WM_CLOSE:
      finish(*dialog, false);
      return 0;
    case WM_DESTROY:
      dialog->done = true;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, w, l);
}

// The foreground window when it is one of ours, else none.
HWND own_foreground_window() {
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  if (!foreground || !GetWindowThreadProcessId(foreground, &process)) return nullptr;
  return process == GetCurrentProcessId() ? foreground : nullptr;
}

HWND add_control(Dialog& dialog, DWORD extended_style, const wchar_t* kind,
                 const std::wstring& text, DWORD style, int x, int y, int width, int height,
                 int id) {
  HWND control = CreateWindowExW(extended_style, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                 x, y, width, height, dialog.window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return control;
}

}  // namespace

std::string ask_text_dialog(const std::string& title, const std::string& prompt,
                            const std::string& default_text) {
  namespace layout = text_dialog;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW dialog_class{};
  dialog_class.cbSize = sizeof dialog_class;
  dialog_class.lpfnWndProc = &dialog_procedure;
  dialog_class.hInstance = instance;
  dialog_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  dialog_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  dialog_class.lpszClassName = layout::class_name;
  if (!RegisterClassExW(&dialog_class)) return "";

  Dialog dialog;
  HWND owner = own_foreground_window();
  disable_other_windows(dialog, owner);
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - layout::width / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - layout::height / 2;
  dialog.window = CreateWindowExW(WS_EX_DLGMODALFRAME, layout::class_name, widen(title).c_str(),
                                  WS_POPUP | WS_CAPTION | WS_VISIBLE, x, y, layout::width,
                                  layout::height, owner, nullptr, instance, &dialog);
  if (!dialog.window) {
    restore_other_windows(dialog);
    UnregisterClassW(layout::class_name, instance);
    return "";
  }
  add_control(dialog, 0, L"STATIC", widen(prompt), SS_LEFTNOWORDWRAP | SS_NOPREFIX, layout::label_x,
              layout::label_y, layout::label_width, layout::label_height, 0);
  dialog.edit = add_control(dialog, WS_EX_CLIENTEDGE, L"EDIT", widen(default_text),
                            WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, layout::edit_x, layout::edit_y,
                            layout::edit_width, layout::edit_height, layout::edit_id);
  add_control(dialog, 0, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, layout::ok_x,
              layout::ok_y, layout::ok_width, layout::ok_height, IDOK);
  // Caret after the default text, nothing selected.
  const LRESULT end = GetWindowTextLengthW(dialog.edit);
  SendMessageW(dialog.edit, EM_SETSEL, static_cast<WPARAM>(end), end);
  SetFocus(dialog.edit);
  SetForegroundWindow(dialog.window);
  BringWindowToTop(dialog.window);

  ACCEL keys[] = {{FVIRTKEY, VK_RETURN, IDOK}, {FVIRTKEY, VK_ESCAPE, IDCANCEL}};
  HACCEL shortcuts = CreateAcceleratorTableW(keys, 2);
  MSG message;
  while (!dialog.done) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // A quit request belongs to whoever runs the outer loop.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      if (!dialog.done) finish(dialog, false);
      break;
    }
    if (!TranslateAcceleratorW(dialog.window, shortcuts, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  DestroyAcceleratorTable(shortcuts);
  UnregisterClassW(layout::class_name, instance);
  return narrow(dialog.answer);
}

}  // namespace tornello
