#include "audio/wav_reader.h"

#include <gtest/gtest.h>

#include <tuple>

#include "audio/audio_test_support.h"

namespace tornello {
namespace {

using namespace test;

const std::string samples = pcm16({100, -200, 300});
const std::string mono16 = fmt_body(1, 1, 44100, 16);

std::optional<std::string> data_found(const std::string& file) {
  const std::optional<WavChunks> chunks = find_wav_chunks(bytes_of(file));
  if (!chunks) return std::nullopt;
  return std::string(chunks->samples.begin(), chunks->samples.end());
}

TEST(WavLayout, AcceptedLayoutsAndRejectedOnesNeverReadPastTheEnd) {
  const std::string data = chunk("data", samples);
  const std::string accepted[] = {
      riff(chunk("fmt ", mono16) + data),
      riff(chunk("fmt ", mono16 + le16(0)) + data),  // 18 bytes, extra size 0
      // An odd-sized LIST chunk, padded, between the format and the data.
      riff(chunk("fmt ", mono16) + chunk("LIST", "INFOabc") + chunk("fact", le32(3)) + data),
      // Anything after the data chunk is ignored, a second data chunk included.
      riff(chunk("fmt ", mono16) + data + chunk("data", pcm16({1, 2, 3, 4})) + "junk"),
      riff(chunk("fmt ", mono16 + "\x01") + data),  // an odd format block and its pad
  };
  for (const std::string& file : accepted) EXPECT_EQ(data_found(file), samples);
  const std::string good = riff(chunk("fmt ", mono16) + chunk("data", samples));
  const std::string format_first = riff(chunk("fmt ", mono16));
  // Each file sits in a buffer of exactly its size, so a sanitizer sees any read beyond it.
  const std::string rejected[] = {
      riff(chunk("JUNK", std::string(28, '\0')) + chunk("fmt ", mono16) + chunk("data", samples)),
      "RIFX" + good.substr(4),
      "RIFF" + le32(0) + "WAVEfmt " + le32(0xFFFFFFF0u) + mono16,
      format_first + "data" + le32(1000) + samples,
      format_first + "LIST" + le32(0xFFFFFFFFu) + "data",
      format_first + "LIST" + le32(2) + "ab" + "dat",  // too little left for a header
  };
  for (const std::string& file : rejected) {
    EXPECT_FALSE(find_wav_chunks(std::vector<uint8_t>(file.begin(), file.end())));
  }
  // Every truncation of a good file fails: a header or a size runs past the end.
  for (size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(find_wav_chunks(std::vector<uint8_t>(good.begin(), good.begin() + size)))
        << "cut at " << size;
  }
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

TEST(WavDecoding, EveryPlayedSampleFormatAndTheRefusedOnes) {
  const std::tuple<std::string, std::string, float> formats[] = {
      {fmt_body(1, 1, 8000, 8), "\xC0\x40", 0.5f},
      {fmt_body(1, 1, 8000, 16), le16(0xC000), -0.5f},
      {fmt_body(1, 1, 8000, 24), "\x80\x80\x40p", 0.50392151f},
      {fmt_body(1, 1, 8000, 32), le32(0xC0808080u), -0.49607843f},
      {fmt_body(3, 1, 8000, 32), le32(0x3F000000u), 0.5f},
      {extensible(1, 1, 16), le16(0x4000), 0.5f},
      {extensible(3, 1, 32), le32(0xBF000000u), -0.5f},
      // Non-finite floats would poison the whole mix: they decode as silence.
      {fmt_body(3, 1, 8000, 32), le32(0x7FC00000u), 0.0f},
  };
  for (const auto& [format, data, first] : formats) {
    SCOPED_TRACE(testing::Message()
                 << "format tag " << +format[0] << ", " << +format[14] << " bits");
    const std::optional<DecodedSound> sound = decode(format, data);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->samples.at(0), first);
  }
  const std::optional<DecodedSound> stereo = decode(fmt_body(1, 2, 22050, 16), pcm16({1, 2, 3}));
  ASSERT_TRUE(stereo);
  EXPECT_EQ(std::pair(stereo->channels, stereo->rate), std::pair(2, 22050));
  EXPECT_EQ(stereo->frames(), 1u);  // the half frame at the end is dropped
  std::string lying_alignment = mono16;
  lying_alignment[12] = 4;
  const std::pair<std::string, std::string> refused[] = {
      {fmt_body(2, 1, 8000, 4), samples},  // ADPCM
      {fmt_body(1, 3, 8000, 16), samples + samples},
      {fmt_body(1, 1, 8000, 12), samples},
      {fmt_body(3, 1, 8000, 16), samples},
      {fmt_body(1, 1, 999, 16), samples},  // rates the mixer cannot sensibly convert
      {fmt_body(1, 1, 1'000'001, 16), samples},
      {mono16.substr(0, 14), samples},  // format block too short
      {mono16, ""},                     // no whole frame
      {extensible(2, 1, 16), samples},  // an unknown sub-type
      {lying_alignment, samples},
  };
  for (size_t k = 0; k < std::size(refused); ++k) {
    EXPECT_FALSE(decode(refused[k].first, refused[k].second)) << "case " << k;
  }
}

TEST(WavResampling, KeepsTheWholeLengthAndTheLastSampleAndRefusesOverlongSounds) {
  for (const auto& [from, to] :
       {std::pair{22050, 44100}, {48000, 44100}, {44100, 48000}, {8000, 44100}, {96000, 44100}}) {
    for (int frames : {1, 2, 511, 512, 513, 4000}) {
      for (int channels : {1, 2}) {
        DecodedSound in{.channels = channels, .rate = from, .samples = {}};
        for (int k = 0; k < frames * channels; ++k) in.samples.push_back(0.001f * (k + 1));
        const DecodedSound out = resample(in, to);
        const double seconds = static_cast<double>(frames) / from;
        EXPECT_NEAR(static_cast<double>(out.frames()), std::max(1.0, seconds * to), 0.5)
            << from << "->" << to << " " << frames << " frames";
        EXPECT_EQ(std::pair(out.rate, out.channels), std::pair(to, channels));
        // A ramp stays the same ramp: it starts on the input's first frame (given
        // room), ends on its last, and every frame between lies on the line.
        const size_t last = out.frames() - 1;
        for (int c = 0; c < channels; ++c) {
          const float first = in.samples[c], end = in.samples[in.samples.size() - channels + c];
          EXPECT_FLOAT_EQ(out.samples[last * channels + c], end);
          for (size_t j = 0; j < last; ++j) {
            ASSERT_NEAR(out.samples[j * channels + c], first + (end - first) * j / last, 1e-5)
                << from << "->" << to << " " << frames << " frames, frame " << j;
          }
        }
      }
    }
  }
  // Over twenty minutes once converted: refused rather than held. Twenty minutes
  // exactly are kept.
  const auto at_1000_hz = [](size_t bytes, int rate) {
    return read_wav(bytes_of(riff(chunk("fmt ", fmt_body(1, 1, 1000, 16)) +
                                  chunk("data", std::string(bytes, '\0')))),
                    rate);
  };
  EXPECT_FALSE(at_1000_hz(2 * 1000 * 1201, 44100) || at_1000_hz(2 * 1000 * 1201, 1000));
  EXPECT_TRUE(at_1000_hz(2 * 1000 * 1200, 1000));
  EXPECT_EQ(at_1000_hz(2, 44100)->frames(), 44u);
}

}  // namespace
}  // namespace tornello
