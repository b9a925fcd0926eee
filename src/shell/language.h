// The language table: entry n is line n of "lang/<code>.lng", 1 to 100.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tornello {

class FileLookup;

struct LanguageTable {
  static constexpr int max_entries = 100;
  std::array<std::string, max_entries + 1> entries;  // entry 0 is never used

  // Fills the table from the language file of `code`. False when the file cannot
  // be opened (the table is then left empty). Lines past entry 100 are ignored.
  // Entries the file does not reach (a language file of an older release is
  // shorter) take the built-in English text, so every line is still spoken.
  bool load(FileLookup& files, const std::string& code);
  // The entry's text; empty for a number outside 1..100 or a missing line.
  const std::string& text(int entry) const;
};

// The built-in English text of an entry (the English language file as it was
// when the game was built); empty for a number it does not have.
std::string_view builtin_english(int entry);

}  // namespace tornello
