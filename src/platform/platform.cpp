#include "platform/platform.h"

namespace tornello {

void Platform::delay_ms(int32_t ms) {
  const uint32_t start = elapsed_ms();
  do {
    pump_events(1);
  } while (ms_between(start, elapsed_ms()) <= ms);
}

}  // namespace tornello
