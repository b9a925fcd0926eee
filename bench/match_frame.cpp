// The logic of one match frame on the headless backend, without its wait: one
// network poll on a real loopback connection, the frame's messages applied, the
// ball moved, the controls read and the positional sounds placed. The frame
// itself lasts more than 16 ms, so this should be a vanishing part of it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "audio/wav_writer.h"
#include "match/match.h"
#include "platform/headless/headless_platform.h"

namespace tornello {
namespace {

struct FrameBench {
  FrameBench() : game(platform) {
    platform.set_input(&keys);
    game.keyboard.init(platform);
    game.mouse.init(platform);
    game.joysticks.init(platform);
    game.sound.init(platform.audio());
    const std::vector<int16_t> samples(4410, 1000);
    const std::vector<uint8_t> wav = encode_wav(samples, 1, 44100);
    for (SoundHandle* sound : {&game.bank.rolling, &game.bank.ball_border, &game.bank.hit,
                               &game.bank.opponent_move, &game.bank.opponent_border,
                               &game.bank.opponent_shield_on, &game.bank.opponent_shield_loop,
                               &game.bank.opponent_shield_hit, &game.bank.opponent_shield_off}) {
      *sound = game.sound.load_bytes(wav, "bench");
    }

    // The game is the guest of a host that never speaks: the poll is real.
    host.open_server(0, 0);
    game.net.peer = game.transport.open_connection(platform, "127.0.0.1", host.server_port(0));
    host.poll_server();

    MatchState& match = game.match;
    match.started = true;
    match.me.paddle_x = 10.0f;
    match.opponent.paddle_x = 4.0f;
    // Sent away and bouncing sideways at the far end for as long as the bench runs.
    match.ball = {false, 10.0f, 0.0f, 0.05f, 0.3f, SideDirection::left, BallFlight::outgoing};
    game.sound.play(game.bank.rolling, true);
  }
  ~FrameBench() { game.sound.free_all(); }

  HeadlessPlatform platform;
  ScriptedInput keys;  // no keys held
  Game game;
  Transport host;
};

void BM_MatchFrameLogic(benchmark::State& state) {
  FrameBench bench;
  // Two paddle steps of the opponent in every frame, as if it were running.
  const std::string read = state.range(0) ? "_P_P5$_P_P6$" : "";
  for (auto _ : state) {
    bench.game.net.received_text = read;
    benchmark::DoNotOptimize(run_frame_logic(bench.game));
  }
  benchmark::DoNotOptimize(bench.game.match.ball.x);
}
BENCHMARK(BM_MatchFrameLogic)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tornello

BENCHMARK_MAIN();
