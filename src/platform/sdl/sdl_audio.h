// Audio output on an SDL device: float stereo at 44100 Hz in small buffers, each
// buffer pulled from the game's mixer on SDL's audio thread.
#pragma once

#include <SDL2/SDL_audio.h>

#include "platform/audio_device.h"

namespace tornello {

class SdlAudioDevice : public AudioDevice {
 public:
  ~SdlAudioDevice() override { close(); }

  // Fails when SDL's audio could not start (no sound card, no sound server).
  bool open(MixFunction mix, AudioFormat& granted) override;
  void close() override;
  void lock() override;
  void unlock() override;

 private:
  static void callback(void* self, Uint8* stream, int bytes);

  SDL_AudioDeviceID device_ = 0;
  MixFunction mix_;
};

}  // namespace tornello
