#include "audio/sound_engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#include "audio/wav_reader.h"
#include "platform/file_lookup.h"

namespace tornello {

namespace {

constexpr int32_t silence = -10000;  // hundredths of a decibel
// A gain change is spread over this many frames (1.5 ms) so it never clicks.
constexpr int ramp_frames = 64;

uint64_t pack_gains(float left, float right) {
  return static_cast<uint64_t>(std::bit_cast<uint32_t>(left)) |
         static_cast<uint64_t>(std::bit_cast<uint32_t>(right)) << 32;
}

float left_gain(uint64_t packed) {
  return std::bit_cast<float>(static_cast<uint32_t>(packed));
}
float right_gain(uint64_t packed) {
  return std::bit_cast<float>(static_cast<uint32_t>(packed >> 32));
}

int32_t clamp_volume(int32_t volume) {
  return std::clamp(volume, 0, 100);
}
int32_t clamp_pan(int32_t pan) {
  return std::clamp(pan, -100, 100);
}

}  // namespace

const LevelTable& level_table() {
  static const LevelTable table = [] {
    LevelTable t{};
    t[0] = 0;
    for (int k = 1; k <= 99; ++k) t[k] = static_cast<int32_t>(2000.0 * std::log10(1000.0 * k));
    t[100] = 10000;
    return t;
  }();
  return table;
}

int32_t volume_attenuation(int32_t volume) {
  return level_table()[clamp_volume(volume)] - 10000;
}

int32_t pan_attenuation(int32_t pan) {
  pan = clamp_pan(pan);
  if (pan == 0) return 0;
  return 10000 - level_table()[100 - std::abs(pan)];
}

float attenuation_gain(int32_t hundredths_db) {
  if (hundredths_db <= silence) return 0.0f;
  return static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
}

namespace {

// Linear factor of each volume, so a level change costs no logarithm.
float volume_gain(int32_t volume) {
  static const std::array<float, 101> gains = [] {
    std::array<float, 101> g{};
    for (int v = 0; v <= 100; ++v) g[v] = attenuation_gain(volume_attenuation(v));
    return g;
  }();
  return gains[clamp_volume(volume)];
}

}  // namespace

struct SoundEngine::Voice {
  // Read by the game thread only.
  std::string path;
  int32_t volume = initial_volume;
  int32_t pan = initial_pan;
  bool music = false;  // outside the sounds level

  // Immutable once loaded.
  std::vector<float> samples;
  int channels = 1;
  size_t frames = 0;

  // Written by the game thread at any time; read by the mixer once per block.
  std::atomic<uint64_t> gains{pack_gains(1.0f, 1.0f)};
  std::atomic<bool> playing{false};

  // The mixer's own, set by the game thread only under the device lock.
  size_t position = 0;
  bool looped = false;
  bool listed = false;  // in playing_
  float applied_left = 1.0f;
  float applied_right = 1.0f;
  // A restart of a voice still sounding: the old position fades out over
  // ramp_frames while the new start fades in, so the cut does not click (a
  // paddle walked quickly restarts its step every few frames).
  size_t tail_position = 0;
  int tail_frames = 0;  // frames of the fade left; 0: no tail
  float tail_left = 0.0f;
  float tail_right = 0.0f;
};

SoundEngine::SoundEngine() = default;

SoundEngine::~SoundEngine() {
  if (device_ != nullptr) device_->close();
}

int SoundEngine::init(AudioDevice& device) {
  level_table();
  if (device_ != nullptr) return 1;
  AudioFormat granted;  // ask for 44100 Hz stereo with a small buffer
  if (!device.open([this](float* out, int frames) { mix(out, frames); }, granted)) return 0;
  if (granted.rate <= 0 || granted.channels != 2) {
    device.close();
    return 0;
  }
  format_ = granted;
  device_ = &device;
  return 1;
}

SoundEngine::Voice* SoundEngine::find(SoundHandle handle) const {
  if (handle == 0) return nullptr;
  auto found = sounds_.find(handle);
  return found == sounds_.end() ? nullptr : found->second.get();
}

void SoundEngine::record(SoundEventKind kind, SoundHandle handle, const Voice* voice, bool looped) {
  if (log_ == nullptr) return;
  log_->add({kind, handle, voice != nullptr, voice ? voice->volume : 0, voice ? voice->pan : 0,
             looped, voice ? voice->path : std::string()});
}

SoundHandle SoundEngine::load(FileLookup& files, const std::string& path) {
  SoundHandle handle = 0;
  if (device_ != nullptr) {
    const std::optional<std::string> resolved = files.resolve(path);
    std::optional<std::vector<uint8_t>> bytes;
    if (resolved) bytes = read_file_bytes(*resolved);
    if (bytes) handle = create(*bytes, path);
  }
  log_load(handle, path);
  return handle;
}

SoundHandle SoundEngine::load_bytes(std::span<const uint8_t> bytes, const std::string& label) {
  const SoundHandle handle = device_ != nullptr ? create(bytes, label) : 0;
  log_load(handle, label);
  return handle;
}

void SoundEngine::log_load(SoundHandle handle, const std::string& path) {
  if (log_ == nullptr) return;
  if (handle != 0) {
    record(SoundEventKind::load, handle, find(handle));
  } else {
    log_->add({SoundEventKind::load, 0, false, 0, 0, false, path});
  }
}

SoundHandle SoundEngine::create(std::span<const uint8_t> bytes, const std::string& label) {
  try {
    std::optional<DecodedSound> decoded = read_wav(bytes, format_.rate);
    if (!decoded) return 0;
    auto voice = std::make_unique<Voice>();
    voice->path = label;
    voice->channels = decoded->channels;
    voice->frames = decoded->frames();
    voice->samples = std::move(decoded->samples);
    apply_gains(*voice);  // a new sound starts under the sounds level
    return adopt(std::move(voice));
  } catch (const std::bad_alloc&) {
    return 0;  // too big to hold: the game goes on without it
  }
}

SoundHandle SoundEngine::adopt(std::unique_ptr<Voice> voice) {
  do {
    ++last_handle_;
  } while (last_handle_ == 0 || sounds_.count(last_handle_) != 0);
  sounds_.emplace(last_handle_, std::move(voice));
  // play() must never grow the list while the mixer might be reading it.
  if (playing_.capacity() < sounds_.size()) {
    device_->lock();
    playing_.reserve(sounds_.size() * 2);
    device_->unlock();
  }
  return last_handle_;
}

void SoundEngine::apply_gains(Voice& voice) {
  const float gain = volume_gain(voice.volume) * (voice.music ? 1.0f : sound_level_gain_);
  // The farther channel's factor for pan p is the volume factor of 100 - |p|.
  const float far = volume_gain(100 - std::abs(voice.pan));
  const float left = voice.pan > 0 ? gain * far : gain;
  const float right = voice.pan < 0 ? gain * far : gain;
  voice.gains.store(pack_gains(left, right), std::memory_order_relaxed);
}

int SoundEngine::play(SoundHandle handle, bool looped, int32_t volume) {
  Voice* voice = find(handle);
  if (voice == nullptr || device_ == nullptr) {
    record(SoundEventKind::play, handle, nullptr, looped);
    return 0;
  }
  if (volume != -1) {
    voice->volume = clamp_volume(volume);
    apply_gains(*voice);
  }
  const uint64_t gains = voice->gains.load(std::memory_order_relaxed);
  device_->lock();
  const bool sounding = voice->playing.load(std::memory_order_relaxed) && voice->position > 0;
  voice->tail_frames = sounding ? ramp_frames : 0;
  voice->tail_position = voice->position;
  voice->tail_left = voice->applied_left;
  voice->tail_right = voice->applied_right;
  voice->position = 0;
  voice->looped = looped;
  // A first start begins at its target level: there is no earlier sound to fade from.
  voice->applied_left = sounding ? 0.0f : left_gain(gains);
  voice->applied_right = sounding ? 0.0f : right_gain(gains);
  voice->playing.store(true, std::memory_order_relaxed);
  if (!voice->listed) {
    playing_.push_back(voice);
    voice->listed = true;
  }
  device_->unlock();
  record(SoundEventKind::play, handle, voice, looped);
  return 1;
}

void SoundEngine::unlink_locked(Voice& voice) {
  voice.playing.store(false, std::memory_order_relaxed);
  voice.position = 0;
  voice.tail_frames = 0;
  if (!voice.listed) return;
  auto at = std::find(playing_.begin(), playing_.end(), &voice);
  if (at != playing_.end()) {
    *at = playing_.back();
    playing_.pop_back();
  }
  voice.listed = false;
}

void SoundEngine::stop(SoundHandle handle) {
  Voice* voice = find(handle);
  if (voice != nullptr && device_ != nullptr) {
    device_->lock();
    unlink_locked(*voice);
    device_->unlock();
  }
  record(SoundEventKind::stop, handle, voice);
}

void SoundEngine::stop_all() {
  if (device_ != nullptr) {
    device_->lock();
    for (Voice* voice : playing_) {
      voice->playing.store(false, std::memory_order_relaxed);
      voice->position = 0;
      voice->tail_frames = 0;
      voice->listed = false;
    }
    playing_.clear();
    device_->unlock();
  }
  record(SoundEventKind::stop_all, 0, nullptr);
}

void SoundEngine::set_volume(SoundHandle handle, int32_t volume) {
  Voice* voice = find(handle);
  if (voice != nullptr) {
    voice->volume = clamp_volume(volume);
    apply_gains(*voice);
  }
  record(SoundEventKind::volume, handle, voice);
}

void SoundEngine::set_pan(SoundHandle handle, int32_t pan) {
  Voice* voice = find(handle);
  if (voice != nullptr) {
    voice->pan = clamp_pan(pan);
    apply_gains(*voice);
  }
  record(SoundEventKind::pan, handle, voice);
}

void SoundEngine::set_sound_level(int32_t level) {
  sound_level_gain_ = volume_gain(level);
  for (auto& [handle, voice] : sounds_) apply_gains(*voice);
}

void SoundEngine::set_music(SoundHandle handle) {
  if (Voice* voice = find(handle)) {
    voice->music = true;
    apply_gains(*voice);
  }
}

int SoundEngine::is_loaded(SoundHandle handle) const {
  return find(handle) != nullptr ? 1 : 0;
}

void SoundEngine::free(SoundHandle handle) {
  Voice* voice = find(handle);
  record(SoundEventKind::free, handle, voice);
  if (voice == nullptr) return;
  if (device_ != nullptr) {
    device_->lock();
    unlink_locked(*voice);
    device_->unlock();
  }
  sounds_.erase(handle);  // the samples are released outside the lock
}

void SoundEngine::free_all() {
  record(SoundEventKind::free_all, 0, nullptr);
  if (device_ != nullptr) {
    device_->close();
    device_ = nullptr;
  }
  playing_.clear();
  sounds_.clear();
}

int32_t SoundEngine::volume(SoundHandle handle) const {
  const Voice* voice = find(handle);
  return voice ? voice->volume : 0;
}

int32_t SoundEngine::pan(SoundHandle handle) const {
  const Voice* voice = find(handle);
  return voice ? voice->pan : 0;
}

bool SoundEngine::is_playing(SoundHandle handle) const {
  const Voice* voice = find(handle);
  return voice != nullptr && voice->playing.load(std::memory_order_relaxed);
}

namespace {

// Adds n frames of one voice. With Ramp the gains start one step past (left,
// right) and move by (step_left, step_right) per frame, so a level change is
// spread out instead of jumping.
template <int Channels, bool Ramp>
void add_frames(float* __restrict out, const float* __restrict in, int n, float left, float right,
                float step_left, float step_right) {
  for (int k = 0; k < n; ++k) {
    float l = left;
    float r = right;
    if constexpr (Ramp) {
      const float t = static_cast<float>(k + 1);
      l += step_left * t;
      r += step_right * t;
    }
    out[2 * k] += in[Channels * k] * l;
    out[2 * k + 1] += in[Channels * k + Channels - 1] * r;
  }
}

void add_frames(int channels, bool ramp, float* out, const float* in, int n, float left,
                float right, float step_left, float step_right) {
  if (channels == 1) {
    (ramp ? add_frames<1, true> : add_frames<1, false>)(out, in, n, left, right, step_left,
                                                        step_right);
  } else {
    (ramp ? add_frames<2, true> : add_frames<2, false>)(out, in, n, left, right, step_left,
                                                        step_right);
  }
}

}  // namespace

void SoundEngine::fade_tail(Voice& voice, float* out, int frames) {
  const int n =
      static_cast<int>(std::min<size_t>(static_cast<size_t>(std::min(voice.tail_frames, frames)),
                                        voice.frames - voice.tail_position));
  // Linear to silence at the end of the fade, continued across blocks.
  const float share = static_cast<float>(voice.tail_frames) / ramp_frames;
  const float left = voice.tail_left * share;
  const float right = voice.tail_right * share;
  add_frames(voice.channels, true, out, voice.samples.data() + voice.tail_position * voice.channels,
             n, left, right, -voice.tail_left / ramp_frames, -voice.tail_right / ramp_frames);
  voice.tail_position += static_cast<size_t>(n);
  voice.tail_frames = voice.tail_position == voice.frames ? 0 : voice.tail_frames - n;
}

void SoundEngine::mix(float* out, int frames) {
  std::fill(out, out + 2 * static_cast<size_t>(std::max(frames, 0)), 0.0f);
  if (frames <= 0) return;

  for (Voice* voice : playing_) {
    if (voice->tail_frames > 0) fade_tail(*voice, out, frames);
    const uint64_t target = voice->gains.load(std::memory_order_relaxed);
    const float target_left = left_gain(target);
    const float target_right = right_gain(target);
    float left = voice->applied_left;
    float right = voice->applied_right;
    int ramp = (left != target_left || right != target_right) ? std::min(ramp_frames, frames) : 0;
    const float step_left = ramp ? (target_left - left) / ramp : 0.0f;
    const float step_right = ramp ? (target_right - right) / ramp : 0.0f;

    int done = 0;
    while (done < frames) {
      int n = static_cast<int>(
          std::min<size_t>(static_cast<size_t>(frames - done), voice->frames - voice->position));
      if (ramp > 0) n = std::min(n, ramp);
      const float* in = voice->samples.data() + voice->position * voice->channels;
      if (ramp > 0) {
        add_frames(voice->channels, true, out + 2 * done, in, n, left, right, step_left,
                   step_right);
        ramp -= n;
        left = ramp == 0 ? target_left : left + step_left * static_cast<float>(n);
        right = ramp == 0 ? target_right : right + step_right * static_cast<float>(n);
      } else if (left != 0.0f || right != 0.0f) {
        add_frames(voice->channels, false, out + 2 * done, in, n, left, right, 0.0f, 0.0f);
      }
      done += n;
      voice->position += static_cast<size_t>(n);
      if (voice->position == voice->frames) {
        voice->position = 0;
        if (!voice->looped) {
          voice->playing.store(false, std::memory_order_relaxed);
          break;
        }
      }
    }
    voice->applied_left = target_left;
    voice->applied_right = target_right;
  }

  // Voices that ran out leave the list; the game thread only changes it under
  // the lock this runs under.
  std::erase_if(playing_, [](Voice* voice) {
    if (voice->playing.load(std::memory_order_relaxed)) return false;
    voice->listed = false;
    return true;
  });

  for (int k = 0; k < 2 * frames; ++k) out[k] = std::clamp(out[k], -1.0f, 1.0f);
}

}  // namespace tornello
