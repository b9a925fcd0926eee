// WAV files built byte by byte, and an engine on the headless device rendered offline.
#pragma once

#include <cstdint>
#include <numeric>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/sound_engine.h"
#include "audio/wav_writer.h"
#include "platform/headless/headless_platform.h"

namespace tornello::test {

inline std::string le16(uint32_t value) {
  return {char(value & 0xFF), char((value >> 8) & 0xFF)};
}
inline std::string le32(uint32_t value) {
  return le16(value & 0xFFFF) + le16(value >> 16);
}
// Id, size, body, and the pad byte after an odd body.
inline std::string chunk(std::string_view id, const std::string& body) {
  return std::string(id) + le32(static_cast<uint32_t>(body.size())) + body +
         std::string(body.size() % 2, '\0');
}
inline std::string fmt_body(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  const uint32_t align = channels * bits / 8;
  return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}
inline std::string riff(const std::string& chunks, std::string_view form = "WAVE") {
  return "RIFF" + le32(static_cast<uint32_t>(4 + chunks.size())) + std::string(form) + chunks;
}
inline std::string pcm16(const std::vector<int16_t>& samples) {
  std::string out;
  for (int16_t s : samples) out += le16(static_cast<uint16_t>(s));
  return out;
}
// A plain 16-bit mono file at 44100 Hz.
inline std::string wav_file(const std::vector<int16_t>& samples) {
  const std::vector<uint8_t> bytes = encode_wav(samples, 1, 44100);
  return std::string(bytes.begin(), bytes.end());
}
inline std::span<const uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
// Samples 1, 2, 3, ... n: every frame tells where it came from.
inline std::vector<int16_t> counting(int n) {
  std::vector<int16_t> samples(n);
  std::iota(samples.begin(), samples.end(), 1);
  return samples;
}
inline constexpr float pcm16_unit = 1.0f / 32768.0f;

struct HeadlessEngine {
  HeadlessEngine() { engine.init(device); }
  SoundHandle load(const std::string& wav) { return engine.load_bytes(bytes_of(wav), "test"); }
  // `frames` frames, interleaved left/right.
  std::vector<float> render(int frames) {
    std::vector<float> out(2 * static_cast<size_t>(frames));
    device.render(out.data(), frames);
    return out;
  }
  HeadlessAudioDevice device;
  SoundEngine engine;
};

}  // namespace tornello::test
