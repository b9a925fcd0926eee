#include "assets/dsp.h"

#include <algorithm>
#include <deque>

namespace tornello::assets {

Sound silence(double seconds, int channels) {
  Sound sound;
  sound.channels = channels;
  sound.samples.assign(frames_for(seconds) * channels, 0.0f);
  return sound;
}

size_t frames_for(double seconds) {
  return seconds <= 0.0 ? 0 : static_cast<size_t>(std::llround(seconds * sample_rate));
}

double midi_hz(double note) {
  return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

uint64_t Rng::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::uniform() {
  return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

double Rng::bipolar() {
  return 2.0 * uniform() - 1.0;
}

uint64_t seed_from(std::string_view name) {
  uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
  for (char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

namespace {

// Smooths the jump of a saw or square over the sample it falls in.
double poly_blep(double t, double dt) {
  if (dt <= 0.0) return 0.0;
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

}  // namespace

void Oscillator::advance() {
  phase_ += step_;
  phase_ -= std::floor(phase_);
}

float Oscillator::sine() {
  const double value = std::sin(2.0 * pi * phase_);
  advance();
  return static_cast<float>(value);
}

float Oscillator::saw() {
  const double value = 2.0 * phase_ - 1.0 - poly_blep(phase_, step_);
  advance();
  return static_cast<float>(value);
}

float Oscillator::square() {
  double value = phase_ < 0.5 ? 1.0 : -1.0;
  value += poly_blep(phase_, step_);
  double half = phase_ + 0.5;
  half -= std::floor(half);
  value -= poly_blep(half, step_);
  advance();
  return static_cast<float>(value);
}

float Oscillator::triangle() {
  const double value = 4.0 * std::abs(phase_ - 0.5) - 1.0;
  advance();
  return static_cast<float>(value);
}

void Filter::tune(double hz, double q) {
  hz = std::clamp(hz, 10.0, 0.45 * sample_rate);
  const double g = std::tan(pi * hz / sample_rate);
  k_ = 1.0 / std::max(q, 0.05);
  a1_ = 1.0 / (1.0 + g * (g + k_));
  a2_ = g * a1_;
  a3_ = g * a2_;
}

Filter::Out Filter::process(float x) {
  const double v3 = x - s2_;
  const double v1 = a1_ * s1_ + a2_ * v3;
  const double v2 = s2_ + a2_ * s1_ + a3_ * v3;
  s1_ = 2.0 * v1 - s1_;
  s2_ = 2.0 * v2 - s2_;
  return {static_cast<float>(v2), static_cast<float>(k_ * v1),
          static_cast<float>(x - k_ * v1 - v2)};
}

double attack_decay(double t, double attack, double decay_tau) {
  if (t < 0.0) return 0.0;
  if (t < attack) return t / attack;
  return std::exp(-(t - attack) / decay_tau);
}

double gate(double t, double attack, double release, double length) {
  if (t < 0.0 || t >= length) return 0.0;
  double level = 1.0;
  if (attack > 0.0) level = std::min(level, t / attack);
  if (release > 0.0) level = std::min(level, (length - t) / release);
  return level;
}

Reverb::Reverb(double size, double damping)
    : feedback_(static_cast<float>(0.7 + 0.28 * std::clamp(size, 0.0, 1.0))),
      damping_(static_cast<float>(0.4 * std::clamp(damping, 0.0, 1.0))) {
  static constexpr size_t comb_lengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  static constexpr size_t allpass_lengths[] = {556, 441, 341, 225};
  static constexpr size_t stereo_spread = 23;
  for (int side = 0; side < 2; ++side) {
    for (size_t length : comb_lengths) {
      combs_[side].push_back({std::vector<float>(length + side * stereo_spread, 0.0f)});
    }
    for (size_t length : allpass_lengths) {
      allpasses_[side].push_back({std::vector<float>(length + side * stereo_spread, 0.0f)});
    }
  }
}

float Reverb::comb(Line& line, float in) {
  const float out = line.buffer[line.index];
  line.store = out * (1.0f - damping_) + line.store * damping_;
  line.buffer[line.index] = in + line.store * feedback_;
  if (++line.index == line.buffer.size()) line.index = 0;
  return out;
}

float Reverb::allpass(Line& line, float in) {
  const float delayed = line.buffer[line.index];
  line.buffer[line.index] = in + delayed * 0.5f;
  if (++line.index == line.buffer.size()) line.index = 0;
  return delayed - in;
}

void Reverb::process(float in, float& left, float& right) {
  const float input = in * 0.015f;
  float out[2] = {0.0f, 0.0f};
  for (int side = 0; side < 2; ++side) {
    for (Line& line : combs_[side]) out[side] += comb(line, input);
    for (Line& line : allpasses_[side]) out[side] = allpass(line, out[side]);
  }
  left = out[0];
  right = out[1];
}

void add(Sound& into, const Sound& from, size_t at_frame, float gain) {
  const size_t needed = at_frame + from.frames();
  if (into.frames() < needed) into.samples.resize(needed * into.channels, 0.0f);
  for (size_t frame = 0; frame < from.frames(); ++frame) {
    for (int channel = 0; channel < into.channels; ++channel) {
      const int source = std::min(channel, from.channels - 1);
      into.at(at_frame + frame, channel) += gain * from.at(frame, source);
    }
  }
}

void add_panned(Sound& into, const Sound& mono, size_t at_frame, float gain, float pan) {
  const double angle = (std::clamp(pan, -1.0f, 1.0f) + 1.0) * pi / 4.0;
  const float left = gain * static_cast<float>(std::cos(angle));
  const float right = gain * static_cast<float>(std::sin(angle));
  const size_t needed = at_frame + mono.frames();
  if (into.frames() < needed) into.samples.resize(needed * into.channels, 0.0f);
  for (size_t frame = 0; frame < mono.frames(); ++frame) {
    const float value = mono.at(frame, 0);
    into.at(at_frame + frame, 0) += left * value;
    into.at(at_frame + frame, 1) += right * value;
  }
}

Sound room(const Sound& input, double size, double damping, double tail_seconds) {
  Reverb hall(size, damping);
  const size_t frames = input.frames() + frames_for(tail_seconds);
  Sound out;
  out.channels = 2;
  out.samples.assign(frames * 2, 0.0f);
  for (size_t frame = 0; frame < frames; ++frame) {
    float in = 0.0f;
    if (frame < input.frames()) {
      for (int channel = 0; channel < input.channels; ++channel) in += input.at(frame, channel);
      in /= input.channels;
    }
    hall.process(in, out.at(frame, 0), out.at(frame, 1));
  }
  return out;
}

Sound reverb(const Sound& input, double size, double damping, float wet, double tail_seconds) {
  Sound out = room(input, size, damping, tail_seconds);
  scale(out, wet);
  add(out, input, 0);
  return out;
}

Sound to_mono(const Sound& sound) {
  Sound out;
  out.samples.resize(sound.frames());
  for (size_t frame = 0; frame < sound.frames(); ++frame) {
    float sum = 0.0f;
    for (int channel = 0; channel < sound.channels; ++channel) sum += sound.at(frame, channel);
    out.samples[frame] = sum / sound.channels;
  }
  return out;
}

float peak(const Sound& sound) {
  float highest = 0.0f;
  for (float value : sound.samples) highest = std::max(highest, std::abs(value));
  return highest;
}

void scale(Sound& sound, float gain) {
  for (float& value : sound.samples) value *= gain;
}

void normalize(Sound& sound, float target_peak) {
  const float highest = peak(sound);
  if (highest > 0.0f) scale(sound, target_peak / highest);
}

void fade(Sound& sound, double in_seconds, double out_seconds) {
  const size_t frames = sound.frames();
  const size_t in = std::min(frames, frames_for(in_seconds));
  const size_t out = std::min(frames, frames_for(out_seconds));
  for (size_t frame = 0; frame < in; ++frame) {
    const float gain = static_cast<float>(0.5 - 0.5 * std::cos(pi * frame / in));
    for (int channel = 0; channel < sound.channels; ++channel) sound.at(frame, channel) *= gain;
  }
  for (size_t k = 0; k < out; ++k) {
    const float gain = static_cast<float>(0.5 - 0.5 * std::cos(pi * k / out));
    for (int channel = 0; channel < sound.channels; ++channel) {
      sound.at(frames - 1 - k, channel) *= gain;
    }
  }
}

void soft_saturate(Sound& sound, float drive) {
  const float norm = std::tanh(drive);
  for (float& value : sound.samples) value = std::tanh(drive * value) / norm;
}

void limit_peaks(Sound& sound, float ceiling) {
  const size_t frames = sound.frames();
  const size_t ramp = frames_for(0.002), hold = frames_for(0.02);
  // The gain each frame needs on its own...
  std::vector<float> need(frames, 1.0f);
  for (size_t frame = 0; frame < frames; ++frame) {
    for (int channel = 0; channel < sound.channels; ++channel) {
      const float level = std::abs(sound.at(frame, channel));
      if (level > ceiling) need[frame] = std::min(need[frame], ceiling / level);
    }
  }
  // ...the lowest of it from `hold` frames back to `ramp` ahead (a sliding
  // minimum, kept as a queue of rising values)...
  std::vector<float> held(frames);
  std::deque<size_t> lows;
  for (size_t frame = 0, next = 0; frame < frames; ++frame) {
    for (; next < std::min(frames, frame + ramp); ++next) {
      while (!lows.empty() && need[lows.back()] >= need[next]) lows.pop_back();
      lows.push_back(next);
    }
    while (lows.front() + hold < frame) lows.pop_front();
    held[frame] = need[lows.front()];
  }
  // ...averaged over the last `ramp` frames, which reaches it by each peak
  // (before the start, the first frame's stands in).
  if (frames == 0) return;
  double sum = static_cast<double>(held[0]) * ramp;
  for (size_t frame = 0; frame < frames; ++frame) {
    sum += held[frame] - held[frame >= ramp ? frame - ramp : 0];
    const float gain = static_cast<float>(sum / ramp);
    for (int channel = 0; channel < sound.channels; ++channel) sound.at(frame, channel) *= gain;
  }
}

void trim(Sound& sound, float threshold, double margin_seconds) {
  const size_t frames = sound.frames();
  size_t first = frames, last = 0;
  for (size_t frame = 0; frame < frames; ++frame) {
    for (int channel = 0; channel < sound.channels; ++channel) {
      if (std::abs(sound.at(frame, channel)) > threshold) {
        first = std::min(first, frame);
        last = frame;
      }
    }
  }
  if (first > last) return;
  const size_t margin = frames_for(margin_seconds);
  first = first > margin ? first - margin : 0;
  last = std::min(frames - 1, last + margin);
  sound.samples = std::vector<float>(sound.samples.begin() + first * sound.channels,
                                     sound.samples.begin() + (last + 1) * sound.channels);
}

Sound fold_loop(const Sound& rendered, size_t loop_frames) {
  Sound loop;
  loop.channels = rendered.channels;
  loop.samples.assign(loop_frames * loop.channels, 0.0f);
  for (size_t frame = 0; frame < rendered.frames(); ++frame) {
    for (int channel = 0; channel < loop.channels; ++channel) {
      loop.at(frame % loop_frames, channel) += rendered.at(frame, channel);
    }
  }
  return loop;
}

Sound crossfade_loop(const Sound& rendered, size_t loop_frames, size_t fade_frames) {
  Sound loop;
  loop.channels = rendered.channels;
  loop.samples.assign(loop_frames * loop.channels, 0.0f);
  auto source = [&](size_t frame, int channel) {
    return frame < rendered.frames() ? rendered.at(frame, channel) : 0.0f;
  };
  for (size_t frame = 0; frame < loop_frames; ++frame) {
    for (int channel = 0; channel < loop.channels; ++channel) {
      float value = source(frame, channel);
      if (frame < fade_frames) {
        const double w = (frame + 0.5) / fade_frames * pi / 2.0;
        value = static_cast<float>(value * std::sin(w) +
                                   source(loop_frames + frame, channel) * std::cos(w));
      }
      loop.at(frame, channel) = value;
    }
  }
  return loop;
}

Sound resample(const Sound& sound, int from_rate) {
  if (from_rate == sample_rate || from_rate <= 0) return sound;
  // Cut-off below the lower of the two Nyquist limits, in input samples.
  const double cutoff = 0.92 * std::min(1.0, static_cast<double>(sample_rate) / from_rate);
  const int half_width = static_cast<int>(std::ceil(16.0 / cutoff));
  constexpr int phases = 512;
  const int taps = 2 * half_width;
  // kernel[p][j]: weight of input sample (floor(t) - half_width + 1 + j) when t's
  // fraction is p / phases; each row sums to 1 so levels are kept.
  std::vector<double> kernel(static_cast<size_t>(phases) * taps);
  for (int p = 0; p < phases; ++p) {
    const double fraction = static_cast<double>(p) / phases;
    double sum = 0.0;
    for (int j = 0; j < taps; ++j) {
      const double x = (j - half_width + 1) - fraction;
      const double arg = pi * cutoff * x;
      const double sinc = std::abs(arg) < 1e-12 ? 1.0 : std::sin(arg) / arg;
      const double w = std::clamp(0.5 + 0.5 * x / half_width, 0.0, 1.0);
      const double blackman = 0.42 - 0.5 * std::cos(2.0 * pi * w) + 0.08 * std::cos(4.0 * pi * w);
      kernel[p * taps + j] = sinc * blackman;
      sum += sinc * blackman;
    }
    for (int j = 0; j < taps; ++j) kernel[p * taps + j] /= sum;
  }
  const size_t in_frames = sound.frames();
  const size_t out_frames =
      static_cast<size_t>(static_cast<double>(in_frames) * sample_rate / from_rate);
  Sound out;
  out.channels = sound.channels;
  out.samples.assign(out_frames * out.channels, 0.0f);
  const double step = static_cast<double>(from_rate) / sample_rate;
  for (size_t n = 0; n < out_frames; ++n) {
    const double t = n * step;
    long base = static_cast<long>(std::floor(t));
    int p = static_cast<int>((t - base) * phases + 0.5);
    if (p == phases) {
      ++base;
      p = 0;
    }
    const double* row = &kernel[static_cast<size_t>(p) * taps];
    for (int channel = 0; channel < out.channels; ++channel) {
      double acc = 0.0;
      for (int j = 0; j < taps; ++j) {
        const long k = base - half_width + 1 + j;
        if (k >= 0 && k < static_cast<long>(in_frames)) acc += row[j] * sound.at(k, channel);
      }
      out.at(n, channel) = static_cast<float>(acc);
    }
  }
  return out;
}

}  // namespace tornello::assets
