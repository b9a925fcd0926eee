// The music: five loops, each with its own mood, and the two result jingles.
// A track is a list of notes rendered through one room; a loop's reverb and
// ringing notes wrap around onto its start, so it repeats without a seam.
#include <algorithm>
#include <array>

#include "assets/instruments.h"
#include "assets/recipes.h"

namespace tornello::assets {

namespace {

using I = Instrument;

struct Note {
  double beat;
  double beats;
  double pitch;  // MIDI note number
  float velocity;
  Instrument instrument;
  float pan;
  float send;  // share sent to the room
};

struct Score {
  Score(double bpm, int bars) : bpm(bpm), bars(bars) {}
  double bpm;
  int bars;
  double room_size = 0.8;
  float wet = 0.25f;
  std::vector<Note> notes;

  double beat_seconds() const { return 60.0 / bpm; }
  void play(I instrument, double beat, double beats, double pitch, float velocity, float pan = 0.0f,
            float send = 0.2f) {
    notes.push_back({beat, beats, pitch, velocity, instrument, pan, send});
  }
  // A line of notes, each {beat, beats, pitch}, held for `legato` of its length.
  void tune(I instrument, std::initializer_list<std::array<double, 3>> line, float velocity,
            float pan, float send, double legato = 1.0) {
    for (const auto& n : line) play(instrument, n[0], n[1] * legato, n[2], velocity, pan, send);
  }
  void chord(I instrument, double beat, double beats, std::initializer_list<int> pitches,
             float velocity, float send = 0.25f) {
    float pan = -0.3f;
    const float step = pitches.size() > 1 ? 0.6f / (pitches.size() - 1) : 0.0f;
    for (int pitch : pitches) {
      play(instrument, beat, beats, pitch, velocity / std::sqrt(pitches.size()), pan, send);
      pan += step;
    }
  }
};

Sound render_score(const Score& score, Rng& rng, bool loop) {
  const double beat = score.beat_seconds();
  const double tail = loop ? 8.0 : 2.5;
  Sound dry = silence(score.bars * 4 * beat + tail, 2);
  Sound send = silence(score.bars * 4 * beat + tail, 1);
  for (const Note& note : score.notes) {
    Rng note_rng(rng.next());
    const Sound sound =
        play_note(note.instrument, midi_hz(note.pitch), note.beats * beat, note.velocity, note_rng);
    const size_t at = frames_for(note.beat * beat);
    add_panned(dry, sound, at, 1.0f, note.pan);
    add(send, sound, at, note.send);
  }
  add(dry, room(send, score.room_size, 0.5, 0.0), 0, score.wet);
  Sound out = loop ? fold_loop(dry, frames_for(score.bars * 4 * beat)) : dry;
  if (!loop) {
    trim(out, 1e-4f, 0.0);
    fade(out, 0.0, 0.3);
  }
  // Lifts the quiet parts a little so the track still carries at a low music level.
  normalize(out, 1.0f);
  soft_saturate(out, 1.2f);
  normalize(out, 0.97f);
  return out;
}

// Four drum parts that most tracks share.
void four_on_the_floor(Score& s, int from_bar, int to_bar) {
  for (int bar = from_bar; bar < to_bar; ++bar) {
    for (int b = 0; b < 4; ++b) {
      const double at = bar * 4 + b;
      s.play(I::kick, at, 0.5, 0, 0.9f, 0.0f, 0.05f);
      if (b % 2 == 1) s.play(I::clap, at, 0.5, 0, 0.6f, 0.05f, 0.25f);
      s.play(I::open_hat, at + 0.5, 0.25, 0, 0.3f, 0.25f, 0.1f);
      for (double sixteenth : {0.25, 0.75})
        s.play(I::hat, at + sixteenth, 0.1, 0, 0.15f, -0.25f, 0.05f);
    }
  }
}

// Title: bright and hopeful, in C major; a bell arpeggio over a pad, a tune in the second half.
Sound title(Rng& rng) {
  Score s{90.0, 8};
  s.room_size = 0.85;
  s.wet = 0.35f;
  const std::array<std::array<int, 4>, 8> pads = {{{60, 64, 67, 72},
                                                   {59, 62, 67, 71},
                                                   {57, 60, 64, 69},
                                                   {57, 60, 65, 69},
                                                   {60, 64, 67, 72},
                                                   {59, 62, 67, 74},
                                                   {57, 60, 65, 69},
                                                   {59, 62, 67, 71}}};
  const std::array<int, 8> roots = {36, 35, 33, 29, 36, 31, 29, 31};
  for (int bar = 0; bar < 8; ++bar) {
    const auto& p = pads[bar];
    s.chord(I::pad, bar * 4, 3.8, {p[0], p[1], p[2], p[3]}, 0.55f, 0.4f);
    s.play(I::bass, bar * 4, 1.9, roots[bar], 0.7f, 0.0f, 0.05f);
    s.play(I::bass, bar * 4 + 2, 1.9, roots[bar] + 12, 0.6f, 0.0f, 0.05f);
    const int order[8] = {0, 1, 2, 3, 2, 3, 1, 2};
    for (int k = 0; k < 8; ++k) {
      s.play(I::bell, bar * 4 + 0.5 * k, 0.4, p[order[k]] + 12, 0.22f, k % 2 ? 0.4f : -0.4f, 0.5f);
    }
    s.play(I::kick, bar * 4, 0.5, 0, 0.6f, 0.0f, 0.05f);
    s.play(I::kick, bar * 4 + 2, 0.5, 0, 0.5f, 0.0f, 0.05f);
    if (bar >= 4) {
      for (int k = 0; k < 8; ++k) s.play(I::hat, bar * 4 + 0.5 * k, 0.1, 0, 0.12f, 0.3f, 0.05f);
      s.play(I::snare, bar * 4 + 1, 0.3, 0, 0.25f, 0.0f, 0.3f);
      s.play(I::snare, bar * 4 + 3, 0.3, 0, 0.25f, 0.0f, 0.3f);
    }
  }
  s.tune(I::lead,
         {{16, 1.5, 76},
          {17.5, 0.5, 74},
          {18, 1, 72},
          {19, 1, 79},
          {20, 1, 71},
          {21, 1, 74},
          {22, 1.5, 79},
          {23.5, 0.5, 77},
          {24, 1, 76},
          {25, 1, 72},
          {26, 1.5, 81},
          {27.5, 0.5, 79},
          {28, 1, 77},
          {29, 1, 76},
          {30, 2, 74}},
         0.35f, 0.1f, 0.35f, 0.95);
  return render_score(s, rng, true);
}

// Menu: a relaxed lounge: electric piano, walking bass, brushed cymbals.
Sound menu(Rng& rng) {
  Score s{84.0, 8};
  s.room_size = 0.7;
  struct Half {
    double beat, beats;
    std::array<int, 4> voicing;
  };
  const std::vector<Half> chords = {{0, 4, {53, 57, 60, 64}},  {4, 4, {53, 59, 64, 69}},
                                    {8, 4, {52, 55, 59, 62}},  {12, 4, {55, 59, 60, 64}},
                                    {16, 4, {53, 57, 60, 64}}, {20, 4, {53, 59, 64, 69}},
                                    {24, 2, {55, 59, 62, 67}}, {26, 2, {55, 61, 64, 67}},
                                    {28, 2, {53, 57, 60, 65}}, {30, 2, {53, 59, 62, 65}}};
  for (const Half& c : chords) {
    const auto& v = c.voicing;
    s.chord(I::epiano, c.beat, 1.4, {v[0], v[1], v[2], v[3]}, 0.6f, 0.3f);
    s.chord(I::epiano, c.beat + (c.beats > 2 ? 2.5 : 1.5), 0.8, {v[0], v[1], v[2], v[3]}, 0.4f,
            0.3f);
  }
  const int walk[8][4] = {{38, 41, 45, 42}, {43, 41, 38, 37}, {36, 40, 43, 44}, {45, 43, 40, 39},
                          {38, 41, 45, 44}, {43, 47, 50, 41}, {40, 43, 45, 49}, {38, 45, 43, 39}};
  for (int bar = 0; bar < 8; ++bar) {
    for (int b = 0; b < 4; ++b) s.play(I::bass, bar * 4 + b, 0.85, walk[bar][b], 0.5f, 0.0f, 0.05f);
    for (int b = 0; b < 4; ++b) {
      s.play(I::hat, bar * 4 + b, 0.1, 0, b % 2 ? 0.3f : 0.18f, 0.35f, 0.1f);
      s.play(I::hat, bar * 4 + b + 2.0 / 3.0, 0.1, 0, 0.1f, 0.35f, 0.1f);
    }
    s.play(I::kick, bar * 4, 0.5, 0, 0.35f, 0.0f, 0.0f);
  }
  s.tune(I::bell,
         {{16, 1, 69},
          {17, 1, 72},
          {18, 2, 76},
          {20, 1, 74},
          {21, 1, 71},
          {22, 2, 67},
          {24, 1, 76},
          {25, 1, 74},
          {26, 2, 73},
          {28, 2, 74},
          {30, 2, 71}},
         0.18f, -0.2f, 0.4f);
  return render_score(s, rng, true);
}

// Connection: waiting in the dark: a ticking clock, a heartbeat, a sonar ping.
Sound connection(Rng& rng) {
  Score s{92.0, 8};
  s.room_size = 0.9;
  s.wet = 0.4f;
  const std::array<std::array<int, 3>, 4> pads = {
      {{57, 60, 64}, {57, 60, 65}, {57, 62, 65}, {56, 59, 64}}};
  const std::array<int, 4> roots = {45, 41, 38, 40};
  for (int pair = 0; pair < 4; ++pair) {
    const auto& p = pads[pair];
    s.chord(I::pad, pair * 8, 7.8, {p[0], p[1], p[2]}, 0.45f, 0.4f);
    for (int k = 0; k < 16; ++k) {
      s.play(I::bass, pair * 8 + 0.5 * k, 0.35, roots[pair], k % 2 ? 0.3f : 0.45f, 0.0f, 0.05f);
    }
  }
  for (int b = 0; b < 32; ++b) {
    s.play(I::tick, b, 0.1, b % 2 ? 90 : 95, 0.3f, b % 2 ? 0.35f : -0.35f, 0.15f);
  }
  for (int bar = 0; bar < 8; ++bar) {
    s.play(I::kick, bar * 4, 0.3, 0, 0.55f, 0.0f, 0.05f);
    s.play(I::kick, bar * 4 + 0.4, 0.3, 0, 0.35f, 0.0f, 0.05f);
  }
  const int pings[4] = {88, 84, 86, 83};
  for (int k = 0; k < 4; ++k)
    s.play(I::bell, k * 8, 0.5, pings[k], 0.4f, k % 2 ? 0.5f : -0.5f, 0.7f);
  return render_score(s, rng, true);
}

// Character selection: a bouncy game-show tune in F major.
Sound charselect(Rng& rng) {
  Score s{128.0, 12};
  s.room_size = 0.6;
  const std::array<std::array<int, 3>, 12> chords = {{{65, 69, 72},
                                                      {62, 65, 69},
                                                      {62, 65, 70},
                                                      {64, 67, 72},
                                                      {65, 69, 72},
                                                      {62, 65, 69},
                                                      {62, 65, 70},
                                                      {64, 67, 72},
                                                      {62, 67, 70},
                                                      {62, 65, 70},
                                                      {64, 67, 72},
                                                      {64, 67, 72}}};
  const std::array<int, 12> roots = {41, 38, 34, 36, 41, 38, 34, 36, 43, 34, 36, 36};
  for (int bar = 0; bar < 12; ++bar) {
    const auto& c = chords[bar];
    for (int b = 0; b < 4; ++b)
      s.chord(I::pluck, bar * 4 + b + 0.5, 0.3, {c[0], c[1], c[2]}, 0.55f, 0.2f);
    for (int k = 0; k < 8; ++k) {
      s.play(I::bass, bar * 4 + 0.5 * k, 0.4, roots[bar] + (k % 2 ? 12 : 0), 0.65f, 0.0f, 0.03f);
    }
  }
  four_on_the_floor(s, 0, 11);
  for (int k = 0; k < 16; ++k) {
    s.play(I::snare, 44 + 0.25 * k, 0.2, 0, 0.2f + 0.04f * k, 0.0f, 0.2f);
  }
  s.tune(I::lead, {{0, .5, 72},    {.5, .5, 77},   {1, .5, 81},    {1.5, .5, 79},  {2, 1, 77},
                   {3, 1, 72},     {4, .5, 74},    {4.5, .5, 77},  {5, 1, 81},     {6, .5, 79},
                   {6.5, .5, 77},  {7, 1, 76},     {8, .5, 74},    {8.5, .5, 77},  {9, 1, 82},
                   {10, .5, 81},   {10.5, .5, 79}, {11, 1, 77},    {12, 1, 76},    {13, 1, 79},
                   {14, 1.5, 84},  {16, .5, 72},   {16.5, .5, 77}, {17, .5, 81},   {17.5, .5, 79},
                   {18, 1, 77},    {19, 1, 72},    {20, .5, 74},   {20.5, .5, 77}, {21, 1, 81},
                   {22, .5, 79},   {22.5, .5, 77}, {23, 1, 76},    {24, .5, 74},   {24.5, .5, 77},
                   {25, 1, 82},    {26, .5, 81},   {26.5, .5, 79}, {27, 1, 77},    {28, .5, 76},
                   {28.5, .5, 77}, {29, 1, 79},    {30, 1, 76},    {31, 1, 72},    {32, 1, 70},
                   {33, 1, 74},    {34, 2, 79},    {36, 1, 77},    {37, 1, 74},    {38, 2, 82},
                   {40, 1, 84},    {41, .5, 82},   {41.5, .5, 81}, {42, 2, 79},    {44, 4, 79}},
         0.3f, 0.15f, 0.25f, 0.9);
  return render_score(s, rng, true);
}

// In game: a light E-minor funk that keeps the pace without getting in the way.
Sound in_game(Rng& rng) {
  Score s{110.0, 10};
  s.room_size = 0.6;
  s.wet = 0.2f;
  struct Bar {
    int root;
    int third;
    std::array<int, 3> voicing;
  };
  const Bar em{40, 3, {62, 67, 71}}, am{45, 3, {60, 64, 67}}, cmaj{48, 4, {59, 64, 67}},
      b7{47, 4, {57, 63, 66}};
  const std::array<Bar, 10> bars = {em, em, am, am, em, em, cmaj, b7, am, b7};
  for (int bar = 0; bar < 10; ++bar) {
    const Bar& c = bars[bar];
    const double at = bar * 4;
    for (auto [beat, length, velocity] :
         {std::tuple{0.0, 0.5, 0.9f}, {0.75, 0.5, 0.6f}, {2.5, 0.5, 0.8f}}) {
      s.play(I::kick, at + beat, length, 0, velocity, 0.0f, 0.03f);
    }
    s.play(I::snare, at + 1, 0.3, 0, 0.7f, 0.0f, 0.2f);
    s.play(I::snare, at + 3, 0.3, 0, 0.7f, 0.0f, 0.2f);
    s.play(I::snare, at + 3.75, 0.2, 0, 0.2f, 0.0f, 0.1f);
    for (int k = 0; k < 16; ++k) {
      if (k == 14) {
        s.play(I::open_hat, at + 3.5, 0.3, 0, 0.25f, 0.3f, 0.1f);
      } else if (k != 15) {
        s.play(I::hat, at + 0.25 * k, 0.1, 0, k % 2 ? 0.12f : 0.25f, 0.3f, 0.05f);
      }
    }
    const double riff[][3] = {{0, .5, 0},     {.75, .25, 0},  {1.5, .25, 12}, {2, .5, 10},
                              {2.75, .25, 7}, {3.25, .25, 0}, {3.5, .5, 7}};
    for (const auto& n : riff) {
      const int interval = n[2] == 10 && c.third == 4 ? 11 : static_cast<int>(n[2]);
      s.play(I::bass, at + n[0], n[1], c.root + interval, 0.7f, 0.0f, 0.03f);
    }
    for (double beat : {0.5, 1.5, 2.25, 3.5}) {
      s.chord(I::pluck, at + beat, 0.15, {c.voicing[0], c.voicing[1], c.voicing[2]}, 0.4f, 0.15f);
    }
    if (bar % 2 == 0)
      s.chord(I::epiano, at, 3.5, {c.voicing[0], c.voicing[1], c.voicing[2]}, 0.25f, 0.3f);
  }
  s.tune(I::bell,
         {{6, .5, 83},
          {6.5, .5, 81},
          {7, 1, 79},
          {22, .5, 83},
          {22.5, .5, 81},
          {23, .5, 79},
          {23.5, .5, 76},
          {38, 1, 78},
          {39, 1, 75}},
         0.2f, -0.3f, 0.3f);
  return render_score(s, rng, true);
}

// Won: a brass fanfare over a drum roll, ending on a big C major chord and a crash.
Sound game_won(Rng& rng) {
  Score s{140.0, 3};
  s.room_size = 0.8;
  s.wet = 0.3f;
  const double third = 1.0 / 3.0;
  s.play(I::brass, 0, third, 67, 0.7f);
  s.play(I::brass, third, third, 72, 0.7f);
  s.play(I::brass, 2 * third, third, 76, 0.7f);
  s.play(I::brass, 1, 0.9, 79, 0.8f);
  s.play(I::brass, 2, 0.45, 76, 0.7f);
  s.play(I::brass, 2.5, 0.45, 79, 0.75f);
  s.chord(I::brass, 3, 4, {60, 64, 67, 72, 84}, 1.0f, 0.3f);
  s.play(I::bass, 3, 4, 36, 0.8f, 0.0f, 0.05f);
  for (int k = 0; k < 8; ++k) s.play(I::tom, 1 + 0.25 * k, 0.2, 43, 0.25f + 0.05f * k, 0.1f, 0.2f);
  s.play(I::kick, 3, 0.5, 0, 1.0f, 0.0f, 0.1f);
  s.play(I::crash, 3, 2, 0, 0.6f, 0.2f, 0.4f);
  s.play(I::bell, 3, 1, 96, 0.3f, -0.3f, 0.4f);
  return render_score(s, rng, false);
}

// Lost: a muted trombone sliding down, "wah, wah, wah, waaah".
Sound game_lost(Rng& rng) {
  Score s{80.0, 2};
  s.room_size = 0.6;
  s.play(I::trombone, 0, 0.9, 55, 0.9f);
  s.play(I::trombone, 1, 0.9, 54, 0.9f);
  s.play(I::trombone, 2, 0.9, 53, 0.9f);
  s.play(I::trombone, 3, 3, 52, 1.0f);
  s.play(I::tom, 3, 0.5, 36, 0.5f, 0.0f, 0.2f);
  return render_score(s, rng, false);
}

}  // namespace

std::vector<Recipe> music_recipes() {
  return {
      {"Sounds/Music/title.wav", title},           {"Sounds/Music/Menu.wav", menu},
      {"Sounds/Music/connection.wav", connection}, {"Sounds/Music/Charselect.wav", charselect},
      {"Sounds/Music/InGame.wav", in_game},        {"Sounds/Music/GAME_WON.wav", game_won},
      {"Sounds/Music/GAME_LOST.wav", game_lost},
  };
}

}  // namespace tornello::assets
