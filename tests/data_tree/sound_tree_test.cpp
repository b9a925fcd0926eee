// The generated sound tree as the game meets it: every file the game's own code
// asks for is found and loads, and the sounds are fit to play (format, loops
// without clicks, no clipping, music loud enough at its low default level).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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
#include "shell/menu.h"
#include "shell/shell_fixture.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;

// The announcer's names: the calls of a point and of the match's end, and every
// score a match to 21 can reach.
std::vector<std::string> announcer_names() {
  std::vector<std::string> names = {"gamestart", "scores", "youwin", "theywin"};
  for (int k = 1; k <= 5; ++k) names.push_back("score" + std::to_string(k));
  for (int n = 0; n <= 21; ++n) names.push_back(std::to_string(n));
  return names;
}

// The track names as each stage asks for them ("charselect" and "Charselect" are
// two requests for one file).
const std::vector<std::string> music_tracks = {"title",      "Menu",       "connection",
                                               "charselect", "Charselect", "InGame"};

// Played looped by the match: they must join without a click.
const std::vector<std::string> looped_effects = {"Sounds/pong/rolling.wav",
                                                 "sounds/misc/shieldloop.wav",
                                                 "sounds/crowd/loop.wav", "sounds/crowd/chant.wav"};

float peak(const DecodedSound& sound) {
  float highest = 0.0f;
  for (float value : sound.samples) highest = std::max(highest, std::abs(value));
  return highest;
}

// A headless game whose working directory holds the generated sounds beside the
// committed language and menu files.
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

  // Runs every step of the game that loads a sound, as a player would reach it,
  // and returns the engine's log of loads (path and handle).
  std::vector<SoundEvent> load_everything() {
    load_sound_bank(game->bank, game->sound, game->files, game->settings.goal_sound_count);
    for (const char* language : {"EN", "DE"}) {
      game->settings.language = language;
      for (const char* menu : {"main", "connect", "gamemode"}) {
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

// Every load the game makes finds its file, and every file is plain 16-bit PCM at
// the game's rate, at its role's loudness in the mix, under its role's peak and
// never at full scale. The table is the mix as written.
TEST_F(GameDataTest, EverySoundTheGameAsksForLoadsAndSitsAtItsRolesLoudness) {
  const std::vector<SoundEvent> loads = load_everything();
  struct Measured {
    double quietest = 0.0, loudest = -100.0;
    float highest = 0.0f;
    int files = 0;
  };
  std::map<std::string_view, Measured> table;
  std::map<std::string, double> lufs;  // by path below the data folder
  for (const SoundEvent& load : loads) {
    SCOPED_TRACE(load.path);
    EXPECT_NE(load.handle, 0u) << "did not load";
    const auto path = game->files.resolve(load.path);
    ASSERT_TRUE(path);
    const std::string& relative = *path;  // below the working directory, as spelt on disk
    if (lufs.count(relative)) continue;
    const auto bytes = read_file_bytes(*path);
    ASSERT_TRUE(bytes);
    const auto chunks = find_wav_chunks(*bytes);
    ASSERT_TRUE(chunks);
    const int channels = path->find("/Music/") != std::string::npos ? 2 : 1;
    EXPECT_EQ(std::string(chunks->format.begin(), chunks->format.end()),
              test::fmt_body(1, channels, 44100, 16))
        << "16-bit integer PCM at 44100 Hz; music is stereo, the rest mono";
    EXPECT_EQ(chunks->samples.size() % (2 * channels), 0u) << "whole frames";
    const DecodedSound sound = decode(load.path);
    const float highest = peak(sound);
    const assets::Role& role = assets::role_of(relative);
    lufs[relative] = assets::loudness({sound.channels, sound.samples});
    EXPECT_NEAR(lufs[relative], role.lufs, 0.5) << role.name;
    EXPECT_LE(highest, std::min(role.ceiling + 1e-3f, 32767.0f / 32768.0f)) << role.name;
    Measured& row = table[role.name];
    row = {std::min(row.quietest, lufs[relative]), std::max(row.loudest, lufs[relative]),
           std::max(row.highest, highest), row.files + 1};
  }
  EXPECT_EQ(lufs.size(), assets::generated_paths().size())
      << "every generated file is one the game loads";
  std::printf("[ mix ] role              files   target  measured LUFS   peak dBFS\n");
  for (const assets::Role& role : assets::roles()) {
    const Measured& row = table[role.name];
    std::printf("[ mix ] %-17s %5d   %6.1f  %6.1f .. %5.1f   %5.1f\n",
                std::string(role.name).c_str(), row.files, role.lufs, row.quietest, row.loudest,
                20.0 * std::log10(row.highest));
  }
  // The chant at its highest level, 100, stays under the ball at the far end, 20.
  EXPECT_LE(lufs["Sounds/crowd/chant.wav"],
            lufs["Sounds/Pong/rolling.wav"] + 20.0 * std::log10(0.2));
}

// The step from the last sample back to the first, against the largest step
// near the join inside the file: a click is a jump far beyond its neighbours.
// Music tracks also last and carry at their default level, 5 of 100.
TEST_F(GameDataTest, LoopsJoinWithoutAClickAndMusicCarriesAtItsDefaultLevel) {
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
    if (loop.find("/Music/") == std::string::npos) continue;
    EXPECT_GE(frames, 20u * 44100u) << "loops too soon";
    double sum = 0.0;
    for (float value : sound.samples) sum += static_cast<double>(value) * value;
    const double rms = std::sqrt(sum / sound.samples.size());
    const float level_five = attenuation_gain(volume_attenuation(5));
    EXPECT_GT(20.0 * std::log10(rms * level_five), -45.0) << "too quiet at level 5";
  }
}

// The score is called as "scores" and then each player's score, every call
// cutting the one before off after 500 ms: each word must be out by then.
TEST_F(GameDataTest, ScoreCallsAreSaidBeforeTheNextCallCutsThemOff) {
  std::vector<std::string> calls = {"scores"};
  for (int n = 0; n <= 21; ++n) calls.push_back(std::to_string(n));
  for (const std::string& name : calls) {
    const DecodedSound sound = decode("sounds/announcer/" + name + ".wav");
    const float highest = peak(sound);
    size_t last_loud = 0;  // the last frame above a tenth of the peak: the word's end
    for (size_t k = 0; k < sound.samples.size(); ++k) {
      if (std::abs(sound.samples[k]) > 0.1f * highest) last_loud = k / sound.channels;
    }
    EXPECT_LT(last_loud / 44100.0, 0.5) << name;
  }
}

// Mean power spectrum of a mono sound in dB, over half-overlapping Hann windows
// of 8192 frames (5.4 Hz a bin).
std::vector<double> spectrum(std::vector<float> samples) {
  constexpr size_t n = 8192;
  samples.resize(std::max(samples.size(), n), 0.0f);
  std::vector<double> power(n / 2, 1e-30);
  for (size_t at = 0; at + n <= samples.size(); at += n / 2) {
    std::vector<std::complex<double>> x(n);
    for (size_t k = 0; k < n; ++k)
      x[k] = samples[at + k] * std::pow(std::sin(assets::pi * k / n), 2);
    for (size_t i = 1, j = 0; i < n; ++i) {  // in-place radix-2 FFT
      size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
      const std::complex<double> turn = std::polar(1.0, -2.0 * assets::pi / len);
      for (size_t i = 0; i < n; i += len) {
        std::complex<double> w = 1.0;
        for (size_t k = 0; k < len / 2; ++k, w *= turn) {
          const std::complex<double> odd = x[i + k + len / 2] * w;
          x[i + k + len / 2] = x[i + k] - odd;
          x[i + k] += odd;
        }
      }
    }
    for (size_t k = 0; k < n / 2; ++k) power[k] += std::norm(x[k]);
  }
  for (double& p : power) p = 10.0 * std::log10(p);
  return power;
}

struct Texture {
  double pitch_hz;     // the strongest line between 150 Hz and 6 kHz...
  double pitch_db;     // ...and how far it stands above the median within a third of an octave
  double pulse_hz;     // the strongest beat of the loudness between 8 and 40 Hz, a roll...
  double pulse_depth;  // ...as a share of the mean
};

Texture texture(const std::vector<float>& samples) {
  const std::vector<double> db = spectrum(samples);
  const double bin_hz = 44100.0 / 8192.0;
  const auto strongest = std::max_element(db.begin() + static_cast<long>(150 / bin_hz),
                                          db.begin() + static_cast<long>(6000 / bin_hz));
  const auto k = static_cast<size_t>(strongest - db.begin());
  std::vector<double> around(db.begin() + static_cast<long>(k / 1.12),
                             db.begin() + static_cast<long>(k * 1.12));
  std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
  Texture found{k * bin_hz, *strongest - around[around.size() / 2], 0, 0};
  std::vector<double> level;  // root mean square over 5 ms
  for (size_t at = 0; at + 220 <= samples.size(); at += 220) {
    double sum = 0.0;
    for (size_t k = at; k < at + 220; ++k) sum += samples[k] * samples[k];
    level.push_back(std::sqrt(sum / 220));
  }
  double mean = 0.0;
  for (double value : level) mean += value / level.size();
  for (double hz = 8.0; hz <= 40.0; hz += 0.25) {
    std::complex<double> sum = 0.0;
    for (size_t k = 0; k < level.size(); ++k) {
      sum += (level[k] - mean) * std::polar(1.0, -2.0 * assets::pi * hz * k * 220 / 44100);
    }
    const double depth = 2.0 * std::abs(sum) / level.size() / mean;
    if (depth > found.pulse_depth)
      std::tie(found.pulse_hz, found.pulse_depth) = std::pair(hz, depth);
  }
  return found;
}

// The rolling ball has what the crowd's murmur lacks, a clear pitch and a steady
// pulse, and its pitch is neither the stroke's nor the bounce's.
TEST(GeneratedTree, TheRollingBallRingsAndPulsesWhereTheCrowdDoesNot) {
  REQUIRE_GENERATED_TREE(tree);
  std::map<std::string, Texture> found;
  for (const char* name :
       {"Pong/rolling", "crowd/loop", "crowd/chant", "Pong/Ballborder", "Pong/Hit"}) {
    int rate = 0;
    const auto sound = assets::read_wav_file(tree.data_dir + "/Sounds/" + name + ".wav", rate);
    ASSERT_TRUE(sound) << name;
    found[name] = texture(sound->samples);
    std::printf(
        "[ texture ] %-16s pitch %6.0f Hz, %4.1f dB above its surroundings; pulse %4.1f Hz, "
        "%3.0f%% deep\n",
        name, found[name].pitch_hz, found[name].pitch_db, found[name].pulse_hz,
        100.0 * found[name].pulse_depth);
  }
  const Texture& ball = found["Pong/rolling"];
  for (const char* crowd : {"crowd/loop", "crowd/chant"}) {
    EXPECT_GE(ball.pitch_db, found[crowd].pitch_db + 10.0) << crowd;
    EXPECT_GE(ball.pulse_depth, 3.0 * found[crowd].pulse_depth) << crowd;
  }
  // Three semitones at least between any two of the ball, the bounce and the stroke.
  const double pitches[] = {ball.pitch_hz, found["Pong/Ballborder"].pitch_hz,
                            found["Pong/Hit"].pitch_hz};
  for (int a = 0; a < 3; ++a) {
    for (int b = a + 1; b < 3; ++b) {
      EXPECT_GE(std::abs(std::log2(pitches[a] / pitches[b])), 0.25)
          << pitches[a] << " " << pitches[b];
    }
  }
}

TEST(GeneratedTree, StaysUnderSixtyMegabytesWithEveryFileDifferent) {
  REQUIRE_GENERATED_TREE(tree);
  uintmax_t total = 0;
  std::map<size_t, std::string> seen;  // hash of the contents -> file
  for (const auto& entry : fs::recursive_directory_iterator(tree.data_dir)) {
    if (!entry.is_regular_file()) continue;
    total += entry.file_size();
    const auto bytes = read_file_bytes(entry.path().string());
    ASSERT_TRUE(bytes);
    const size_t hash = std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    const auto [it, fresh] = seen.emplace(hash, entry.path().string());
    EXPECT_TRUE(fresh) << entry.path() << " is a copy of " << it->second;
  }
  EXPECT_LT(total, 60u * 1000 * 1000);
}

}  // namespace
}  // namespace tornello
