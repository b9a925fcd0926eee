// Writing the game's sound files: 16-bit integer PCM, 44.1 kHz, a 16-byte format
// chunk followed directly by the data chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "assets/dsp.h"

namespace tornello::assets {

// The whole file's bytes. Samples are held to -1..1 before conversion.
std::vector<uint8_t> encode_wav(const Sound& sound);

// Writes beside the target and renames, so a reader never sees half a file.
// Returns an error message, or nothing on success.
std::optional<std::string> write_wav(const std::string& path, const Sound& sound);

// Reads a WAV file of any rate the game's reader accepts, as it was stored.
std::optional<Sound> read_wav_file(const std::string& path, int& rate);

}  // namespace tornello::assets
