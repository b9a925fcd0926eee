// Every spoken sound: the announcer, the five characters and the selection
// voices, made with espeak-ng and finished by our own code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "assets/dsp.h"

namespace tornello::assets {

// An espeak-ng voice with its pitch and pace, plus our own touches.
struct Speaker {
  std::string voice;     // voice and variant, e.g. "en-us+f2"
  int pitch = 50;        // 0..99
  int speed = 175;       // words per minute
  bool robotic = false;  // ring-modulated, with a metallic ring
};

struct SpeechLine {
  std::string path;  // below the data folder
  Speaker speaker;
  std::string text;
};

// The announcer's calls, each character's fourteen lines, the selection voices.
std::vector<SpeechLine> speech_lines();

// Nothing when `program` runs; otherwise a message that says what to install.
std::optional<std::string> check_speech_program(const std::string& program);

// Speaks `line` with `program` into `scratch_wav`, then trims, converts to
// 44.1 kHz and levels it. Sets `error` and returns nothing on failure.
std::optional<Sound> synthesise_speech(const std::string& program, const SpeechLine& line,
                                       const std::string& scratch_wav, std::string& error);

}  // namespace tornello::assets
