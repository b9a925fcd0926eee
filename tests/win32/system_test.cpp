// The Windows build's own pieces on a real user32, Winsock and DirectSound (Wine
// in CI): the main window, the settings folder, the adapters and the sound device.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "audio/sound_engine.h"
#include "audio/wav_writer.h"
#include "net/local_addresses.h"
#include "net/port_mapping.h"
#include "platform/win32/direct_sound.h"
#include "platform/win32/main_window.h"
#include "shell/settings_file.h"

namespace tornello {
namespace {

// Waits (by the wall clock, with a generous limit) until `done` holds.
template <typename Condition>
bool eventually(Condition done) {
  for (int look = 0; look < 500 && !done(); ++look) Sleep(10);
  return done();
}

std::wstring window_text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

TEST(MainWindow, TitleBarOnlyBlackAsLargeAsTheScreenKeepsTitlesAndIgnoresCloseRequests) {
  // A client area of the display's size plus a frame is clamped to the display;
  // a smaller one is centred.
  const auto placed = [](RECT outer) {
    const WindowPlacement p = place_main_window(1280, 800, outer);
    return std::tuple(p.x, p.y, p.width, p.height);
  };
  EXPECT_EQ(placed(RECT{-3, -26, 1283, 803}), std::tuple(0, 0, 1280, 800));
  EXPECT_EQ(placed(RECT{0, 0, 640, 400}), std::tuple(320, 200, 640, 400));

  MainWindow window;
  ASSERT_TRUE(window.open("Tornello"));
  HWND handle = window.handle();
  EXPECT_EQ(window_text(handle), L"Tornello");
  const LONG_PTR style = GetWindowLongPtrW(handle, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_TRUE(IsWindowVisible(handle));
  EXPECT_FALSE(IsIconic(handle) || IsZoomed(handle));
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(GetClassLongPtrW(handle, GCLP_HBRBACKGROUND)),
            GetStockObject(BLACK_BRUSH));
  RECT outer;
  GetWindowRect(handle, &outer);
  EXPECT_EQ(std::tuple(outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top),
            std::tuple(0L, 0L, static_cast<LONG>(GetSystemMetrics(SM_CXSCREEN)),
                       static_cast<LONG>(GetSystemMetrics(SM_CYSCREEN))));

  window.set_title("Spieler 1 schl\xC3\xA4gt auf.");
  EXPECT_EQ(window_text(handle), L"Spieler 1 schl\u00E4gt auf.");
  // A byte that is not UTF-8 is read in the system's code page (Windows-1252 here).
  window.set_title("Gr\xFC\xDF");
  EXPECT_EQ(window_text(handle), L"Gr\u00FC\u00DF");

  while (window.pump(0) != 0) {
  }
  PostMessageW(handle, WM_CLOSE, 0, 0);
  EXPECT_EQ(window.pump(1), WM_CLOSE);
  EXPECT_TRUE(IsWindow(handle)) << "a close request closed the window";
  EXPECT_EQ(window.pump(0), 0) << "nothing waiting, nothing handled";
}

// Kept under %APPDATA%\Tornello, the folder made on the first save.
TEST(WindowsSettings, KeptInTheRoamingApplicationDataFolder) {
  const char* appdata = std::getenv("APPDATA");
  ASSERT_NE(appdata, nullptr);
  SettingsFile file;
  file.path = default_settings_path();
  EXPECT_EQ(file.path, std::string(appdata) + "\\Tornello\\settings.ini");
  std::filesystem::remove_all(std::filesystem::path(appdata) / "Tornello");
  GameSettings chosen, read;
  chosen.sound_volume = 40;
  chosen.music_volume = 70.0f;
  chosen.music_level_chosen = true;
  ASSERT_TRUE(write_settings(file, chosen));
  EXPECT_EQ(read_settings(file, read), SettingsRead::read);
  EXPECT_EQ(std::pair(read.sound_volume, read.music_volume), std::pair(40, 70.0f));
  std::filesystem::remove_all(std::filesystem::path(appdata) / "Tornello");
}

// This build cannot ask the router for a port and says so instead of waiting.
TEST(WindowsLan, AdaptersListLoopbackAndTheRouterIsUnavailable) {
  const std::vector<InterfaceAddress> addresses = up_interface_addresses();
  EXPECT_TRUE(std::any_of(addresses.begin(), addresses.end(), [](const InterfaceAddress& a) {
    return a.loopback && address_text(a) == "127.0.0.1";
  }));
  PortMapping mapping({4567, 3600, ""});
  EXPECT_TRUE(eventually([&] { return mapping.outcome() != MappingOutcome::asking; }));
  EXPECT_EQ(mapping.outcome(), MappingOutcome::unavailable);
  mapping.release();
  EXPECT_TRUE(eventually([&] { return mapping.finished(); }));
}

// The runner gives Wine an ALSA null device, so the device pulls whole chunks of
// the mixer until closed, and opens again; without a device the game runs silent.
TEST(DirectSound, StreamsTheMixerUntilClosedAndTheEnginePlaysThroughIt) {
  DirectSoundDevice device;
  SoundEngine engine;
  if (!engine.init(device)) {
    const char* expected = std::getenv("TORNELLO_EXPECT_SOUND");
    ASSERT_FALSE(expected && std::string(expected) == "1") << "DirectSound did not open";
    EXPECT_EQ(engine.load_bytes(std::vector<uint8_t>(), "none"), 0u);
    EXPECT_EQ(engine.play(0), 0);
    GTEST_SKIP() << "no sound device under this Wine";
  }
  std::vector<int16_t> tone(4410);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = (i / 50) % 2 ? 8000 : -8000;
  const SoundHandle handle = engine.load_bytes(encode_wav(tone, 1, 44100), "tone");
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(engine.play(handle, true, 50), 1);
  const long before = device.chunks_mixed();
  EXPECT_TRUE(eventually([&] { return device.chunks_mixed() > before + 20; }))
      << "the feeding thread stopped pulling";
  EXPECT_TRUE(engine.is_playing(handle)) << "a loop never ends by itself";
  engine.free_all();
  EXPECT_FALSE(device.is_open());

  std::atomic<int> frames_pulled{0};
  AudioFormat granted;
  ASSERT_TRUE(device.open(
      [&](float* out, int frames) {
        std::fill_n(out, frames * 2, 0.0f);
        frames_pulled += frames;
      },
      granted));
  EXPECT_EQ(granted.buffer_frames, DirectSoundDevice::chunk_frames);
  ASSERT_TRUE(eventually([&] { return frames_pulled > 2 * DirectSoundDevice::chunk_frames; }));
  device.close();
  const int after_close = frames_pulled;
  EXPECT_EQ(after_close % DirectSoundDevice::chunk_frames, 0);
  Sleep(50);
  EXPECT_EQ(frames_pulled, after_close) << "nothing is mixed once closed";
}

}  // namespace
}  // namespace tornello
