// A recorded sound as a RIFF wave holds it: the format block and the sample bytes, the
// chunk walk that reads it, the writer, and decoding of PCM to 16-bit stereo frames.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The "fmt " chunk's bytes unchanged and the "data" chunk's bytes.
struct TWave {
  std::vector<uint8_t> Format;
  std::vector<uint8_t> Data;

  bool Empty() const { return Data.empty(); }

  // Walks a RIFF wave: "RIFF", size, "WAVE", then chunks back to back with no padding after
  // odd sizes. Unknown chunks are skipped, the walk ends at a header past the end (or with a
  // zero identifier), and a wave without "data" has no samples. A wrong header or a "fmt " or
  // "data" body past the end raises EArchiveError "Wave is invalid".
  static TWave FromRiff(std::span<const uint8_t> riff);
  // "RIFF" header, "fmt " and "data" chunks, no padding.
  std::vector<uint8_t> ToRiff() const;
};

// A PCM wave from its parts; the format block is the 16-byte record.
TWave MakePcmWave(int channels, int samplesPerSec, int bitsPerSample, std::vector<uint8_t> data);

// The fields of a format block (the leading 16 bytes; zeros when it is shorter).
struct TWaveFormat {
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint32_t AvgBytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;

  static TWaveFormat Parse(std::span<const uint8_t> format);
};

// Samples ready for the mixer: interleaved signed 16-bit stereo frames at the wave's own rate.
struct TSoundSamples {
  std::vector<int16_t> Frames;
  int Rate = 0;

  int FrameCount() const { return int(Frames.size() / 2); }
};

// Lowest and highest playback rates a voice accepts, in Hz.
constexpr int kMinSoundRate = 100;
constexpr int kMaxSoundRate = 200000;

// Decodes 8-bit unsigned or 16-bit signed PCM, mono or stereo, at a rate in
// kMinSoundRate..kMaxSoundRate (plain or extensible format block); mono is copied to both
// sides and a trailing partial frame dropped. Anything else gives nothing.
std::optional<TSoundSamples> DecodePcm(const TWave& wave);
