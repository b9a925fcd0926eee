#include "shell/language.h"

#include <vector>

#include "platform/file_lookup.h"
#include "platform/line_reader.h"

namespace tornello {

// The English language file, built into the game (generated from data/lang/EN.lng).
extern const std::string_view english_language_file;

namespace {

// Line n of the built-in file at [n], split the way LineReader splits a file.
std::vector<std::string_view> builtin_lines() {
  std::vector<std::string_view> lines{std::string_view{}};
  std::string_view rest = english_language_file;
  while (!rest.empty()) {
    const size_t end = rest.find_first_of("\r\n");
    lines.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + (rest.compare(end, 2, "\r\n") == 0 ? 2 : 1));
  }
  return lines;
}

}  // namespace

std::string_view builtin_english(int entry) {
  static const std::vector<std::string_view> lines = builtin_lines();
  if (entry < 1 || static_cast<size_t>(entry) >= lines.size()) return {};
  return lines[static_cast<size_t>(entry)];
}

bool LanguageTable::load(FileLookup& files, const std::string& code) {
  auto path = files.resolve("lang/" + code + ".lng");
  if (!path) return false;
  auto reader = LineReader::open_for_reading(*path);
  if (!reader) return false;
  int n = 0;
  do {
    ++n;
    std::string line = reader->read_line();
    if (n <= max_entries) entries[n] = std::move(line);
  } while (!reader->at_end());
  for (++n; n <= max_entries; ++n) entries[n] = builtin_english(n);
  return true;
}

const std::string& LanguageTable::text(int entry) const {
  static const std::string empty;
  if (entry < 1 || entry > max_entries) return empty;
  return entries[entry];
}

}  // namespace tornello
