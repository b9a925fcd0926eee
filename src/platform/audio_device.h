// The audio output seam. The game mixes its own voices (audio/); a backend only
// has to pull mixed frames from one function at its own pace.
#pragma once

#include <functional>

namespace tornello {

struct AudioFormat {
  int rate = 44100;         // sample frames per second
  int channels = 2;         // always interleaved stereo float
  int buffer_frames = 512;  // device buffer the backend granted
};

class AudioDevice {
 public:
  // Fills `out` with `frames` interleaved stereo float frames. Called on the
  // backend's audio thread.
  using MixFunction = std::function<void(float* out, int frames)>;

  virtual ~AudioDevice() = default;
  // Opens the output and starts pulling from mix. Returns false when there is no
  // device; `granted` then keeps what was asked for.
  virtual bool open(MixFunction mix, AudioFormat& granted) = 0;
  virtual void close() = 0;
  // Holds the audio thread off while the game changes what the mixer reads.
  virtual void lock() = 0;
  virtual void unlock() = 0;
};

// An output that never opens: the game then runs silent.
class NoAudioDevice : public AudioDevice {
 public:
  bool open(MixFunction, AudioFormat&) override { return false; }
  void close() override {}
  void lock() override {}
  void unlock() override {}
};

}  // namespace tornello
