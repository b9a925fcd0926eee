#include "shell/settings_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

#include "audio/music.h"
#include "platform/file_replace.h"
#include "shell/game.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

namespace fs = std::filesystem;

// A settings file is a few hundred bytes; anything this large is not one.
constexpr size_t max_file_bytes = 64 * 1024;
constexpr size_t max_host_length = 255;
constexpr size_t max_language_length = 16;

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int32_t> level(std::string_view value) {
  if (value.empty() || value.size() > 3) return std::nullopt;
  int32_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number > 100) return std::nullopt;
  return number;
}

std::optional<bool> on_off(std::string_view value) {
  if (value == "on") return true;
  if (value == "off") return false;
  return std::nullopt;
}

bool language_code(std::string_view value) {
  if (value.empty() || value.size() > max_language_length) return false;
  for (char c : value) {
    const bool fits = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
    if (!fits) return false;
  }
  return true;
}

// Applies one known key. Nothing when the key is not ours; false when its value
// cannot be used.
std::optional<bool> apply(std::string_view key, std::string_view value, GameSettings& settings) {
  if (key == "sound_volume" || key == "music_volume") {
    const std::optional<int32_t> number = level(value);
    if (!number) return false;
    if (key == "sound_volume") {
      settings.sound_volume = *number;
    } else {
      settings.music_volume = static_cast<float>(*number);
      settings.music_level_chosen = true;
    }
    return true;
  }
  if (key == "speech" || key == "open_router_port") {
    const std::optional<bool> flag = on_off(value);
    if (!flag) return false;
    (key == "speech" ? settings.speech : settings.open_router_port) = *flag;
    return true;
  }
  if (key == "language") {
    if (!language_code(value)) return false;
    settings.language = value;
    return true;
  }
  if (key == "last_host") {
    if (value.empty() || value.size() > max_host_length) return false;
    settings.last_host = value;
    return true;
  }
  return std::nullopt;
}

// Text a person could have written: no control bytes but tabs and line ends.
bool readable(std::string_view text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
  }
  return true;
}

// Parses the whole file into a copy, so a damaged one changes nothing.
bool parse(std::string_view text, GameSettings& settings, std::vector<std::string>& other_lines) {
  if (!readable(text)) return false;
  GameSettings parsed = settings;
  std::vector<std::string> others;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view content = trimmed(line);
    if (content.empty()) continue;
    if (content.front() == '#' || content.front() == ';') {
      others.emplace_back(line);
      continue;
    }
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos || equals == 0) return false;
    const std::optional<bool> known =
        apply(trimmed(content.substr(0, equals)), trimmed(content.substr(equals + 1)), parsed);
    if (!known) {
      others.emplace_back(line);
    } else if (!*known) {
      return false;
    }
  }
  settings = parsed;
  other_lines = std::move(others);
  return true;
}

std::string file_text(const GameSettings& settings, const std::vector<std::string>& other_lines) {
  const auto flag = [](bool on) { return on ? "on" : "off"; };
  std::string text = "sound_volume=" + std::to_string(settings.sound_volume) + "\n";
  if (settings.music_level_chosen) {
    // The level heard, never one nudged past either end, which a later read would refuse.
    const int32_t music = std::clamp(applied_music_level(settings.music_volume), 0, 100);
    text += "music_volume=" + std::to_string(music) + "\n";
  }
  text += std::string("speech=") + flag(settings.speech) + "\n";
  text += "language=" + settings.language + "\n";
  text += std::string("open_router_port=") + flag(settings.open_router_port) + "\n";
  text += "last_host=" + settings.last_host + "\n";
  for (const std::string& line : other_lines) text += line + "\n";
  return text;
}

}  // namespace

std::string default_settings_path() {
#ifdef _WIN32
  const char* appdata = std::getenv("APPDATA");
  if (appdata == nullptr || *appdata == '\0') return "";
  return std::string(appdata) + "\\Tornello\\settings.ini";
#else
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/tornello/settings.ini";
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return "";
  return std::string(home) + "/.config/tornello/settings.ini";
#endif
}

SettingsRead read_settings(SettingsFile& file, GameSettings& settings) {
  if (file.path.empty()) return SettingsRead::no_file;
  std::error_code error;
  const fs::file_status status = fs::status(file.path, error);
  if (status.type() == fs::file_type::not_found) return SettingsRead::no_file;
  if (status.type() != fs::file_type::regular) return SettingsRead::reset;
  std::FILE* stream = std::fopen(file.path.c_str(), "rb");
  if (stream == nullptr) return SettingsRead::reset;
  std::string text(max_file_bytes + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), stream));
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed || text.size() > max_file_bytes) return SettingsRead::reset;
  if (!parse(text, settings, file.other_lines)) return SettingsRead::reset;
  file.from_file = settings;
  return SettingsRead::read;
}

bool write_settings(const SettingsFile& file, const GameSettings& settings) {
  return !file.path.empty() && replace_file(file.path, file_text(settings, file.other_lines));
}

void save_settings(Game& game) {
  SettingsFile& file = game.settings_file;
  if (file.path.empty()) return;
  GameSettings kept = game.settings;
  if (file.language_from_command_line) kept.language = file.from_file.language;
  if (file.speech_from_command_line) kept.speech = file.from_file.speech;
  if (file.router_from_command_line) kept.open_router_port = file.from_file.open_router_port;
  if (write_settings(file, kept)) {
    file.told_not_saved = false;
  } else if (!file.told_not_saved) {
    file.told_not_saved = true;
    speak_line(game, text(game, entry::settings_not_saved));
  }
}

}  // namespace tornello
