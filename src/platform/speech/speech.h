// Spoken output through the desktop's speech service, beside the window title.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/line_kind.h"

namespace tornello {

class SpeechOutput {
 public:
  // Lines of news that may wait for the one being spoken; older ones are dropped.
  static constexpr size_t max_waiting = 3;

  virtual ~SpeechOutput() = default;
  // Hands a line over (see LineKind for which lines cut in and which wait). Never
  // blocks the caller, whatever state the service is in.
  virtual void say(const std::string& line, LineKind kind) = 0;
  // The language the service speaks in from now on: a language file's code, such as "DE".
  virtual void set_language(const std::string& code) = 0;
  // Waits until every line handed over has been spoken to its end, or `limit` has
  // passed. Returns at once when the service cannot be reached.
  virtual void finish(std::chrono::milliseconds limit) = 0;
};

// Connects to speech-dispatcher (loaded at run time). Null when its client
// library is not installed; a daemon that is missing or dies later only makes
// the lines go unspoken.
std::unique_ptr<SpeechOutput> open_speech_dispatcher();

struct SpeechDispatcherOptions {
  // Least time between two attempts to (re)connect to the daemon.
  std::chrono::milliseconds retry_interval{3000};
  // Lets the library start the daemon when none is running (takes about a second).
  bool autospawn = true;
};
std::unique_ptr<SpeechOutput> open_speech_dispatcher(const SpeechDispatcherOptions& options);

// The line as UTF-8, which the daemon requires: valid UTF-8 passes unchanged,
// anything else is read as Latin-1.
std::string speech_text(const std::string& line);

}  // namespace tornello
