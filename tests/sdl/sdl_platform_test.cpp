// The desktop backend on SDL's dummy drivers; the event wait and focus on a virtual X display.
#include "platform/sdl/sdl_platform.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/sdl/input_map.h"
#include "speech/fake_speech_server.h"
#include "support/desktop.h"
#include "support/temp_dir.h"

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

// The mixer is pulled as asked; without a sound device the error stream says why it is silent.
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

TEST_F(SdlPlatformTest, DialogOrWindowPromptAnswers) {
  // The label reads "_x" as a shortcut and "\n" as an escape, so both come doubled.
  dialog("printf '%s|' \"$@\"\nprintf '\\n\\n'\n");
  EXPECT_EQ(platform->ask_text("Port", R"(my_port\n)", "-7"),
            "--entry|--title=Port|--text=my__port\\\\n|--entry-text=-7|\n");
  for (const char* refusal : {"exit 1", "kill -9 $$"}) {
    dialog(std::string("echo 'typed but refused'\n") + refusal + "\n");
    EXPECT_EQ(platform->ask_text("Port", "Enter port to connect on", "3214"), "") << refusal;
  }
  // The game says what the dialog asks as it opens, whether or not a screen reader runs.
  EXPECT_EQ(title(), "Port. Enter port to connect on: 3214");

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

// The game's last line is heard out as it closes.
TEST(SdlSpeech, ClosingHearsTheLastLineOut) {
  TempDir folder;
  const std::string socket = folder.path() + "/speechd.sock";
  ::setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket).c_str(), 1);
  FakeSpeechServer server(socket, true);
  std::unique_ptr<Platform> platform = desktop("dummy", true);
  ASSERT_NE(platform, nullptr);
  platform->speak("Language file not found!", LineKind::news);
  server.heard_up_to("SPEAK:Language file not found!");
  std::atomic<bool> closed{false};
  std::thread closing([&] {
    platform->close();
    closed = true;
  });
  std::this_thread::sleep_for(milliseconds(50));  // time enough for a wrong close to end
  EXPECT_FALSE(closed) << "closed before the line was spoken to its end";
  server.end_line();
  closing.join();
  ::unsetenv("SPEECHD_ADDRESS");
}

// On X a key wakes the wait, readable at once; without the focus keys and mouse read nothing.
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
  // No window manager: a window takes the focus itself and its events are served.
  const auto focus = [&](SDL_Window* to) {
    SDL_SetWindowInputFocus(to);
    for (int look = 0; look < 100 && SDL_GetKeyboardFocus() != to; ++look)
      platform->wait_for_input(100);
  };
  focus(window);
  // 1 while Enter is held, 0 while it is up, -1 without the focus.
  auto enter = [&] {
    KeyboardSnapshot keys;
    if (!platform->read_keyboard(keys)) return -1;
    return (keys.keys[key::enter] & 0x80) != 0 ? 1 : 0;
  };
  ASSERT_EQ(enter(), 0) << "the window never had the focus";
  // Every wake is an event, never the time-out; a stray one (a late expose, a
  // repeat of the held key) just waits again.
  const auto wakes_until = [&](int state) {
    for (int wake = 0; wake < 50 && enter() != state; ++wake) {
      ASSERT_TRUE(platform->wait_for_input(60000));
    }
    EXPECT_EQ(enter(), state);
  };
  std::thread typist([] {
    std::this_thread::sleep_for(milliseconds(300));
    xdotool("keydown Return");
  });
  wakes_until(1);
  typist.join();
  ASSERT_TRUE(xdotool("keyup Return"));
  wakes_until(0);

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

TEST(KeyTable, KeysHaveTheirDirectInputNumbersAndTheAxisScales) {
  EXPECT_EQ(std::tuple(scale_axis(-32768), scale_axis(0), scale_axis(16384), scale_axis(32767)),
            std::tuple(-1000, 0, 500, 1000));
  const std::pair<SDL_Scancode, int> numbers[] = {
      {SDL_SCANCODE_ESCAPE, 0x01},    {SDL_SCANCODE_RETURN, 0x1C},   {SDL_SCANCODE_Q, 0x10},
      {SDL_SCANCODE_M, 0x32},         {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
      {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_HOME, 0xC7},     {SDL_SCANCODE_UP, 0xC8},
      {SDL_SCANCODE_PAGEUP, 0xC9},    {SDL_SCANCODE_LEFT, 0xCB},     {SDL_SCANCODE_RIGHT, 0xCD},
      {SDL_SCANCODE_DOWN, 0xD0},      {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_DELETE, 0xD3},
      {SDL_SCANCODE_UNKNOWN, 0},
  };
  for (const auto& [scancode, number] : numbers) EXPECT_EQ(code_of(scancode), number) << scancode;
  EXPECT_EQ(code_of(SDL_SCANCODE_NONUSHASH), code_of(SDL_SCANCODE_BACKSLASH));
}

}  // namespace
}  // namespace tornello
