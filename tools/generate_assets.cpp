// Generates the game's sound tree: `generate_assets [data-folder]` (default "data").
#include <chrono>
#include <cstdio>
#include <string>

#include "assets/generate.h"

int main(int argc, char** argv) {
  tornello::assets::GenerateOptions options;
  if (argc > 2 ||
      (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
    std::fprintf(
        stderr,
        "usage: %s [data-folder]\nWrites every sound the game loads under <data-folder>/Sounds.\n",
        argv[0]);
    return argc == 2 ? 0 : 2;
  }
  if (argc == 2) options.data_dir = argv[1];

  std::printf("Generating sounds into %s/Sounds ...\n", options.data_dir.c_str());
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const tornello::assets::GenerateReport report = tornello::assets::generate_sound_tree(options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!report.ok()) {
    for (const std::string& error : report.errors)
      std::fprintf(stderr, "error: %s\n", error.c_str());
    return 1;
  }
  std::printf("Wrote %zu sounds (%.1f MB) in %.1f s.\n", report.files,
              static_cast<double>(report.bytes) / 1e6, seconds);
  return 0;
}
