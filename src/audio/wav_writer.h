// Writing plain WAV files: the layout the game reads, for generated sound trees,
// benchmarks and tests.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tornello {

// "RIFF" size "WAVE", a 16-byte "fmt " chunk (16-bit integer PCM) and "data".
std::vector<uint8_t> encode_wav(std::span<const int16_t> samples, int channels, int rate);

}  // namespace tornello
