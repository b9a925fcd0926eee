#include "shell/menu.h"

#include "platform/file_lookup.h"
#include "platform/line_reader.h"
#include "shell/screen_keys.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

constexpr const char* fallback_language = "EN";
constexpr int32_t choice_pause_ms = 1000;

}  // namespace

MenuSounds::MenuSounds(Game& game) : game(game) {
  open = game.sound.load(game.files, "Sounds/menu/Open.wav");
  game.sound.play(open);
  click = game.sound.load(game.files, "Sounds/Menu/Click.wav");
  select = game.sound.load(game.files, "Sounds/Menu/Select.wav");
}

MenuSounds::~MenuSounds() {
  game.sound.free(open);
  game.sound.free(click);
  game.sound.free(select);
}

std::optional<MenuFile> load_menu(Game& game, const std::string& name) {
  const std::string path = menu_path(game.settings.language, name);
  if (auto menu = read_menu_file(game.files, path)) return menu;
  if (game.settings.language != fallback_language) {
    if (auto menu = read_menu_file(game.files, menu_path(fallback_language, name))) return menu;
  }
  tell_fatal(game, "Menu file not found: " + path);
  return std::nullopt;
}

bool key_pressed_once(Game& game, KeyCode code) {
  int32_t& latch = game.key_latches[code];
  if (game.keyboard.key_released(code)) {
    latch = 0;
    return false;
  }
  if (latch != 0) return false;
  if (!game.keyboard.key_down(code)) return false;
  latch = 1;
  return true;
}

std::string menu_path(const std::string& language, const std::string& name) {
  return "Menu\\" + language + "\\" + name + ".mnu";
}

std::optional<MenuFile> read_menu_file(FileLookup& files, const std::string& path) {
  auto resolved = files.resolve(path);
  if (!resolved) return std::nullopt;
  auto reader = LineReader::open_for_reading(*resolved);
  if (!reader) return std::nullopt;
  MenuFile menu;
  menu.title = reader->read_line();
  // A final line end does not start an extra item, but a file that ends right
  // after its title still has one (empty) item.
  do {
    menu.items.push_back(reader->read_line());
  } while (!reader->at_end() && menu.items.size() < MenuFile::max_items);
  return menu;
}

std::optional<int> run_menu(Game& game, const std::string& name) {
  std::optional<MenuFile> menu = load_menu(game, name);
  if (!menu) return std::nullopt;
  return run_menu(game, *menu);
}

int run_menu(Game& game, const MenuFile& menu) {
  return run_menu(game, menu, MenuActions{});
}

int run_menu(Game& game, const MenuFile& menu, const MenuActions& actions) {
  MenuSounds sounds(game);
  const int count = static_cast<int>(menu.items.size());
  auto item = [&](int n) -> const std::string& { return menu.items[n - 1]; };

  speak_line(game, menu.title);
  int cursor = 1;
  for (;;) {
    game.keyboard.examine(game.platform);
    answer_common_keys(game, actions.help_entry);
    if (actions.escape_closes && key_pressed_once(game, key::escape)) return 0;
    if (key_pressed_once(game, key::down)) {
      cursor = cursor == count ? 1 : cursor + 1;
      game.sound.play(sounds.click);
      speak_line(game, item(cursor), LineKind::answer);
    }
    if (key_pressed_once(game, key::up)) {
      cursor = cursor == 1 ? count : cursor - 1;
      speak_line(game, item(cursor), LineKind::answer);
      game.sound.play(sounds.click);
    }
    // Chosen on release, so the press cannot reach the next screen as a new one.
    if (game.keyboard.key_released(key::enter) && (!actions.chosen || actions.chosen(cursor))) {
      game.sound.play(sounds.select);
      game.platform.delay_ms(choice_pause_ms);
      return cursor;
    }
    if (!actions.each_pass || !actions.each_pass(cursor))
      game.platform.wait_for_input(idle_wait_ms);
  }
}

}  // namespace tornello
