// Tests of the picture collection: pattern split, name lookup, the archive reader's errors,
// writer round trip, the colour table and preparation following the display.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/ComponentStream.h"
#include "engine/DXDraw.h"
#include "engine/ImageArchiveWriter.h"
#include "engine/PictureCollection.h"
#include "engine/platform/headless/HeadlessPlatform.h"
#include "support/ErrorOf.h"

namespace {

using Bytes = std::vector<uint8_t>;

Surface Picture(int w, int h) {
  Surface s(w, h);
  for (size_t i = 0; i < s.Pixels.size(); ++i) s.Pixels[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
  return s;
}

struct SplitCase {
  int W, H, PatternWidth, PatternHeight, SkipWidth, SkipHeight;
  int Prepared, Unprepared;
  int Probe;
  TRect ProbeRect;
};

TEST(PictureCollectionItem, PatternSplit) {
  const std::vector<SplitCase> cases = {
      {100, 20, 0, 0, 0, 0, 1, 1, 0, {0, 0, 100, 20}},
      {100, 20, 20, 20, 0, 0, 5, 5, 3, {60, 0, 80, 20}},
      {100, 20, 18, 20, 2, 0, 5, 5, 4, {80, 0, 98, 20}},
      {98, 20, 18, 20, 2, 0, 5, 5, 4, {80, 0, 98, 20}},  // the unprepared count adds the last cell
      {30, 50, 10, 10, 0, 10, 9, 9, 8, {20, 40, 30, 50}},  // rows at 0, 20 and 40
      {100, 20, 40, 0, 0, 0, 2, 2, 1, {40, 0, 80, 20}},
      {100, 20, 101, 20, 0, 0, 0, 0, 0, {}},  // a cell larger than the picture
      {100, 20, 10, 20, -10, 0, 0, 1, 0, {}},  // cells that do not advance
      {100, 20, -5, 0, 0, 0, 1, 0, 0, {0, 0, 100, 20}},  // 0 or less: the whole width
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const SplitCase& c = cases[i];
    SCOPED_TRACE(i);
    TPictureCollectionItem item;
    item.PatternWidth = c.PatternWidth, item.PatternHeight = c.PatternHeight;
    item.SkipWidth = c.SkipWidth, item.SkipHeight = c.SkipHeight;
    item.Picture.Graphic = TDib{Picture(c.W, c.H), 24, {}};
    EXPECT_EQ(item.NumPatterns(), c.Unprepared);
    EXPECT_TRUE(item.PatternRect(0).Empty());
    EXPECT_EQ(item.PatternSurface(), nullptr);
    item.Prepare();
    EXPECT_EQ(item.NumPatterns(), c.Prepared);
    EXPECT_EQ(item.PatternRect(c.Probe), c.ProbeRect);
    EXPECT_TRUE(item.PatternRect(-1).Empty());
    EXPECT_TRUE(item.PatternRect(c.Prepared).Empty());
    item.Unprepare();
    EXPECT_EQ(item.NumPatterns(), c.Unprepared);
  }
}

TEST(PictureCollectionItem, CellSizeAndKey) {
  TPictureCollectionItem item;
  EXPECT_EQ(item.NumPatterns(), 0);
  item.Prepare();  // no graphic: no patterns
  EXPECT_EQ(item.NumPatterns(), 0);
  item.Picture.Graphic = TDib{Picture(30, 40), 24, {}};
  EXPECT_EQ(item.CellWidth(), 30);
  EXPECT_EQ(item.CellHeight(), 40);
  item.PatternWidth = 10;
  EXPECT_EQ(item.CellWidth(), 10);
  item.TransparentColor = 0x00332211;  // 0x00BBGGRR
  EXPECT_EQ(item.TransparentKey(), 0x112233u);
  item.TransparentColor = 0xFF00000F;  // clBtnFace
  EXPECT_EQ(item.TransparentKey(), 0xD4D0C8u);
}

TEST(PictureCollection, NameHashAsDefined) {
  EXPECT_EQ(TPictureCollection::NameHash(""), 0);
  EXPECT_EQ(TPictureCollection::NameHash("A"), 16);
  EXPECT_EQ(TPictureCollection::NameHash("ab"), (32 + 'a' + 'a') % 256);
  EXPECT_EQ(TPictureCollection::NameHash("Vzriv"), (80 + 'v' + 'i') % 256);
  EXPECT_EQ(TPictureCollection::NameHash("VZRIV"), TPictureCollection::NameHash("vzriv"));
  EXPECT_EQ(TPictureCollection::NameHash(std::string(16, 'a')), (256 + 'a' + 'a') % 256);
}

TEST(PictureCollection, LookupIgnoresCaseAndTheLaterOfEqualNamesWins) {
  TPictureCollection c;
  for (const char* name : {"PlayerR", "Bomba", "bomba", "Vzriv", ""}) c.Add().Name = name;
  EXPECT_EQ(&c.FindItem("PLAYERR"), &c.Items(0));
  EXPECT_EQ(&c.FindItem("playerr"), &c.Items(0));
  EXPECT_EQ(&c.FindItem("BOMBA"), &c.Items(2));
  EXPECT_EQ(&c.FindItem("vZRIV"), &c.Items(3));
  c.Add().Name = "VZRIV";
  EXPECT_EQ(&c.FindItem("Vzriv"), &c.Items(5));
  EXPECT_EQ(ErrorOf([&] { c.FindItem("Nope"); }), "Image 'Nope' not found");
  EXPECT_EQ(ErrorOf([&] { c.FindItem(""); }), "Image '' not found");
  EXPECT_EQ(c.Find("Vzri"), nullptr);
}

std::vector<TImageArchiveEntry> SampleEntries() {
  std::vector<TImageArchiveEntry> entries(4);
  entries[0].Name = "Player";
  entries[0].PatternWidth = 18, entries[0].PatternHeight = 20, entries[0].SkipWidth = 2;
  entries[0].TransparentColor = 0x00FF00FF;
  entries[0].Pixels = Picture(98, 20);
  entries[1].Name = "Fon";
  entries[1].Transparent = false, entries[1].SystemMemory = true;
  entries[1].SkipHeight = 3, entries[1].PatternHeight = 7;
  entries[1].TransparentColor = 0xFF00000F;
  entries[1].Pixels = Picture(5, 17);
  entries[2].Name = std::string(300, 'L');  // a long string value
  entries[2].Pixels = Picture(1, 1);
  entries[3].Name = "Empty";  // no graphic
  return entries;
}

TEST(ImageArchive, WriterRoundTripKeepsEveryPixelAndProperty) {
  std::array<uint32_t, 256> table{};
  for (size_t i = 0; i < table.size(); ++i) table[i] = uint32_t(i * 0x010305) & 0xFFFFFF;
  const auto entries = SampleEntries();
  TPictureCollection c;
  c.LoadFromMemory(WriteImageArchive(entries, &table));
  EXPECT_EQ(c.ColorTable, table);
  ASSERT_EQ(c.Count(), int(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    const TImageArchiveEntry& e = entries[i];
    const TPictureCollectionItem& item = c.Items(int(i));
    EXPECT_EQ(item.Name, e.Name);
    EXPECT_EQ(item.PatternWidth, e.PatternWidth);
    EXPECT_EQ(item.PatternHeight, e.PatternHeight);
    EXPECT_EQ(item.SkipWidth, e.SkipWidth);
    EXPECT_EQ(item.SkipHeight, e.SkipHeight);
    EXPECT_EQ(item.SystemMemory, e.SystemMemory);
    EXPECT_EQ(item.Transparent, e.Transparent);
    EXPECT_EQ(item.TransparentColor, e.TransparentColor);
    ASSERT_EQ(item.Picture.Empty(), !e.Pixels);
    if (e.Pixels) {
      EXPECT_EQ(item.Picture.Graphic->Pixels.Width, e.Pixels->Width);
      EXPECT_EQ(item.Picture.Graphic->Pixels.Height, e.Pixels->Height);
      EXPECT_EQ(item.Picture.Graphic->Pixels.Pixels, e.Pixels->Pixels);
    }
  }
  EXPECT_FALSE(c.Items(0).Prepared());  // no display
}

TEST(ImageArchive, SkipsAreLeftOutWhenZero) {
  const Bytes withSkip = WriteImageArchive({SampleEntries()[0]});
  const std::string text(withSkip.begin(), withSkip.end());
  EXPECT_NE(text.find("SkipWidth"), std::string::npos);
  EXPECT_EQ(text.find("SkipHeight"), std::string::npos);
  EXPECT_EQ(text.find("ColorTable"), std::string::npos);
}

TEST(ImageArchive, SaveAndLoadFile) {
  const std::string path = ::testing::TempDir() + "picture_collection_test.dxg";
  SaveImageArchive(path, SampleEntries());
  TPictureCollection c;
  c.Add().Name = "Old";
  c.LoadArchive(path);
  EXPECT_EQ(c.Count(), 4);
  EXPECT_EQ(c.Find("Old"), nullptr);
  std::remove(path.c_str());
  EXPECT_EQ(ErrorOf([&] { c.LoadArchive(path); }), "Cannot open file \"" + path + "\". No such file or directory");
}

// A hand-built archive: "List" with one item holding the given property bytes.
Bytes ArchiveWithItem(const std::function<void(TComponentWriter&)>& props) {
  TComponentWriter w("X", "TPictureCollectionComponent");
  w.PropName("List");
  w.BeginCollection();
  w.BeginItem();
  props(w);
  w.EndList();
  w.EndList();
  return w.Finish();
}

TEST(ImageArchive, ColourIdentsAndUnknownGraphics) {
  TPictureCollection c;
  c.LoadFromMemory(ArchiveWithItem([](TComponentWriter& w) {
    w.PropName("Name");
    w.String("A");
    w.PropName("TransparentColor");
    w.Ident("clFuchsia");
    w.PropName("Picture.Data");
    Bytes payload;
    TComponentWriter::PutShortString(payload, "TMetafile");
    payload.insert(payload.end(), {1, 2, 3});
    w.Binary(payload);
  }));
  const TPictureCollectionItem& item = c.FindItem("a");
  EXPECT_EQ(item.TransparentColor, 0xFF00FFu);
  EXPECT_TRUE(item.Picture.Empty());
  c.PrepareAll();
  EXPECT_EQ(c.Items(0).NumPatterns(), 0);
  Surface dest(4, 4);
  c.Items(0).DrawPattern(dest, 0, 0, 0);  // nothing to draw, no error
}

TEST(ImageArchive, ErrorsCarryTheirTexts) {
  auto prop = [](const char* name, auto write) {
    return ArchiveWithItem([=](TComponentWriter& w) {
      w.PropName(name);
      write(w);
    });
  };
  Bytes badSignature = WriteImageArchive({});
  badSignature[27 + 10] = 'X';  // "TPF0" follows the header of a 27-byte name
  TComponentWriter root("X", "TPictureCollectionComponent");
  root.PropName("Items");
  root.Integer(0);
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {Bytes{0xFE, 10, 0}, "Invalid stream format"},
      {badSignature, "Invalid stream format"},
      {root.Finish(), "Property Items does not exist"},
      {prop("Colour", [](TComponentWriter& w) { w.Integer(1); }), "Property Colour does not exist"},
      {prop("PatternWidth", [](TComponentWriter& w) { w.String("1"); }), "Invalid stream format"},
      {prop("TransparentColor", [](TComponentWriter& w) { w.Ident("clNoSuch"); }), "Invalid stream format"},
      {prop("Picture.Data", [](TComponentWriter& w) { w.Binary(Bytes{4, 'T', 'D', 'I', 'B', 1, 2}); }), "DIB is invalid"},
      {prop("Picture.Data", [](TComponentWriter& w) { w.Binary(Bytes{4, 'T', 'D', 'I', 'B', 41, 0, 0, 0}); }), "DIB is invalid"},
      {prop("Picture.Data", [](TComponentWriter& w) { w.Binary(Bytes{7, 'T', 'B', 'i', 't', 'm', 'a', 'p', 9, 0, 0, 0}); }),
       "Stream read error"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    TPictureCollection c;
    EXPECT_EQ(ErrorOf([&] { c.LoadFromMemory(cases[i].first); }), cases[i].second);
  }
}

TEST(ImageArchive, EveryTruncationFailsCleanly) {
  const Bytes full = WriteImageArchive(SampleEntries());
  for (size_t cut = 0; cut < full.size(); cut += (cut < 200 ? 1 : 97)) {
    TPictureCollection c;
    const Bytes part(full.begin(), full.begin() + std::ptrdiff_t(cut));
    const std::string error = ErrorOf([&] { c.LoadFromMemory(part); });
    EXPECT_TRUE(error == "Stream read error" || error == "DIB is invalid") << cut << ": " << error;
  }
}

TEST(PictureCollection, BuildPaletteFillsFreeEntriesInOrder) {
  TPictureCollection c;
  TPictureCollectionItem& paletted = c.Add();
  paletted.Picture.Graphic = TDib{Surface(1, 1), 4, {0x000000, 0x102030, 0xFF0000, 0x102030, 0x405060}};
  c.Add();  // no graphic
  TPictureCollectionItem& trueColour = c.Add();
  trueColour.Picture.Graphic = TDib{Surface(1, 1), 24, {0x0A0B0C}};
  c.BuildPalette();
  EXPECT_EQ(c.ColorTable[0], 0x000000u);
  EXPECT_EQ(c.ColorTable[1], 0x800000u);
  EXPECT_EQ(c.ColorTable[7], 0xC0C0C0u);
  EXPECT_EQ(c.ColorTable[249], 0xFF0000u);
  EXPECT_EQ(c.ColorTable[255], 0xFFFFFFu);
  EXPECT_EQ(c.ColorTable[8], 0x102030u);  // black and red were fixed already
  EXPECT_EQ(c.ColorTable[9], 0x405060u);
  EXPECT_EQ(c.ColorTable[10], 0x0A0B0Cu);  // the padding of the 4-bit palette is black: known
  EXPECT_EQ(c.ColorTable[11], 0u);
}

TEST(PictureCollection, BuildPaletteStopsWhenFull) {
  TPictureCollection c;
  for (int k = 0; k < 2; ++k) {
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 256; ++i) colours.push_back(0x010000 * (k + 1) + i);
    c.Add().Picture.Graphic = TDib{Surface(1, 1), 8, colours};
  }
  c.BuildPalette();
  EXPECT_EQ(c.ColorTable[8], 0x010000u);
  EXPECT_EQ(c.ColorTable[247], 0x0100EFu);  // 240 free entries, all from the first item
  EXPECT_EQ(c.ColorTable[248], 0x808080u);
}

TEST(DXImageList, PreparesWithTheDisplay) {
  platform::HeadlessPlatform platform;
  auto display = std::make_unique<TDXDraw>(platform);
  TDXImageList list;
  list.Items.LoadFromMemory(WriteImageArchive(SampleEntries()));
  list.SetDXDraw(display.get());
  EXPECT_FALSE(list.Items.Items(0).Prepared());
  display->InitDisplay();
  EXPECT_TRUE(list.Items.Items(0).Prepared());
  EXPECT_EQ(list.Items.Items(0).NumPatterns(), 5);
  list.Items.LoadFromMemory(WriteImageArchive(SampleEntries()));  // loading while initialised prepares
  EXPECT_TRUE(list.Items.Items(1).Prepared());
  display->Finalize();
  EXPECT_FALSE(list.Items.Items(0).Prepared());
  display->InitDisplay();
  EXPECT_TRUE(list.Items.Items(0).Prepared());
  display.reset();  // Destroying: the list lets go of the display
  EXPECT_EQ(list.DXDraw(), nullptr);
  EXPECT_FALSE(list.Items.Items(0).Prepared());
}

TEST(DXImageList, LinkingToAnInitialisedDisplayPreparesAtOnce) {
  platform::HeadlessPlatform platform;
  TDXDraw display(platform);
  display.InitDisplay();
  {
    TDXImageList list;
    list.Items.LoadFromMemory(WriteImageArchive(SampleEntries()));
    list.SetDXDraw(&display);
    EXPECT_TRUE(list.Items.Items(0).Prepared());
  }  // the list unregisters itself; later notices reach nobody
  display.Finalize();
}

}  // namespace
