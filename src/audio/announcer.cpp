#include "audio/announcer.h"

#include "platform/platform.h"

namespace tornello {

void play_announcement(Announcer& announcer, SoundEngine& engine, FileLookup& files,
                       Platform& platform, const std::string& name, int32_t hold_ms) {
  if (engine.is_loaded(announcer.current)) engine.free(announcer.current);
  announcer.current = engine.load(files, "sounds/announcer/" + name + ".wav");
  engine.play(announcer.current);

  // Only window events are served while the voice speaks: the game itself waits.
  platform.delay_ms(hold_ms);
}

}  // namespace tornello
