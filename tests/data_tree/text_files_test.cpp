// The committed texts: every language holds the entries data/README.md lists and
// the three menus, every line fit to speak.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/file_lookup.h"
#include "shell/language.h"
#include "shell/menu.h"
#include "shell/text_entries.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;

// Not empty, no blank at either end, valid UTF-8.
bool fit_to_speak(const std::string& text) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  if (text.empty() || std::isspace(byte(0)) || std::isspace(byte(text.size() - 1))) return false;
  for (size_t k = 0; k < text.size();) {
    const size_t length = byte(k) < 0x80 ? 1
                          : byte(k) >= 0xC2 && byte(k) < 0xF5
                              ? 2 + (byte(k) >= 0xE0) + (byte(k) >= 0xF0)
                              : 0;
    if (length == 0 || k + length > text.size()) return false;
    for (size_t j = 1; j < length; ++j) {
      if ((byte(k + j) >> 6) != 0x2) return false;
    }
    k += length;
  }
  return true;
}

TEST(TextFiles, EveryLanguageHoldsTheGuidesEntriesAndTheMenusTheGameNeeds) {
  const fs::path data_dir = fs::path(TORNELLO_SOURCE_DIR) / "data";
  std::ifstream guide(data_dir / "README.md");
  const std::regex row(R"(^\| (\d+) \|)");
  std::smatch match;
  int listed = 0;
  for (std::string line; std::getline(guide, line);) {
    if (std::regex_search(line, match, row) && std::stoi(match[1]) != ++listed)
      ADD_FAILURE() << line;
  }
  ASSERT_EQ(listed, entry::last) << "the guide lists every entry, in order";

  WorkingDirectory cwd(data_dir.string());
  FileLookup files;
  std::vector<std::string> codes;
  for (const auto& entry : fs::directory_iterator(data_dir / "lang")) {
    if (entry.path().extension() == ".lng") codes.push_back(entry.path().stem().string());
  }
  EXPECT_EQ(
      std::count(codes.begin(), codes.end(), "EN") + std::count(codes.begin(), codes.end(), "DE"),
      2);
  for (const std::string& code : codes) {
    SCOPED_TRACE(code);
    std::ifstream file(data_dir / "lang" / (code + ".lng"));
    int lines = 0;
    for (std::string line; std::getline(file, line);) ++lines;
    EXPECT_EQ(lines, listed) << "one line per entry, no more";
    LanguageTable table;
    ASSERT_TRUE(table.load(files, code));
    for (int n = 1; n <= listed; ++n) {
      EXPECT_TRUE(fit_to_speak(table.text(n))) << "entry " << n << ": '" << table.text(n) << "'";
      // The built-in English is the English file as the game was built with it.
      EXPECT_TRUE(code != "EN" || table.text(n) == builtin_english(n)) << "entry " << n;
    }
    // A menu item's meaning is its position, so no more and no fewer.
    for (const auto& [name, items] : {std::pair{"main", 6u}, {"connect", 5u}, {"gamemode", 2u}}) {
      const auto menu = read_menu_file(files, menu_path(code, name));
      ASSERT_TRUE(menu) << name;
      EXPECT_EQ(menu->items.size(), items) << name;
      EXPECT_TRUE(fit_to_speak(menu->title)) << name;
      for (const std::string& item : menu->items)
        EXPECT_TRUE(fit_to_speak(item)) << "'" << item << "'";
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
