// The Windows build's own pieces on a real user32, file system and DirectSound
// (Wine in CI): the main window, the settings folder and the sound device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "audio/sound_engine.h"
#include "audio/wav_writer.h"
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

// The title, which screen readers read, shows any text; close requests are
// ignored (the game ends from its menu).
TEST(MainWindow, KeepsTitlesAndIgnoresCloseRequests) {
  MainWindow window;
  ASSERT_TRUE(window.open("Tornello"));
  HWND handle = window.handle();
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

// The runner gives Wine an ALSA null device, so the device pulls chunks of the
// mixer until closed, and opens again; without a device the game runs silent.
TEST(DirectSound, StreamsTheMixerUntilClosedAndTheEnginePlaysThroughIt) {
  DirectSoundDevice device;
  SoundEngine engine;
  if (!engine.init(device)) {
    const char* expected = std::getenv("TORNELLO_EXPECT_SOUND");
    ASSERT_FALSE(expected && std::string(expected) == "1") << "DirectSound did not open";
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
  EXPECT_EQ(engine.format().buffer_frames, DirectSoundDevice::chunk_frames);
  engine.free_all();
  EXPECT_FALSE(device.is_open());
  const long closed = device.chunks_mixed();
  Sleep(50);
  EXPECT_EQ(device.chunks_mixed(), closed) << "nothing is mixed once closed";
  EXPECT_TRUE(engine.init(device)) << "the device opens again";
  engine.free_all();
}

}  // namespace
}  // namespace tornello
