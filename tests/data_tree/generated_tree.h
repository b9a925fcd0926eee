// The generated sound tree, kept beside the test program so that ctest (one
// process per test) makes it once; a rebuilt program, and with it a changed
// generator, makes it afresh.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "assets/generate.h"
#include "assets/speech.h"

namespace tornello {

struct GeneratedTree {
  std::string data_dir, skip_reason;  // data_dir holds Sounds/
  std::vector<std::string> errors;    // what the generator reported, if it failed
};

inline GeneratedTree make_generated_tree() {
  namespace fs = std::filesystem;
  GeneratedTree tree;
  if (auto problem = assets::check_speech_program("espeak-ng")) {
    tree.skip_reason = "no generated tree to check: " + *problem;
    return tree;
  }
  const fs::path program = fs::read_symlink("/proc/self/exe");
  const fs::path cache = program.parent_path() / "generated-data-tree";
  fs::create_directories(cache);
  const std::string key = std::to_string(fs::file_size(program)) + " " +
                          std::to_string(fs::last_write_time(program).time_since_epoch().count());
  // Parallel test processes wait for the one that generates; closing releases it.
  const int lock = ::open((cache / "lock").c_str(), O_CREAT | O_RDWR, 0644);
  if (lock >= 0) ::flock(lock, LOCK_EX);
  tree.data_dir = (cache / "data").string();
  std::string made_by;
  std::getline(std::ifstream(cache / "stamp"), made_by);
  if (made_by != key || !fs::is_directory(tree.data_dir)) {
    fs::remove(cache / "stamp");
    fs::remove_all(tree.data_dir);
    assets::GenerateOptions options;
    options.data_dir = tree.data_dir;
    const assets::GenerateReport report = assets::generate_sound_tree(options);
    tree.errors = report.errors;
    if (report.ok()) std::ofstream(cache / "stamp") << key << "\n";
  }
  if (lock >= 0) ::close(lock);
  return tree;
}

inline const GeneratedTree& generated_tree() {
  static const GeneratedTree tree = make_generated_tree();
  return tree;
}

}  // namespace tornello

// Skips the test when espeak-ng is missing and fails it when generation failed.
#define REQUIRE_GENERATED_TREE(tree)                                    \
  const ::tornello::GeneratedTree& tree = ::tornello::generated_tree(); \
  if (!tree.skip_reason.empty()) GTEST_SKIP() << tree.skip_reason;      \
  ASSERT_TRUE(tree.errors.empty()) << tree.errors.front()
