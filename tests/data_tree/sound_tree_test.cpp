// The generated sound tree as the game meets it: every file the game asks for
// loads and is fit to play.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string_view>

#include "assets/generate.h"
#include "assets/mix.h"
#include "assets/wav.h"
#include "audio/announcer.h"
#include "audio/audio_test_support.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "audio/wav_reader.h"
#include "data_tree/generated_tree.h"
#include "shell/character_select.h"
#include "shell/language.h"
#include "shell/menu.h"
#include "shell/shell_fixture.h"
#include "shell/text_entries.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;

// The calls of a point and of the match's end, and every score to 21.
std::vector<std::string> announcer_names() {
  std::vector<std::string> names = {"gamestart", "scores", "youwin", "theywin"};
  for (int k = 1; k <= 5; ++k) names.push_back("score" + std::to_string(k));
  for (int n = 0; n <= 21; ++n) names.push_back(std::to_string(n));
  return names;
}

// As each stage asks ("charselect" and "Charselect" are one file).
const std::vector<std::string> music_tracks = {"title",      "Menu",       "connection",
                                               "charselect", "Charselect", "InGame"};

// Looped by the match: they must join without a click.
const std::vector<std::string> looped_effects = {"Sounds/pong/rolling.wav",
                                                 "sounds/misc/shieldloop.wav",
                                                 "sounds/crowd/loop.wav", "sounds/crowd/chant.wav"};

// A headless game among the generated sounds and the committed texts.
class GameDataTest : public ShellTest {
 protected:
  void SetUp() override {
    REQUIRE_GENERATED_TREE(tree);
    const fs::path source = fs::path(TORNELLO_SOURCE_DIR) / "data";
    fs::create_directory_symlink(fs::path(tree.data_dir) / "Sounds",
                                 fs::path(data.path()) / "Sounds");
    fs::create_directory_symlink(source / "lang", fs::path(data.path()) / "lang");
    fs::create_directory_symlink(source / "Menu", fs::path(data.path()) / "Menu");
    game->files.clear();
  }

  // Every step of the game that loads a sound, as a player reaches it; the loads.
  // On the way, each language's committed texts: a line per entry, each fit to
  // speak, and the menus with their items (an item's meaning is its position).
  std::vector<SoundEvent> load_everything() {
    load_sound_bank(game->bank, game->sound, game->files, game->settings.goal_sound_count);
    for (const char* language : {"EN", "DE"}) {
      game->settings.language = language;
      std::ifstream file(fs::path(data.path()) / "lang" / (std::string(language) + ".lng"));
      EXPECT_EQ(std::count(std::istreambuf_iterator<char>(file), {}, '\n'), entry::last);
      LanguageTable table;
      EXPECT_TRUE(table.load(game->files, language));
      for (int n = 1; n <= entry::last; ++n) {
        const std::string& text = table.text(n);
        const bool blank_end = text.empty() || std::isspace(static_cast<unsigned char>(text[0])) ||
                               std::isspace(static_cast<unsigned char>(text.back()));
        EXPECT_FALSE(blank_end) << language << " entry " << n << ": '" << text << "'";
      }
      for (const auto& [menu, items] : {std::pair{"main", 6u}, {"connect", 5u}, {"gamemode", 2u}}) {
        EXPECT_EQ(read_menu_file(game->files, menu_path(language, menu)).value().items.size(),
                  items);
        script.tap(key::enter);
        EXPECT_EQ(run_menu(*game, menu), 1) << language << " " << menu;
      }
    }
    for (int step = 0; step < 5; ++step) script.tap(key::right);
    script.tap(key::enter);
    EXPECT_EQ(choose_character(*game), 5);
    for (const std::string& name : announcer_names()) {
      play_announcement(game->announcer, game->sound, game->files, platform, name, 0);
    }
    for (const std::string& track : music_tracks) {
      play_music(game->music, game->sound, game->files, track, false, 5.0f);
    }
    std::vector<SoundEvent> loads;
    for (const SoundEvent& event : log.events()) {
      if (event.kind == SoundEventKind::load) loads.push_back(event);
    }
    return loads;
  }

  // The decoded file the game's path names (nothing when it cannot be read).
  DecodedSound decode(const std::string& game_path) {
    const auto path = game->files.resolve(game_path);
    const auto bytes = read_file_bytes(path.value_or(""));
    if (!bytes) {
      ADD_FAILURE() << game_path << " cannot be read";
      return {};
    }
    const auto sound = read_wav(*bytes, 44100);
    if (!sound) ADD_FAILURE() << game_path << " is not a sound the game can read";
    return sound.value_or(DecodedSound{});
  }
};

// Every file is plain 16-bit PCM at the game's rate, at its role's loudness and
// under its peak, never at full scale; no two alike, the tree under 60 MB; loops
// join without a click.
TEST_F(GameDataTest, EverySoundTheGameAsksForLoadsAndSitsAtItsRolesLoudness) {
  const std::vector<SoundEvent> loads = load_everything();
  std::map<std::string, double> lufs;      // by path below the data folder
  std::map<size_t, std::string> contents;  // the bytes' hash -> path: no two files alike
  size_t total_bytes = 0;
  for (const SoundEvent& load : loads) {
    SCOPED_TRACE(load.path);
    EXPECT_NE(load.handle, 0u) << "did not load";
    const auto path = game->files.resolve(load.path);
    ASSERT_TRUE(path);
    const std::string& relative = *path;  // below the working directory, as spelt on disk
    if (lufs.count(relative)) continue;
    const auto bytes = read_file_bytes(*path);
    ASSERT_TRUE(bytes);
    total_bytes += bytes->size();
    const std::string_view whole(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    const auto [copy, fresh] = contents.emplace(std::hash<std::string_view>{}(whole), relative);
    EXPECT_TRUE(fresh) << "a copy of " << copy->second;
    const auto chunks = find_wav_chunks(*bytes);
    ASSERT_TRUE(chunks);
    const int channels = path->find("/Music/") != std::string::npos ? 2 : 1;
    EXPECT_EQ(std::string(chunks->format.begin(), chunks->format.end()),
              test::fmt_body(1, channels, 44100, 16))
        << "16-bit integer PCM at 44100 Hz; music is stereo, the rest mono";
    EXPECT_EQ(chunks->samples.size() % (2 * channels), 0u) << "whole frames";
    const DecodedSound sound = decode(load.path);
    const float highest = assets::peak({sound.channels, sound.samples});
    const assets::Role& role = assets::role_of(relative);
    lufs[relative] = assets::loudness({sound.channels, sound.samples});
    EXPECT_NEAR(lufs[relative], role.lufs, 0.5) << role.name;
    EXPECT_LE(highest, std::min(role.ceiling + 1e-3f, 32767.0f / 32768.0f)) << role.name;
  }
  EXPECT_EQ(lufs.size(), assets::generated_paths().size())
      << "every generated file is one the game loads";
  EXPECT_LT(total_bytes, 60u * 1000 * 1000);
  // The chant at its highest level, 100, stays under the ball at the far end, 20.
  EXPECT_LE(lufs["Sounds/crowd/chant.wav"],
            lufs["Sounds/Pong/rolling.wav"] + 20.0 * std::log10(0.2));
  // Looped sounds join without a click: no step at the join beyond its neighbours.
  std::vector<std::string> loops = looped_effects;
  for (const std::string& track : music_tracks) loops.push_back("Sounds/Music/" + track + ".wav");
  for (const std::string& loop : loops) {
    SCOPED_TRACE(loop);
    const DecodedSound sound = decode(loop);
    const size_t frames = sound.frames();
    ASSERT_GT(frames, 256u);
    for (int channel = 0; channel < sound.channels; ++channel) {
      const auto at = [&](size_t frame) { return sound.samples[frame * sound.channels + channel]; };
      float neighbours = 0.0f;
      for (size_t k = 0; k < 64; ++k) {
        neighbours = std::max(neighbours, std::abs(at(k + 1) - at(k)));
        neighbours = std::max(neighbours, std::abs(at(frames - 1 - k) - at(frames - 2 - k)));
      }
      EXPECT_LE(std::abs(at(0) - at(frames - 1)), neighbours + 0.002f) << "channel " << channel;
    }
  }
}

}  // namespace
}  // namespace tornello
