#include "shell/main_menu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell/menu.h"
#include "shell_fixture.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

constexpr int host_item = 1;
constexpr int connect_item = 2;
constexpr int exit_item = 3;
constexpr int address_item = 1;
constexpr int port_item = 2;
constexpr int join_item = 3;
constexpr int back_item = 4;

class MainMenuTest : public ShellTest {
 protected:
  MainMenuTest() {
    data.write("Menu/EN/main.mnu", "Main menu\nHost a game\nJoin a game\nExit\n");
    data.write("Menu/EN/connect.mnu", "Connect\nHost address\nPort\nConnect\nBack\n");
    write_sound("Sounds/Music/Menu.wav");
    flows.host_game = [this](Game& g) {
      EXPECT_EQ(&g, game.get());
      calls.push_back("host");
      return host_next;
    };
    flows.join_game = [this](Game& g) {
      calls.push_back("join " + g.settings.host + ":" + std::to_string(g.settings.port));
      return join_next;
    };
  }

  // Main menu -> connect -> the prompt item -> back -> exit, answering the prompt.
  void set_in_connect_menu(int item, std::optional<std::string> answer) {
    choose(connect_item);
    choose(item);
    script.answer_with(std::move(answer));
    choose(back_item);
    choose(exit_item);
    run_main_menu_loop(*game, flows);
  }

  MainMenuFlows flows;
  Next host_next = Next::main_menu;
  Next join_next = Next::main_menu;
  Lines calls;
};

TEST_F(MainMenuTest, PortAnswerIsReadAsANumberAndKeptWhateverItIs) {
  const std::vector<std::pair<std::optional<std::string>, int32_t>> answers = {
      {"  5000x", 5000}, {"$1388", 5000},   {"%101", 5},       {"-7", -7},
      {"", 0},           {std::nullopt, 0}, {"4294967297", 1}, {"+65536", 65536}};
  for (const auto& [answer, port] : answers) {
    SCOPED_TRACE(answer.value_or("(cancelled)"));
    game->settings.port = 3214;
    set_in_connect_menu(port_item, answer);
    EXPECT_EQ(game->settings.port, port);
    ASSERT_FALSE(platform.prompts().empty());
    EXPECT_EQ(platform.prompts().back().title, "Port");
    EXPECT_EQ(platform.prompts().back().prompt, "Enter port to connect on");
    EXPECT_EQ(platform.prompts().back().default_text, "3214");
  }
  EXPECT_TRUE(calls.empty());
}

TEST_F(MainMenuTest, HostAnswerReplacesTheAddressAndCancellingEmptiesIt) {
  set_in_connect_menu(address_item, "pong.example.org");
  EXPECT_EQ(game->settings.host, "pong.example.org");
  set_in_connect_menu(address_item, std::nullopt);
  EXPECT_EQ(game->settings.host, "");

  ASSERT_EQ(platform.prompts().size(), 2u);
  EXPECT_EQ(platform.prompts()[0].title, "Host");
  EXPECT_EQ(platform.prompts()[0].prompt, "Enter host address to connect to");
  EXPECT_EQ(platform.prompts()[0].default_text, "127.0.0.1");
  EXPECT_EQ(platform.prompts()[1].default_text, "pong.example.org");
}

TEST_F(MainMenuTest, SubmenuReopensAfterAPromptAndBackShowsTheMainMenuAgain) {
  set_in_connect_menu(port_item, "5000");
  EXPECT_EQ(spoken(), (Lines{"Main menu", "Join a game", "Connect", "Port", "Connect", "Port",
                             "Connect", "Back", "Main menu", "Join a game", "Exit"}));
  // The menu track plays on through the submenu and back: loaded and started once.
  EXPECT_EQ(count(SoundEventKind::load, "Sounds/Music/Menu.wav"), 1u);
  EXPECT_EQ(count(SoundEventKind::play, "Sounds/Music/Menu.wav"), 1u);
  EXPECT_EQ(count(SoundEventKind::stop, "Sounds/Music/Menu.wav"), 0u);
  EXPECT_EQ(game->music.current_name, "Menu");
  EXPECT_EQ(game->sound.volume(game->music.current), 5)
      << "the menu track plays at the music level";
}

TEST_F(MainMenuTest, ExitEndsAtOnceWithoutAnotherLine) {
  choose(exit_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  EXPECT_EQ(spoken(), (Lines{"Main menu", "Join a game", "Exit"}));
  EXPECT_TRUE(calls.empty());
}

TEST_F(MainMenuTest, HostAndJoinRunTheirFlowsAndTheirAnswerDecidesWhatFollows) {
  choose(host_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::main_menu);
  host_next = Next::exit;
  choose(host_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);

  game->settings.port = 5000;
  choose(connect_item);
  choose(join_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::main_menu);
  join_next = Next::exit;
  choose(connect_item);
  choose(join_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  EXPECT_EQ(calls, (Lines{"host", "host", "join 127.0.0.1:5000", "join 127.0.0.1:5000"}));
}

TEST_F(MainMenuTest, ComingBackAThousandTimesKeepsNothingLoaded) {
  // After Back, every visit of the main menu costs the same: the music track
  // and the open menu's three sounds, and the loop (not a call chain) brings
  // the menu back.
  write_sound("Sounds/Menu/Open.wav");
  write_sound("Sounds/Menu/Click.wav");
  write_sound("Sounds/Menu/Select.wav");
  int visits = 0;
  script.on_empty = [&](ScriptedInput&) {
    if (++visits > 1000) {
      choose(exit_item);
      return;
    }
    choose(connect_item);
    choose(back_item);
    EXPECT_EQ(game->sound.loaded_count(), 4u);
  };
  run_main_menu_loop(*game, flows);
  EXPECT_EQ(visits, 1001);
  EXPECT_EQ(game->sound.loaded_count(), 1u);
  EXPECT_EQ(count(SoundEventKind::play, "Sounds/Music/Menu.wav"), 1u);
}

TEST_F(MainMenuTest, MissingMenusAndUnknownItemsEndTheGame) {
  data.write("Menu/EN/main.mnu", "Main menu\nHost a game\nJoin a game\nExit\nExtra\n");
  data.write("Menu/EN/connect.mnu", "Connect\nHost address\nPort\nConnect\nBack\nExtra\n");
  game->files.clear();
  choose(4);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  choose(connect_item);
  choose(5);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);

  std::filesystem::remove(data.path() + "/Menu/EN/connect.mnu");
  game->files.clear();
  choose(connect_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  EXPECT_EQ(spoken().back(), "Menu file not found: Menu\\EN\\connect.mnu");
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace tornello
