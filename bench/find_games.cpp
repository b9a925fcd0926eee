// How long a player waits for "Found 1 game." after choosing "Find games on this
// network": a game waits for a guest on one computer and the player searches
// from another (two network namespaces joined by a veth pair; needs root). The
// search listens for a fixed second, so the figure to watch is what lies beyond
// that second. Iteration times are real times.
#include "session/find_games.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "../tests/support/netns.h"
#include "net/lan_discovery.h"
#include "platform/headless/headless_platform.h"
#include "shell/game.h"
#include "shell/text_entries.h"

namespace tornello {
namespace {

using Steady = std::chrono::steady_clock;

// Says nothing until the games found are told, then goes down to Back and takes it.
class BackOut : public InputSource {
 public:
  bool told = false;
  void keyboard(KeyboardSnapshot& out) override {
    out = KeyboardSnapshot{};
    if (!told) return;
    const int step = pass_++;
    if (step == 0) out.keys[key::down] = 0x80;
    if (step == 2) out.keys[key::enter] = 0x80;
  }
  std::optional<std::string> answer(const std::string&, const std::string&,
                                    const std::string&) override {
    return std::nullopt;
  }

 private:
  int pass_ = 0;
};

class TimedPlatform : public HeadlessPlatform {
 public:
  TimedPlatform() : HeadlessPlatform(Clock::real_time) {}
  std::string found_text;
  BackOut input;
  Steady::time_point found_at;
  void set_title(const std::string& text) override {
    if (!input.told && text.starts_with(found_text)) {
      found_at = Steady::now();
      input.told = true;
    }
    HeadlessPlatform::set_title(text);
  }
};

void FindGamesUntilTheFirstIsTold(benchmark::State& state) {
  if (const auto reason = NetworkPair::unavailable()) {
    state.SkipWithError(reason->c_str());
    return;
  }
  const NetworkPair pair;
  std::unique_ptr<DiscoveryResponder> host;
  std::thread([&] {
    if (pair.enter(0)) host = std::make_unique<DiscoveryResponder>(3214, 1, 7);
  }).join();
  if (!host || !host->listening() || !pair.enter(1)) {
    state.SkipWithError("the two computers could not be made");
    return;
  }
  double slowest = 0;
  for (auto _ : state) {
    TimedPlatform platform;
    Game game(platform);
    for (int entry = 1; entry <= entry::last; ++entry) {
      game.language.entries[entry] = std::string(builtin_english(entry));
    }
    platform.found_text = game.language.text(entry::found) + " 1 ";
    platform.set_input(&platform.input);
    game.keyboard.init(platform);
    const Steady::time_point chosen = Steady::now();
    find_games(game);
    if (!platform.input.told) {
      state.SkipWithError("no game was found");
      return;
    }
    const double seconds = std::chrono::duration<double>(platform.found_at - chosen).count();
    state.SetIterationTime(seconds);
    slowest = std::max(slowest, seconds);
  }
  state.counters["slowest_ms"] = slowest * 1000;
}
BENCHMARK(FindGamesUntilTheFirstIsTold)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
}  // namespace tornello

BENCHMARK_MAIN();
