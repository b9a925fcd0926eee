// Menus and the main menu's flows, as a player walks them.
#include "shell/menu.h"

#include <filesystem>
#include <optional>
#include <tuple>

#include "shell/main_menu.h"
#include "shell_fixture.h"

namespace tornello {
namespace {

TEST_F(ShellTest, MenusWrapWhateverTheFileEndsWithAndMissingOnesFallBackToEnglishThenEnd) {
  data.write("Menu/EN/colours.mnu", "Colours\r\nred\r\ngreen\r\nblue");
  // Down to green, blue, red, green; back to red; Up wraps to blue.
  for (int n = 0; n < 4; ++n) script.tap(key::down);
  script.tap(key::up).tap(key::up).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "colours"), 3);
  EXPECT_EQ(spoken(), (Lines{"Colours", "green", "blue", "red", "green", "red", "blue"}));
  data.write("Menu/EN/lonely.mnu", "Only a title\n");
  std::string text = "Long\n";
  for (int n = 1; n <= 1001; ++n) text += "item " + std::to_string(n) + "\n";
  data.write("Menu/EN/long.mnu", text);
  game->files.clear();
  script.tap(key::down).tap(key::enter);
  const size_t from = spoken().size();
  EXPECT_EQ(run_menu(*game, "lonely"), 1);
  script.tap(key::up).tap(key::down).tap(key::up).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "long"), 1000) << "lines past a thousand are left out";
  game->settings.language = "de";
  data.write("Menu/de/main.mnu", "Hauptmenue\nEins\n");
  game->files.clear();
  script.tap(key::enter).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "main"), 1);
  EXPECT_EQ(run_menu(*game, "colours"), 1);
  EXPECT_EQ(run_menu(*game, "gamemode"), std::nullopt);
  EXPECT_EQ(spoken_since(from),
            (Lines{"Only a title", "", "Long", "item 1000", "item 1", "item 1000", "Hauptmenue",
                   "Colours", "Menu file not found: Menu\\de\\gamemode.mnu"}));
  EXPECT_EQ(script.passes_left(), 0u);
}

// A key is answered in its pass; Enter chooses a second after its release.
TEST_F(ShellTest, KeysAreAnsweredInTheirPassAndEnterChoosesOnReleaseASecondLater) {
  data.write("Menu/EN/colours.mnu", "Colours\nred\ngreen\nblue\n");
  write_menu_sounds();
  script.idle(4).hold({key::down}).idle(2).hold({key::enter}, 50);
  uint32_t released_at = 0;
  release_all_at_end(released_at);
  const uint32_t opened = platform.elapsed_ms();
  EXPECT_EQ(run_menu(*game, "colours"), 2);
  EXPECT_EQ(spoken(), (Lines{"Colours", "green"})) << "the start item is not spoken";
  EXPECT_EQ(platform.title_times().back(), opened + 4);
  EXPECT_EQ(played(),
            (Lines{"Sounds/menu/Open.wav", "Sounds/Menu/Click.wav", "Sounds/Menu/Select.wav"}));
  EXPECT_GT(ms_between(released_at, platform.elapsed_ms()), 1000);
  EXPECT_LT(ms_between(released_at, platform.elapsed_ms()), 1010);
  EXPECT_EQ(game->sound.loaded_count(), 0u);
}

enum { host_item = 1, connect_item = 2, exit_item = 3 };
enum { address_item = 1, port_item = 2, join_item = 3, back_item = 4 };

class MainMenuTest : public ShellTest {
 protected:
  MainMenuTest() {
    data.write("Menu/EN/main.mnu", "Main menu\nHost a game\nJoin a game\nExit\n");
    data.write("Menu/EN/connect.mnu", "Connect\nHost address\nPort\nConnect\nBack\n");
    write_sound("Sounds/Music/Menu.wav");
    write_menu_sounds();
    flows.host_game = record("host");
    flows.join_game = [this](Game& g) {
      calls.push_back("join " + g.settings.host + ":" + std::to_string(g.settings.port));
      return next;
    };
  }
  std::function<Next(Game&)> record(const char* name) {
    return [this, name](Game&) {
      calls.push_back(name);
      return next;
    };
  }
  MainMenuFlows flows;
  Next next = Next::main_menu;
  Lines calls;
};

// Each prompt offers the current setting; its answer, even a cancelled one, is the new one.
TEST_F(MainMenuTest, PromptAnswersBecomeTheHostAndPort) {
  const std::tuple<int, std::optional<std::string>, std::string> answers[] = {
      {port_item, "  5000x", "5000"},
      {port_item, std::nullopt, "0"},
      {port_item, "4294967297", "1"},
      {address_item, "pong.example.org", "pong.example.org"},
      {address_item, std::nullopt, ""}};
  for (const auto& [item, answer, now] : answers) {
    choose(connect_item);
    choose(item);
    script.answer_with(answer);
    choose(back_item);
    choose(exit_item);
    run_main_menu_loop(*game, flows);
    EXPECT_EQ(item == port_item ? std::to_string(game->settings.port) : game->settings.host, now);
  }
  Lines shown;
  for (const PromptRecord& p : platform.prompts())
    shown.push_back(p.title + "|" + p.prompt + "|" + p.default_text);
  EXPECT_EQ(shown, (Lines{"Port|Enter port to connect on|3214",
                          "Port|Enter port to connect on|5000", "Port|Enter port to connect on|0",
                          "Host|Enter host address to connect to|127.0.0.1",
                          "Host|Enter host address to connect to|pong.example.org"}));
  EXPECT_TRUE(calls.empty());

  EXPECT_EQ(events(SoundEventKind::load, "Sounds/Music/Menu.wav").size(), 1u);
  EXPECT_EQ(events(SoundEventKind::play, "Sounds/Music/Menu.wav").size(), 1u);
  EXPECT_EQ(game->sound.volume(game->music.current), 5) << "played at the music level";
}

// Items mean the same in the old three-item and the six-item menus; unknown ones end the game.
TEST_F(MainMenuTest, FlowsDecideWhatFollowsAndExitMissingMenusAndUnknownItemsEndTheGame) {
  game->settings.port = 5000;
  choose(host_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::main_menu);
  next = Next::exit;
  choose(connect_item);
  choose(join_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  choose(exit_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  data.write("Menu/EN/main.mnu", "Main\nHost\nJoin\nPractise\nLearn\nSettings\nExit\nExtra\n");
  data.write("Menu/EN/connect.mnu", "Connect\nHost address\nPort\nConnect\nBack\nFind\nExtra\n");
  game->files.clear();
  next = Next::main_menu;
  flows.practise = record("practise");
  flows.learn_sounds = record("learn");
  flows.settings = record("settings");
  flows.find_games = [this](Game&) -> std::optional<Next> {
    calls.push_back("find");
    return calls.size() > 6 ? std::optional<Next>(Next::exit) : std::nullopt;
  };
  for (int item : {3, 4, 5, 6, 7}) {
    choose(item);
    EXPECT_EQ(run_main_menu(*game, flows), item < 6 ? Next::main_menu : Next::exit) << item;
  }
  // Finding nothing comes back to the connect menu; a game joined leaves it.
  choose(connect_item);
  choose(5);
  choose(5);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  choose(connect_item);
  choose(6);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  std::filesystem::remove(data.path() + "/Menu/EN/connect.mnu");
  game->files.clear();
  choose(connect_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  EXPECT_EQ(spoken().back(), "Menu file not found: Menu\\EN\\connect.mnu");
  EXPECT_EQ(calls, (Lines{"host", "join 127.0.0.1:5000", "practise", "learn", "settings", "find",
                          "find"}));
}

}  // namespace
}  // namespace tornello
