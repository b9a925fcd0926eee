#include "audio/wav_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <new>

namespace tornello {

namespace {

constexpr uint16_t format_pcm = 1;
constexpr uint16_t format_float = 3;
constexpr uint16_t format_extensible = 0xFFFE;

// Longest sound we agree to hold after conversion. A hostile header (a tiny rate
// and a long data chunk) must fail to load rather than exhaust memory.
constexpr uint64_t max_converted_seconds = 20 * 60;
constexpr uint32_t min_rate = 1000;
constexpr uint32_t max_rate = 1'000'000;

uint16_t u16_at(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

uint32_t u32_at(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

bool id_at(std::span<const uint8_t> bytes, size_t at, const char (&id)[5]) {
  return std::memcmp(bytes.data() + at, id, 4) == 0;
}

uint64_t even(uint64_t offset) {
  return offset + (offset & 1);
}

// The tail every extensible-format sub-type shares; the first two bytes carry the
// plain format tag (1 for PCM, 3 for float).
constexpr uint8_t subtype_tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The plain tag an extensible block stands for, or 0 when it is not one we know.
uint16_t extensible_subtype(std::span<const uint8_t> format) {
  if (format.size() < 40 || u16_at(format, 16) < 22) return 0;
  if (std::memcmp(format.data() + 26, subtype_tail, sizeof subtype_tail) != 0) return 0;
  return u16_at(format, 24);
}

float decode_one(const uint8_t* p, uint16_t tag, int bits) {
  if (tag == format_float) {
    float value;
    std::memcpy(&value, p, sizeof value);
    return std::isfinite(value) ? value : 0.0f;
  }
  switch (bits) {
    case 8:
      return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
      return static_cast<int16_t>(p[0] | (p[1] << 8)) / 32768.0f;
    case 24: {
      const uint32_t raw = static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                           static_cast<uint32_t>(p[2]) << 24;
      return static_cast<float>(static_cast<int32_t>(raw) / 2147483648.0);
    }
    default: {
      const uint32_t raw = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
      return static_cast<float>(static_cast<int32_t>(raw) / 2147483648.0);
    }
  }
}

}  // namespace

std::optional<WavChunks> find_wav_chunks(std::span<const uint8_t> file) {
  const uint64_t size = file.size();
  if (size < 20 || !id_at(file, 0, "RIFF") || !id_at(file, 12, "fmt ")) return std::nullopt;
  const uint64_t format_size = u32_at(file, 16);
  if (format_size > size - 20) return std::nullopt;
  uint64_t at = even(20 + format_size);
  while (at + 8 <= size) {
    const uint64_t chunk_size = u32_at(file, at + 4);
    if (chunk_size > size - (at + 8)) return std::nullopt;
    if (id_at(file, at, "data")) {
      return WavChunks{file.subspan(20, format_size), file.subspan(at + 8, chunk_size)};
    }
    at = even(at + 8 + chunk_size);
  }
  return std::nullopt;
}

std::optional<DecodedSound> decode_wav(const WavChunks& chunks) {
  const std::span<const uint8_t> format = chunks.format;
  if (format.size() < 16) return std::nullopt;
  uint16_t tag = u16_at(format, 0);
  const int channels = u16_at(format, 2);
  const uint32_t rate = u32_at(format, 4);
  const int block_align = u16_at(format, 12);
  const int bits = u16_at(format, 14);
  if (tag == format_extensible) tag = extensible_subtype(format);

  const bool pcm = tag == format_pcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  const bool floating = tag == format_float && bits == 32;
  if (!pcm && !floating) return std::nullopt;
  if (channels != 1 && channels != 2) return std::nullopt;
  // Rates far outside any recording would turn a few bytes into minutes of audio.
  if (rate < min_rate || rate > max_rate) return std::nullopt;
  if (block_align != channels * bits / 8) return std::nullopt;

  const size_t frames = chunks.samples.size() / block_align;
  if (frames == 0) return std::nullopt;

  DecodedSound sound;
  sound.channels = channels;
  sound.rate = static_cast<int>(rate);
  sound.samples.resize(frames * channels);
  const int width = bits / 8;
  const uint8_t* p = chunks.samples.data();
  for (float& sample : sound.samples) {
    sample = decode_one(p, tag, bits);
    p += width;
  }
  return sound;
}

DecodedSound resample(const DecodedSound& sound, int rate) {
  if (sound.rate == rate || sound.frames() == 0) {
    DecodedSound copy = sound;
    copy.rate = rate;
    return copy;
  }
  const size_t in_frames = sound.frames();
  const int channels = sound.channels;
  const double exact = static_cast<double>(in_frames) * rate / sound.rate;
  const size_t out_frames = std::max<size_t>(1, static_cast<size_t>(std::llround(exact)));

  DecodedSound out;
  out.channels = channels;
  out.rate = rate;
  out.samples.resize(out_frames * channels);
  // Output frame j sits at input position j * (in - 1) / (out - 1): the first
  // and the last frames land exactly on the input's own.
  const double step =
      out_frames > 1 ? static_cast<double>(in_frames - 1) / static_cast<double>(out_frames - 1) : 0;
  for (size_t j = 0; j < out_frames; ++j) {
    size_t i = in_frames - 1;
    float frac = 0.0f;
    if (j + 1 < out_frames) {
      const double position = static_cast<double>(j) * step;
      i = std::min(static_cast<size_t>(position), in_frames - 1);
      frac = static_cast<float>(position - static_cast<double>(i));
    }
    const size_t next = std::min(i + 1, in_frames - 1);
    for (int c = 0; c < channels; ++c) {
      const float a = sound.samples[i * channels + c];
      const float b = sound.samples[next * channels + c];
      out.samples[j * channels + c] = a + (b - a) * frac;
    }
  }
  return out;
}

std::optional<DecodedSound> read_wav(std::span<const uint8_t> file, int rate) {
  const std::optional<WavChunks> chunks = find_wav_chunks(file);
  if (!chunks) return std::nullopt;
  const std::optional<DecodedSound> decoded = decode_wav(*chunks);
  if (!decoded) return std::nullopt;
  // A hostile rate must not make the conversion absurdly long.
  const uint64_t converted = static_cast<uint64_t>(decoded->frames()) * rate / decoded->rate;
  if (converted > max_converted_seconds * static_cast<uint64_t>(rate)) return std::nullopt;
  if (decoded->rate == rate) return decoded;
  return resample(*decoded, rate);
}

std::optional<std::vector<uint8_t>> read_file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  in.seekg(0, std::ios::beg);
  try {
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
    return bytes;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace tornello
