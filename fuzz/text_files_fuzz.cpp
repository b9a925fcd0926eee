// The game's two text formats under arbitrary bytes: the input is written as a
// language file and as a menu file, both are loaded the way the game loads them,
// and what comes out must match the lines of the input as an independent split
// finds them (CR LF, CR, LF and zero bytes each end a line).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_lookup.h"
#include "shell/language.h"
#include "shell/menu.h"

namespace tornello {
namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// A data tree of its own, removed at exit. In memory where the system offers
// it: rewriting one file on disk thousands of times a second waits on the disk.
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
    std::filesystem::create_directories(path_ / "lang");
    std::filesystem::create_directories(path_ / "Menu" / "EN");
  }
  ~Tree() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The game opens its files relative to the working directory; the previous one
// comes back however the load ends.
class InDirectory {
 public:
  explicit InDirectory(const std::filesystem::path& path)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~InDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

void write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Line ends made uniform, then cut: a final line end starts no further line, and
// an empty file is one empty line.
std::vector<std::string> expected_lines(std::string text) {
  std::string uniform;
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
    uniform.push_back(c == '\r' || c == '\0' ? '\n' : c);
  }
  std::vector<std::string> lines(1);
  for (char c : uniform) {
    if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  if (!uniform.empty() && uniform.back() == '\n') lines.pop_back();
  return lines;
}

}  // namespace
}  // namespace tornello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tornello;
  static const Tree tree;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  write(tree.path() / "lang" / "XX.lng", bytes);
  write(tree.path() / "Menu" / "EN" / "main.mnu", bytes);

  LanguageTable language;
  std::optional<MenuFile> menu;
  {
    const InDirectory in_tree(tree.path());
    FileLookup files;
    check(language.load(files, "XX"));
    menu = read_menu_file(files, menu_path("EN", "main"));
  }
  check(menu.has_value());

  const std::vector<std::string> lines = expected_lines(bytes);
  for (int entry = 0; entry <= LanguageTable::max_entries + 1; ++entry) {
    const bool filled = entry >= 1 && entry <= LanguageTable::max_entries &&
                        static_cast<size_t>(entry) <= lines.size();
    check(language.text(entry) == (filled ? lines[static_cast<size_t>(entry) - 1] : ""));
  }

  check(menu->title == lines[0]);
  std::vector<std::string> items(lines.begin() + 1, lines.end());
  if (items.empty()) items.emplace_back();
  if (items.size() > MenuFile::max_items) items.resize(MenuFile::max_items);
  check(menu->items == items);
  return 0;
}
