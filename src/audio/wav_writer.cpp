#include "audio/wav_writer.h"

namespace tornello {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

void put_id(std::vector<uint8_t>& out, const char (&id)[5]) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(id[k]));
}

}  // namespace

std::vector<uint8_t> encode_wav(std::span<const int16_t> samples, int channels, int rate) {
  const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
  const uint32_t block_align = static_cast<uint32_t>(channels * 2);
  std::vector<uint8_t> out;
  out.reserve(44 + data_bytes);
  put_id(out, "RIFF");
  put32(out, 36 + data_bytes);
  put_id(out, "WAVE");
  put_id(out, "fmt ");
  put32(out, 16);
  put16(out, 1);  // integer PCM
  put16(out, static_cast<uint32_t>(channels));
  put32(out, static_cast<uint32_t>(rate));
  put32(out, static_cast<uint32_t>(rate) * block_align);
  put16(out, block_align);
  put16(out, 16);
  put_id(out, "data");
  put32(out, data_bytes);
  for (int16_t sample : samples) put16(out, static_cast<uint16_t>(sample));
  return out;
}

}  // namespace tornello
