// RIFF wave chunk walk and writer, and PCM decoding for the mixer.
#include "engine/Wave.h"

#include <cstring>

#include "engine/ComponentStream.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

[[noreturn]] void ThrowInvalidWave() { throw EArchiveError("Wave is invalid"); }

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return uint32_t(Le16(p)) | (uint32_t(Le16(p + 2)) << 16); }

bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

void PutChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
  out.insert(out.end(), id, id + 4);
  TComponentWriter::PutU32(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

TWave TWave::FromRiff(std::span<const uint8_t> riff) {
  if (riff.size() < 12 || !IsId(riff.data(), "RIFF") || !IsId(riff.data() + 8, "WAVE")) ThrowInvalidWave();
  TWave wave;
  size_t pos = 12;
  while (riff.size() - pos >= 8) {
    const uint8_t* header = riff.data() + pos;
    if (IsId(header, "\0\0\0\0")) break;
    const uint64_t size = Le32(header + 4);
    pos += 8;
    const size_t remaining = riff.size() - pos;
    const bool isFormat = IsId(header, "fmt "), isData = IsId(header, "data");
    if (size > remaining) {
      if (isFormat || isData) ThrowInvalidWave();
      break;  // a skipped chunk reaching past the end leaves no header to read
    }
    auto body = riff.subspan(pos, size_t(size));
    if (isFormat) wave.Format.assign(body.begin(), body.end());
    if (isData) wave.Data.assign(body.begin(), body.end());
    pos += size_t(size);
  }
  return wave;
}

std::vector<uint8_t> TWave::ToRiff() const {
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  PutChunk(out, "fmt ", Format);
  PutChunk(out, "data", Data);
  const uint32_t riffSize = uint32_t(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + size_t(i)] = uint8_t(riffSize >> (8 * i));
  return out;
}

TWave MakePcmWave(int channels, int samplesPerSec, int bitsPerSample, std::vector<uint8_t> data) {
  const int blockAlign = channels * bitsPerSample / 8;
  TWave wave;
  TComponentWriter::PutU16(wave.Format, kFormatPcm);
  TComponentWriter::PutU16(wave.Format, uint16_t(channels));
  TComponentWriter::PutU32(wave.Format, uint32_t(samplesPerSec));
  TComponentWriter::PutU32(wave.Format, uint32_t(samplesPerSec * blockAlign));
  TComponentWriter::PutU16(wave.Format, uint16_t(blockAlign));
  TComponentWriter::PutU16(wave.Format, uint16_t(bitsPerSample));
  wave.Data = std::move(data);
  return wave;
}

TWaveFormat TWaveFormat::Parse(std::span<const uint8_t> format) {
  TWaveFormat f;
  if (format.size() < 16) return f;
  const uint8_t* p = format.data();
  f.FormatTag = Le16(p);
  f.Channels = Le16(p + 2);
  f.SamplesPerSec = Le32(p + 4);
  f.AvgBytesPerSec = Le32(p + 8);
  f.BlockAlign = Le16(p + 12);
  f.BitsPerSample = Le16(p + 14);
  return f;
}

std::optional<TSoundSamples> DecodePcm(const TWave& wave) {
  const TWaveFormat f = TWaveFormat::Parse(wave.Format);
  bool pcm = f.FormatTag == kFormatPcm;
  // The extensible record names its coding in the first two bytes of the sub-format at 24.
  if (f.FormatTag == kFormatExtensible && wave.Format.size() >= 40) pcm = Le16(wave.Format.data() + 24) == kFormatPcm;
  if (!pcm || (f.Channels != 1 && f.Channels != 2) || (f.BitsPerSample != 8 && f.BitsPerSample != 16) ||
      f.SamplesPerSec < uint32_t(kMinSoundRate) || f.SamplesPerSec > uint32_t(kMaxSoundRate))
    return std::nullopt;
  const size_t bytesPerSample = f.BitsPerSample / 8u;
  const size_t frameBytes = bytesPerSample * f.Channels;
  const size_t frames = wave.Data.size() / frameBytes;
  TSoundSamples samples;
  samples.Rate = int(f.SamplesPerSec);
  samples.Frames.resize(frames * 2);
  const uint8_t* in = wave.Data.data();
  auto sample = [&](size_t index) -> int16_t {
    const uint8_t* p = in + index * bytesPerSample;
    return bytesPerSample == 1 ? int16_t((p[0] - 128) * 256) : int16_t(Le16(p));
  };
  for (size_t i = 0; i < frames; ++i) {
    const size_t first = i * f.Channels;
    samples.Frames[2 * i] = sample(first);
    samples.Frames[2 * i + 1] = sample(first + f.Channels - 1);
  }
  return samples;
}
