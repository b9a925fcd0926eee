// Spoken output through the desktop's speech service, beside the window title.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace tornello {

class SpeechOutput {
 public:
  virtual ~SpeechOutput() = default;
  // Queues the line; a newer line replaces one not yet spoken and interrupts one
  // being spoken. Never blocks the caller, whatever state the service is in.
  virtual void say(const std::string& line) = 0;
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
