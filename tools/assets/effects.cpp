// The match's effects, the eight goal sounds and the cues of the menus and of
// character selection.
#include <algorithm>

#include "assets/instruments.h"
#include "assets/recipes.h"

namespace tornello::assets {

Sound finish_one_shot(Sound sound, float target_peak) {
  fade(sound, 0.002, std::min(0.02, 0.2 * sound.frames() / sample_rate));
  normalize(sound, target_peak);
  return sound;
}

Sound finish_loop(Sound sound, float target_peak) {
  normalize(sound, target_peak);
  return sound;
}

namespace {

float noise(Rng& rng) {
  return static_cast<float>(rng.bipolar());
}

// An exponential glide from `from` to `to` Hz over `seconds`, as phase in cycles.
struct Glide {
  double from, to, seconds;
  double phase = 0.0;
  double next(double t) {
    const double x = std::clamp(t / seconds, 0.0, 1.0);
    phase += from * std::pow(to / from, x) / sample_rate;
    return phase;
  }
};

// Shortens a ringing sound to `seconds`, dying away over its last quarter.
Sound cut(Sound sound, double seconds) {
  sound.samples.resize(std::min(sound.samples.size(), frames_for(seconds)));
  fade(sound, 0.0, 0.25 * seconds);
  return sound;
}

Sound notes(std::initializer_list<std::pair<double, double>> start_and_hz, Instrument instrument,
            double hold, Rng& rng) {
  Sound out;
  for (auto [start, hz] : start_and_hz) {
    add(out, play_note(instrument, hz, hold, 1.0f, rng), frames_for(start));
  }
  return out;
}

// Ball on the table: the hollow shell rings at a clear pitch each time it comes
// round, fifteen times a second, the turns falling alternately heavy and light,
// over a purr at the same pitch and a little of the table's rumble. That ringing
// pulse is what sets the ball apart from the crowd's murmur. The turns are whole
// within the loop, and what rings past its end wraps onto its start.
Sound rolling(Rng& rng) {
  const double seconds = 2.0, turns_hz = 15.0, pitch = 1568.0;
  const size_t loop = frames_for(seconds), join = frames_for(0.25);
  Sound turns;
  for (int turn = 0; turn < static_cast<int>(seconds * turns_hz); ++turn) {
    const double weight = turn % 2 ? 0.6 : 1.0;
    Filter tick(4000.0, 1.2);
    const Sound ring = render(0.08, [&](double t) {
      return std::exp(-t / 0.014) *
                 (std::sin(2.0 * pi * pitch * t) + 0.3 * std::sin(2.0 * pi * 2.0 * pitch * t)) +
             0.4 * std::exp(-t / 0.002) * tick.band(noise(rng));
    });
    add(turns, ring, frames_for(turn / turns_hz + rng.range(0.0, 0.003)),
        static_cast<float>(weight * rng.range(0.85, 1.0)));
  }
  Sound out = fold_loop(turns, loop);
  Filter purr(pitch, 6.0), rumble(180.0, 0.7);
  Sound under = render(seconds + 0.25, [&](double t) {
    const float n = noise(rng);
    const double pulse = 0.6 + 0.4 * std::cos(2.0 * pi * turns_hz * t);
    return 0.25 * pulse * purr.band(n) + 0.15 * rumble.low(n);
  });
  add(out, crossfade_loop(under, loop, join), 0);
  return finish_loop(out, 0.8f);
}

// The ball bounces off a side of the court: a hollow wooden tock, well below
// the ball's own ring, and the board's thud.
Sound ball_border(Rng& rng) {
  Filter click(3000.0, 1.0);
  return finish_one_shot(render(0.25, [&](double t) {
    return std::exp(-t / 0.03) * std::sin(2.0 * pi * 880.0 * t * (1.0 - 0.2 * t)) +
           0.4 * std::exp(-t / 0.015) * std::sin(2.0 * pi * 2090.0 * t) +
           0.6 * std::exp(-t / 0.06) * std::sin(2.0 * pi * 300.0 * t) +
           0.5 * std::exp(-t / 0.003) * click.band(noise(rng));
  }));
}

// Paddle meets ball: a bright, short pok over a rubbery thwack.
Sound hit(Rng& rng) {
  Filter snap(3000.0, 1.2), thwack(500.0, 0.7);
  return finish_one_shot(render(0.2, [&](double t) {
    const float n = noise(rng);
    return 0.8 * std::exp(-t / 0.002) * snap.band(n) +
           std::exp(-t / 0.025) * std::sin(2.0 * pi * 1150.0 * t) +
           0.6 * std::exp(-t / 0.012) * std::sin(2.0 * pi * 2370.0 * t) +
           0.7 * std::exp(-t / 0.02) * thwack.low(n);
  }));
}

// The paddle cannot go further: a dull low thump.
Sound paddle_border(Rng& rng) {
  Filter thud(300.0, 0.7);
  Glide drop{150.0, 60.0, 0.06};
  return finish_one_shot(render(0.3, [&](double t) {
    return std::exp(-t / 0.09) * std::sin(2.0 * pi * drop.next(t)) +
           0.6 * std::exp(-t / 0.02) * thud.low(noise(rng));
  }));
}

// One step of the paddle: a soft shuffle with a faint tick.
Sound paddle_move(Rng& rng) {
  Filter swish(2500.0, 1.2);
  return finish_one_shot(render(0.09,
                                [&](double t) {
                                  return attack_decay(t, 0.01, 0.025) * swish.band(noise(rng)) +
                                         0.3 * std::exp(-t / 0.005) *
                                             std::sin(2.0 * pi * 1800.0 * t);
                                }),
                         0.7f);
}

// A sweep with a shimmer of tremolo, up for appear and down for disappear.
Sound sweep(double from, double to, double tremolo_from, double tremolo_to, Rng& rng) {
  const double seconds = 0.7;
  Glide tone{from, to, seconds};
  Glide tremolo{tremolo_from, tremolo_to, seconds};
  Filter sparkle(6000.0, 2.0);
  return finish_one_shot(render(seconds, [&](double t) {
    const double shimmer = 0.75 + 0.25 * std::sin(2.0 * pi * tremolo.next(t));
    const double phase = tone.next(t);
    const double body = std::sin(2.0 * pi * phase) + 0.3 * std::sin(4.0 * pi * phase);
    return gate(t, 0.05, 0.25, seconds) * (shimmer * body + 0.25 * sparkle.band(noise(rng)));
  }));
}

// Shield raised or lowered: a resonant filter sweeping over a buzzing saw.
Sound shield_sweep(double hz_from, double hz_to, double cutoff_from, double cutoff_to,
                   double seconds, Rng& rng) {
  Oscillator a, b;
  Filter tone;
  Filter whoosh;
  size_t frame = 0;
  return finish_one_shot(render(seconds, [&](double t) {
    const double x = std::clamp(t / seconds, 0.0, 1.0);
    if (frame++ % 16 == 0) {
      tone.tune(cutoff_from * std::pow(cutoff_to / cutoff_from, x), 4.0);
      whoosh.tune(cutoff_from * 2.0 * std::pow(cutoff_to / cutoff_from, x), 1.5);
    }
    const double phase_hz = hz_from * std::pow(hz_to / hz_from, x);
    a.set_hz(phase_hz);
    b.set_hz(phase_hz * 1.01);
    const float raw = 0.5f * (a.saw() + b.saw());
    return gate(t, 0.05, 0.3, seconds) * (tone.low(raw) + 0.3 * whoosh.band(noise(rng)));
  }));
}

// The shield's hum: harmonics of 110 Hz beating against 111 Hz, with a slow
// swell and a little electric crackle. Every frequency makes whole cycles in
// the loop's two seconds; the crackle is cross-faded.
Sound shield_loop(Rng& rng) {
  const double seconds = 2.0;
  const size_t loop = frames_for(seconds), join = frames_for(0.2);
  Sound hum = render(seconds, [&](double t) {
    double value = 0.0;
    for (int k = 1; k <= 12; ++k) {
      const double weight = 1.0 / k * (k == 3 || k == 5 ? 1.6 : 1.0);
      value += weight * std::sin(2.0 * pi * k * 110.0 * t);
      value += 0.5 * weight * std::sin(2.0 * pi * k * 111.0 * t + 0.7 * k);
    }
    return (0.85 + 0.15 * std::sin(2.0 * pi * 0.5 * t)) * value;
  });
  Filter sizzle(4500.0, 2.0);
  Sound crackle = render(seconds + 0.2, [&](double) {
    const double spark = rng.uniform() < 0.003 ? 6.0 : 1.0;
    return spark * 0.15 * sizzle.band(noise(rng));
  });
  add(hum, crossfade_loop(crackle, loop, join), 0);
  return finish_loop(hum, 0.8f);
}

// The ball strikes a shield: a metallic clang with a falling electric zap.
Sound shield_hit(Rng& rng) {
  Glide zap{2000.0, 300.0, 0.15};
  Filter burst(2500.0, 0.8);
  return finish_one_shot(render(0.6, [&](double t) {
    const double index = 5.0 * std::exp(-t / 0.15);
    const double clang = std::sin(2.0 * pi * 520.0 * t + index * std::sin(2.0 * pi * 733.0 * t));
    const double z = std::sin(2.0 * pi * zap.next(t)) > 0.0 ? 1.0 : -1.0;
    return std::exp(-t / 0.18) * clang + 0.35 * std::exp(-t / 0.05) * z +
           0.5 * std::exp(-t / 0.01) * burst.band(noise(rng));
  }));
}

// Eight goal sounds, each of its own kind so a point never sounds the same twice in a row.
Sound goal_horn(Rng&) {
  Oscillator voices[3];
  const double chord[3] = {233.1, 293.7, 349.2};
  Filter tone(2200.0, 0.9);
  return finish_one_shot(render(1.3, [&](double t) {
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
      voices[k].set_hz(chord[k] * (1.0 + 0.004 * std::sin(2.0 * pi * 6.0 * t)));
      sum += voices[k].saw();
    }
    return gate(t, 0.06, 0.25, 1.3) * tone.low(static_cast<float>(sum / 3.0));
  }));
}

Sound goal_chime(Rng& rng) {
  return finish_one_shot(
      notes({{0.0, midi_hz(72)}, {0.1, midi_hz(76)}, {0.2, midi_hz(79)}, {0.3, midi_hz(84)}},
            Instrument::bell, 0.4, rng));
}

Sound goal_whistle(Rng& rng) {
  Filter breath(3000.0, 2.0);
  return finish_one_shot(render(1.1, [&](double t) {
    const bool blowing = (t < 0.2) || (t > 0.3 && t < 1.0);
    if (!blowing) return 0.0;
    const double start = t < 0.2 ? 0.0 : 0.3;
    const double length = t < 0.2 ? 0.2 : 0.7;
    // The pea rattles: the pitch trills 150 Hz either way, 28 times a second.
    const double trill = 150.0 / 28.0 * std::sin(2.0 * pi * 28.0 * t);
    const double level = gate(t - start, 0.01, 0.03, length);
    return level * (std::sin(2.0 * pi * 2900.0 * t + trill) + 0.3 * breath.band(noise(rng)));
  }));
}

Sound goal_gong(Rng& rng) {
  const double partials[5] = {100.0, 231.0, 362.0, 508.0, 670.0};
  Filter strike(800.0, 0.7);
  return finish_one_shot(render(2.5, [&](double t) {
    double value = 0.0;
    for (int k = 0; k < 5; ++k) {
      value += std::exp(-t / (2.2 - 0.3 * k)) *
               std::sin(2.0 * pi * partials[k] * t * (1.0 + 0.002 * k)) / (1.0 + 0.3 * k);
    }
    return std::min(1.0, t / 0.01) * value + 0.5 * std::exp(-t / 0.02) * strike.low(noise(rng));
  }));
}

Sound goal_buzzer(Rng&) {
  Oscillator a, b;
  a.set_hz(110.0);
  b.set_hz(116.0);
  Filter tone(1800.0, 0.8);
  return finish_one_shot(render(0.9, [&](double t) {
    return gate(t, 0.01, 0.05, 0.9) * tone.low(0.5f * (a.square() + b.square()));
  }));
}

Sound goal_ding_ding(Rng& rng) {
  return finish_one_shot(
      notes({{0.0, midi_hz(88)}, {0.22, midi_hz(88)}}, Instrument::bell, 0.2, rng));
}

Sound goal_arcade(Rng&) {
  const double steps[6] = {60, 64, 67, 72, 76, 79};
  Oscillator square;
  return finish_one_shot(render(0.9, [&](double t) {
    const int step = std::min(5, static_cast<int>(t / 0.06));
    square.set_hz(midi_hz(steps[step] + 12));
    return 0.6 * gate(t, 0.005, 0.3, 0.9) * square.square();
  }));
}

Sound goal_boom(Rng& rng) {
  Filter whoosh;
  Glide fall{120.0, 40.0, 0.4};
  size_t frame = 0;
  Sound dry = render(1.4, [&](double t) {
    if (frame++ % 16 == 0) whoosh.tune(300.0 * std::pow(15.0, std::min(1.0, t / 0.35)), 1.5);
    const double rise = t < 0.35 ? (t / 0.35) * whoosh.band(noise(rng)) : 0.0;
    const double boom =
        t >= 0.35 ? std::exp(-(t - 0.35) / 0.35) * std::sin(2.0 * pi * fall.next(t - 0.35)) : 0.0;
    return 0.6 * rise + boom;
  });
  return finish_one_shot(to_mono(reverb(dry, 0.6, 0.5, 0.6, 0.6)));
}

// Menu cues.
Sound menu_open(Rng& rng) {
  return finish_one_shot(
      cut(notes({{0.0, midi_hz(79)}, {0.09, midi_hz(86)}}, Instrument::bell, 0.15, rng), 0.6),
      0.8f);
}

Sound menu_click(Rng& rng) {
  Filter air(6000.0, 0.7);
  return finish_one_shot(render(0.05,
                                [&](double t) {
                                  return std::exp(-t / 0.006) * std::sin(2.0 * pi * 2400.0 * t) +
                                         0.3 * std::exp(-t / 0.002) * air.high(noise(rng));
                                }),
                         0.7f);
}

Sound menu_select(Rng& rng) {
  return finish_one_shot(
      cut(notes({{0.0, midi_hz(84)}, {0.06, midi_hz(88)}, {0.12, midi_hz(91)}, {0.18, midi_hz(96)}},
                Instrument::bell, 0.2, rng),
          0.9),
      0.8f);
}

// Character-selection cues.
Sound select_enter(Rng& rng) {
  Filter whoosh;
  size_t frame = 0;
  Sound out = render(1.0, [&](double t) {
    if (frame++ % 16 == 0) whoosh.tune(200.0 * std::pow(20.0, std::min(1.0, t / 0.8)), 1.2);
    return gate(t, 0.3, 0.4, 1.0) * whoosh.band(noise(rng));
  });
  for (double note : {60.0, 64.0, 67.0, 72.0}) {
    add(out, play_note(Instrument::pad, midi_hz(note), 0.4, 0.5f, rng), frames_for(0.1));
  }
  return finish_one_shot(out, 0.8f);
}

Sound select_move(Rng&) {
  Glide up{700.0, 1100.0, 0.05};
  return finish_one_shot(render(0.18,
                                [&](double t) {
                                  const double phase = up.next(t);
                                  return std::exp(-t / 0.05) * (std::sin(2.0 * pi * phase) +
                                                                0.3 * std::sin(4.0 * pi * phase));
                                }),
                         0.75f);
}

Sound select_exit(Rng& rng) {
  Sound out;
  for (double note : {72.0, 76.0, 79.0, 84.0}) {
    add(out, play_note(Instrument::brass, midi_hz(note), 0.35, 0.8f, rng), 0);
  }
  add(out, play_note(Instrument::crash, 0.0, 0.0, 0.4f, rng), 0);
  out.samples.resize(frames_for(0.9));
  return finish_one_shot(out, 0.85f);
}

}  // namespace

std::vector<Recipe> effect_recipes() {
  return {
      {"Sounds/Pong/rolling.wav", rolling},
      {"Sounds/Pong/Ballborder.wav", ball_border},
      {"Sounds/Pong/Hit.wav", hit},
      {"Sounds/Pong/border.wav", paddle_border},
      {"Sounds/Pong/move.wav", paddle_move},
      {"Sounds/Pong/goal1.wav", goal_horn},
      {"Sounds/Pong/goal2.wav", goal_chime},
      {"Sounds/Pong/goal3.wav", goal_whistle},
      {"Sounds/Pong/goal4.wav", goal_gong},
      {"Sounds/Pong/goal5.wav", goal_buzzer},
      {"Sounds/Pong/goal6.wav", goal_ding_ding},
      {"Sounds/Pong/goal7.wav", goal_arcade},
      {"Sounds/Pong/goal8.wav", goal_boom},
      {"Sounds/misc/appear.wav", [](Rng& rng) { return sweep(300.0, 1600.0, 6.0, 20.0, rng); }},
      {"Sounds/misc/disappear.wav", [](Rng& rng) { return sweep(1600.0, 200.0, 20.0, 4.0, rng); }},
      {"Sounds/misc/shieldon.wav",
       [](Rng& rng) { return shield_sweep(55.0, 110.0, 200.0, 3000.0, 0.9, rng); }},
      {"Sounds/misc/shieldoff.wav",
       [](Rng& rng) { return shield_sweep(110.0, 40.0, 3000.0, 150.0, 0.8, rng); }},
      {"Sounds/misc/shieldloop.wav", shield_loop},
      {"Sounds/misc/shieldhit.wav", shield_hit},
      {"Sounds/menu/Open.wav", menu_open},
      {"Sounds/menu/Click.wav", menu_click},
      {"Sounds/menu/Select.wav", menu_select},
      {"Sounds/charselect/csenter.wav", select_enter},
      {"Sounds/charselect/CSMove.wav", select_move},
      {"Sounds/charselect/CSExit.wav", select_exit},
  };
}

}  // namespace tornello::assets
