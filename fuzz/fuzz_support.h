// What the fuzz targets share: a failed check, and a data tree of their own.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tornello::fuzz {

namespace fs = std::filesystem;

// libFuzzer keeps the input that made a check fail.
inline void check(bool condition) {
  if (!condition) std::abort();
}

// A directory removed at exit, in memory where offered: thousands of rewrites a
// second would wait on a disk.
struct Tree {
  Tree() {
    std::error_code error;
    const fs::path base =
        fs::is_directory("/dev/shm", error) ? "/dev/shm" : fs::temp_directory_path();
    std::string pattern = (base / "tornello-fuzz-XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr);
    path = pattern;
  }
  ~Tree() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  void write(const fs::path& relative, const std::string& bytes) const {
    fs::create_directories((path / relative).parent_path());
    std::ofstream(path / relative, std::ios::binary | std::ios::trunc) << bytes;
  }
  fs::path path;
};

// The game opens its data files relative to the working directory.
struct InDirectory {
  explicit InDirectory(const fs::path& path) { fs::current_path(path); }
  ~InDirectory() { fs::current_path(previous); }
  const fs::path previous = fs::current_path();
};

}  // namespace tornello::fuzz
