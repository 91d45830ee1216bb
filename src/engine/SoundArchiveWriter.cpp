// Sound archive writer: the resource header, "TPF0" and the collection of named waves.
#include "engine/SoundArchiveWriter.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "engine/ComponentStream.h"

std::vector<uint8_t> WriteSoundArchive(const std::vector<TSoundArchiveEntry>& entries) {
  TComponentWriter w("TWAVECOLLECTIONCOMPONENT", "TWaveCollectionComponent");
  w.PropName("List");
  w.BeginCollection();
  for (const TSoundArchiveEntry& entry : entries) {
    w.BeginItem();
    w.PropName("Name");
    w.String(entry.Name);
    w.PropName("Looped");
    w.Bool(entry.Looped);
    w.PropName("MaxPlayingCount");
    w.Integer(entry.MaxPlayingCount);
    w.PropName("Wave.WAVE");
    w.Binary(entry.Wave.ToRiff());
    w.EndList();
  }
  w.EndList();  // end of the collection
  return w.Finish();
}

void SaveSoundArchive(const std::string& fileName, const std::vector<TSoundArchiveEntry>& entries) {
  const std::vector<uint8_t> bytes = WriteSoundArchive(entries);
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (!file) throw EArchiveError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!file) throw EArchiveError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
}
