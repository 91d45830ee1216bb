// fuzz_seeds DIR: writes small archives made by the writers into DIR/<target>/, as the
// starting corpus of each fuzz target.
#include <cstdio>
#include <array>
#include <filesystem>
#include <string>

#include "engine/ImageArchiveWriter.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  ImageSeeds(dir / "image_archive_fuzz");
  return 0;
}
