// libFuzzer target: the image archive reader, then preparing and drawing what it read.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/ComponentStream.h"
#include "engine/PictureCollection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPictureCollection collection;
  try {
    collection.LoadFromMemory(std::span<const uint8_t>(data, size));
  } catch (const EArchiveError&) {
    return 0;
  }
  collection.PrepareAll();
  collection.BuildPalette();
  Surface dest(64, 48);
  for (int i = 0; i < collection.Count() && i < 16; ++i) {
    TPictureCollectionItem& item = collection.Items(i);
    if (collection.Find(item.Name) == nullptr && !item.Name.empty()) __builtin_trap();
    const int last = item.NumPatterns() - 1;
    item.DrawPattern(dest, -3, -2, 0);
    item.StretchPattern(dest, Bounds(5, 5, 70, 9), last);
    item.BlendPattern(dest, Bounds(-7, 40, 20, 20), 0, 100);
    item.RotateBlendPattern(dest, 30, 20, 25, 17, last, 0.5, 0.5, i * 37, 200);
  }
  return 0;
}
