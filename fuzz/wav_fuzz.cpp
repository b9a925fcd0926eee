// Feeds arbitrary bytes to the WAV reader: it must never read outside them, and
// whatever it accepts must decode and convert to a sound of sane length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "audio/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  const std::optional<tornello::WavChunks> chunks = tornello::find_wav_chunks(file);
  if (!chunks) return 0;
  // Both parts lie inside the input.
  if (chunks->format.data() < data || chunks->format.data() + chunks->format.size() > data + size ||
      chunks->samples.data() < data ||
      chunks->samples.data() + chunks->samples.size() > data + size) {
    std::abort();
  }
  for (int rate : {44100, 48000}) {
    const std::optional<tornello::DecodedSound> sound = tornello::read_wav(file, rate);
    if (!sound) continue;
    if (sound->channels < 1 || sound->channels > 2 || sound->frames() == 0 ||
        sound->samples.size() % sound->channels != 0) {
      std::abort();
    }
  }
  return 0;
}
