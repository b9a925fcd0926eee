// The game's text prompt: a small modal Win32 window with a one-line prompt, an
// edit field holding the default text and an OK button. Standard controls, so a
// screen reader reads it like any other dialog.
#pragma once

#include <string>

namespace tornello {

// Layout of the dialog in pixels: its outer size and the controls' places in its
// client area.
namespace text_dialog {
inline constexpr int width = 300, height = 130;
inline constexpr int label_x = 10, label_y = 10, label_width = 280, label_height = 22;
inline constexpr int edit_x = 10, edit_y = 32, edit_width = 275, edit_height = 21;
inline constexpr int ok_x = 110, ok_y = 67, ok_width = 80, ok_height = 25;
inline constexpr int edit_id = 100;
inline constexpr wchar_t class_name[] = L"TornelloTextPrompt";
}  // namespace text_dialog

// Shows the dialog and waits until it closes. OK or Enter gives the edit field's
// text; Escape or a close request gives "". Every other window of the calling
// thread is disabled while it is up.
std::string ask_text_dialog(const std::string& title, const std::string& prompt,
                            const std::string& default_text);

}  // namespace tornello
