// Frame pacing of the match loop's wait on the desktop backend: each frame ends
// with pump_events(1) then delay_ms(16). Prints the frame period (mean, median,
// 99th percentile) and the CPU time the waiting costs. Needs an X display; without
// one it runs itself again under xvfb-run.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "platform/sdl/sdl_platform.h"

namespace {

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && argc == 1) {
    char again[] = "--under-xvfb";
    char* args[] = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), argv[0], again,
                    nullptr};
    execvp("xvfb-run", args);
    std::fprintf(stderr, "No display and no xvfb-run: frame pacing not measured.\n");
    return 0;
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::unique_ptr<tornello::Platform> platform = tornello::create_sdl_platform({.speech = false});
  if (!platform || !platform->open_window("Tornello")) return 1;
  // Let the window settle before measuring.
  for (int k = 0; k < 10; ++k) platform->delay_ms(16);

  constexpr int frames = 600;
  using Clock = std::chrono::steady_clock;
  std::vector<double> periods;
  periods.reserve(frames);
  const double cpu_start = cpu_seconds();
  const auto wall_start = Clock::now();
  auto previous = wall_start;
  for (int f = 0; f < frames; ++f) {
    platform->pump_events(1);
    platform->delay_ms(16);
    const auto now = Clock::now();
    periods.push_back(std::chrono::duration<double, std::milli>(now - previous).count());
    previous = now;
  }
  const double wall = std::chrono::duration<double>(Clock::now() - wall_start).count();
  const double cpu = cpu_seconds() - cpu_start;
  platform->close();

  std::vector<double> sorted = periods;
  std::sort(sorted.begin(), sorted.end());
  const double mean = std::accumulate(sorted.begin(), sorted.end(), 0.0) / frames;
  const double median = (sorted[frames / 2 - 1] + sorted[frames / 2]) / 2;
  const double p99 = sorted[static_cast<size_t>(frames * 0.99) - 1];
  std::printf("frame_pacing: %d frames of pump_events(1) + delay_ms(16)\n", frames);
  std::printf("  frame period: mean %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms\n", mean,
              median, p99, sorted.back());
  std::printf("  CPU: %.2f%% of one core (%.3f s over %.2f s)\n", 100.0 * cpu / wall, cpu, wall);
  return 0;
}
