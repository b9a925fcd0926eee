#include "platform/platform.h"

namespace tornello {

void Platform::delay_ms(int32_t ms) {
  const uint32_t start = elapsed_ms();
  int32_t waited = 0;
  do {
    // The bulk in the event wait, which events may end early; the last
    // millisecond in pump_events, which ends on the clock's tick, so the delay
    // does not overshoot.
    if (ms - waited > 0) {
      wait_for_input(ms - waited);
    } else {
      pump_events(1);
    }
    waited = ms_between(start, elapsed_ms());
  } while (waited <= ms);
}

void fold_keypad(KeyboardSnapshot& snapshot, bool num_lock) {
  struct Fold {
    KeyCode keypad;
    KeyCode key;
  };
  // The keypad's own codes in the same numbering: 8 = 0x48, 2 = 0x50, and so on.
  static constexpr Fold arrows[] = {{0x48, key::up},      {0x50, key::down},
                                    {0x4B, key::left},    {0x4D, key::right},
                                    {0x49, key::page_up}, {0x51, key::page_down}};
  snapshot.keys[key::enter] |= snapshot.keys[key::keypad_enter];
  if (num_lock) return;
  for (const Fold& fold : arrows) snapshot.keys[fold.key] |= snapshot.keys[fold.keypad];
}

std::string prompt_line(const std::string& title, const std::string& prompt,
                        const std::string& default_text) {
  const std::string asked = title.empty() ? prompt : title + ". " + prompt;
  return default_text.empty() ? asked : asked + ": " + default_text;
}

}  // namespace tornello
