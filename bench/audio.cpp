// The sound engine's speed: mixing a match's worth of voices, changing a voice's
// level and pan (done several times per frame), and loading the whole bank.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/sound_bank.h"
#include "audio/sound_engine.h"
#include "audio/wav_writer.h"
#include "platform/file_lookup.h"
#include "platform/headless/headless_platform.h"

namespace tornello {
namespace {

constexpr int rate = 44100;

// A deterministic sound of 0.2 to 3 seconds: a tone with a little noise.
std::vector<uint8_t> make_sound(uint32_t seed, int channels) {
  uint32_t state = seed * 2654435761u + 1;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  const int frames = static_cast<int>(rate * (0.2 + 2.8 * (next() % 1000) / 999.0));
  const double pitch = 200.0 + next() % 800;
  std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
  for (int f = 0; f < frames; ++f) {
    const double tone = 12000.0 * std::sin(2.0 * M_PI * pitch * f / rate);
    for (int c = 0; c < channels; ++c) {
      samples[static_cast<size_t>(f) * channels + c] =
          static_cast<int16_t>(tone + static_cast<int>(next() % 2000) - 1000);
    }
  }
  return encode_wav(samples, channels, rate);
}

void BM_MixMatch(benchmark::State& state) {
  HeadlessAudioDevice device;
  SoundEngine engine;
  engine.init(device);
  std::vector<SoundHandle> handles;
  for (uint32_t k = 0; k < 130; ++k) {
    handles.push_back(engine.load_bytes(make_sound(k, k % 4 == 0 ? 2 : 1), "bench"));
  }
  constexpr int playing = 32;
  for (int k = 0; k < playing; ++k) engine.play(handles[k * 4], true);

  const int frames = static_cast<int>(state.range(0));
  std::vector<float> out(2 * static_cast<size_t>(frames));
  int step = 0;
  for (auto _ : state) {
    // Every voice moves between blocks, as the match moves them between frames.
    for (int k = 0; k < playing; ++k) {
      engine.set_volume(handles[k * 4], (step + 3 * k) % 101);
      engine.set_pan(handles[k * 4], (step * 7 + k) % 201 - 100);
    }
    ++step;
    engine.mix(out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  // Seconds of audio made per second of work: how many times faster than real time.
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(frames) / rate,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MixMatch)->Arg(256)->Arg(512);

void BM_SetVolumeAndPan(benchmark::State& state) {
  HeadlessAudioDevice device;
  SoundEngine engine;
  engine.init(device);
  std::vector<SoundHandle> handles;
  for (uint32_t k = 0; k < 130; ++k) handles.push_back(engine.load_bytes(make_sound(k, 1), "b"));
  const SoundHandle h = handles[57];
  engine.play(h, true);
  int32_t v = 0;
  for (auto _ : state) {
    engine.set_volume(h, v % 101);
    engine.set_pan(h, v % 201 - 100);
    ++v;
  }
  // Two calls per iteration; shown as time per call.
  state.counters["per_call"] = benchmark::Counter(
      2, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SetVolumeAndPan);

// A sound tree on disk with every file the bank loads, removed at the end.
class BankTree {
 public:
  BankTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tornello-bench-XXXXXX");
    root_ = ::mkdtemp(pattern.data()) ? pattern : "";
    // The bank's own list of paths: ask it with an engine that cannot load.
    SoundEngine closed;
    SoundLog log;
    closed.set_log(&log);
    FileLookup files;
    SoundBank bank;
    load_sound_bank(bank, closed, files, 8);
    uint32_t seed = 1000;
    for (const SoundEvent& event : log.events()) {
      const std::filesystem::path path = std::filesystem::path(root_) / event.path;
      std::filesystem::create_directories(path.parent_path());
      const std::vector<uint8_t> bytes = make_sound(seed++, 1);
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
      bytes_ += bytes.size();
    }
  }
  ~BankTree() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  const std::string& root() const { return root_; }
  size_t bytes() const { return bytes_; }

 private:
  std::string root_;
  size_t bytes_ = 0;
};

void BM_LoadSoundBank(benchmark::State& state) {
  BankTree tree;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(tree.root());
  size_t loaded = 0;
  for (auto _ : state) {
    // A fresh engine and lookup each time, as at start-up.
    HeadlessAudioDevice device;
    SoundEngine engine;
    engine.init(device);
    FileLookup files;
    SoundBank bank;
    load_sound_bank(bank, engine, files, 8);
    loaded = engine.loaded_count();
    state.PauseTiming();
    engine.free_all();
    state.ResumeTiming();
  }
  std::filesystem::current_path(previous);
  state.counters["sounds"] = static_cast<double>(loaded);
  state.counters["MB_on_disk"] = static_cast<double>(tree.bytes()) / 1e6;
}
BENCHMARK(BM_LoadSoundBank)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tornello

BENCHMARK_MAIN();
