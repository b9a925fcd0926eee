// The committed texts: every language file holds exactly the entries that
// data/README.md lists for translators, and every language has the three menus
// the game needs, found the way the game spells them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/file_lookup.h"
#include "platform/line_reader.h"
#include "shell/language.h"
#include "shell/menu.h"
#include "shell/text_entries.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;

const fs::path data_dir = fs::path(TORNELLO_SOURCE_DIR) / "data";

// The entry numbers of the guide's table, in order.
std::vector<int> guide_entries() {
  std::ifstream guide(data_dir / "README.md");
  const std::regex row(R"(^\| (\d+) \|)");
  std::vector<int> entries;
  std::smatch match;
  for (std::string line; std::getline(guide, line);) {
    if (std::regex_search(line, match, row)) entries.push_back(std::stoi(match[1]));
  }
  return entries;
}

std::vector<std::string> language_codes() {
  std::vector<std::string> codes;
  for (const auto& entry : fs::directory_iterator(data_dir / "lang")) {
    if (entry.path().extension() == ".lng") codes.push_back(entry.path().stem().string());
  }
  std::sort(codes.begin(), codes.end());
  return codes;
}

// Lines as the game counts them: a final line end starts no extra line.
size_t line_count(const std::string& path) {
  auto reader = LineReader::open_for_reading(path);
  if (!reader) return 0;
  size_t n = 0;
  do {
    reader->read_line();
    ++n;
  } while (!reader->at_end());
  return n;
}

// A line a screen reader speaks as written: not empty, no blank at either end,
// and valid UTF-8.
bool fit_to_speak(const std::string& text) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  if (text.empty() || std::isspace(byte(0)) || std::isspace(byte(text.size() - 1))) return false;
  for (size_t k = 0; k < text.size();) {
    const size_t length = byte(k) < 0x80           ? 1
                          : (byte(k) >> 5) == 0x6  ? 2
                          : (byte(k) >> 4) == 0xE  ? 3
                          : (byte(k) >> 3) == 0x1E ? 4
                                                   : 0;
    if (length == 0 || k + length > text.size()) return false;
    for (size_t j = 1; j < length; ++j) {
      if ((byte(k + j) >> 6) != 0x2) return false;
    }
    k += length;
  }
  return true;
}

TEST(LanguageFiles, HoldExactlyTheEntriesTheGuideLists) {
  const std::vector<int> entries = guide_entries();
  ASSERT_EQ(entries.size(), static_cast<size_t>(entry::last)) << "the guide lists every entry";
  for (size_t k = 0; k < entries.size(); ++k) ASSERT_EQ(entries[k], static_cast<int>(k) + 1);
  const std::vector<std::string> codes = language_codes();
  for (const char* code : {"EN", "DE"}) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
  }
  WorkingDirectory cwd(data_dir.string());
  FileLookup files;
  for (const std::string& code : codes) {
    SCOPED_TRACE(code);
    EXPECT_EQ(line_count("lang/" + code + ".lng"), entries.size());
    LanguageTable table;
    ASSERT_TRUE(table.load(files, code));
    for (int n : entries) {
      EXPECT_TRUE(fit_to_speak(table.text(n))) << "entry " << n << ": '" << table.text(n) << "'";
      // The built-in English is the English file as the game was built with it.
      if (code == "EN") {
        EXPECT_EQ(table.text(n), builtin_english(n)) << "entry " << n;
      }
    }
  }
}

TEST(MenuFiles, EveryLanguageHasTheMenusTheGameNeeds) {
  WorkingDirectory cwd(data_dir.string());
  FileLookup files;
  // Their items' meanings are their positions, so no more and no fewer.
  const std::pair<const char*, size_t> menus[] = {{"main", 6}, {"connect", 5}, {"gamemode", 2}};
  for (const std::string& code : language_codes()) {
    for (const auto& [name, items] : menus) {
      SCOPED_TRACE(code + " " + name);
      const auto menu = read_menu_file(files, menu_path(code, name));
      ASSERT_TRUE(menu);
      EXPECT_EQ(menu->items.size(), items);
      std::vector<std::string> lines = menu->items;
      lines.push_back(menu->title);
      for (const std::string& line : lines) EXPECT_TRUE(fit_to_speak(line)) << "'" << line << "'";
    }
  }
  // No menu folder without its language file.
  for (const auto& entry : fs::directory_iterator(data_dir / "Menu")) {
    EXPECT_TRUE(fs::exists(data_dir / "lang" / (entry.path().filename().string() + ".lng")))
        << entry.path();
  }
}

}  // namespace
}  // namespace tornello
