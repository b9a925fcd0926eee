// Writes the whole generated part of the data tree: every sound the game loads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tornello::assets {

struct GenerateOptions {
  std::string data_dir = "data";
  std::string speech_program = "espeak-ng";
  int threads = 0;  // 0: one per core
  // When set, only the paths it accepts are made and nothing stale is removed.
  std::function<bool(const std::string& path)> only;
};

struct GenerateReport {
  std::vector<std::string> errors;  // empty on success
  size_t files = 0;
  uint64_t bytes = 0;
  bool ok() const { return errors.empty(); }
};

// Makes every sound (or those `only` accepts) under `data_dir`, one folder per
// path on disk whatever case the game spells it with. Without `only`, files
// under Sounds/ that the generator no longer makes are removed.
GenerateReport generate_sound_tree(const GenerateOptions& options);

// Every path the generator writes, below the data folder.
std::vector<std::string> generated_paths();

}  // namespace tornello::assets
