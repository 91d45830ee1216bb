// Real wave files written by others, each wrapped as a sound archive's "Wave.WAVE" payload:
// the reader loads it or refuses it as "Wave is invalid", and the 8- and 16-bit PCM files
// play their samples through the mixer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/ComponentStream.h"
#include "engine/DXSound.h"
#include "engine/WaveCollection.h"
#include "support/SoundRig.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Samples = std::vector<int16_t>;

const fs::path kCorpus = fs::path(ZAROVEL_SHARED_DIR) / "corpora" / "wav";

enum class Outcome {
  Plays,    // loads and plays through the mixer
  Refused,  // loads, but its format is not one the mixer plays: "Sound Buffer cannot be made"
  Invalid,  // "Wave is invalid"
};

// Chunk sizes are followed without padding: odd-sized chunks are still read because each
// such chunk here is the last one or the misread header after it runs past the end.
const std::map<std::string, Outcome> kExpected = {
    {"goaudio/8bit.wav", Outcome::Plays},
    {"goaudio/bwf.wav", Outcome::Refused},  // 24-bit
    {"goaudio/flloop.wav", Outcome::Plays},
    {"goaudio/kick-16b441k.wav", Outcome::Plays},
    {"goaudio/listinfo.wav", Outcome::Plays},
    {"goaudio/padded24b.wav", Outcome::Refused},
    {"hound/fuzz/crash-24728523ef4be15c838293b676f6853e73723bf4.wav", Outcome::Invalid},
    {"hound/fuzz/crash-b8447179832529c48f9c6bf17feab6337bbc78ea.wav", Outcome::Invalid},
    {"hound/fuzz/crash-cbd757427cea12bd8a21f86cd8cf74d98ce56bee.wav", Outcome::Invalid},
    {"hound/fuzz/crash-e5471f5b58397287b509db7d026e95f1724454f5.wav", Outcome::Refused},  // float
    {"hound/fuzz/crash-e879de4eb4d206c59e21f0e01def16457af80fdc.wav", Outcome::Plays},  // no samples
    {"hound/fuzz/oom-48ae4cd061ff8578ad3f23dc87624bd365cf5216.wav", Outcome::Plays},  // no samples
    {"hound/nonstandard-01.wav", Outcome::Refused},  // 24-bit
    {"hound/nonstandard-02.wav", Outcome::Refused},  // 32-bit container
    {"hound/pcmwaveformat-16bit-44100Hz-mono-extra.wav", Outcome::Plays},
    {"hound/pcmwaveformat-16bit-44100Hz-mono.wav", Outcome::Plays},
    {"hound/pcmwaveformat-8bit-44100Hz-mono.wav", Outcome::Plays},
    {"hound/pop.wav", Outcome::Plays},
    {"hound/waveformatex-16bit-44100Hz-mono-extra.wav", Outcome::Plays},
    {"hound/waveformatex-16bit-44100Hz-mono.wav", Outcome::Plays},
    {"hound/waveformatex-16bit-44100Hz-stereo.wav", Outcome::Plays},
    {"hound/waveformatex-8bit-11025Hz-mono.wav", Outcome::Plays},
    {"hound/waveformatextensible-ieeefloat-44100Hz-mono.wav", Outcome::Refused},
    {"wavefile/16-bit-8kHz-noBext-mono.wav", Outcome::Plays},
    {"wavefile/16bit-8kHz-1c-reaper-utf8cue.wav", Outcome::Plays},
    {"wavefile/16bit-9khz-1c-1region-reaper.wav", Outcome::Plays},
    {"wavefile/4bit-imaadpcm-8kHz-noBext-mono.wav", Outcome::Refused},
    {"wavefile/8bit-16kHz-bext-mono.wav", Outcome::Plays},
    {"wavefile/8bit-mulaw-8kHz-noBext-mono-encoded.wav", Outcome::Refused},
    {"wavefile/Audacity-16bit.wav", Outcome::Plays},
    {"wavjl/48000_stereo_pcm16.wav", Outcome::Plays},
    {"wavjl/48000_stereo_pcm16_long_datalength.wav", Outcome::Invalid},  // data runs past the end
    {"wavjl/48000_stereo_pcm16_long_filelength.wav", Outcome::Plays},
    {"wavjl/48000_stereo_pcm8.wav", Outcome::Plays},
    {"wavjl/48000_stereo_ulaw.wav", Outcome::Refused},
};

Bytes ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A sound archive of one item named "Corpus" whose wave payload is the file, unchanged.
Bytes Wrap(const Bytes& file) {
  TComponentWriter w("TWAVECOLLECTIONCOMPONENT", "TWaveCollectionComponent");
  w.PropName("List");
  w.BeginCollection();
  w.BeginItem();
  w.PropName("Name");
  w.String("Corpus");
  w.PropName("Wave.WAVE");
  w.Binary(file);
  w.EndList();
  w.EndList();
  return w.Finish();
}

Outcome Load(SoundRig& rig, const Bytes& file) {
  try {
    rig.list.Items.LoadFromMemory(Wrap(file));
  } catch (const EArchiveError& e) {
    EXPECT_STREQ(e.what(), "Wave is invalid");
    return Outcome::Invalid;
  } catch (const EDXSoundError& e) {
    EXPECT_STREQ(e.what(), "Sound Buffer cannot be made");
    return Outcome::Refused;
  }
  return Outcome::Plays;
}

TEST(WavCorpus, EveryFileLoadsOrIsRefusedCleanly) {
  ASSERT_TRUE(fs::is_directory(kCorpus)) << kCorpus;
  size_t seen = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".wav") continue;
    const std::string name = entry.path().lexically_relative(kCorpus).generic_string();
    SCOPED_TRACE(name);
    const auto expected = kExpected.find(name);
    ASSERT_NE(expected, kExpected.end()) << "a file the table does not know";
    ++seen;
    SoundRig rig;
    const Bytes file = ReadFile(entry.path());
    EXPECT_EQ(Load(rig, file), expected->second);
    // Without a device the reader alone decides: refused formats still load.
    TWaveCollection plain;
    bool loaded = true;
    try {
      plain.LoadFromMemory(Wrap(file));
    } catch (const EArchiveError&) {
      loaded = false;
    }
    EXPECT_EQ(loaded, expected->second != Outcome::Invalid);
    if (expected->second != Outcome::Plays) continue;
    // Played to the end and beyond, a playable file is heard once and then is silent.
    TWaveCollectionItem& item = rig.list.Items.FindItem("Corpus");
    item.PlaySound();
    if (item.Voices().empty()) {
      EXPECT_TRUE(item.Wave.Empty());
      continue;
    }
    const TSoundVoice& voice = *item.Voices()[0];
    const int64_t heard = (int64_t(voice.FrameCount()) * platform::AudioRate + 99) / 100;  // rate >= 100 Hz
    for (int64_t left = heard + 1; left > 0 && voice.Playing(); left -= 4096) rig.Render(4096);
    EXPECT_FALSE(voice.Playing());
  }
  EXPECT_EQ(seen, kExpected.size());
}

// The first frames the mixer plays of a corpus file.
Samples Play(const std::string& name, int frames) {
  SoundRig rig;
  rig.list.Items.LoadFromMemory(Wrap(ReadFile(kCorpus / name)));
  rig.list.Items.FindItem("Corpus").PlaySound();
  return rig.Render(frames);
}

TEST(WavCorpus, KnownSamplesAreHeard) {
  struct Case {
    const char* File;
    Samples Heard;  // left, right of each frame, then silence
  } cases[] = {
      {"hound/pcmwaveformat-16bit-44100Hz-mono.wav", {2, 2, -3, -3, 5, 5, -7, -7, 0, 0}},
      {"hound/pcmwaveformat-16bit-44100Hz-mono-extra.wav", {2, 2, -3, -3, 5, 5, -7, -7, 0, 0}},
      {"hound/waveformatex-16bit-44100Hz-mono.wav", {2, 2, -3, -3, 5, 5, -7, -7, 0, 0}},
      {"hound/waveformatex-16bit-44100Hz-stereo.wav", {2, -3, 5, -7, 11, -13, 17, -19, 0, 0}},
      {"hound/pcmwaveformat-8bit-44100Hz-mono.wav",
       {4864, 4864, -13568, -13568, 22784, 22784, -32512, -32512, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(Play(c.File, 5), c.Heard) << c.File;
}

// Frame i of a file's data chunk as signed 16-bit stereo, read straight from the bytes.
struct RawPcm {
  Bytes Data;
  int Channels, Bits;
  int16_t At(size_t frame, int side) const {
    const size_t bytes = size_t(Bits / 8), index = (frame * size_t(Channels) + size_t(side % Channels)) * bytes;
    return Bits == 8 ? int16_t((Data[index] - 128) * 256) : int16_t(Data[index] | (Data[index + 1] << 8));
  }
};

RawPcm DataOf(const std::string& name, size_t dataOffset, size_t dataSize, int channels, int bits) {
  const Bytes file = ReadFile(kCorpus / name);
  return {Bytes(file.begin() + std::ptrdiff_t(dataOffset), file.begin() + std::ptrdiff_t(dataOffset + dataSize)),
          channels, bits};
}

TEST(WavCorpus, FilesAtTheOutputRateAreHeardUnchanged) {
  struct Case {
    const char* File;
    size_t DataOffset, DataSize;
    int Channels, Bits;
  } cases[] = {
      {"goaudio/8bit.wav", 44, 88200, 1, 8},
      {"goaudio/kick-16b441k.wav", 44, 31128, 2, 16},
      {"hound/pop.wav", 68, 200, 1, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    const RawPcm raw = DataOf(c.File, c.DataOffset, c.DataSize, c.Channels, c.Bits);
    const int frames = int(c.DataSize) / (c.Channels * c.Bits / 8);
    const Samples heard = Play(c.File, frames + 1);
    for (int i = 0; i < frames; ++i) {
      ASSERT_EQ(heard[2 * size_t(i)], raw.At(size_t(i), 0)) << i;
      ASSERT_EQ(heard[2 * size_t(i) + 1], raw.At(size_t(i), 1)) << i;
    }
    EXPECT_EQ(heard[2 * size_t(frames)], 0);
  }
}

TEST(WavCorpus, FilesAtOtherRatesAreInterpolated) {
  // 100 frames at 48000 Hz last 92 frames at 44100 Hz; each frame heard lies between the
  // two source frames around its position.
  for (const char* name : {"wavjl/48000_stereo_pcm16.wav", "wavjl/48000_stereo_pcm8.wav"}) {
    SCOPED_TRACE(name);
    const bool eightBit = std::string(name).find("pcm8") != std::string::npos;
    const RawPcm raw = DataOf(name, 44, eightBit ? 200 : 400, 2, eightBit ? 8 : 16);
    const Samples heard = Play(name, 100);
    for (size_t i = 0; i < 92; ++i) {
      const size_t at = i * 48000 / 44100, next = std::min<size_t>(at + 1, 99);
      for (int side = 0; side < 2; ++side) {
        const int16_t a = raw.At(at, side), b = raw.At(next, side), h = heard[2 * i + size_t(side)];
        ASSERT_GE(h, std::min(a, b)) << i;
        ASSERT_LE(h, std::max(a, b)) << i;
      }
    }
    EXPECT_EQ(heard[0], raw.At(0, 0));
    for (size_t i = 92 * 2; i < heard.size(); ++i) ASSERT_EQ(heard[i], 0) << i;
  }
}

}  // namespace
