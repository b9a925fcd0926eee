// The audio menu: a title and a list of spoken items read from a small text file
// per language, walked with Up and Down and chosen by letting go of Enter. The
// caller gives the chosen item number its meaning.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/keys.h"
#include "shell/game.h"
#include "shell/text_entries.h"

namespace tornello {

class FileLookup;

// True on the first poll that finds the key held, then false while it stays held;
// armed again by the poll that finds it up. The latches live in Game, so a key
// held from one loop into the next is not reported again by the new loop.
// Examine the keyboard once per pass before asking.
bool key_pressed_once(Game& game, KeyCode code);

// The three menu sounds, loaded when a menu opens (the opening one plays at
// once) and freed when it closes.
struct MenuSounds {
  explicit MenuSounds(Game& game);
  ~MenuSounds();
  MenuSounds(const MenuSounds&) = delete;
  MenuSounds& operator=(const MenuSounds&) = delete;

  Game& game;
  SoundHandle open = 0;
  SoundHandle click = 0;
  SoundHandle select = 0;
};

struct MenuFile {
  static constexpr int max_items = 1000;
  std::string title;
  // Item n is items[n - 1]. Never empty: a file that ends after its title has
  // one item with empty text. Lines past max_items are ignored.
  std::vector<std::string> items;
};

// "Menu\<language>\<name>.mnu".
std::string menu_path(const std::string& language, const std::string& name);

// Reads a menu file; nothing when it cannot be opened.
std::optional<MenuFile> read_menu_file(FileLookup& files, const std::string& path);

// The named menu of the game's language, or of English when that language has
// none. Nothing when neither exists: "Menu file not found: " and the path are
// spoken, and the caller ends the game as it does for a missing language file.
std::optional<MenuFile> load_menu(Game& game, const std::string& name);

// Runs a menu until an item is chosen and returns its number, 1 to the item
// count. The game's own lists (games found, sounds to learn) are menus too.
int run_menu(Game& game, const MenuFile& menu);

// What a menu does beyond choosing an item and closing.
struct MenuActions {
  // Spoken by F1 before the keys every screen knows.
  int help_entry = entry::help_menu;
  // Escape closes the menu; run_menu then returns 0.
  bool escape_closes = false;
  // Enter on an item: true closes the menu with it, false keeps it open.
  std::function<bool(int item)> chosen;
  // Once per pass, with the item under the cursor. True while it has work on
  // every pass and paces the pass itself; the menu then does not wait.
  std::function<bool(int item)> each_pass;
};
int run_menu(Game& game, const MenuFile& menu, const MenuActions& actions);

// load_menu, then run_menu; nothing when the file is missing.
std::optional<int> run_menu(Game& game, const std::string& name);

}  // namespace tornello
