// DirectSound under Wine. The runner gives Wine an ALSA null device, so the
// device opens and our mixer is pulled as on a player's machine; without any
// device the game must simply run silent.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "audio/sound_engine.h"
#include "audio/wav_writer.h"
#include "platform/win32/direct_sound.h"

namespace tornello {
namespace {

// Waits (by the wall clock, with a generous limit) until `done` holds.
template <typename Condition>
bool eventually(Condition done) {
  for (int look = 0; look < 500 && !done(); ++look) Sleep(10);
  return done();
}

// The device pulls whole chunks of the mixer until closed and opens again; the
// engine on it keeps a looped sound mixed in, and an engine whose device never
// opened leaves every operation a quiet no-op.
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
