// Writes sound archives in the format TWaveCollection::LoadArchive reads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Wave.h"

// One item as the writer stores it.
struct TSoundArchiveEntry {
  std::string Name;
  bool Looped = false;
  int MaxPlayingCount = 0;
  TWave Wave;
};

// The archive's bytes.
std::vector<uint8_t> WriteSoundArchive(const std::vector<TSoundArchiveEntry>& entries);
// The same into a file; "Cannot create file "%s". %s" when it cannot be written.
void SaveSoundArchive(const std::string& fileName, const std::vector<TSoundArchiveEntry>& entries);
