// Spoken output through the desktop's speech service, beside the window title.
#pragma once

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

}  // namespace tornello
