// The RIFF chunk walk of a wave payload, its writer, and PCM decoding for the mixer.
#include "engine/Wave.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ComponentStream.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A chunk: identifier, size as given (the body's length unless stated), body.
Bytes Chunk(const std::string& id, const Bytes& body, int64_t size = -1) {
  Bytes out(id.begin(), id.end());
  Put32(out, uint32_t(size < 0 ? body.size() : size));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Riff(const std::vector<Bytes>& chunks, uint32_t riffSize = 4) {
  Bytes out = {'R', 'I', 'F', 'F'};
  Put32(out, riffSize);
  out.insert(out.end(), {'W', 'A', 'V', 'E'});
  for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

const Bytes kFmt = MakePcmWave(1, 44100, 16, {}).Format;

std::string ErrorOf(const Bytes& riff) {
  try {
    TWave::FromRiff(riff);
  } catch (const EArchiveError& e) {
    return e.what();
  }
  return "";
}

TEST(Wave, ChunkWalk) {
  struct Case {
    const char* What;
    Bytes Riff;
    Bytes Format, Data;
  } cases[] = {
      {"fmt then data", Riff({Chunk("fmt ", kFmt), Chunk("data", {1, 2, 3, 4})}), kFmt, {1, 2, 3, 4}},
      {"data before fmt", Riff({Chunk("data", {9, 8}), Chunk("fmt ", kFmt)}), kFmt, {9, 8}},
      {"unknown chunks skipped", Riff({Chunk("JUNK", {0, 0, 0, 0}), Chunk("fmt ", kFmt), Chunk("LIST", {'d', 'a'}),
                                        Chunk("data", {5, 6})}),
       kFmt, {5, 6}},
      {"odd sizes have no padding",
       Riff({Chunk("fmt ", {1, 2, 3}), Chunk("junk", {7}), Chunk("data", {1, 2, 3}), Chunk("fact", {4})}),
       {1, 2, 3}, {1, 2, 3}},
      {"a pad byte shifts the next header",
       Riff({Chunk("fmt ", kFmt), Chunk("junk", {7}), Bytes{0}, Chunk("data", {1, 2})}), kFmt, {}},
      {"the last data chunk wins", Riff({Chunk("data", {1}), Chunk("fmt ", kFmt), Chunk("data", {2, 3})}), kFmt, {2, 3}},
      {"no data chunk", Riff({Chunk("fmt ", kFmt), Chunk("LIST", {1, 2})}), kFmt, {}},
      {"empty data chunk", Riff({Chunk("fmt ", kFmt), Chunk("data", {})}), kFmt, {}},
      {"nothing after the header", Riff({}), {}, {}},
      {"a partial header ends the walk", Riff({Chunk("data", {4}), Bytes{'f', 'm', 't', ' ', 16, 0, 0}}), {}, {4}},
      {"a zero identifier ends the walk", Riff({Chunk("data", {4}), Chunk(std::string(4, '\0'), {}), Chunk("fmt ", kFmt)}),
       {}, {4}},
      {"a skipped chunk past the end ends the walk", Riff({Chunk("data", {4}), Chunk("LIST", {1, 2}, 1000)}), {}, {4}},
      {"the RIFF size is not used", Riff({Chunk("data", {4})}, 0xFFFFFFFF), {}, {4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const TWave wave = TWave::FromRiff(c.Riff);
    EXPECT_EQ(wave.Format, c.Format);
    EXPECT_EQ(wave.Data, c.Data);
  }
}

TEST(Wave, MalformedPayloadsAreInvalid) {
  Bytes riffx = Riff({});
  riffx[3] = 'X';
  Bytes wavx = Riff({});
  wavx[11] = 'X';
  const Bytes cases[] = {
      {},
      {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'},
      riffx,
      wavx,
      Riff({Chunk("fmt ", kFmt), Chunk("data", {1, 2}, 3)}),
      Riff({Chunk("fmt ", kFmt), Chunk("data", {1, 2}, 0xFFFFFFFF)}),
      Riff({Chunk("fmt ", kFmt, 17)}),
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(ErrorOf(cases[i]), "Wave is invalid") << i;
}

TEST(Wave, WriterRoundTripsWithoutPadding) {
  const TWave wave{{1, 2, 3}, {4, 5, 6, 7, 8}};
  const Bytes riff = wave.ToRiff();
  EXPECT_EQ(riff, Riff({Chunk("fmt ", {1, 2, 3}), Chunk("data", {4, 5, 6, 7, 8})}, uint32_t(riff.size() - 8)));
  const TWave back = TWave::FromRiff(riff);
  EXPECT_EQ(back.Format, wave.Format);
  EXPECT_EQ(back.Data, wave.Data);
}

TEST(Wave, FormatRecord) {
  const TWaveFormat f = TWaveFormat::Parse(MakePcmWave(2, 22050, 16, {}).Format);
  EXPECT_EQ(f.FormatTag, 1);
  EXPECT_EQ(f.Channels, 2);
  EXPECT_EQ(f.SamplesPerSec, 22050u);
  EXPECT_EQ(f.AvgBytesPerSec, 88200u);
  EXPECT_EQ(f.BlockAlign, 4);
  EXPECT_EQ(f.BitsPerSample, 16);
  EXPECT_EQ(TWaveFormat::Parse(Bytes(15, 1)).FormatTag, 0);  // too short to be a record
}

// An extensible format block whose sub-format starts with the given coding.
Bytes Extensible(uint16_t coding, int bits) {
  Bytes f = MakePcmWave(1, 44100, bits, {}).Format;
  f[0] = 0xFE, f[1] = 0xFF;
  f.insert(f.end(), {22, 0, uint8_t(bits), 0, 4, 0, 0, 0, uint8_t(coding), uint8_t(coding >> 8)});
  f.resize(40, 0);
  return f;
}

TEST(Wave, DecodesPcmToStereoFrames) {
  struct Case {
    const char* What;
    TWave Wave;
    int Rate;
    std::vector<int16_t> Frames;
  } cases[] = {
      {"8-bit mono", MakePcmWave(1, 44100, 8, {147, 75, 217, 1}), 44100,
       {4864, 4864, -13568, -13568, 22784, 22784, -32512, -32512}},
      {"8-bit stereo", MakePcmWave(2, 8000, 8, {128, 255, 0, 129}), 8000, {0, 32512, -32768, 256}},
      {"16-bit mono", MakePcmWave(1, 11025, 16, {2, 0, 0xFD, 0xFF}), 11025, {2, 2, -3, -3}},
      {"16-bit stereo, partial frame dropped", MakePcmWave(2, 48000, 16, {1, 0, 0, 0x80, 7, 0, 9}), 48000,
       {1, -32768}},
      {"no samples", MakePcmWave(1, 44100, 16, {}), 44100, {}},
      {"extensible PCM", TWave{Extensible(1, 16), {5, 0}}, 44100, {5, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const auto samples = DecodePcm(c.Wave);
    ASSERT_TRUE(samples.has_value());
    EXPECT_EQ(samples->Rate, c.Rate);
    EXPECT_EQ(samples->Frames, c.Frames);
  }
}

TEST(Wave, RefusesWhatTheMixerDoesNotPlay) {
  TWave floatWave = MakePcmWave(1, 44100, 32, {0, 0, 0, 0});
  floatWave.Format[0] = 3;
  const TWave cases[] = {
      floatWave,
      MakePcmWave(1, 44100, 24, {0, 0, 0}),
      MakePcmWave(3, 44100, 16, {0, 0, 0, 0, 0, 0}),
      MakePcmWave(0, 44100, 16, {0, 0}),
      MakePcmWave(1, 99, 16, {0, 0}),
      MakePcmWave(1, 200001, 16, {0, 0}),
      TWave{Bytes(kFmt.begin(), kFmt.begin() + 14), {0, 0}},
      TWave{{}, {0, 0}},
      TWave{Extensible(3, 16), {0, 0}},
      TWave{Extensible(1, 32), {0, 0, 0, 0}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_FALSE(DecodePcm(cases[i]).has_value()) << i;
}

}  // namespace
