#include "platform/sdl/sdl_audio.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tornello {
namespace {

// The game plays on silent, but whoever started it from a terminal learns why.
bool no_sound() {
  std::fprintf(stderr, "Tornello could not open the sound device, so it plays silent: %s\n",
               SDL_GetError());
  return false;
}

}  // namespace

bool SdlAudioDevice::open(MixFunction mix, AudioFormat& granted) {
  close();
  if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return no_sound();

  // Mix set before the device starts pulling: the callback never sees it change.
  mix_ = std::move(mix);
  SDL_AudioSpec wanted{};
  wanted.freq = 44100;
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  // A short buffer keeps a stroke's sound close to the key press.
  wanted.samples = static_cast<Uint16>(std::clamp(granted.buffer_frames, 64, 512));
  wanted.callback = &SdlAudioDevice::callback;
  wanted.userdata = this;
  SDL_AudioSpec obtained{};
  // No format changes allowed: SDL converts to the device's own format itself, so
  // the mixer always writes exactly the format asked for.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (device_ == 0) {
    mix_ = nullptr;
    return no_sound();
  }
  granted.rate = obtained.freq;
  granted.channels = obtained.channels;
  granted.buffer_frames = obtained.samples;
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void SdlAudioDevice::close() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);  // waits for a running callback to finish
    device_ = 0;
  }
  mix_ = nullptr;
}

void SdlAudioDevice::lock() {
  if (device_ != 0) SDL_LockAudioDevice(device_);
}

void SdlAudioDevice::unlock() {
  if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

void SdlAudioDevice::callback(void* self, Uint8* stream, int bytes) {
  auto* device = static_cast<SdlAudioDevice*>(self);
  const int frames = bytes / static_cast<int>(2 * sizeof(float));
  auto* out = reinterpret_cast<float*>(stream);
  if (device->mix_) {
    device->mix_(out, frames);
  } else {
    std::fill(out, out + frames * 2, 0.0f);
  }
}

}  // namespace tornello
