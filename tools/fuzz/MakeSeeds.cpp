// fuzz_seeds DIR: writes small archives made by the writers into DIR/<target>/, as the
// starting corpus of each fuzz target.
#include <cstdio>
#include <array>
#include <filesystem>
#include <string>

#include "engine/ImageArchiveWriter.h"
#include "engine/SoundArchiveWriter.h"

namespace {

Surface Pattern(int width, int height) {
  Surface s(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) s.At(x, y) = RGB(uint8_t(x * 40), uint8_t(y * 60), uint8_t((x ^ y) * 30));
  return s;
}

void ImageSeeds(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  TImageArchiveEntry plain{"Plain", 0, 0, 0, 0, false, true, 0, Pattern(5, 3)};
  TImageArchiveEntry strip{"Strip", 4, 4, 1, 2, true, false, 0xFF00FF, Pattern(14, 9)};
  TImageArchiveEntry empty{"Empty", 0, 0, 0, 0, false, true, 0, std::nullopt};
  std::array<uint32_t, 256> palette{};
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = uint32_t(i * 0x010101);
  SaveImageArchive((dir / "one.dxg").string(), {plain});
  SaveImageArchive((dir / "three.dxg").string(), {plain, strip, empty}, &palette);
}

void SoundSeeds(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  const TSoundArchiveEntry click{"Click", false, 2, MakePcmWave(1, 22050, 8, {128, 255, 0, 128, 64})};
  const TSoundArchiveEntry hum{"Hum", true, 1, MakePcmWave(2, 44100, 16, {0, 0, 0, 0, 0x10, 0x27, 0xF0, 0xD8})};
  const TSoundArchiveEntry silent{"Silent", false, 0, MakePcmWave(1, 11025, 16, {})};
  const TSoundArchiveEntry deep{"Deep", false, 1, MakePcmWave(1, 8000, 24, {1, 2, 3, 4, 5, 6})};
  const TSoundArchiveEntry twin{"CLICK", false, 3, MakePcmWave(1, 22050, 8, {128})};
  SaveSoundArchive((dir / "one.dxg").string(), {click});
  SaveSoundArchive((dir / "mixed.dxg").string(), {click, hum, silent, deep, twin});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  ImageSeeds(dir / "image_archive_fuzz");
  SoundSeeds(dir / "sound_archive_fuzz");
  return 0;
}
