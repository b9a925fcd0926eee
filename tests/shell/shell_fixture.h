// A headless game in a temporary data tree, logging every spoken line and sound call.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/sound_log.h"
#include "audio/wav_writer.h"
#include "session/autopilot.h"
#include "shell/game.h"
#include "support/temp_dir.h"

namespace tornello {

using Lines = std::vector<std::string>;

class ShellTest : public ::testing::Test {
 protected:
  ShellTest() : cwd(data.path()) {
    platform.set_input(&script);
    // A loop that never leaves fails at once instead of hanging.
    script.on_empty = [](ScriptedInput&) { throw std::runtime_error("the script ran out"); };
    game = std::make_unique<Game>(platform);
    game->keyboard.init(platform);
    game->sound.init(platform.audio());
    game->sound.set_log(&log);
  }
  ~ShellTest() override { game->sound.free_all(); }

  void write_sound(const std::string& path) {
    const std::vector<uint8_t> bytes = encode_wav(std::vector<int16_t>(64, 1000), 1, 22050);
    data.write(path, std::string(bytes.begin(), bytes.end()));
  }
  void write_menu_sounds() {
    for (const char* name : {"Open", "Click", "Select"})
      write_sound(std::string("Sounds/Menu/") + name + ".wav");
  }

  // Ends the script with one pass with every key up, noting when it came.
  void release_all_at_end(uint32_t& released_at) {
    script.on_empty = [this, &released_at](ScriptedInput& s) {
      if (released_at != 0) throw std::runtime_error("the script ran out");
      released_at = platform.elapsed_ms();
      s.idle();
    };
  }

  // Walks a menu to item `item` from its first item and lets go of Enter.
  void choose(int item) {
    for (int n = 1; n < item; ++n) script.tap(key::down);
    script.tap(key::enter);
  }

  Lines played() const {
    Lines paths;
    for (const SoundEvent& event : log.events()) {
      if (event.kind == SoundEventKind::play && event.live) paths.push_back(event.path);
    }
    return paths;
  }
  // The log's events of a kind, of one path if one is given.
  std::vector<SoundEvent> events(SoundEventKind kind, const std::string& path = "") const {
    std::vector<SoundEvent> found;
    for (const SoundEvent& e : log.events()) {
      if (e.kind == kind && (path.empty() || e.path == path)) found.push_back(e);
    }
    return found;
  }
  const Lines& spoken() const { return platform.titles(); }
  Lines spoken_since(size_t from) const { return Lines(spoken().begin() + from, spoken().end()); }

  TempDir data;
  WorkingDirectory cwd;
  ListeningPlatform platform;
  ScriptedInput script;
  SoundLog log;
  std::unique_ptr<Game> game;
};

}  // namespace tornello
