#include "shell/main_menu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell_fixture.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

enum { host_item = 1, connect_item = 2, exit_item = 3 };
enum { address_item = 1, port_item = 2, join_item = 3, back_item = 4 };

class MainMenuTest : public ShellTest {
 protected:
  MainMenuTest() {
    data.write("Menu/EN/main.mnu", "Main menu\nHost a game\nJoin a game\nExit\n");
    data.write("Menu/EN/connect.mnu", "Connect\nHost address\nPort\nConnect\nBack\n");
    write_sound("Sounds/Music/Menu.wav");
    write_menu_sounds();
    // Recording stand-ins for hosting and joining.
    flows.host_game = [this](Game&) {
      calls.push_back("host");
      return next;
    };
    flows.join_game = [this](Game& g) {
      calls.push_back("join " + g.settings.host + ":" + std::to_string(g.settings.port));
      return next;
    };
  }

  // Main menu, connect, the prompt item answered, back, exit.
  void answer_in_connect_menu(int item, std::optional<std::string> answer) {
    choose(connect_item);
    choose(item);
    script.answer_with(std::move(answer));
    choose(back_item);
    choose(exit_item);
    run_main_menu_loop(*game, flows);
  }

  MainMenuFlows flows;
  Next next = Next::main_menu;
  Lines calls;
};

TEST_F(MainMenuTest, PromptAnswersBecomeTheHostAndPortEvenWhenCancelled) {
  const std::vector<std::pair<std::optional<std::string>, int32_t>> ports = {
      {"  5000x", 5000}, {"$1388", 5000},   {"%101", 5},      {"-7", -7},
      {"", 0},           {std::nullopt, 0}, {"4294967297", 1}};
  for (const auto& [answer, port] : ports) {
    game->settings.port = 3214;
    answer_in_connect_menu(port_item, answer);
    EXPECT_EQ(game->settings.port, port) << answer.value_or("(cancelled)");
  }
  answer_in_connect_menu(address_item, "pong.example.org");
  EXPECT_EQ(game->settings.host, "pong.example.org");
  answer_in_connect_menu(address_item, std::nullopt);
  EXPECT_EQ(game->settings.host, "");
  // Each prompt offers the current setting.
  Lines shown;
  for (const PromptRecord& p : platform.prompts()) {
    shown.push_back(p.title + "|" + p.prompt + "|" + p.default_text);
  }
  ASSERT_EQ(shown.size(), ports.size() + 2);
  EXPECT_EQ(shown[0], "Port|Enter port to connect on|3214");
  EXPECT_EQ(shown[ports.size()], "Host|Enter host address to connect to|127.0.0.1");
  EXPECT_EQ(shown[ports.size() + 1], "Host|Enter host address to connect to|pong.example.org");
  EXPECT_TRUE(calls.empty());
}

// Each visit holds the music and the open menu's three sounds, no more; the
// music started on the first visit plays on.
TEST_F(MainMenuTest, BackShowsTheMainMenuAgainAThousandTimesAtNoCost) {
  int visits = 0;
  script.on_empty = [&](ScriptedInput&) {
    EXPECT_EQ(game->sound.loaded_count(), 4u);
    if (++visits > 1000) return choose(exit_item);
    choose(connect_item);
    choose(back_item);
  };
  run_main_menu_loop(*game, flows);
  EXPECT_EQ(visits, 1001);
  const Lines& said = platform.titles();
  EXPECT_EQ(Lines(said.begin(), said.begin() + 9),
            (Lines{"Main menu", "Join a game", "Connect", "Port", "Connect", "Back", "Main menu",
                   "Join a game", "Connect"}));
  EXPECT_EQ(count(SoundEventKind::load, "Sounds/Music/Menu.wav"), 1u);
  EXPECT_EQ(count(SoundEventKind::play, "Sounds/Music/Menu.wav"), 1u);
  EXPECT_EQ(game->sound.volume(game->music.current), 5) << "played at the music level";
}

// The flows decide what follows, in the three-item layout of older menu files
// and in the six-item one; Exit, a missing menu file and an item past the known
// ones end the game.
TEST_F(MainMenuTest, FlowsDecideWhatFollowsAndExitMissingMenusAndUnknownItemsEndTheGame) {
  game->settings.port = 5000;
  choose(host_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::main_menu);
  next = Next::exit;
  choose(connect_item);
  choose(join_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  EXPECT_EQ(calls, (Lines{"host", "join 127.0.0.1:5000"}));
  choose(exit_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  // The six items of today's files; an item past them ends the game too.
  data.write("Menu/EN/main.mnu", "Main\nHost\nJoin\nPractise\nLearn\nSettings\nExit\nExtra\n");
  data.write("Menu/EN/connect.mnu", "Connect\nHost address\nPort\nConnect\nBack\nFind\nExtra\n");
  game->files.clear();
  const auto record = [this](const char* name) {
    return [this, name](Game&) {
      calls.push_back(name);
      return Next::main_menu;
    };
  };
  flows.practise = record("practise");
  flows.learn_sounds = record("learn");
  flows.settings = record("settings");
  flows.find_games = [this](Game&) -> std::optional<Next> {
    calls.push_back("find");
    return calls.size() > 6 ? std::optional<Next>(Next::exit) : std::nullopt;
  };
  for (int item : {3, 4, 5}) {
    choose(item);
    EXPECT_EQ(run_main_menu(*game, flows), Next::main_menu);
  }
  for (int item : {6, 7}) {
    choose(item);
    EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  }
  // Finding nothing comes back to the connect menu; a game joined leaves it.
  choose(connect_item);
  choose(5);
  choose(5);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  EXPECT_EQ(calls, (Lines{"host", "join 127.0.0.1:5000", "practise", "learn", "settings", "find",
                          "find"}));
  choose(connect_item);
  choose(6);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  std::filesystem::remove(data.path() + "/Menu/EN/connect.mnu");
  game->files.clear();
  choose(connect_item);
  EXPECT_EQ(run_main_menu(*game, flows), Next::exit);
  EXPECT_EQ(spoken().back(), "Menu file not found: Menu\\EN\\connect.mnu");
  EXPECT_EQ(calls.size(), 7u) << "nothing more was hosted or joined";
}

}  // namespace
}  // namespace tornello
