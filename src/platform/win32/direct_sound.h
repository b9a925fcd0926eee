// Sound output through DirectSound, loaded from DSOUND.DLL when the engine opens
// it. Our own mixer does the per-voice volume and pan (from the same level
// table); its output streams into one looping secondary buffer that a feeding
// thread keeps a few milliseconds ahead of the play cursor. The buffer has
// global focus, so the game stays audible while the screen reader has the focus.
// Any failure (no sound card) leaves the device closed and the game silent.
#pragma once

#include <windows.h>
// After windows.h: the wave format types that dsound.h uses.
#include <mmsystem.h>
// After both.
#include <dsound.h>

#include <vector>

#include "platform/audio_device.h"

namespace tornello {

class DirectSoundDevice : public AudioDevice {
 public:
  static constexpr int rate = 44100;
  // The mixer is asked for this many frames at a time (about 12 ms).
  static constexpr int chunk_frames = 512;
  // The looping buffer holds eight chunks; three are kept written ahead.
  static constexpr int buffer_chunks = 8;
  static constexpr int ahead_chunks = 3;

  DirectSoundDevice();
  ~DirectSoundDevice() override;
  DirectSoundDevice(const DirectSoundDevice&) = delete;
  DirectSoundDevice& operator=(const DirectSoundDevice&) = delete;

  bool open(MixFunction mix, AudioFormat& granted) override;
  void close() override;
  void lock() override { EnterCriticalSection(&section_); }
  void unlock() override { LeaveCriticalSection(&section_); }

  bool is_open() const { return stream_ != nullptr; }
  // Chunks the feeding thread has mixed since open (for tests).
  long chunks_mixed() const { return chunks_mixed_; }

 private:
  static DWORD WINAPI feed_thread(LPVOID self);
  bool create_buffers();
  void feed();
  // Mixes `frames` frames and writes them into the buffer at byte `offset`.
  void write(DWORD offset, int frames);

  CRITICAL_SECTION section_;
  MixFunction mix_;
  HMODULE library_ = nullptr;
  HWND device_window_ = nullptr;
  IDirectSound* sound_ = nullptr;
  IDirectSoundBuffer* primary_ = nullptr;
  IDirectSoundBuffer* stream_ = nullptr;
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD write_at_ = 0;  // byte offset of the next unwritten frame
  std::vector<float> mixed_;
  volatile long chunks_mixed_ = 0;
};

}  // namespace tornello
