#include "data_tree/generated_tree.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "assets/generate.h"
#include "assets/speech.h"

namespace tornello {

namespace fs = std::filesystem;

namespace {

// Held while the tree is checked or made, so parallel test processes wait for
// the one that generates instead of generating over each other.
struct FileLock {
  explicit FileLock(const fs::path& path) : fd(::open(path.c_str(), O_CREAT | O_RDWR, 0644)) {
    if (fd >= 0) ::flock(fd, LOCK_EX);
  }
  ~FileLock() {
    if (fd >= 0) ::close(fd);
  }
  const int fd;
};

GeneratedTree make_tree() {
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
  FileLock lock(cache / "lock");
  tree.data_dir = (cache / "data").string();
  std::string made_by;
  std::getline(std::ifstream(cache / "stamp"), made_by);
  if (made_by == key && fs::is_directory(tree.data_dir)) return tree;

  fs::remove(cache / "stamp");
  fs::remove_all(tree.data_dir);
  assets::GenerateOptions options;
  options.data_dir = tree.data_dir;
  const assets::GenerateReport report = assets::generate_sound_tree(options);
  tree.errors = report.errors;
  if (report.ok()) std::ofstream(cache / "stamp") << key << "\n";
  return tree;
}

}  // namespace

const GeneratedTree& generated_tree() {
  static const GeneratedTree tree = make_tree();
  return tree;
}

}  // namespace tornello
