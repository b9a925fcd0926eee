// Reading WAV files: finding the format block and the sample bytes in a RIFF
// file, decoding the sample formats we play, and converting a decoded sound to
// the output rate. Nothing here ever reads outside the bytes it is given.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tornello {

// The two parts of an accepted file, pointing into the file's bytes.
struct WavChunks {
  std::span<const uint8_t> format;   // the wave format block, as stored
  std::span<const uint8_t> samples;  // the data chunk's content
};

// "RIFF" at 0, "fmt " as the first chunk at 12, then chunks skipped by size (with
// the pad byte after an odd size) up to the first "data" chunk. Nothing when the
// layout is wrong or any size runs past the end of the bytes.
std::optional<WavChunks> find_wav_chunks(std::span<const uint8_t> file);

// Sample data as float frames, -1..1, interleaved when stereo.
struct DecodedSound {
  int channels = 0;  // 1 or 2
  int rate = 0;      // sample frames per second
  std::vector<float> samples;

  size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
};

// Decodes integer PCM of 8, 16, 24 or 32 bits, 32-bit float, and the extensible
// variants of those, mono or stereo, at any rate from 1 kHz to 1 MHz. Nothing for any other format
// (compressed ones included), an inconsistent format block, or no whole frame.
std::optional<DecodedSound> decode_wav(const WavChunks& chunks);

// Converts to `rate` by linear interpolation. The result lasts as long as the
// input (rounded to whole frames) and starts and ends on the input's first and
// last frames, so no sound loses its tail.
DecodedSound resample(const DecodedSound& sound, int rate);

// Whole-file convenience: chunks, decoding and conversion in one step.
std::optional<DecodedSound> read_wav(std::span<const uint8_t> file, int rate);

// Reads a whole file into memory; nothing when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_file_bytes(const std::string& path);

}  // namespace tornello
