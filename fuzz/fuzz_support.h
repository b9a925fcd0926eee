// Pieces the fuzz targets share: a failed check, and a data tree of their own
// that the game's file loads can be pointed at.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tornello::fuzz {

namespace fs = std::filesystem;

// A failed property: libFuzzer keeps the input that caused it.
inline void check(bool condition) {
  if (!condition) std::abort();
}

// A directory of its own, removed at exit; in memory where the system offers
// it, since rewriting a file on disk thousands of times a second waits on it.
struct Tree {
  Tree() {
    std::error_code error;
    std::string pattern =
        ((fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path()) /
         "tornello-fuzz-XXXXXX")
            .string();
    check(::mkdtemp(pattern.data()) != nullptr);
    path = pattern;
  }
  ~Tree() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  // Writes the bytes to a file below the tree, creating its folders.
  void write(const fs::path& relative, const std::string& bytes) const {
    fs::create_directories((path / relative).parent_path());
    std::ofstream(path / relative, std::ios::binary | std::ios::trunc) << bytes;
  }
  fs::path path;
};

// The game opens its data files relative to the working directory; the previous
// one comes back however the scope ends.
struct InDirectory {
  explicit InDirectory(const fs::path& path) { fs::current_path(path); }
  ~InDirectory() { fs::current_path(previous); }
  const fs::path previous = fs::current_path();
};

}  // namespace tornello::fuzz
