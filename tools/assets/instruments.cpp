#include "assets/instruments.h"

#include <algorithm>

namespace tornello::assets {

namespace {

double vibrato(double t, double delay, double depth_semitones) {
  const double depth = depth_semitones * std::clamp((t - delay) / 0.3, 0.0, 1.0);
  return std::pow(2.0, depth * std::sin(2.0 * pi * 5.5 * t) / 12.0);
}

Sound pad(double hz, double hold, Rng& rng) {
  Oscillator voices[3];
  const double detune[3] = {-0.08, 0.0, 0.08};  // semitones
  for (int k = 0; k < 3; ++k) {
    voices[k].set_hz(hz * std::pow(2.0, detune[k] / 12.0));
    voices[k].set_phase(rng.uniform());
  }
  Filter tone(std::min(4000.0, 2.5 * hz + 600.0), 0.7);
  const double release = 0.9;
  return render(hold + release, [&](double t) {
    const double saw = (voices[0].saw() + voices[1].saw() + voices[2].saw()) / 3.0;
    return 0.5 * gate(t, 0.35, release, hold + release) * tone.low(static_cast<float>(saw));
  });
}

Sound epiano(double hz, double hold, float velocity) {
  const double release = 0.3;
  return render(hold + release, [&](double t) {
    const double index = (0.6 + 1.4 * velocity) * std::exp(-t / 0.35) + 0.2;
    const double body = std::sin(2.0 * pi * hz * t + index * std::sin(2.0 * pi * hz * t));
    const double tine = 0.12 * std::exp(-t / 0.05) * std::sin(2.0 * pi * 7.0 * hz * t);
    const double level =
        attack_decay(t, 0.003, 1.4) * std::min(1.0, (hold + release - t) / release);
    return level * (body + tine);
  });
}

Sound bell(double hz, double hold, float velocity) {
  const double length = hold + 1.6;
  return render(length, [&](double t) {
    // Struck harder, the bell rings brighter.
    const double index = (1.0 + 2.0 * velocity) * std::exp(-t / 0.5);
    const double value = std::sin(2.0 * pi * hz * t + index * std::sin(2.0 * pi * 3.5 * hz * t));
    const double level = attack_decay(t, 0.002, 0.9) * std::min(1.0, (length - t) / 0.2);
    return level * value;
  });
}

// Karplus-Strong: a burst of noise circulating in a delay line one period long.
Sound pluck(double hz, double hold, float velocity, Rng& rng) {
  const size_t period = std::max<size_t>(2, static_cast<size_t>(sample_rate / hz + 0.5));
  std::vector<float> line(period);
  Filter soften(1500.0 + 4000.0 * velocity, 0.7);
  for (float& value : line) value = soften.low(static_cast<float>(rng.bipolar()));
  const double release = 0.08;
  size_t index = 0;
  return render(hold + release, [&](double t) {
    const size_t next = (index + 1) % period;
    const float out = line[index];
    line[index] = 0.996f * 0.5f * (line[index] + line[next]);
    index = next;
    return out * std::min(1.0, (hold + release - t) / release);
  });
}

Sound bass(double hz, double hold, float velocity) {
  Oscillator saw, square, sub;
  saw.set_hz(hz);
  square.set_hz(hz);
  sub.set_hz(hz);
  Filter tone;
  const double length = hold + 0.05;
  size_t frame = 0;
  return render(length, [&](double t) {
    if (frame++ % 16 == 0) tone.tune(180.0 + 1400.0 * velocity * std::exp(-t / 0.12), 1.2);
    const float raw = 0.6f * saw.saw() + 0.4f * square.square();
    return gate(t, 0.005, 0.05, length) * (tone.low(raw) + 0.5 * sub.sine());
  });
}

Sound lead(double hz, double hold) {
  Oscillator a, b;
  Filter tone(3500.0, 0.8);
  const double length = hold + 0.12;
  return render(length, [&](double t) {
    const double f = hz * vibrato(t, 0.2, 0.15);
    a.set_hz(f);
    b.set_hz(f * 1.003);
    const float raw = 0.6f * a.square() + 0.4f * b.saw();
    return gate(t, 0.01, 0.12, length) * tone.low(raw);
  });
}

Sound brass(double hz, double hold, float velocity, bool muted) {
  Oscillator a, b;
  Filter tone;
  const double length = hold + 0.15;
  size_t frame = 0;
  return render(length, [&](double t) {
    const double f = hz * vibrato(t, 0.25, muted ? 0.5 : 0.12);
    a.set_hz(f);
    b.set_hz(f * 1.004);
    if (frame++ % 16 == 0) {
      double cutoff = 0.0;
      if (muted) {
        // The mute opens and closes over each note: "wah".
        const double x = std::clamp(t / std::max(hold, 0.1), 0.0, 1.0);
        cutoff = 300.0 + 1500.0 * std::sin(pi * std::min(1.0, 1.6 * x));
      } else {
        const double swell = std::min(1.0, t / 0.08);
        cutoff = 400.0 + (1400.0 + 2200.0 * velocity) * swell * (0.7 + 0.3 * std::exp(-t / 0.3));
      }
      tone.tune(cutoff, 1.0);
    }
    const float raw = 0.5f * (a.saw() + b.saw());
    return gate(t, muted ? 0.03 : 0.04, 0.15, length) * tone.low(raw);
  });
}

Sound drum(Instrument instrument, double hz, Rng& rng) {
  switch (instrument) {
    case Instrument::kick: {
      double phase = 0.0;
      return render(0.5, [&](double t) {
        phase += (48.0 + 110.0 * std::exp(-t / 0.035)) / sample_rate;
        const double click = std::exp(-t / 0.002) * rng.bipolar() * 0.3;
        return std::exp(-t / 0.25) * std::sin(2.0 * pi * phase) + click;
      });
    }
    case Instrument::snare: {
      Filter rattle(3500.0, 0.7);
      return render(0.35, [&](double t) {
        const double noise = rattle.band(static_cast<float>(rng.bipolar()));
        return 0.9 * std::exp(-t / 0.11) * noise +
               0.5 * std::exp(-t / 0.05) * std::sin(2.0 * pi * 185.0 * t);
      });
    }
    case Instrument::hat:
    case Instrument::open_hat: {
      Filter air(7000.0, 0.7);
      const double tau = instrument == Instrument::hat ? 0.025 : 0.18;
      return render(instrument == Instrument::hat ? 0.12 : 0.6, [&](double t) {
        return std::exp(-t / tau) * air.high(static_cast<float>(rng.bipolar()));
      });
    }
    case Instrument::clap: {
      Filter hands(1200.0, 1.5);
      return render(0.3, [&](double t) {
        double level = 0.6 * std::exp(-t / 0.09);
        for (double start : {0.0, 0.011, 0.023}) {
          if (t >= start) level += std::exp(-(t - start) / 0.006);
        }
        return 1.5 * level * hands.band(static_cast<float>(rng.bipolar()));
      });
    }
    case Instrument::tick:
      return render(0.08, [&](double t) {
        return std::exp(-t / 0.012) * std::sin(2.0 * pi * hz * t) +
               0.5 * std::exp(-t / 0.006) * std::sin(2.0 * pi * 1.5 * hz * t);
      });
    case Instrument::tom: {
      double phase = 0.0;
      Filter skin(hz * 3.0, 1.0);
      return render(0.6, [&](double t) {
        phase += hz * (1.0 + 0.3 * std::exp(-t / 0.05)) / sample_rate;
        return std::exp(-t / 0.3) * std::sin(2.0 * pi * phase) +
               0.3 * std::exp(-t / 0.03) * skin.band(static_cast<float>(rng.bipolar()));
      });
    }
    case Instrument::crash: {
      Filter shimmer(5000.0, 0.5);
      const double partials[4] = {447.0, 987.0, 1523.0, 2243.0};
      return render(2.5, [&](double t) {
        double metal = 0.0;
        for (double f : partials)
          metal += std::sin(2.0 * pi * f * t + 2.0 * std::sin(2.0 * pi * f * 1.41 * t));
        const double noise = shimmer.high(static_cast<float>(rng.bipolar()));
        return attack_decay(t, 0.003, 0.9) * (0.8 * noise + 0.08 * metal);
      });
    }
    default:
      return Sound{};
  }
}

}  // namespace

Sound play_note(Instrument instrument, double hz, double hold, float velocity, Rng& rng) {
  Sound note;
  switch (instrument) {
    case Instrument::pad:
      note = pad(hz, hold, rng);
      break;
    case Instrument::epiano:
      note = epiano(hz, hold, velocity);
      break;
    case Instrument::bell:
      note = bell(hz, hold, velocity);
      break;
    case Instrument::pluck:
      note = pluck(hz, hold, velocity, rng);
      break;
    case Instrument::bass:
      note = bass(hz, hold, velocity);
      break;
    case Instrument::lead:
      note = lead(hz, hold);
      break;
    case Instrument::brass:
      note = brass(hz, hold, velocity, false);
      break;
    case Instrument::trombone:
      note = brass(hz, hold, velocity, true);
      break;
    default:
      note = drum(instrument, hz, rng);
      break;
  }
  scale(note, velocity);
  return note;
}

}  // namespace tornello::assets
