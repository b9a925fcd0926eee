// The mix as a player hears it: a match with the generated sounds, the mixer
// pulled at the pace of the game's clock, and measured.
#include <filesystem>

#include "assets/generate.h"
#include "assets/mix.h"
#include "assets/wav.h"
#include "data_tree/generated_tree.h"
#include "match/match_fixture.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;

class MatchMix : public MatchTest {
 protected:
  void SetUp() override {
    REQUIRE_GENERATED_TREE(tree);
    data_dir = tree.data_dir;
    // The fixture's stand-in sounds give way to the generated ones.
    for (const char* folder : {"Sounds", "sounds"}) fs::remove_all(fs::path(dir.path()) / folder);
    fs::create_directory_symlink(fs::path(data_dir) / "Sounds", fs::path(dir.path()) / "Sounds");
    game->files.clear();
    load_sound_bank(game->bank, game->sound, game->files, game->settings.goal_sound_count);
    game->match.my_character = 4;
    game->match.opponent_character = 2;
    each_pump = [this] {
      const size_t due = static_cast<size_t>(platform.elapsed_ms() - started_ms) * 441 / 10;
      if (due <= frames()) return;
      const size_t at = output.size();
      output.resize(2 * due);
      platform.headless_audio().render(output.data() + at, static_cast<int>(due - at / 2));
    };
    // As a match begins: its music at the player's level, the crowd's murmur.
    play_music(*game, "InGame", true);
    crowd_command(*game, "start");
    in_play();
  }

  size_t frames() const { return output.size() / 2; }

  // One frame as the match loop runs it; a match left or two minutes played fail.
  void frame(std::vector<KeyCode> keys = {}) {
    hold(keys);
    if (!run_frame_logic(*game) || platform.elapsed_ms() - started_ms > 120000) {
      throw std::runtime_error("the match ended before the rally was measured");
    }
    platform.pump_events(1);
    platform.delay_ms(frame_wait_ms);
  }
  void frames_for_ms(int ms) {
    for (const uint32_t until = platform.elapsed_ms() + ms; platform.elapsed_ms() < until;) frame();
  }
  void step_to(float x) {
    while (game->match.me.paddle_x != x) {
      frame({game->match.me.paddle_x < x ? key::right : key::left});
      frame();
    }
  }
  // The opponent serves from their paddle, straight down the court.
  void served_straight() {
    peer_sends("_P_BD3$_P_BQ10$_P_BS50$_P_BE$");
    frame();
    ASSERT_EQ(game->match.ball.flight, BallFlight::incoming);
  }

  // Loudness of one signal made from each output frame (left, right) in [from, to).
  template <typename F>
  double loudness(size_t from, size_t to, F signal) const {
    assets::Sound mono;
    for (size_t k = from; k < to; ++k)
      mono.samples.push_back(signal(output[2 * k], output[2 * k + 1]));
    return assets::loudness(mono);
  }

  // A ball panned hard right (at `far` on the left): the channels' difference
  // against the rest of the right channel, the centred bed.
  struct Heard {
    double ball, bed;
  };
  Heard ball_against_bed(size_t from, size_t to, float far) const {
    return {loudness(from, to, [&](float l, float r) { return (r - l) / (1.0f - far); }),
            loudness(from, to, [&](float l, float r) { return (l - far * r) / (1.0f - far); })};
  }

  // The generated file with the highest peak among those `wanted`.
  template <typename Wanted>
  std::string loudest_of(Wanted wanted) const {
    std::string loudest;
    float highest = 0.0f;
    for (const std::string& path : assets::generated_paths()) {
      if (!wanted(path)) continue;
      int rate = 0;
      const float level = assets::peak(assets::read_wav_file(data_dir + "/" + path, rate).value());
      if (level > highest) std::tie(highest, loudest) = std::pair(level, path);
    }
    return loudest;
  }

  std::string data_dir;
  uint32_t started_ms = platform.elapsed_ms();
  std::vector<float> output;  // interleaved stereo, as the device gets it
};

// A ball 18 units to the right stands above the crowd at the far end and far
// above it at the paddle; the loudest moment never clips.
TEST_F(MatchMix, TheBallLeadsTheMixFromTheFarEndToThePaddleAndNothingClips) {
  const BallState& ball = game->match.ball;
  MatchState& match = game->match;
  receive("_P_P19$");
  step_to(19.0f);
  served_straight();
  while (ball.y > 4.0f) frame();
  // Returned straight, the player walks to the left border: the ball waits far, at 20.
  frame({key::up});
  ASSERT_EQ(ball.flight, BallFlight::outgoing);
  ASSERT_FALSE(match.me.shield_up || ball.hidden) << "choose a seed without bonuses";
  step_to(1.0f);
  while (ball.y < 20.0f) frame();
  frames_for_ms(300);
  size_t from = frames();
  frames_for_ms(2000);
  const float far = attenuation_gain(-pan_attenuation(90));
  ASSERT_EQ(std::pair(game->sound.volume(game->bank.rolling), game->sound.pan(game->bank.rolling)),
            std::pair(20, 90));
  const Heard far_end = ball_against_bed(from, frames(), far);
  EXPECT_GE(far_end.ball - far_end.bed, 3.0) << "a far ball stands above the crowd";
  // Served back straight down the right side, heard as it reaches the paddle.
  served_straight();
  while (ball.y >= 2.5f) frame();
  from = frames();
  while (ball.y >= 1.0f) frame();
  const Heard at_paddle = ball_against_bed(from, frames(), far);
  EXPECT_GE(at_paddle.ball - at_paddle.bed, 15.0) << "at the paddle it is far above the crowd";
  frame();  // the point is played out
  ASSERT_EQ(match.opponent.score, 1);
  // The loudest: chant at its highest, a close return, the loudest shout and call.
  crowd_command(*game, "chant");
  while (game->crowd.crowd_intensity < 100) crowd_command(*game, "increase");
  receive("_P_P1$");
  step_to(1.0f);
  served_straight();
  while (ball.y > 1.5f) frame();
  const std::string shout =
      loudest_of([](const std::string& path) { return assets::role_of(path).name == "reactions"; });
  const std::string call =
      loudest_of([](const std::string& path) { return path.starts_with("Sounds/announcer/"); });
  game->sound.play(game->sound.load(game->files, shout));
  game->sound.play(game->sound.load(game->files, call));
  frame({key::up});
  ASSERT_EQ(ball.flight, BallFlight::outgoing);
  frames_for_ms(1500);
  const float peak = std::abs(*std::max_element(
      output.begin(), output.end(), [](float a, float b) { return std::abs(a) < std::abs(b); }));
  EXPECT_LT(peak, 1.0f) << "the output clips";
}

}  // namespace
}  // namespace tornello
