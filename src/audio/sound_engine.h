// The only way the game makes sound. Each loaded sound owns one voice: playing
// it again restarts it, it never overlaps with itself. Volume (0..100) and pan
// (-100..100) become attenuations in hundredths of a decibel through one table
// of logarithms, and our own mixer applies them as linear gains.
//
// Threading: every operation is called from the game's thread. The mixer runs on
// the audio device's thread; it reads the per-voice gains from atomics (so
// set_volume and set_pan never lock or allocate) and the list of playing voices,
// which only play, stop and free change, under the device lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "audio/sound_log.h"
#include "platform/audio_device.h"

namespace tornello {

class FileLookup;

// Names one loaded sound; 0 names none. Never given out twice.
using SoundHandle = uint32_t;

// Entry 0 = 0, entry k = 2000 * log10(1000 * k) truncated, entry 100 = 10000.
using LevelTable = std::array<int32_t, 101>;
const LevelTable& level_table();

// Attenuation of a volume, in hundredths of a decibel: 0 for 100, -10000 for 0.
int32_t volume_attenuation(int32_t volume);
// Attenuation of the farther channel for a pan; 0 for pan 0, 10000 for +-100.
int32_t pan_attenuation(int32_t pan);
// Linear amplitude factor of an attenuation in hundredths of a decibel;
// -10000 and below is exact silence.
float attenuation_gain(int32_t hundredths_db);

class SoundEngine {
 public:
  // Volume and pan a voice starts with.
  static constexpr int32_t initial_volume = 100;
  static constexpr int32_t initial_pan = 0;

  SoundEngine();
  ~SoundEngine();
  SoundEngine(const SoundEngine&) = delete;
  SoundEngine& operator=(const SoundEngine&) = delete;

  // Opens the output device with our mixer as its source. Nonzero on success; on
  // failure the engine stays closed and every load and play fails quietly.
  int init(AudioDevice& device);
  bool is_open() const { return device_ != nullptr; }
  // What the device granted (rate, buffer size); meaningful once open.
  const AudioFormat& format() const { return format_; }

  // Reads a WAV file (path resolved without regard to case or separator) and
  // converts it to the device's rate. A new handle, or 0 on any failure.
  SoundHandle load(FileLookup& files, const std::string& path);
  // The same from bytes already in memory; `label` is what the log shows.
  SoundHandle load_bytes(std::span<const uint8_t> bytes, const std::string& label);

  // Restarts the sound from its first sample, once or looped; volume -1 keeps the
  // current volume. 1 if it started, 0 for a dead handle or a closed engine.
  int play(SoundHandle handle, bool looped = false, int32_t volume = -1);
  // Halts the voice and rewinds it. Harmless on a silent sound.
  void stop(SoundHandle handle);
  void stop_all();
  // Clamp to 0..100 / -100..100 and take effect at once, also while playing.
  void set_volume(SoundHandle handle, int32_t volume);
  void set_pan(SoundHandle handle, int32_t pan);
  // The player's sounds level, 0..100 on the same law as a voice's volume: it
  // scales every voice but the music by one factor, so the sounds keep their
  // levels relative to each other. Takes effect at once, also while playing.
  void set_sound_level(int32_t level);
  // The voice is music: it plays at its own volume alone, outside the sounds level.
  void set_music(SoundHandle handle);
  // Nonzero while the handle names a loaded sound.
  int is_loaded(SoundHandle handle) const;
  // Halts and releases the sound; the handle is dead afterwards.
  void free(SoundHandle handle);
  // Frees every sound and closes the device.
  void free_all();

  // State queries for tests and tools (0 / false for dead handles).
  int32_t volume(SoundHandle handle) const;
  int32_t pan(SoundHandle handle) const;
  bool is_playing(SoundHandle handle) const;
  size_t loaded_count() const { return sounds_.size(); }

  // Every call is recorded into `log` while one is set (nullptr: no recording).
  void set_log(SoundLog* log) { log_ = log; }

  // Adds `frames` interleaved stereo frames of every playing voice into `out`
  // (overwriting it). Called by the device on its thread, or directly by tests.
  void mix(float* out, int frames);

 private:
  struct Voice;

  Voice* find(SoundHandle handle) const;
  SoundHandle create(std::span<const uint8_t> bytes, const std::string& label);
  SoundHandle adopt(std::unique_ptr<Voice> voice);
  void log_load(SoundHandle handle, const std::string& path);
  void apply_gains(Voice& voice);
  void unlink_locked(Voice& voice);
  void fade_tail(Voice& voice, float* out, int frames);
  void record(SoundEventKind kind, SoundHandle handle, const Voice* voice, bool looped = false);

  AudioDevice* device_ = nullptr;
  AudioFormat format_;
  float sound_level_gain_ = 1.0f;
  SoundLog* log_ = nullptr;
  SoundHandle last_handle_ = 0;
  std::unordered_map<SoundHandle, std::unique_ptr<Voice>> sounds_;
  // Voices the mixer visits; changed only under the device lock.
  std::vector<Voice*> playing_;
};

}  // namespace tornello
