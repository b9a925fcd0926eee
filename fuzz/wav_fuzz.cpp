// The WAV reader never reads outside the bytes, and what it accepts converts to a sane sound.
#include "audio/wav_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  const std::optional<tornello::WavChunks> chunks = tornello::find_wav_chunks(file);
  if (!chunks) return 0;
  tornello::fuzz::check(chunks->format.data() >= data && chunks->samples.data() >= data &&
                        chunks->format.data() + chunks->format.size() <= data + size &&
                        chunks->samples.data() + chunks->samples.size() <= data + size);
  for (int rate : {44100, 48000}) {
    const std::optional<tornello::DecodedSound> sound = tornello::read_wav(file, rate);
    if (!sound) continue;
    tornello::fuzz::check(sound->channels >= 1 && sound->channels <= 2 && sound->frames() > 0 &&
                          sound->samples.size() % sound->channels == 0);
  }
  return 0;
}
