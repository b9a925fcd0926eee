#include "assets/mix.h"

#include <ebur128.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

namespace tornello::assets {

namespace {

// The ball at the far end plays at level 20 (-14 dB), at the player's paddle at
// 96; everything else is set against that. "Heard at" is the file's loudness
// plus the level the game plays it at.
constexpr Role roles_table[] = {
    // In front: what the player plays by. At the far end still heard at -34.
    {"ball", -20.0},
    {"stroke", -21.0},
    // A little under: the ball's bounce off a side, the paddles' steps and thumps.
    {"court", -23.0},
    // Events that stand out briefly. Points are called while the ball rests.
    {"announcer", -23.0},
    {"character voices", -23.0},
    {"play cues", -24.0},  // the ball appearing and vanishing, shields
    {"interface cues", -24.0},
    {"point cues", -26.0},  // the goal sounds and the result jingles
    // Shouts that may come during a rally: above a far ball, well under a near one.
    {"reactions", -30.0},
    // Under everything. The crowd's murmur plays at 100 throughout; the chant
    // grows by 5 a return up to 100 and even there stays 4 dB under a far ball.
    {"shield hum", -38.0},
    {"chant", -38.0},
    {"crowd bed", -42.0},
    // Stereo, played at the music level, 5 by default (-26 dB): heard at -42,
    // level with the crowd's murmur.
    {"music", -16.0, 0.89f},
};

const Role& named(std::string_view name) {
  for (const Role& role : roles_table) {
    if (role.name == name) return role;
  }
  return roles_table[0];  // unreachable: every name below is in the table
}

// The first entry whose path begins the file's path, compared without case.
constexpr std::pair<std::string_view, std::string_view> role_by_path[] = {
    {"Sounds/Pong/rolling.wav", "ball"},
    {"Sounds/Pong/Hit.wav", "stroke"},
    {"Sounds/Pong/goal", "point cues"},
    {"Sounds/Pong/", "court"},
    {"Sounds/crowd/loop.wav", "crowd bed"},
    {"Sounds/crowd/chant.wav", "chant"},
    {"Sounds/crowd/", "reactions"},
    {"Sounds/announcer/", "announcer"},
    {"Sounds/charselect/0.wav", "announcer"},
    {"Sounds/charselect/cs", "interface cues"},
    {"Sounds/charselect/", "character voices"},
    {"Sounds/chars/", "character voices"},
    {"Sounds/misc/shieldloop.wav", "shield hum"},
    {"Sounds/misc/", "play cues"},
    {"Sounds/menu/", "interface cues"},
    {"Sounds/Music/GAME_", "point cues"},
    {"Sounds/Music/", "music"},
};

bool begins_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

double loudness(const Sound& sound) {
  constexpr size_t block = sample_rate * 4 / 10;
  ebur128_state* state =
      ebur128_init(static_cast<unsigned>(sound.channels), sample_rate, EBUR128_MODE_I);
  if (state == nullptr) return -std::numeric_limits<double>::infinity();
  if (sound.channels == 1) ebur128_set_channel(state, 0, EBUR128_DUAL_MONO);
  ebur128_add_frames_float(state, sound.samples.data(), sound.frames());
  if (sound.frames() < block) {
    const std::vector<float> rest((block - sound.frames()) * sound.channels, 0.0f);
    ebur128_add_frames_float(state, rest.data(), block - sound.frames());
  }
  double lufs = -std::numeric_limits<double>::infinity();
  ebur128_loudness_global(state, &lufs);
  ebur128_destroy(&state);
  return lufs;
}

std::span<const Role> roles() {
  return roles_table;
}

const Role& role_of(std::string_view path) {
  for (const auto& [prefix, name] : role_by_path) {
    if (begins_with(path, prefix)) return named(name);
  }
  return named("interface cues");
}

void level_to_role(Sound& sound, const Role& role) {
  // Taking the peaks off lowers the loudness a little; a few rounds make it up.
  for (int round = 0; round < 12; ++round) {
    const double now = loudness(sound);
    if (!std::isfinite(now) || std::abs(now - role.lufs) < 0.05) return;
    scale(sound, static_cast<float>(std::pow(10.0, (role.lufs - now) / 20.0)));
    if (peak(sound) > role.ceiling) limit_peaks(sound, role.ceiling);
  }
}

}  // namespace tornello::assets
