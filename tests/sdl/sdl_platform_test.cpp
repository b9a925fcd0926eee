// The desktop backend on SDL's dummy video and audio drivers: no display needed,
// except for the event wait and the focus, which are shown on a virtual X display.
// Also the key table, the controller's axis, and the text prompt's parts.
#include "platform/sdl/sdl_platform.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "platform/sdl/input_map.h"
#include "platform/sdl/text_prompt.h"
#include "speech/fake_speech_server.h"
#include "support/temp_dir.h"
// Last: it brings Xlib and its macros.
#include "support/desktop.h"

namespace tornello {
namespace {
using std::chrono::milliseconds;

// Pushes a key press every 20 ms from another thread for as long as it lives.
class KeyPusher {
 public:
  explicit KeyPusher(SDL_Scancode scancode)
      : thread_([this, scancode] {
          SDL_Event event{};
          event.type = SDL_KEYDOWN;
          event.key.keysym.scancode = scancode;
          for (; !done_; SDL_PushEvent(&event)) std::this_thread::sleep_for(milliseconds(20));
        }) {}
  ~KeyPusher() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

std::unique_ptr<Platform> desktop(const char* video, bool speech = false) {
  ::setenv("SDL_VIDEODRIVER", video, 1);
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  return create_sdl_platform({.speech = speech});
}

// Window numbers go on counting across SDL restarts; ours is the only one.
SDL_Window* the_window() {
  SDL_Window* window = nullptr;
  for (Uint32 id = 1; id < 1000 && !window; ++id) window = SDL_GetWindowFromID(id);
  return window;
}

class SdlPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::getenv("PATH");
    ::setenv("PATH", (bin_.path() + ":" + path_).c_str(), 1);
    platform = desktop("dummy");
    ASSERT_NE(platform, nullptr);
    ASSERT_TRUE(platform->open_window("Tornello"));
    ASSERT_NE(window = the_window(), nullptr);
  }
  void TearDown() override {
    platform->close();
    ::setenv("PATH", path_.c_str(), 1);
  }
  std::string title() const { return SDL_GetWindowTitle(window); }
  // A stand-in for the dialog program, first on PATH.
  void dialog(const std::string& body) {
    ::chmod(bin_.write("zenity", "#!/bin/sh\n" + body).c_str(), 0755);
  }

  std::unique_ptr<Platform> platform;
  SDL_Window* window = nullptr;
  TempDir bin_;
  std::string path_;
};

// One window, kept open through close requests; waits and delays are never early,
// also while keys arrive; two starts in one thread seed differently (where
// addresses repeat from run to run, so does the thread's number).
TEST_F(SdlPlatformTest, OneWindowThatCloseRequestsDoNotEndWaitsNeverEarlyAndSeedsDiffer) {
  EXPECT_EQ(title(), "Tornello");
  EXPECT_EQ(create_sdl_platform({.speech = false}), nullptr);  // SDL is the process's own
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  int pumped = 0;
  while (platform->pump_events(0) != SDL_QUIT && pumped < 100) ++pumped;  // one per call
  EXPECT_LT(pumped, 100);
  EXPECT_EQ(SDL_GetWindowFromID(SDL_GetWindowID(window)), window);

  while (platform->wait_for_input(0)) {
  }
  const uint32_t before_wait = platform->elapsed_ms();
  EXPECT_FALSE(platform->wait_for_input(40)) << "nothing arrived";
  EXPECT_GE(ms_between(before_wait, platform->elapsed_ms()), 40 - 1);
  {
    KeyPusher keys(SDL_SCANCODE_LEFT);
    for (int ms : {0, 1, 16, 40}) {
      const auto begin = std::chrono::steady_clock::now();
      const uint32_t ticks = platform->elapsed_ms();
      platform->delay_ms(ms);
      EXPECT_GT(ms_between(ticks, platform->elapsed_ms()), ms);
      EXPECT_GT(std::chrono::steady_clock::now() - begin, milliseconds(ms));
    }
  }
  const uint32_t first = platform->seed_source();
  platform->close();
  platform = desktop("dummy");
  ASSERT_NE(platform, nullptr);
  EXPECT_NE(platform->seed_source(), first);
}

// The mixer is pulled in the format asked for; without a sound device the game
// runs silent and says so on the error stream.
TEST_F(SdlPlatformTest, AudioPullsFromTheMixerOrTellsWhyTheGameIsSilent) {
  std::atomic<int> frames_pulled{0};
  AudioFormat granted;
  ASSERT_TRUE(platform->audio().open(
      [&](float* out, int frames) {
        std::fill(out, out + 2 * frames, 0.0f);
        frames_pulled = frames;
      },
      granted));
  EXPECT_TRUE(granted.rate == 44100 && granted.channels == 2 && granted.buffer_frames <= 512);
  for (int k = 0; k < 500 && frames_pulled == 0; ++k) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(frames_pulled.load(), granted.buffer_frames);
  platform->audio().close();
  platform->close();
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  platform = create_sdl_platform({.speech = false});
  ASSERT_NE(platform, nullptr);
  AudioFormat asked;
  asked.buffer_frames = 256;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(platform->audio().open([](float*, int) {}, asked));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("could not open the sound device"),
            std::string::npos);
  EXPECT_EQ(asked.buffer_frames, 256);
}

TEST_F(SdlPlatformTest, DialogOrWindowPromptAnswersAndInputMeanwhileIsThrownAway) {
  // The stand-in answers with its arguments; OK gives the text without the line
  // end the dialog adds, and nothing more. The label reads "_x" as a shortcut
  // and "\n" as an escape, so both come doubled; a text may start with "-".
  dialog("printf '%s|' \"$@\"\nprintf '\\n\\n'\n");
  EXPECT_EQ(platform->ask_text("Port", R"(my_port\n)", "-7"),
            "--entry|--title=Port|--text=my__port\\\\n|--entry-text=-7|\n");
  for (const char* refusal : {"exit 1", "kill -9 $$"}) {
    dialog(std::string("echo 'typed but refused'\n") + refusal + "\n");
    EXPECT_EQ(platform->ask_text("Port", "Enter port to connect on", "3214"), "") << refusal;
  }
  // The game says what the dialog asks as it opens, whether or not a screen reader runs.
  EXPECT_EQ(title(), "Port. Enter port to connect on: 3214");
  dialog("sleep 0.3\necho 42\n");
  {
    KeyPusher pusher(SDL_SCANCODE_LEFT);
    EXPECT_EQ(platform->ask_text("Port", "Enter port to connect on", "3214"), "42");
  }
  int left = 0;
  while (platform->pump_events(0) == SDL_KEYDOWN) ++left;
  EXPECT_LE(left, 1);  // only one pushed after the dialog closed, if any

  // Without the dialog program the prompt runs in the window, and typing ends with it.
  ::setenv("PATH", "/nonexistent", 1);
  {
    KeyPusher enter(SDL_SCANCODE_RETURN);
    EXPECT_EQ(platform->ask_text("Port", "Enter port to connect on", "3214"), "3214");
  }
  EXPECT_FALSE(SDL_IsTextInputActive());
  KeyPusher escape(SDL_SCANCODE_ESCAPE);
  EXPECT_EQ(platform->ask_text("Port", "Enter port to connect on", "3214"), "");
}

// The game's last line is heard out as it closes, but a speech service that
// never answers holds the exit back less than 3 seconds.
TEST(SdlSpeech, ClosingHearsTheLastLineOutButWaitsNoLongerThanThreeSeconds) {
  TempDir folder;
  const std::string socket = folder.path() + "/speechd.sock";
  ::setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket).c_str(), 1);
  for (const bool answering : {true, false}) {
    FakeSpeechServer server(socket, answering);
    std::unique_ptr<Platform> platform = desktop("dummy", true);
    ASSERT_NE(platform, nullptr);
    platform->speak("Language file not found!", LineKind::news);
    if (answering) server.heard_up_to("SPEAK:Language file not found!");
    std::atomic<bool> closed{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread closing([&] {
      platform->close();
      closed = true;
    });
    if (answering) {
      std::this_thread::sleep_for(milliseconds(50));  // time enough for a wrong close to end
      EXPECT_FALSE(closed) << "closed before the line was spoken to its end";
      server.end_line();
    }
    closing.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << answering;
  }
  ::unsetenv("SPEECHD_ADDRESS");
}

// On a real X display the wait sleeps in the desktop's own event wait: a key
// typed meanwhile wakes it long before its time-out, already readable, and so
// does the key's release. Without the focus, keys and mouse read nothing.
TEST(SdlEventWait, AKeyWakesTheWaitReadableAtOnceAndNothingIsReadWithoutTheFocus) {
  if (!installed("xvfb-run") || !installed("xdotool")) {
    GTEST_SKIP() << "xvfb-run or xdotool is not installed";
  }
  VirtualDisplay display;
  ASSERT_TRUE(display.ready()) << "xvfb-run could not start a display";
  std::unique_ptr<Platform> platform = desktop("x11");
  ASSERT_NE(platform, nullptr);
  ASSERT_TRUE(platform->open_window("Tornello"));
  SDL_Window* window = the_window();
  ASSERT_NE(window, nullptr);
  // No window manager here: a window takes the focus itself, and the events
  // of the change are served until none comes for a while.
  const auto focus = [&](SDL_Window* to) {
    SDL_SetWindowInputFocus(to);
    while (platform->wait_for_input(300)) {
    }
  };
  focus(window);
  // 1 while Enter is held, 0 while it is up, -1 without the focus.
  auto enter = [&] {
    KeyboardSnapshot keys;
    if (!platform->read_keyboard(keys)) return -1;
    return (keys.keys[key::enter] & 0x80) != 0 ? 1 : 0;
  };
  ASSERT_EQ(enter(), 0) << "the window never had the focus";
  constexpr int32_t much_longer_than_a_frame = 60000;
  std::thread typist([] {
    std::this_thread::sleep_for(milliseconds(300));
    xdotool("keydown Return");
  });
  EXPECT_TRUE(platform->wait_for_input(much_longer_than_a_frame));
  typist.join();
  EXPECT_EQ(enter(), 1);
  ASSERT_TRUE(xdotool("keyup Return"));
  // A slow machine may let the held key repeat first; each repeat wakes it too.
  for (int wake = 0; wake < 50 && enter() == 1; ++wake) {
    ASSERT_TRUE(platform->wait_for_input(much_longer_than_a_frame));
  }
  EXPECT_EQ(enter(), 0);

  MouseReading mouse;
  EXPECT_TRUE(platform->read_mouse(mouse));
  SDL_Window* other = SDL_CreateWindow("other", 0, 0, 100, 100, SDL_WINDOW_SHOWN);
  focus(other);
  ASSERT_TRUE(xdotool("keydown Return"));
  while (platform->wait_for_input(300)) {
  }
  EXPECT_EQ(enter(), -1) << "a key typed into another window is not the player's stroke";
  EXPECT_FALSE(platform->read_mouse(mouse));
  ASSERT_TRUE(xdotool("keyup Return"));
  focus(window);
  EXPECT_EQ(enter(), 0);
  EXPECT_TRUE(platform->read_mouse(mouse));
  SDL_DestroyWindow(other);
  platform->close();
}

KeyCode code_of(int scancode) {
  return key_code_from_scancode(static_cast<SDL_Scancode>(scancode));
}

TEST(KeyTable, KeysHaveTheirDirectInputNumbers) {
  const std::pair<SDL_Scancode, int> numbers[] = {
      {SDL_SCANCODE_ESCAPE, 0x01},    {SDL_SCANCODE_RETURN, 0x1C},   {SDL_SCANCODE_Q, 0x10},
      {SDL_SCANCODE_M, 0x32},         {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
      {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_HOME, 0xC7},     {SDL_SCANCODE_UP, 0xC8},
      {SDL_SCANCODE_PAGEUP, 0xC9},    {SDL_SCANCODE_LEFT, 0xCB},     {SDL_SCANCODE_RIGHT, 0xCD},
      {SDL_SCANCODE_DOWN, 0xD0},      {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_DELETE, 0xD3},
      {SDL_SCANCODE_UNKNOWN, 0},
  };
  for (const auto& [scancode, number] : numbers) EXPECT_EQ(code_of(scancode), number) << scancode;
  std::map<int, int> scancode_of;
  for (int s = -1; s <= SDL_NUM_SCANCODES; ++s) {
    const KeyCode code = code_of(s);
    if (code == 0 || s == SDL_SCANCODE_NONUSHASH) continue;  // ISO key in the backslash place
    EXPECT_TRUE(scancode_of.emplace(code, s).second) << "code " << int(code) << " twice";
  }
  // Escape (1) to keypad period (0x53) is one unbroken run of keys.
  for (int code = 0x01; code <= 0x53; ++code) EXPECT_TRUE(scancode_of.count(code)) << code;
  EXPECT_EQ(code_of(SDL_SCANCODE_NONUSHASH), code_of(SDL_SCANCODE_BACKSLASH));
}

TEST(AxisScaling, EvenStepsFromEndToEnd) {
  EXPECT_EQ(scale_axis(-32768), -1000);
  EXPECT_EQ(scale_axis(0), 0);
  EXPECT_EQ(scale_axis(32767), 1000);
  int previous = -1000;
  for (int v = -32767; v <= 32767; ++v) {
    const int scaled = scale_axis(static_cast<int16_t>(v));
    ASSERT_TRUE(scaled == previous || scaled == previous + 1) << v;
    ASSERT_LE(std::abs(scaled + scale_axis(static_cast<int16_t>(-v - 1))), 1) << v;  // mirrored
    previous = scaled;
  }
}

TEST(KeySnapshotter, KeysHeldWhenAPromptClosesStayHiddenUntilSeenUp) {
  uint8_t state[SDL_NUM_SCANCODES] = {};
  KeySnapshotter keys;
  // Sets the keys' states, takes a reading, and tells which of Up and Enter it shows held.
  auto read = [&](uint8_t up, uint8_t enter) {
    state[SDL_SCANCODE_UP] = up;
    state[SDL_SCANCODE_RETURN] = enter;
    KeyboardSnapshot snap;
    snap.keys[0] = 0x80;  // a reading starts from nothing
    keys.fill(state, SDL_NUM_SCANCODES, false, snap);
    EXPECT_EQ(snap.keys[0], 0);
    return std::pair<int, int>(snap.keys[key::up], snap.keys[key::enter]);
  };
  EXPECT_EQ(read(1, 0), std::pair(0x80, 0));
  keys.hide_held_keys();
  // Enter is seen held only once the window is back; neither is a new press.
  EXPECT_EQ(read(1, 1), std::pair(0, 0));
  EXPECT_EQ(read(1, 1), std::pair(0, 0));
  read(0, 1);
  EXPECT_EQ(read(1, 1), std::pair(0x80, 0)) << "a new press is the player's";
  read(1, 0);
  EXPECT_EQ(read(1, 1), std::pair(0x80, 0x80));
}

TEST(RunProgram, ArgumentsOutputAndStatusWithNoShellBetween) {
  TempDir dir;
  const std::string script =
      dir.write("echo-args", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\nexit 3\n");
  ::chmod(script.c_str(), 0755);
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", (dir.path() + ":" + path).c_str(), 1);
  EXPECT_EQ(find_on_path("echo-args"), script);
  EXPECT_EQ(find_on_path("no-such-program"), std::nullopt);
  ::setenv("PATH", path.c_str(), 1);
  int waits = 0;
  const ProgramResult result =
      run_program(script, {"echo-args", "two words", "it's; $(rm -rf /)"}, [&] { ++waits; });
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.output, "[two words]\n[it's; $(rm -rf /)]\n");
  EXPECT_GT(waits, 0);
  EXPECT_FALSE(run_program(dir.path() + "/missing", {"missing"}, nullptr).started);
  // Started with no standard input, and with an interruption left over from
  // before: the program still runs to its end and every descriptor is closed.
  EXPECT_EXIT(
      {
        ::alarm(10);
        ::close(STDIN_FILENO);
        errno = EINTR;
        const bool ran = run_program(script, {"echo-args"}, nullptr).exit_status == 3;
        std::_Exit(ran && ::fcntl(STDIN_FILENO, F_GETFD) < 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// Typed text is echoed, Backspace speaks what is left (nothing once it is
// empty), F1 tells the keys, F2 the last line (at first the opening one), a
// repeated Enter is no confirmation, and Escape cancels for good.
TEST(WindowPrompt, TypingEchoesBackspaceSpeaksWhatIsLeftAndEscapeCancelsForGood) {
  std::vector<std::string> heard;
  const WindowPrompt::Announce tell = [&](const std::string& line) { heard.push_back(line); };
  const auto type = [&](WindowPrompt& prompt, const char* text) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    std::snprintf(event.text.text, sizeof event.text.text, "%s", text);
    prompt.handle(event, tell);
  };
  const auto key = [&](WindowPrompt& prompt, SDL_Scancode scancode, bool repeat = false) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.scancode = scancode;
    event.key.repeat = repeat;
    return prompt.handle(event, tell);
  };
  WindowPrompt prompt{"Port. Enter port: 3214", "3214", "Type the port."};
  key(prompt, SDL_SCANCODE_F2);
  key(prompt, SDL_SCANCODE_F1);
  type(prompt, "5");
  key(prompt, SDL_SCANCODE_BACKSPACE);
  key(prompt, SDL_SCANCODE_BACKSPACE, true);  // held down: keeps deleting
  type(prompt, "é");
  key(prompt, SDL_SCANCODE_BACKSPACE);  // one character, two bytes
  key(prompt, SDL_SCANCODE_F2);
  EXPECT_EQ(key(prompt, SDL_SCANCODE_RETURN, true), WindowPrompt::State::editing);  // a repeat
  EXPECT_EQ(key(prompt, SDL_SCANCODE_KP_ENTER), WindowPrompt::State::confirmed);
  EXPECT_EQ(heard, (std::vector<std::string>{"Port. Enter port: 3214", "Type the port.", "5",
                                             "3214", "321", "é", "321", "321"}));
  EXPECT_EQ(prompt.result(), "321");
  WindowPrompt cancelled{"Enter port", "3214", ""};
  heard.clear();
  for (int k = 0; k < 5; ++k) key(cancelled, SDL_SCANCODE_BACKSPACE);  // one more than there is
  EXPECT_EQ(heard.size(), 4u);
  EXPECT_EQ(key(cancelled, SDL_SCANCODE_ESCAPE), WindowPrompt::State::cancelled);
  type(cancelled, "1");
  EXPECT_EQ(key(cancelled, SDL_SCANCODE_RETURN), WindowPrompt::State::cancelled);
  EXPECT_EQ(cancelled.result(), "");
}

}  // namespace
}  // namespace tornello
