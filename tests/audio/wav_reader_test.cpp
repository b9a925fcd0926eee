#include "audio/wav_reader.h"

#include <gtest/gtest.h>

#include "audio/audio_test_support.h"

namespace tornello {
namespace {

using test::bytes_of;
using test::chunk;
using test::fmt_body;
using test::le16;
using test::le32;
using test::pcm16;
using test::riff;

const std::string samples = pcm16({100, -200, 300});
const std::string mono16 = fmt_body(1, 1, 44100, 16);

std::optional<std::string> data_found(const std::string& file) {
  const std::optional<WavChunks> chunks = find_wav_chunks(bytes_of(file));
  if (!chunks) return std::nullopt;
  return std::string(chunks->samples.begin(), chunks->samples.end());
}

TEST(WavLayout, AcceptedLayouts) {
  // The plain layout.
  EXPECT_EQ(data_found(riff(chunk("fmt ", mono16) + chunk("data", samples))), samples);
  // An 18-byte format block whose extra size is 0.
  const std::optional<WavChunks> eighteen =
      find_wav_chunks(bytes_of(riff(chunk("fmt ", mono16 + le16(0)) + chunk("data", samples))));
  ASSERT_TRUE(eighteen);
  EXPECT_EQ(eighteen->format.size(), 18u);
  // An odd-sized LIST chunk, padded, between the format and the data.
  EXPECT_EQ(data_found(riff(chunk("fmt ", mono16) + chunk("LIST", "INFOabc") +
                            chunk("fact", le32(3)) + chunk("data", samples))),
            samples);
  // The form type is not examined.
  EXPECT_EQ(data_found(riff(chunk("fmt ", mono16) + chunk("data", samples), "AVI ")), samples);
  // Anything after the data chunk is ignored, a second data chunk included.
  EXPECT_EQ(data_found(riff(chunk("fmt ", mono16) + chunk("data", samples) +
                            chunk("data", pcm16({1, 2, 3, 4})) + "junk")),
            samples);
  // An odd-sized format block is followed by its pad byte.
  const std::string odd_format = mono16 + "\x01";
  EXPECT_EQ(data_found(riff(chunk("fmt ", odd_format) + chunk("data", samples))), samples);
}

TEST(WavLayout, RejectedLayouts) {
  const std::string good = riff(chunk("fmt ", mono16) + chunk("data", samples));
  // The format chunk must come first.
  EXPECT_FALSE(find_wav_chunks(bytes_of(riff(chunk("JUNK", std::string(28, '\0')) +
                                             chunk("fmt ", mono16) + chunk("data", samples)))));
  EXPECT_FALSE(find_wav_chunks(bytes_of("RIFX" + good.substr(4))));
  EXPECT_FALSE(find_wav_chunks(bytes_of(riff(chunk("fmt ", mono16)))));  // no data chunk
  EXPECT_FALSE(find_wav_chunks(bytes_of(std::string())));
  // Every truncation of a good file fails: a header or a size runs past the end.
  for (size_t size = 0; size < good.size(); ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(size));
    EXPECT_FALSE(find_wav_chunks(cut)) << "cut at " << size;
  }
}

TEST(WavLayout, LyingSizesNeverReadPastTheEnd) {
  // Each file is copied into a buffer of exactly its size so a sanitizer sees any
  // read beyond it.
  const auto check = [](const std::string& file) {
    const std::vector<uint8_t> exact(file.begin(), file.end());
    return find_wav_chunks(exact).has_value();
  };
  EXPECT_FALSE(check("RIFF" + le32(0) + "WAVEfmt " + le32(0xFFFFFFF0u) + mono16));
  EXPECT_FALSE(check(riff(chunk("fmt ", mono16)) + "data" + le32(1000) + samples));
  EXPECT_FALSE(check(riff(chunk("fmt ", mono16)) + "LIST" + le32(0xFFFFFFFFu) + "data"));
  // A chunk whose size points just before the end leaves too little for a header.
  EXPECT_FALSE(check(riff(chunk("fmt ", mono16)) + "LIST" + le32(2) + "ab" + "dat"));
}

std::optional<DecodedSound> decode(const std::string& format, const std::string& data) {
  const std::string file = riff(chunk("fmt ", format) + chunk("data", data));
  const std::optional<WavChunks> chunks = find_wav_chunks(bytes_of(file));
  if (!chunks) return std::nullopt;
  return decode_wav(*chunks);
}

std::string extensible(uint16_t subtype, uint16_t channels, uint16_t bits) {
  const std::string guid_tail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  return fmt_body(0xFFFE, channels, 48000, bits) + le16(22) + le16(bits) + le32(3) + le16(subtype) +
         guid_tail;
}

TEST(WavDecoding, EveryPlayedSampleFormat) {
  const auto first = [](const std::optional<DecodedSound>& sound) {
    return sound ? sound->samples.at(0) : -99.0f;
  };
  EXPECT_FLOAT_EQ(first(decode(fmt_body(1, 1, 8000, 8), "\xC0\x40")), 0.5f);
  EXPECT_FLOAT_EQ(first(decode(fmt_body(1, 1, 8000, 16), le16(0xC000))), -0.5f);
  EXPECT_FLOAT_EQ(first(decode(fmt_body(1, 1, 8000, 24), std::string("\x00\x00\x40", 3) + "p")),
                  0.5f);
  EXPECT_FLOAT_EQ(first(decode(fmt_body(1, 1, 8000, 32), le32(0xC0000000u))), -0.5f);
  EXPECT_FLOAT_EQ(first(decode(fmt_body(3, 1, 8000, 32), le32(0x3F000000u))), 0.5f);
  EXPECT_FLOAT_EQ(first(decode(extensible(1, 1, 16), le16(0x4000))), 0.5f);
  EXPECT_FLOAT_EQ(first(decode(extensible(3, 1, 32), le32(0xBF000000u))), -0.5f);

  const std::optional<DecodedSound> stereo = decode(fmt_body(1, 2, 22050, 16), pcm16({1, 2, 3}));
  ASSERT_TRUE(stereo);
  EXPECT_EQ(stereo->channels, 2);
  EXPECT_EQ(stereo->rate, 22050);
  EXPECT_EQ(stereo->frames(), 1u);  // the half frame at the end is dropped

  // Non-finite floats would poison the whole mix: they decode as silence.
  EXPECT_FLOAT_EQ(first(decode(fmt_body(3, 1, 8000, 32), le32(0x7FC00000u))), 0.0f);
}

TEST(WavDecoding, RefusedFormats) {
  EXPECT_FALSE(decode(fmt_body(2, 1, 8000, 4), samples));     // ADPCM
  EXPECT_FALSE(decode(fmt_body(0x55, 1, 8000, 0), samples));  // MP3
  EXPECT_FALSE(decode(fmt_body(1, 3, 8000, 16), samples + samples));
  EXPECT_FALSE(decode(fmt_body(1, 1, 8000, 12), samples));
  EXPECT_FALSE(decode(fmt_body(3, 1, 8000, 16), samples));
  EXPECT_FALSE(decode(fmt_body(1, 1, 0, 16), samples));
  EXPECT_FALSE(decode(mono16.substr(0, 14), samples));  // format block too short
  EXPECT_FALSE(decode(mono16, ""));                     // no whole frame
  EXPECT_FALSE(decode(extensible(2, 1, 16), samples));  // an unknown sub-type
  // A block alignment that disagrees with the sample size.
  std::string lying = mono16;
  lying[12] = 4;
  EXPECT_FALSE(decode(lying, samples));
}

DecodedSound ramp_sound(int frames, int channels, int rate) {
  DecodedSound sound;
  sound.channels = channels;
  sound.rate = rate;
  for (int k = 0; k < frames * channels; ++k) sound.samples.push_back(0.001f * (k + 1));
  return sound;
}

TEST(WavResampling, KeepsTheWholeLengthAndTheLastSample) {
  for (const auto& [from, to] :
       {std::pair{22050, 44100}, {48000, 44100}, {44100, 48000}, {8000, 44100}, {96000, 44100}}) {
    for (int frames : {1, 2, 511, 512, 513, 4000}) {
      for (int channels : {1, 2}) {
        const DecodedSound in = ramp_sound(frames, channels, from);
        const DecodedSound out = resample(in, to);
        const double seconds = static_cast<double>(frames) / from;
        EXPECT_NEAR(static_cast<double>(out.frames()), std::max(1.0, seconds * to), 0.5)
            << from << "->" << to << " " << frames << " frames";
        EXPECT_EQ(out.rate, to);
        EXPECT_EQ(out.channels, channels);
        // Ends on the input's last frame and, given room, starts on its first.
        for (int c = 0; c < channels; ++c) {
          if (out.frames() > 1) {
            EXPECT_FLOAT_EQ(out.samples[c], in.samples[c]);
          }
          EXPECT_FLOAT_EQ(out.samples[out.samples.size() - channels + c],
                          in.samples[in.samples.size() - channels + c]);
        }
      }
    }
  }
}

TEST(WavReading, AbsurdRatesAndLengthsAreRefusedNotHeld) {
  EXPECT_FALSE(decode(fmt_body(1, 1, 999, 16), samples));
  EXPECT_FALSE(decode(fmt_body(1, 1, 1'000'001, 16), samples));
  // Over twenty minutes once converted: refused rather than held.
  const std::string long_data(2 * 1000 * 1201, '\0');
  EXPECT_FALSE(read_wav(
      bytes_of(riff(chunk("fmt ", fmt_body(1, 1, 1000, 16)) + chunk("data", long_data))), 44100));
  const std::optional<DecodedSound> slow = read_wav(
      bytes_of(riff(chunk("fmt ", fmt_body(1, 1, 1000, 16)) + chunk("data", "ab"))), 44100);
  ASSERT_TRUE(slow);
  EXPECT_EQ(slow->frames(), 44u);
}

}  // namespace
}  // namespace tornello
