#include "assets/wav.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "audio/wav_reader.h"

namespace tornello::assets {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xff));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xff));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xffff);
  put16(out, value >> 16);
}

void put_id(std::vector<uint8_t>& out, const char* id) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(id[k]));
}

}  // namespace

std::vector<uint8_t> encode_wav(const Sound& sound) {
  const uint32_t channels = static_cast<uint32_t>(sound.channels);
  const uint32_t data_bytes = static_cast<uint32_t>(sound.samples.size() * 2);
  std::vector<uint8_t> out;
  out.reserve(44 + data_bytes);
  put_id(out, "RIFF");
  put32(out, 36 + data_bytes);
  put_id(out, "WAVE");
  put_id(out, "fmt ");
  put32(out, 16);
  put16(out, 1);  // integer PCM
  put16(out, channels);
  put32(out, sample_rate);
  put32(out, sample_rate * channels * 2);
  put16(out, channels * 2);
  put16(out, 16);
  put_id(out, "data");
  put32(out, data_bytes);
  for (float value : sound.samples) {
    const long level = std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f);
    put16(out, static_cast<uint32_t>(static_cast<int16_t>(level)) & 0xffff);
  }
  return out;
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
