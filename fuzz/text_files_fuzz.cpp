// The game's two text formats under arbitrary bytes: the input is written as a
// language file and as a menu file, both are loaded the way the game loads them,
// and what comes out must match the lines of the input as an independent split
// finds them (CR LF, CR, LF and zero bytes each end a line); entries the file
// does not reach are the built-in English.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/file_lookup.h"
#include "shell/language.h"
#include "shell/menu.h"

namespace tornello {
namespace {

// Line ends made uniform, then cut: a final line end starts no further line, and
// an empty file is one empty line.
std::vector<std::string> expected_lines(const std::string& text) {
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
  using fuzz::check;
  static const fuzz::Tree tree;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  tree.write("lang/XX.lng", bytes);
  tree.write("Menu/EN/main.mnu", bytes);

  LanguageTable language;
  std::optional<MenuFile> menu;
  {
    const fuzz::InDirectory in_tree(tree.path);
    FileLookup files;
    check(language.load(files, "XX"));
    menu = read_menu_file(files, menu_path("EN", "main"));
  }
  check(menu.has_value());

  const std::vector<std::string> lines = expected_lines(bytes);
  for (int entry = 0; entry <= LanguageTable::max_entries + 1; ++entry) {
    // Entries past the file's last line take the built-in English text.
    const bool in_range = entry >= 1 && entry <= LanguageTable::max_entries;
    const bool filled = in_range && static_cast<size_t>(entry) <= lines.size();
    const std::string expected = filled     ? lines[static_cast<size_t>(entry) - 1]
                                 : in_range ? std::string(builtin_english(entry))
                                            : std::string();
    check(language.text(entry) == expected);
  }

  check(menu->title == lines[0]);
  std::vector<std::string> items(lines.begin() + 1, lines.end());
  if (items.empty()) items.emplace_back();
  if (items.size() > MenuFile::max_items) items.resize(MenuFile::max_items);
  check(menu->items == items);
  return 0;
}
