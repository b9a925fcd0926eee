// Any bytes from the peer, one read per frame of a whole match (the first byte
// sets the side and state, the second the cuts): no NaN on the court, no
// unbounded tail, no sanitizer report.
#include <cmath>

#include "fuzz_support.h"
#include "match/match.h"
#include "platform/headless/headless_platform.h"

namespace tornello {
namespace {

using fuzz::check;

// Swing, left, right, Enter (ends the wait after a match), never Escape.
class BusyPlayer : public InputSource {
 public:
  void keyboard(KeyboardSnapshot& out) override {
    static constexpr KeyCode cycle[] = {key::up, key::left, key::right, key::enter};
    out = KeyboardSnapshot{};
    if (pass_++ % 2 == 0) out.keys[cycle[pass_ / 2 % std::size(cycle)]] = 0x80;
  }
  std::optional<std::string> answer(const std::string&, const std::string&,
                                    const std::string&) override {
    return {};
  }

 private:
  size_t pass_ = 0;
};

constexpr int quiet_frames = 120;  // the ball moves on with what was received

void frame(Game& game) {
  if (run_frame_logic(game)) {
    game.platform.pump_events(1);
    game.platform.delay_ms(frame_wait_ms);
  }
  const BallState& ball = game.match.ball;
  check(game.net.unfinished.size() <= max_unfinished_bytes);
  check(!std::isnan(ball.x + ball.y + ball.speed_x + ball.speed_y));
}

}  // namespace
}  // namespace tornello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tornello;
  if (size < 2) return 0;
  const uint8_t setup = data[0], cut_seed = data[1];
  const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);
  HeadlessPlatform platform;
  BusyPlayer player;
  platform.set_input(&player);
  Game game(platform);
  game.random.seed(setup);
  game.keyboard.init(platform);
  MatchState& match = game.match;
  match.role = (setup & 1) != 0 ? PeerRole::host : PeerRole::guest;
  match.game_mode = (setup >> 1) & 3;
  match.started = (setup & 8) != 0;
  match.my_serve = (setup & 16) != 0;
  match.my_character = (setup >> 5) % 6;
  match.me.paddle_x = match.opponent.paddle_x = court_left;
  match.left = false;
  size_t read = 0;
  for (size_t at = 0; at < stream.size() && !match.left; ++read) {
    const size_t width = 1 + (static_cast<size_t>(cut_seed) * (read + 1) * 7919) % 64;
    game.net.received_text.assign(stream.substr(at, width));
    at += width;
    frame(game);
  }
  for (int quiet = 0; quiet < quiet_frames && !match.left; ++quiet) frame(game);
  return 0;
}
