// The crowd: a hall of formant voices, hands and feet.
#include <algorithm>

#include "assets/recipes.h"
#include "assets/voice.h"

namespace tornello::assets {

namespace {

constexpr Vowel all_vowels[] = {Vowel::a, Vowel::e,  Vowel::i, Vowel::o,
                                Vowel::u, Vowel::ae, Vowel::er};

Vowel any_vowel(Rng& rng) {
  return all_vowels[rng.below(7)];
}

// One pair of hands.
Sound clap_once(Rng& rng) {
  Filter hands(rng.range(900.0, 2600.0), rng.range(1.0, 2.5));
  const double tau = rng.range(0.004, 0.009);
  return render(0.05, [&](double t) {
    return std::exp(-t / tau) * hands.band(static_cast<float>(rng.bipolar()));
  });
}

// Applause: claps at random, their density swelling in and dying away.
Sound applause(Rng& rng, double seconds, double claps_per_second, double attack, double release) {
  Sound out = silence(seconds);
  const double step = 1.0 / claps_per_second;
  for (double t = 0.0; t < seconds; t += step * rng.range(0.2, 1.8)) {
    const double level = gate(t, attack, release, seconds);
    if (level <= 0.0) continue;
    add(out, clap_once(rng), frames_for(t), static_cast<float>(level * rng.range(0.3, 1.0)));
  }
  out.samples.resize(frames_for(seconds));
  return out;
}

// Many hands clapping once together, a little out of step.
Sound group_clap(Rng& rng, int people, double spread) {
  Sound out;
  for (int n = 0; n < people; ++n) {
    add(out, clap_once(rng), frames_for(rng.range(0.0, spread)),
        static_cast<float>(rng.range(0.4, 1.0)));
  }
  return out;
}

// Many feet stamping once together on a wooden stand.
Sound group_stomp(Rng& rng, int people, double spread) {
  Sound out;
  for (int n = 0; n < people; ++n) {
    Filter boards(rng.range(150.0, 300.0), 0.8);
    const double hz = rng.range(60.0, 95.0);
    Sound stomp = render(0.25, [&](double t) {
      return std::exp(-t / 0.07) * std::sin(2.0 * pi * hz * t) +
             0.8 * std::exp(-t / 0.02) * boards.low(static_cast<float>(rng.bipolar()));
    });
    add(out, stomp, frames_for(rng.range(0.0, spread)), static_cast<float>(rng.range(0.5, 1.0)));
  }
  return out;
}

// A two-finger whistle, gliding up or down.
Sound whistle(Rng& rng, double seconds) {
  const double from = rng.range(1800.0, 2600.0);
  const double to = from * rng.range(0.8, 1.35);
  double phase = 0.0;
  Filter air(from, 3.0);
  return render(seconds, [&](double t) {
    const double x = t / seconds;
    phase += (from + (to - from) * x) * (1.0 + 0.01 * std::sin(2.0 * pi * 6.0 * t)) / sample_rate;
    return gate(t, 0.04, 0.1, seconds) *
           (std::sin(2.0 * pi * phase) + 0.2 * air.band(static_cast<float>(rng.bipolar())));
  });
}

// The breath of a big crowd shouting at once.
Sound roar(Rng& rng, double seconds, double attack, double release) {
  Filter body(700.0, 0.6), edge(1800.0, 1.0);
  return render(seconds, [&](double t) {
    const float n = static_cast<float>(rng.bipolar());
    return gate(t, attack, release, seconds) * (body.band(n) + 0.4 * edge.band(n));
  });
}

// Murmur: people talking among themselves in short phrases of syllables.
Sound babble(Rng& rng, double seconds, int people) {
  Sound out = silence(seconds);
  for (int person = 0; person < people; ++person) {
    const bool woman = rng.uniform() < 0.45;
    const double base = woman ? rng.range(170.0, 240.0) : rng.range(95.0, 140.0);
    const double distance = rng.range(0.15, 0.6);
    double t = rng.range(0.0, 2.0);
    while (t < seconds) {
      const int syllables = 2 + rng.below(6);
      for (int s = 0; s < syllables && t < seconds; ++s) {
        Utterance u;
        u.length = rng.range(0.1, 0.22);
        u.f0_start = base * rng.range(0.92, 1.15);
        u.f0_end = base * rng.range(0.85, 1.05);
        u.from = any_vowel(rng);
        u.to = any_vowel(rng);
        u.attack = 0.02;
        u.release = 0.05;
        u.breath = 0.15;
        u.formant_scale = woman ? 1.17 : 1.0;
        if (rng.uniform() < 0.3) u.aspiration = 0.03;
        if (rng.uniform() < 0.3) u.stop_at = u.length * 0.6;
        add(out, speak_vowels(u, rng), frames_for(t), static_cast<float>(distance));
        t += u.length + u.aspiration + rng.range(0.01, 0.05);
      }
      t += rng.range(0.4, 2.5);
    }
  }
  return out;
}

// The room itself: a low, steady rustle.
Sound hall_noise(Rng& rng, double seconds) {
  Filter low(600.0, 0.7), mid(350.0, 0.8);
  return render(seconds, [&](double) {
    const float n = static_cast<float>(rng.bipolar());
    return 0.8 * low.low(n) + 0.5 * mid.band(n);
  });
}

Sound murmur_loop(Rng& rng) {
  const double seconds = 8.0;
  const size_t loop = frames_for(seconds);
  Sound talk = babble(rng, seconds, 40);
  Filter distance(3000.0, 0.7);
  for (float& value : talk.samples) value = distance.low(value);
  Sound out = fold_loop(talk, loop);
  add(out, crossfade_loop(hall_noise(rng, seconds + 0.5), loop, frames_for(0.5)), 0, 0.25f);
  return finish_loop(out, 0.8f);
}

// The chant: "Tor-nel-lo!" over stamping and clapping, four bars at 120 beats a minute.
Sound chant_loop(Rng& rng) {
  const double beat = 0.5;
  const int bars = 4;
  const size_t loop = frames_for(bars * 4 * beat);
  Sound out;
  auto sing = [&](double at, Vowel vowel, double length, double f0, double glide,
                  double breath_in) {
    Chorus c;
    c.base.length = length;
    c.base.f0_start = f0;
    c.base.f0_end = f0 * glide;
    c.base.from = vowel;
    c.base.to = vowel == Vowel::e ? Vowel::i : vowel;
    c.base.attack = 0.03;
    c.base.release = 0.08;
    c.base.aspiration = breath_in;
    c.voices = 30;
    c.onset_spread = 0.06;
    c.pitch_spread = 1.5;
    c.length_spread = 0.1;
    add(out, chorus(c, rng), frames_for(at), 0.8f);
  };
  for (int bar = 0; bar < bars; ++bar) {
    const double start = bar * 4 * beat;
    for (double b : {0.0, 0.5, 2.0, 2.5})
      add(out, group_stomp(rng, 20, 0.04), frames_for(start + b * beat));
    for (double b : {1.0, 3.0})
      add(out, group_clap(rng, 25, 0.03), frames_for(start + b * beat), 0.7f);
    sing(start, Vowel::o, 0.3, 140.0, 1.0, 0.0);
    sing(start + beat, Vowel::e, 0.3, 157.0, 1.0, 0.0);
    sing(start + 2 * beat, Vowel::o, 0.6, 140.0, 0.9, 0.0);
    if (bar % 2 == 1) sing(start + 3.5 * beat, Vowel::e, 0.22, 185.0, 1.05, 0.03);
  }
  Sound result = fold_loop(out, loop);
  add(result, crossfade_loop(hall_noise(rng, 8.5), loop, frames_for(0.5)), 0, 0.1f);
  return finish_loop(result, 0.85f);
}

Chorus shout(Vowel from, Vowel to, double length, double f0_start, double f0_end, int voices,
             double spread) {
  Chorus c;
  c.base.from = from;
  c.base.to = to;
  c.base.length = length;
  c.base.f0_start = f0_start;
  c.base.f0_end = f0_end;
  c.base.attack = 0.05;
  c.base.release = 0.3 * length;
  c.voices = voices;
  c.onset_spread = spread;
  return c;
}

// A cheer: voices, the breath of the crowd, hands and the odd whistle.
struct Cheer {
  Chorus voices;
  double seconds;
  double roar = 0.5;
  double claps_per_second = 0.0;
  int whistles = 0;
};

Sound cheer(const Cheer& c, Rng& rng) {
  Sound out = chorus(c.voices, rng);
  add(out, roar(rng, c.seconds, 0.1, 0.6 * c.seconds), 0, static_cast<float>(c.roar));
  if (c.claps_per_second > 0.0) {
    add(out, applause(rng, c.seconds, c.claps_per_second, 0.2, 0.5 * c.seconds), frames_for(0.1),
        0.8f);
  }
  for (int n = 0; n < c.whistles; ++n) {
    add(out, whistle(rng, rng.range(0.3, 0.7)), frames_for(rng.range(0.1, 0.5 * c.seconds)), 0.25f);
  }
  out.samples.resize(std::min(out.samples.size(), frames_for(c.seconds)));
  return finish_one_shot(out);
}

// People laughing: short, falling "ha"s.
Sound laughter(Rng& rng, int people, double seconds) {
  Sound out;
  for (int n = 0; n < people; ++n) {
    const bool woman = rng.uniform() < 0.5;
    const double base = woman ? rng.range(200.0, 260.0) : rng.range(110.0, 150.0);
    double t = rng.range(0.0, 0.3);
    const int syllables = 4 + rng.below(4);
    for (int k = 0; k < syllables && t < seconds; ++k) {
      Utterance u;
      u.length = 0.1;
      u.f0_start = base * (1.2 - 0.05 * k);
      u.f0_end = base * (1.1 - 0.05 * k);
      u.from = Vowel::a;
      u.to = Vowel::a;
      u.attack = 0.01;
      u.release = 0.04;
      u.aspiration = 0.04;
      u.formant_scale = woman ? 1.17 : 1.0;
      add(out, speak_vowels(u, rng), frames_for(t), static_cast<float>(rng.range(0.4, 0.9)));
      t += 0.17 + rng.range(0.0, 0.04);
    }
  }
  return out;
}

Sound epic_fail(Rng& rng, bool with_laughter) {
  Sound out = chorus(shout(Vowel::a, Vowel::o, 1.5, 170.0, 100.0, 35, 0.15), rng);
  add(out, roar(rng, 1.8, 0.1, 1.2), 0, 0.3f);
  if (with_laughter) add(out, laughter(rng, 6, 1.2), frames_for(1.1), 0.6f);
  return finish_one_shot(out);
}

// "O-kay!": an o, a closure for the k, and a rising e-i.
Sound okay(Rng& rng, double length, double f0, int voices) {
  Chorus c = shout(Vowel::o, Vowel::i, length, f0, f0 * 1.25, voices, 0.1);
  c.base.stop_at = 0.35 * length;
  c.base.release = 0.15;
  Sound out = chorus(c, rng);
  add(out, roar(rng, length + 0.2, 0.05, 0.3), 0, 0.2f);
  return finish_one_shot(out);
}

Sound oh(Rng& rng, Vowel from, Vowel to, double length, double f0_start, double f0_end) {
  Sound out = chorus(shout(from, to, length, f0_start, f0_end, 30, 0.12), rng);
  add(out, roar(rng, length, 0.1, 0.5 * length), 0, 0.15f);
  return finish_one_shot(out);
}

}  // namespace

std::vector<Recipe> crowd_recipes() {
  return {
      {"Sounds/crowd/loop.wav", murmur_loop},
      {"Sounds/crowd/chant.wav", chant_loop},
      {"Sounds/crowd/cheer1.wav",
       [](Rng& rng) {
         return cheer({shout(Vowel::ae, Vowel::e, 0.8, 150.0, 190.0, 25, 0.2), 1.5}, rng);
       }},
      {"Sounds/crowd/cheer2.wav",
       [](Rng& rng) {
         return cheer({shout(Vowel::u, Vowel::u, 1.2, 170.0, 330.0, 20, 0.25), 2.0, 0.4, 0.0, 3},
                      rng);
       }},
      {"Sounds/crowd/cheer3.wav",
       [](Rng& rng) {
         return cheer({shout(Vowel::a, Vowel::ae, 1.5, 160.0, 200.0, 40, 0.3), 2.5, 0.6, 90.0},
                      rng);
       }},
      {"Sounds/crowd/cheer4.wav",
       [](Rng& rng) {
         Chorus hey = shout(Vowel::e, Vowel::i, 0.35, 190.0, 210.0, 30, 0.08);
         hey.base.aspiration = 0.04;
         return cheer({hey, 1.2, 0.3, 60.0}, rng);
       }},
      {"Sounds/crowd/cheer5.wav",
       [](Rng& rng) {
         return cheer({shout(Vowel::e, Vowel::a, 1.4, 170.0, 200.0, 35, 0.4), 3.0, 0.5, 110.0, 4},
                      rng);
       }},
      {"Sounds/crowd/clap1.wav",
       [](Rng& rng) { return finish_one_shot(applause(rng, 2.5, 100.0, 0.15, 1.2)); }},
      {"Sounds/crowd/clap2.wav",
       [](Rng& rng) { return finish_one_shot(applause(rng, 1.8, 35.0, 0.05, 1.0)); }},
      {"Sounds/crowd/EpicFail1.wav", [](Rng& rng) { return epic_fail(rng, false); }},
      {"Sounds/crowd/EpicFail2.wav", [](Rng& rng) { return epic_fail(rng, true); }},
      {"Sounds/crowd/ok1.wav", [](Rng& rng) { return okay(rng, 0.55, 150.0, 15); }},
      {"Sounds/crowd/ok2.wav", [](Rng& rng) { return okay(rng, 0.8, 130.0, 25); }},
      {"Sounds/crowd/oh1.wav",
       [](Rng& rng) { return oh(rng, Vowel::o, Vowel::o, 0.5, 160.0, 190.0); }},
      {"Sounds/crowd/oh2.wav",
       [](Rng& rng) { return oh(rng, Vowel::u, Vowel::o, 1.2, 140.0, 230.0); }},
      {"Sounds/crowd/oh3.wav",
       [](Rng& rng) { return oh(rng, Vowel::o, Vowel::a, 1.4, 200.0, 120.0); }},
      {"Sounds/crowd/won.wav",
       [](Rng& rng) {
         return cheer({shout(Vowel::a, Vowel::e, 2.5, 160.0, 220.0, 50, 0.5), 4.0, 0.7, 140.0, 6},
                      rng);
       }},
      {"Sounds/crowd/lost.wav",
       [](Rng& rng) {
         Sound out = chorus(shout(Vowel::o, Vowel::u, 1.8, 150.0, 95.0, 35, 0.2), rng);
         add(out, applause(rng, 2.0, 12.0, 0.3, 1.0), frames_for(1.0), 0.5f);
         return finish_one_shot(out);
       }},
  };
}

}  // namespace tornello::assets
