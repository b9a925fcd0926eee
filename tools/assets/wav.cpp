#include "assets/wav.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "audio/wav_reader.h"
#include "audio/wav_writer.h"

namespace tornello::assets {

std::vector<uint8_t> encode_wav(const Sound& sound) {
  std::vector<int16_t> pcm(sound.samples.size());
  for (size_t k = 0; k < pcm.size(); ++k) {
    pcm[k] =
        static_cast<int16_t>(std::lround(std::clamp(sound.samples[k], -1.0f, 1.0f) * 32767.0f));
  }
  return tornello::encode_wav(pcm, sound.channels, sample_rate);
}

std::optional<std::string> write_wav(const std::string& path, const Sound& sound) {
  const std::vector<uint8_t> bytes = encode_wav(sound);
  const std::string partial = path + ".part";
  {
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) return "cannot write " + partial + ": " + std::strerror(errno);
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
  if (error) return "cannot rename " + partial + ": " + error.message();
  return std::nullopt;
}

std::optional<Sound> read_wav_file(const std::string& path, int& rate) {
  const auto bytes = read_file_bytes(path);
  if (!bytes) return std::nullopt;
  const auto chunks = find_wav_chunks(*bytes);
  if (!chunks) return std::nullopt;
  auto decoded = decode_wav(*chunks);
  if (!decoded) return std::nullopt;
  rate = decoded->rate;
  return Sound{decoded->channels, std::move(decoded->samples)};
}

}  // namespace tornello::assets
