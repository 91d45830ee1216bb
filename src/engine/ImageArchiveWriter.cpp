// Image archive writer: the resource header, "TPF0", the colour table and the item collection.
#include "engine/ImageArchiveWriter.h"

#include "engine/ComponentStream.h"
#include "engine/Dib.h"

std::vector<uint8_t> WriteImageArchive(const std::vector<TImageArchiveEntry>& entries,
                                       const std::array<uint32_t, 256>* colorTable) {
  TComponentWriter w("TPICTURECOLLECTIONCOMPONENT", "TPictureCollectionComponent");
  if (colorTable) {
    std::vector<uint8_t> table;
    for (uint32_t color : *colorTable) TComponentWriter::PutU32(table, color & 0xFFFFFF);  // blue, green, red, 0
    w.PropName("List.ColorTable");
    w.Binary(table);
  }
  w.Collection("List", entries, [&w](const TImageArchiveEntry& entry) {
    w.PropName("Name");
    w.String(entry.Name);
    w.PropName("PatternHeight");
    w.Integer(entry.PatternHeight);
    w.PropName("PatternWidth");
    w.Integer(entry.PatternWidth);
    std::vector<uint8_t> picture;
    TComponentWriter::PutShortString(picture, "TDIB");
    if (entry.Pixels) {
      const std::vector<uint8_t> dib = EncodeDib24(*entry.Pixels);
      picture.insert(picture.end(), dib.begin(), dib.end());
    }
    w.PropName("Picture.Data");
    w.Binary(picture);
    if (entry.SkipHeight != 0) {
      w.PropName("SkipHeight");
      w.Integer(entry.SkipHeight);
    }
    if (entry.SkipWidth != 0) {
      w.PropName("SkipWidth");
      w.Integer(entry.SkipWidth);
    }
    w.PropName("SystemMemory");
    w.Bool(entry.SystemMemory);
    w.PropName("Transparent");
    w.Bool(entry.Transparent);
    w.PropName("TransparentColor");
    w.Integer(int32_t(entry.TransparentColor));
  });
  return w.Finish();
}

void SaveImageArchive(const std::string& fileName, const std::vector<TImageArchiveEntry>& entries,
                      const std::array<uint32_t, 256>* colorTable) {
  WriteArchiveFile(fileName, WriteImageArchive(entries, colorTable));
}
