// The desktop backend on SDL's dummy video and audio drivers: no display needed.
#include "platform/sdl/sdl_platform.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace tornello {
namespace {

class SdlPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    saved_path_ = std::getenv("PATH");
  }
  void TearDown() override {
    if (platform) platform->close();
    ::setenv("PATH", saved_path_.c_str(), 1);
  }
  void start() {
    platform = create_sdl_platform({.speech = false});
    ASSERT_NE(platform, nullptr);
    ASSERT_TRUE(platform->open_window("Tornello"));
    // Window numbers go on counting across SDL restarts; ours is the only one.
    for (Uint32 id = 1; id < 1000 && !window; ++id) window = SDL_GetWindowFromID(id);
    ASSERT_NE(window, nullptr);
  }
  std::string title() const { return SDL_GetWindowTitle(window); }
  // Puts a stand-in dialog program first on PATH.
  void use_dialog(const std::string& body) {
    const std::string path = bin.write("zenity", "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    ::setenv("PATH", (bin.path() + ":" + saved_path_).c_str(), 1);
  }

  std::unique_ptr<Platform> platform;
  SDL_Window* window = nullptr;
  TempDir bin;
  std::string saved_path_;
};

TEST_F(SdlPlatformTest, WindowIsTitledAndFillsTheDisplay) {
  start();
  EXPECT_EQ(title(), "Tornello");
  SDL_DisplayMode mode;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  EXPECT_EQ(w, mode.w);
  EXPECT_EQ(h, mode.h);
  platform->set_title("Tornello. Press Enter to start.");
  EXPECT_EQ(title(), "Tornello. Press Enter to start.");
  platform->set_title("");
  EXPECT_EQ(title(), "");
}

TEST_F(SdlPlatformTest, OnlyOnePlatformAtATime) {
  start();
  EXPECT_EQ(create_sdl_platform({.speech = false}), nullptr);
  platform->close();
  platform = create_sdl_platform({.speech = false});
  EXPECT_NE(platform, nullptr);
}

TEST_F(SdlPlatformTest, CloseRequestsAreHandledAndIgnored) {
  start();
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(window);
  SDL_PushEvent(&close);
  // One event per pump: both come out, one at a time, and the window stays.
  int handled = 0;
  for (int k = 0; k < 50 && handled < 2; ++k) {
    const int type = platform->pump_events(1);
    if (type == SDL_QUIT || type == SDL_WINDOWEVENT) ++handled;
  }
  EXPECT_EQ(handled, 2);
  int more = 0;
  while (platform->pump_events(0) != 0 && more < 100) ++more;
  EXPECT_LT(more, 100);
  EXPECT_EQ(SDL_GetWindowFromID(SDL_GetWindowID(window)), window);
  EXPECT_EQ(title(), "Tornello");
}

TEST_F(SdlPlatformTest, DelayIsNeverEarly) {
  start();
  for (int ms : {0, 1, 16, 40}) {
    const auto begin = std::chrono::steady_clock::now();
    const uint32_t ticks = platform->elapsed_ms();
    platform->delay_ms(ms);
    const auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GT(ms_between(ticks, platform->elapsed_ms()), ms);
    EXPECT_GT(waited, std::chrono::milliseconds(ms)) << ms;
  }
}

TEST_F(SdlPlatformTest, NoControllerAnswersNothing) {
  start();
  if (platform->init_joysticks() != 0) GTEST_SKIP() << "a controller is attached";
  JoystickReading reading;
  reading.x = 77;
  EXPECT_FALSE(platform->read_joystick(0, reading));
  EXPECT_FALSE(platform->read_joystick(1, reading));
  EXPECT_EQ(reading.x, 77);  // left untouched
}

TEST_F(SdlPlatformTest, AudioPullsFromTheMixerInTheFormatAskedFor) {
  start();
  std::atomic<int> calls{0};
  std::atomic<int> frames_seen{0};
  AudioFormat granted;
  ASSERT_TRUE(platform->audio().open(
      [&](float* out, int frames) {
        for (int k = 0; k < frames * 2; ++k) out[k] = 0.0f;
        frames_seen = frames;
        ++calls;
      },
      granted));
  EXPECT_EQ(granted.rate, 44100);
  EXPECT_EQ(granted.channels, 2);
  EXPECT_GT(granted.buffer_frames, 0);
  EXPECT_LE(granted.buffer_frames, 512);
  // Wait (generously) for the device thread to pull a buffer.
  for (int k = 0; k < 500 && calls == 0; ++k) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GT(calls.load(), 0);
  EXPECT_EQ(frames_seen.load(), granted.buffer_frames);
  // While locked the mixer is not called.
  platform->audio().lock();
  const int before = calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(calls.load(), before);
  platform->audio().unlock();
  platform->audio().close();
}

TEST_F(SdlPlatformTest, NoSoundDeviceMeansOpenFails) {
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  start();
  AudioFormat granted;
  granted.buffer_frames = 256;
  EXPECT_FALSE(platform->audio().open([](float*, int) {}, granted));
  EXPECT_EQ(granted.buffer_frames, 256);
  platform->audio().lock();  // harmless without a device
  platform->audio().unlock();
}

TEST_F(SdlPlatformTest, DialogAnswerIsReturnedAndItsArgumentsAreTheTexts) {
  const std::string args_file = bin.path() + "/args";
  use_dialog("printf '%s\\n' \"$@\" > '" + args_file + "'\necho 'example.org'\n");
  start();
  EXPECT_EQ(platform->ask_text("Host", "Enter host address to connect to", "localhost"),
            "example.org");
  std::ifstream in(args_file);
  std::stringstream args;
  args << in.rdbuf();
  EXPECT_EQ(args.str(),
            "--entry\n--title=Host\n--text=Enter host address to connect to\n"
            "--entry-text=localhost\n");
  EXPECT_EQ(title(), "Tornello");  // the dialog speaks for itself
}

TEST_F(SdlPlatformTest, CancelledDialogGivesEmptyText) {
  use_dialog("echo 'typed but cancelled'\nexit 1\n");
  start();
  EXPECT_EQ(platform->ask_text("Port", "Enter port to connect on", "3214"), "");
}

TEST_F(SdlPlatformTest, WindowKeepsBeingServedWhileTheDialogIsOpen) {
  use_dialog("sleep 0.3\necho 42\n");
  start();
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  std::atomic<bool> done{false};
  // Events arriving during the dialog are taken off the queue, not left for the game.
  std::thread pusher([&] {
    while (!done) {
      SDL_PushEvent(&quit);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  EXPECT_EQ(platform->ask_text("Port", "Enter port to connect on", "3214"), "42");
  done = true;
  pusher.join();
  int left = 0;
  while (platform->pump_events(0) != 0) ++left;
  EXPECT_LE(left, 1);  // at most one pushed after the dialog closed
}

// Pushes a key press until the in-window prompt, once open, takes it.
class KeyPusher {
 public:
  explicit KeyPusher(SDL_Scancode scancode) {
    thread_ = std::thread([this, scancode] {
      SDL_Event event{};
      event.type = SDL_KEYDOWN;
      event.key.keysym.scancode = scancode;
      while (!done_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        SDL_PushEvent(&event);
      }
    });
  }
  ~KeyPusher() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST_F(SdlPlatformTest, WithoutTheDialogProgramThePromptRunsInTheWindow) {
  ::setenv("PATH", bin.path().c_str(), 1);  // no zenity anywhere
  start();
  std::string answer;
  {
    KeyPusher enter(SDL_SCANCODE_RETURN);
    answer = platform->ask_text("Port", "Enter port to connect on", "3214");
  }
  EXPECT_EQ(answer, "3214");
  EXPECT_EQ(title(), "Enter port to connect on: 3214");
  {
    KeyPusher escape(SDL_SCANCODE_ESCAPE);
    answer = platform->ask_text("Port", "Enter port to connect on", "3214");
  }
  EXPECT_EQ(answer, "");
}

}  // namespace
}  // namespace tornello
