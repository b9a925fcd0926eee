#include "assets/voice.h"

#include <algorithm>
#include <array>

namespace tornello::assets {

namespace {

struct Formants {
  double f1, f2, f3;
};

Formants formants_of(Vowel vowel) {
  switch (vowel) {
    case Vowel::a:
      return {730, 1090, 2440};
    case Vowel::e:
      return {530, 1840, 2480};
    case Vowel::i:
      return {300, 2250, 3000};
    case Vowel::o:
      return {570, 840, 2410};
    case Vowel::u:
      return {320, 870, 2240};
    case Vowel::ae:
      return {660, 1720, 2410};
    case Vowel::er:
      return {490, 1350, 1690};
  }
  return {500, 1500, 2500};
}

double smoothstep(double x) {
  x = std::clamp(x, 0.0, 1.0);
  return x * x * (3.0 - 2.0 * x);
}

}  // namespace

Sound speak_vowels(const Utterance& u, Rng& rng) {
  const double total = u.aspiration + u.length;
  Sound out = silence(total);
  const Formants from = formants_of(u.from);
  const Formants to = formants_of(u.to);
  std::array<Filter, 3> resonances;
  constexpr std::array<double, 3> bandwidths = {90.0, 120.0, 170.0};
  constexpr std::array<float, 3> gains = {1.0f, 0.55f, 0.28f};
  Oscillator glottis;
  Filter tilt(1200.0, 0.6);
  Filter burst(2200.0, 2.0);
  double wobble = 0.0;
  const double vibrato_phase = rng.uniform();
  for (size_t frame = 0; frame < out.frames(); ++frame) {
    const double t = static_cast<double>(frame) / sample_rate;
    const double tv = t - u.aspiration;  // time into the voicing
    if (frame % 32 == 0) {
      const double mix = smoothstep(tv / u.length);
      const double f[3] = {from.f1 + (to.f1 - from.f1) * mix, from.f2 + (to.f2 - from.f2) * mix,
                           from.f3 + (to.f3 - from.f3) * mix};
      for (int k = 0; k < 3; ++k) {
        const double hz = f[k] * u.formant_scale;
        resonances[k].tune(hz, hz / bandwidths[k]);
      }
      wobble = 0.97 * wobble + 0.03 * rng.bipolar();
      const double glide =
          u.f0_start * std::pow(u.f0_end / u.f0_start, std::clamp(tv / u.length, 0.0, 1.0));
      const double vib = u.vibrato * std::sin(2.0 * pi * (5.5 * t + vibrato_phase));
      glottis.set_hz(glide * std::pow(2.0, (vib + 0.6 * wobble) / 12.0));
    }
    const float noise = static_cast<float>(rng.bipolar());
    double voiced = tilt.low(glottis.saw());
    double level = 0.0;
    double hiss = u.breath;
    if (tv < 0.0) {
      // /h/: breath through the shape of the coming vowel.
      voiced = 0.0;
      level = 0.5 * std::min(1.0, t / std::max(u.aspiration, 1e-3));
      hiss = 1.0;
    } else {
      level = gate(tv, u.attack, u.release, u.length);
    }
    double click = 0.0;
    if (u.stop_at >= 0.0) {
      // /k/: the voice closes for a moment, then a short burst of air.
      const double d = tv - u.stop_at;
      if (d > -0.04 && d < 0.03) level *= std::clamp(std::abs(d + 0.005) / 0.03, 0.0, 1.0);
      if (d >= 0.0 && d < 0.025) click = std::exp(-d / 0.006) * burst.band(noise);
    }
    const float source = static_cast<float>((1.0 - u.breath) * voiced + hiss * noise * 0.5);
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) sum += gains[k] * resonances[k].band(source);
    out.samples[frame] = static_cast<float>(level * sum + 0.6 * click);
  }
  return out;
}

Sound chorus(const Chorus& c, Rng& rng) {
  Sound out;
  for (int n = 0; n < c.voices; ++n) {
    Utterance u = c.base;
    const bool woman = rng.uniform() < c.women;
    const double shift =
        std::pow(2.0, rng.range(-c.pitch_spread, c.pitch_spread) / 12.0) * (woman ? 1.85 : 1.0);
    u.f0_start *= shift;
    u.f0_end *= shift;
    u.formant_scale *= (woman ? 1.17 : 1.0) * rng.range(0.95, 1.05);
    u.length *= 1.0 + rng.range(-c.length_spread, c.length_spread);
    if (u.stop_at >= 0.0) u.stop_at = std::min(u.stop_at * u.length / c.base.length, u.length);
    const size_t onset = frames_for(rng.range(0.0, c.onset_spread));
    add(out, speak_vowels(u, rng), onset, static_cast<float>(rng.range(0.5, 1.0)));
  }
  return out;
}

}  // namespace tornello::assets
