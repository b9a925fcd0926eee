// The layer under the game: clock, input, files, lines and chance.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/data_folder.h"
#include "platform/file_lookup.h"
#include "platform/headless/headless_platform.h"
#include "platform/headless/terminal_input.h"
#include "platform/input.h"
#include "platform/line_reader.h"
#include "platform/random.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(Clock, DifferencesAreSignedAndDelaysNeverEarlyAcrossTheWrap) {
  EXPECT_EQ(ms_between(0xFFFFFFF0u, 0x00000010u), 32);
  EXPECT_EQ(ms_between(100u, 50u), -50);
  for (uint32_t start : {1000u, 0xFFFFFF00u, 0xFFFFFFFFu}) {
    for (int32_t ms : {0, 1, 16, 1000}) {
      HeadlessPlatform platform(HeadlessPlatform::Clock::virtual_time, start);
      platform.delay_ms(ms);
      EXPECT_EQ(ms_between(start, platform.elapsed_ms()), ms + 1) << "start " << start;
    }
  }
}

TEST(Keyboard, ReleasedOnceOnlyIfSeenHeldAndNothingWithoutFocus) {
  HeadlessPlatform platform;
  ScriptedInput script;
  platform.set_input(&script);
  Keyboard keyboard;
  ASSERT_TRUE(keyboard.init(platform));
  script.hold({key::enter, key::up}, 2).idle(2).hold({key::enter, key::page_up}).idle();
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(keyboard.examine(platform));
    EXPECT_TRUE(keyboard.key_down(key::enter) && !keyboard.key_released(key::enter));
  }
  keyboard.examine(platform);
  EXPECT_FALSE(keyboard.key_down(key::enter));
  EXPECT_TRUE(keyboard.key_released(key::enter));
  EXPECT_FALSE(keyboard.key_released(key::enter));
  EXPECT_FALSE(keyboard.key_released(key::up)) << "nobody asked about Up while it was held";
  keyboard.examine(platform);
  keyboard.examine(platform);
  EXPECT_FALSE(keyboard.key_released(key::enter));  // seen held
  platform.set_focus(false);
  EXPECT_FALSE(keyboard.examine(platform));
  EXPECT_FALSE(keyboard.key_released(key::enter) || keyboard.key_down(key::page_up));
  platform.set_focus(true);
  ASSERT_TRUE(keyboard.examine(platform));
  EXPECT_TRUE(keyboard.key_released(key::enter)) << "reported on the first read after focus";
}

TEST(Input, MouseAndControllersReadWhatIsThereAndNothingBeyond) {
  struct Source : ScriptedInput {
    void mouse(MouseReading& out) override {
      out = MouseReading{};
      out.delta_x = moves-- > 0 ? 7 : 0;
      out.buttons[0] = true;
    }
    void joystick(int, JoystickReading& out) override {
      out = JoystickReading{};
      out.x = x;
      out.buttons[0] = 0x80;
    }
    int moves = 2;
    int32_t x = 0;
  } source;
  HeadlessPlatform platform;
  platform.set_input(&source);
  Mouse mouse;
  ASSERT_TRUE(mouse.init(platform));
  ASSERT_TRUE(mouse.examine(platform));
  EXPECT_EQ(mouse.delta_x(), 7);
  EXPECT_TRUE(mouse.button(1) && !mouse.button(2));
  platform.set_focus(false);
  EXPECT_FALSE(mouse.examine(platform)) << "a failed read is told as one";
  EXPECT_EQ(mouse.delta_x(), 0);
  platform.set_focus(true);
  mouse.examine(platform);
  EXPECT_EQ(mouse.delta_x(), 7);
  mouse.examine(platform);
  EXPECT_EQ(mouse.delta_x(), 0) << "a mouse at rest reads 0 whatever it moved before";

  Joysticks sticks;
  EXPECT_EQ(sticks.init(platform), 0);  // none attached: everything answers 0
  EXPECT_FALSE(sticks.examine(platform, 0) || sticks.button(0, 1));
  platform.set_joystick_count(2);
  ASSERT_EQ(sticks.init(platform), 2);
  EXPECT_FALSE(sticks.examine(platform, -1));
  for (auto [x, expected] : {std::pair{-500, 0}, {500, 0}, {-501, -1}, {501, 1}}) {
    source.x = x;
    ASSERT_TRUE(sticks.examine(platform, 1));
    EXPECT_EQ(sticks.axis_x(1), expected) << "x " << x;
  }
  EXPECT_TRUE(sticks.button(1, 1) && !sticks.button(1, 2));
  // One controller fewer: the one unplugged reads nothing, whatever it held before.
  platform.set_joystick_count(1);
  ASSERT_EQ(sticks.init(platform), 1);
  EXPECT_FALSE(sticks.button(1, 1));
  EXPECT_EQ(sticks.axis_x(1), 0);
}

// The words a player types to the game without a window.
TEST(TerminalInput, EachWordIsItsKey) {
  const std::pair<const char*, KeyCode> words[] = {{"", key::enter},
                                                   {"enter", key::enter},
                                                   {"up", key::up},
                                                   {"down", key::down},
                                                   {"left", key::left},
                                                   {"right", key::right},
                                                   {"esc", key::escape},
                                                   {"escape", key::escape},
                                                   {"pageup", key::page_up},
                                                   {"pagedown", key::page_down},
                                                   {"f1", key::f1},
                                                   {"f3", key::f3},
                                                   {"f6", key::f6},
                                                   {"f4", 0},
                                                   {"f7", 0},
                                                   {"jump", 0}};
  for (const auto& [word, code] : words) EXPECT_EQ(TerminalInput::key_for_word(word), code) << word;
}

// The places a build, an unpacked zip and an install put the data, tried in
// order; each one, from the last to the first, wins once it holds lang/.
TEST(DataFolder, FirstPlaceHoldingLangWinsAndANamedFolderIsTheOnlyOne) {
  TempDir dir;
  const fs::path root = dir.path();
  const fs::path program = root / "usr/games/tornello";
  const std::vector<fs::path> places = data_folder_candidates(std::nullopt, root / "home", program);
  ASSERT_EQ(places,
            (std::vector<fs::path>{root / "home", root / "usr/games", root / "usr/games/data",
                                   root / "usr/data", root / "usr/share/games/tornello"}));
  dir.write("home/lang", "a file, not a folder");
  EXPECT_EQ(first_data_folder(places), std::nullopt);
  fs::remove(root / "home/lang");
  for (auto place = places.rbegin(); place != places.rend(); ++place) {
    fs::create_directories(*place / "lang");
    EXPECT_EQ(first_data_folder(places), *place);
  }
  EXPECT_EQ(data_folder_candidates("my data", root / "home", program).size(), 1u);
  EXPECT_EQ(data_folder_candidates(std::nullopt, root / "usr/games", program).size(), 4u);
}

TEST(FileLookup, FindsEverySpellingOfOneTreeAndPrefersTheExactOne) {
  TempDir dir;
  const std::string root = dir.path() + "/";
  const std::string hit = dir.write("Sounds/Pong/Hit.wav", "x");
  const std::string upper = dir.write("a/Name.txt", "1");
  const std::string lower = dir.write("a/name.txt", "2");
  FileLookup files;
  for (const char* spelling :
       {"Sounds/Pong/Hit.wav", "sounds/pong/hit.wav", "SOUNDS\\PONG\\HIT.WAV"}) {
    EXPECT_EQ(files.resolve(root + spelling), hit) << spelling;
  }
  EXPECT_TRUE(files.resolve(root + "sounds//pong/./HIT.WAV"));
  EXPECT_EQ(files.resolve(root + "a/Name.txt"), upper);
  EXPECT_EQ(files.resolve(root + "a/name.txt"), lower);
  for (const char* missing : {"Sounds/Pong/Miss.wav", "Sounds/Pong/Hit.wav/more"}) {
    EXPECT_FALSE(files.resolve(root + missing)) << missing;
  }
  EXPECT_FALSE(files.resolve(""));
  dir.write("Sounds/Pong/border.wav", "y");  // listings are cached until cleared
  EXPECT_FALSE(files.resolve(root + "sounds/pong/border.wav"));
  files.clear();
  EXPECT_TRUE(files.resolve(root + "sounds/pong/border.wav"));
}

TEST(LineReader, EveryLineEndReadsTheSameLongLinesComeBackWholeAndNothingIsCreated) {
  // The first CR of the long line is the buffer's last byte and its LF starts the next fill.
  const std::string first(4095, 'q');
  std::string second(10000, 'w');
  second[4096] = 'X';
  const std::pair<std::string, Lines> cases[] = {
      {"red\r\ngreen\r\n", {"red", "green"}},
      {"red\rgreen\r", {"red", "green"}},
      {"red\ngreen", {"red", "green"}},
      {std::string("red\0green", 9), {"red", "green"}},
      {"a\n\nc\n", {"a", "", "c"}},
      {"", {""}},
      {first + "\r\n" + second + "\r\nend", {first, second, "end"}},
  };
  TempDir dir;
  for (const auto& [bytes, expected] : cases) {
    auto reader = LineReader::open_for_reading(dir.write("f.txt", bytes));
    ASSERT_TRUE(reader);
    Lines lines;
    do lines.push_back(reader->read_line());
    while (!reader->at_end());
    EXPECT_EQ(lines, expected) << bytes.substr(0, 20);
  }
  EXPECT_FALSE(LineReader::open_for_reading(dir.path() + "/nope.lng"));
  EXPECT_FALSE(fs::exists(dir.path() + "/nope.lng"));
  EXPECT_FALSE(LineReader::open_for_reading(dir.path()));
}

// Reference sequences computed independently from the generator's algorithm:
// each line is seed, max, then the first 20 draws of a freshly seeded generator.
TEST(RandomInt, MatchesReferenceSequences) {
  std::ifstream file(TORNELLO_TEST_DATA "/random_int.txt");
  ASSERT_TRUE(file) << "missing tests/data/random_int.txt";
  int checked = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int64_t seed = 0, max = 0, expected = 0;
    fields >> seed >> max;
    Random random;
    random.seed(static_cast<uint32_t>(seed));
    for (int k = 0; k < 20 && fields >> expected; ++k, ++checked) {
      // With max -1 the file holds the raw output as an unsigned number.
      EXPECT_EQ(static_cast<uint32_t>(random.next(static_cast<int32_t>(max))),
                static_cast<uint32_t>(expected))
          << "seed " << seed << " max " << max << " draw " << k;
    }
  }
  EXPECT_GE(checked, 30 * 20);
}

}  // namespace
}  // namespace tornello
