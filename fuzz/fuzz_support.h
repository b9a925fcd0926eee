// Pieces the fuzz targets share: a failed check, and a data tree of their own
// that the game's file loads can be pointed at.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tornello::fuzz {

// A failed property: libFuzzer keeps the input that caused it.
inline void check(bool condition) {
  if (!condition) std::abort();
}

// A directory of its own, removed at exit. In memory where the system offers
// it: rewriting a file on disk thousands of times a second waits on the disk.
class Tree {
 public:
  Tree() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tornello-fuzz-XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr);
    path_ = pattern;
  }
  ~Tree() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes the bytes to a file below the tree, creating its folders.
  void write(const std::filesystem::path& relative, const std::string& bytes) const {
    const std::filesystem::path full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary | std::ios::trunc) << bytes;
  }

 private:
  std::filesystem::path path_;
};

// The game opens its data files relative to the working directory; the previous
// one comes back however the scope ends.
class InDirectory {
 public:
  explicit InDirectory(const std::filesystem::path& path)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~InDirectory() { std::filesystem::current_path(previous_); }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace tornello::fuzz
