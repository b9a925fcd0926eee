// The building blocks of every generated sound: a sample buffer, a seeded random
// generator, oscillators, filters, envelopes, a reverb, and the finishing steps
// (loop joins, normalising, resampling). Everything is deterministic: the same
// recipe gives the same samples on every run.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tornello::assets {

inline constexpr int sample_rate = 44100;
inline constexpr double pi = 3.14159265358979323846;

// Sample frames at 44.1 kHz, nominally -1..1; interleaved when stereo.
struct Sound {
  int channels = 1;
  std::vector<float> samples;

  size_t frames() const { return samples.size() / static_cast<size_t>(channels); }
  float& at(size_t frame, int channel) { return samples[frame * channels + channel]; }
  float at(size_t frame, int channel) const { return samples[frame * channels + channel]; }
};

Sound silence(double seconds, int channels = 1);
size_t frames_for(double seconds);
double midi_hz(double note);

// `seconds` of mono sound from f(t), t in seconds, evaluated in order.
template <typename F>
Sound render(double seconds, F&& f) {
  Sound out = silence(seconds);
  for (size_t frame = 0; frame < out.frames(); ++frame) {
    out.samples[frame] = static_cast<float>(f(static_cast<double>(frame) / sample_rate));
  }
  return out;
}

// splitmix64: small, fast and the same everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next();
  double uniform();  // [0, 1)
  double bipolar();  // [-1, 1)
  double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  int below(int n) { return static_cast<int>(uniform() * n); }

 private:
  uint64_t state_;
};

// A seed from a name, so each sound draws its own numbers whatever order the
// sounds are made in.
uint64_t seed_from(std::string_view name);

// Band-limited oscillator: phase in cycles, one step per sample.
class Oscillator {
 public:
  void set_hz(double hz) { step_ = hz / sample_rate; }
  void set_phase(double phase) { phase_ = phase - std::floor(phase); }
  float sine();
  float saw();
  float square();
  float triangle();

 private:
  void advance();
  double phase_ = 0.0;
  double step_ = 0.0;
};

// State-variable filter (trapezoidal): cheap to retune every sample for sweeps.
class Filter {
 public:
  Filter(double hz = 1000.0, double q = 0.707) { tune(hz, q); }
  void tune(double hz, double q);
  struct Out {
    float low;
    float band;  // 0 dB at the centre
    float high;
  };
  Out process(float x);
  float low(float x) { return process(x).low; }
  float band(float x) { return process(x).band; }
  float high(float x) { return process(x).high; }

 private:
  double k_ = 1.0, a1_ = 0.0, a2_ = 0.0, a3_ = 0.0;
  double s1_ = 0.0, s2_ = 0.0;
};

// Amplitude envelopes, times in seconds.
double attack_decay(double t, double attack, double decay_tau);
// Rises over `attack`, holds, and falls to 0 over `release` ending at `length`.
double gate(double t, double attack, double release, double length);

// A stereo room (parallel combs into series all-passes), fed mono.
class Reverb {
 public:
  Reverb(double size, double damping);
  void process(float in, float& left, float& right);

 private:
  struct Line {
    std::vector<float> buffer;
    size_t index = 0;
    float store = 0.0f;
  };
  float comb(Line& line, float in);
  static float allpass(Line& line, float in);
  std::vector<Line> combs_[2];
  std::vector<Line> allpasses_[2];
  float feedback_;
  float damping_;
};

// Mixing.
void add(Sound& into, const Sound& from, size_t at_frame, float gain = 1.0f);
// A mono sound into a stereo one, pan -1 (left) .. 1 (right), equal power.
void add_panned(Sound& into, const Sound& mono, size_t at_frame, float gain, float pan);
// The room's answer alone (stereo), lasting `tail_seconds` past the input.
Sound room(const Sound& input, double size, double damping, double tail_seconds);
// The input with the room's answer mixed in at `wet`.
Sound reverb(const Sound& input, double size, double damping, float wet, double tail_seconds);
Sound to_mono(const Sound& sound);

// Finishing.
float peak(const Sound& sound);
void scale(Sound& sound, float gain);
void normalize(Sound& sound, float target_peak);
void fade(Sound& sound, double in_seconds, double out_seconds);
void soft_saturate(Sound& sound, float drive);
// Holds every sample at or under `ceiling` with a gain that dips around each
// peak (down over 2 ms, held 20 ms, up over 2 ms): an attack loses its top, not
// its shape. For one-shots: the gain does not wrap round a loop's join.
void limit_peaks(Sound& sound, float ceiling);
// Drops leading and trailing frames quieter than `threshold`, keeping `margin`.
void trim(Sound& sound, float threshold, double margin_seconds);
// A loop of `loop_frames` from a longer rendering of events: whatever rings on
// past the end is added back onto the start, as it would be in endless play.
Sound fold_loop(const Sound& rendered, size_t loop_frames);
// A loop of `loop_frames` from a longer rendering of a steady texture: the
// `fade_frames` after the end are blended over the start with equal power.
Sound crossfade_loop(const Sound& rendered, size_t loop_frames, size_t fade_frames);
// Windowed-sinc conversion from `from_rate` to 44.1 kHz.
Sound resample(const Sound& sound, int from_rate);

}  // namespace tornello::assets
