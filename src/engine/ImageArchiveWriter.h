// Writes image archives in the format TPictureCollection::LoadArchive reads.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Surface.h"

// One item as the writer stores it.
struct TImageArchiveEntry {
  std::string Name;
  int PatternHeight = 0, PatternWidth = 0, SkipHeight = 0, SkipWidth = 0;
  bool SystemMemory = false, Transparent = true;
  uint32_t TransparentColor = 0;  // 0x00BBGGRR
  std::optional<Surface> Pixels;  // none: an empty "TDIB" picture
};

// The archive's bytes; the colour table (0x00RRGGBB entries) is written when given.
std::vector<uint8_t> WriteImageArchive(const std::vector<TImageArchiveEntry>& entries,
                                       const std::array<uint32_t, 256>* colorTable = nullptr);
// The same into a file; "Cannot create file "%s". %s" when it cannot be written.
void SaveImageArchive(const std::string& fileName, const std::vector<TImageArchiveEntry>& entries,
                      const std::array<uint32_t, 256>* colorTable = nullptr);
