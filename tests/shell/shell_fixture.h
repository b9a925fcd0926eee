// A headless game in a temporary data tree, for the menu, main menu and
// character selection tests: scripted keys, a virtual clock, a log of every
// spoken line and every sound-engine call.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/sound_log.h"
#include "audio/wav_writer.h"
#include "platform/headless/headless_platform.h"
#include "shell/game.h"
#include "support/temp_dir.h"

namespace tornello {

// Thrown when a loop asks for more input than its script holds, so a test whose
// game never leaves its loop fails at once instead of hanging.
struct ScriptRanOut : std::runtime_error {
  ScriptRanOut() : std::runtime_error("the game wanted more input than the script held") {}
};

class ShellTest : public ::testing::Test {
 protected:
  ShellTest() : cwd(data.path()) {
    platform.set_input(&script);
    script.on_empty = [](ScriptedInput&) { throw ScriptRanOut(); };
    game = std::make_unique<Game>(platform);
    game->keyboard.init(platform);
    game->sound.init(platform.audio());
    game->sound.set_log(&log);
  }
  ~ShellTest() override { game->sound.free_all(); }

  // A short, valid sound at `path` below the data tree.
  void write_sound(const std::string& path) {
    const std::vector<int16_t> samples(64, 1000);
    const std::vector<uint8_t> bytes = encode_wav(samples, 1, 22050);
    data.write(path, std::string(bytes.begin(), bytes.end()));
  }

  void write_menu_sounds() {
    for (const char* name : {"Open", "Click", "Select"}) {
      write_sound(std::string("Sounds/Menu/") + name + ".wav");
    }
  }

  // Ends the script with one pass with every key up, whose clock reading is
  // kept: the moment a held key is let go.
  void release_all_at_end(uint32_t& released_at) {
    script.on_empty = [this, &released_at](ScriptedInput& s) {
      if (released_at != 0) throw ScriptRanOut();
      released_at = platform.elapsed_ms();
      s.idle();
    };
  }

  // Walks a menu to item `item` from its first item and lets go of Enter.
  void choose(int item) {
    for (int n = 1; n < item; ++n) script.tap(key::down);
    script.tap(key::enter);
  }

  // The paths of the sounds that started playing, in order.
  std::vector<std::string> played() const {
    std::vector<std::string> paths;
    for (const SoundEvent& event : log.events()) {
      if (event.kind == SoundEventKind::play && event.live) paths.push_back(event.path);
    }
    return paths;
  }
  size_t count(SoundEventKind kind, const std::string& path) const {
    size_t n = 0;
    for (const SoundEvent& event : log.events()) n += event.kind == kind && event.path == path;
    return n;
  }

  std::vector<std::string> spoken() const { return platform.titles(); }

  TempDir data;
  WorkingDirectory cwd;
  HeadlessPlatform platform;
  ScriptedInput script;
  SoundLog log;
  std::unique_ptr<Game> game;
};

}  // namespace tornello
