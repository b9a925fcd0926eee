// Any bytes as a language file and a menu file: loaded as the game loads them,
// they give the lines an independent split finds (CR LF, CR, LF and NUL end a
// line); entries past the end are the built-in English.
#include <vector>

#include "fuzz_support.h"
#include "platform/file_lookup.h"
#include "shell/language.h"
#include "shell/menu.h"

namespace tornello {
namespace {

// A final line end starts no further line; an empty file is one empty line.
std::vector<std::string> expected_lines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
    if (c != '\r' && c != '\0' && c != '\n')
      lines.back().push_back(c);
    else if (at + 1 < text.size())
      lines.emplace_back();
  }
  return lines;
}

}  // namespace
}  // namespace tornello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tornello;
  using fuzz::check;
  static const TempDir tree;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  tree.write("lang/XX.lng", bytes);
  tree.write("Menu/EN/main.mnu", bytes);
  LanguageTable language;
  std::optional<MenuFile> menu;
  {
    const WorkingDirectory in_tree(tree.path());
    FileLookup files;
    check(language.load(files, "XX"));
    menu = read_menu_file(files, menu_path("EN", "main"));
  }
  check(menu.has_value());
  const std::vector<std::string> lines = expected_lines(bytes);
  for (int entry = 0; entry <= LanguageTable::max_entries + 1; ++entry) {
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
