// How many match messages process_messages splits and dispatches per second on
// one core, for reads shaped like a match's: mostly paddle steps, with hit
// groups, shields, hidden balls and points among them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "net/protocol.h"

namespace tornello {
namespace {

// Folds every value into one sum so no call can be optimised away.
class SummingHandler : public MessageHandler {
 public:
  int64_t sum = 0;
  int64_t count = 0;

  void on_ready() override { ++count; }
  void on_character(int32_t n) override { add(n); }
  void on_start(int64_t s) override { add(s); }
  void on_paddle(int64_t p) override { add(p); }
  void on_ball_direction(int32_t d) override { add(d); }
  void on_ball_speed_y(int64_t s) override { add(s); }
  void on_ball_speed_x(int64_t q) override { add(q); }
  void on_ball_hidden() override { ++count; }
  void on_shield_raised() override { ++count; }
  void on_shield_return() override { ++count; }
  void on_point_won() override { ++count; }
  void on_ball_struck() override { ++count; }
  void on_goodbye() override { ++count; }
  void on_match_over() override { ++count; }

 private:
  void add(int64_t value) {
    sum += value;
    ++count;
  }
};

struct Traffic {
  std::vector<std::string> reads;
  int64_t messages = 0;
};

// A few seconds of one side's messages, one read per frame that had any.
Traffic match_traffic() {
  Traffic traffic;
  for (int rally = 0; rally < 40; ++rally) {
    for (int step = 0; step < 6; ++step) {
      traffic.reads.push_back("_P_P" + std::to_string(2 + (rally + step) % 17) + "$");
      traffic.messages += 1;
    }
    traffic.reads.push_back("_P_BD" + std::to_string(1 + rally % 3) + "$_P_BS" +
                            std::to_string(50 + rally) + "$_P_BQ-" + std::to_string(10 + rally) +
                            "$_P_BE$");
    traffic.messages += 4;
    if (rally % 5 == 0) {
      traffic.reads.push_back("_P_XS$_P_XD$");
      traffic.messages += 2;
    }
    if (rally % 7 == 0) {
      traffic.reads.push_back("_P_P3$_P_XASR$");
      traffic.messages += 2;
    }
    if (rally % 9 == 0) {
      traffic.reads.push_back("_P_G$");
      traffic.messages += 1;
    }
  }
  return traffic;
}

void run(benchmark::State& state, const std::vector<std::string>& reads, int64_t messages) {
  NetState net;
  SummingHandler handler;
  for (auto _ : state) {
    for (const std::string& read : reads) {
      net.received_text = read;
      process_messages(net, handler);
    }
  }
  benchmark::DoNotOptimize(handler.sum);
  if (handler.count != messages * static_cast<int64_t>(state.iterations())) {
    state.SkipWithError("messages were lost");
  }
  state.SetItemsProcessed(handler.count);
  state.counters["messages_per_second"] =
      benchmark::Counter(static_cast<double>(handler.count), benchmark::Counter::kIsRate);
}

void BM_ProcessMatchMessages(benchmark::State& state) {
  static const Traffic traffic = match_traffic();
  run(state, traffic.reads, traffic.messages);
}
BENCHMARK(BM_ProcessMatchMessages);

// The same traffic cut into reads at awkward places, so most reads end inside
// a message and the unfinished tail is carried over.
void BM_ProcessMatchMessagesSplit(benchmark::State& state) {
  static const Traffic traffic = match_traffic();
  static const std::vector<std::string> reads = [] {
    std::string stream;
    for (const std::string& read : traffic.reads) stream += read;
    std::vector<std::string> cut;
    for (size_t at = 0, width = 3; at < stream.size(); at += width, width = 3 + (width + 4) % 11) {
      cut.push_back(stream.substr(at, width));
    }
    return cut;
  }();
  run(state, reads, traffic.messages);
}
BENCHMARK(BM_ProcessMatchMessagesSplit);

}  // namespace
}  // namespace tornello

BENCHMARK_MAIN();
