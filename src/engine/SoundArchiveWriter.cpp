// Sound archive writer: the resource header, "TPF0" and the collection of named waves.
#include "engine/SoundArchiveWriter.h"

#include "engine/ComponentStream.h"

std::vector<uint8_t> WriteSoundArchive(const std::vector<TSoundArchiveEntry>& entries) {
  TComponentWriter w("TWAVECOLLECTIONCOMPONENT", "TWaveCollectionComponent");
  w.Collection("List", entries, [&w](const TSoundArchiveEntry& entry) {
    w.PropName("Name");
    w.String(entry.Name);
    w.PropName("Looped");
    w.Bool(entry.Looped);
    w.PropName("MaxPlayingCount");
    w.Integer(entry.MaxPlayingCount);
    w.PropName("Wave.WAVE");
    w.Binary(entry.Wave.ToRiff());
  });
  return w.Finish();
}

void SaveSoundArchive(const std::string& fileName, const std::vector<TSoundArchiveEntry>& entries) {
  WriteArchiveFile(fileName, WriteSoundArchive(entries));
}
