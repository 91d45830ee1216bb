// The sound collection: name lookup, the sound archive reader's errors and the round trip
// through the archive writer.
#include "engine/WaveCollection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/ComponentStream.h"
#include "engine/SoundArchiveWriter.h"
#include "support/ErrorOf.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<TSoundArchiveEntry> SampleEntries() {
  return {
      {"Shot", false, 3, MakePcmWave(1, 22050, 8, {1, 2, 3})},
      {"Beep", true, 0, MakePcmWave(2, 44100, 16, {1, 0, 2, 0, 3, 0, 4, 0})},
      {"Silent", false, 70000, TWave{}},
  };
}

TEST(WaveCollection, FindsByNameIgnoringCaseAndLastWins) {
  TWaveCollection list;
  const char* names[] = {"Shot", "Roket", "shot", "", "Bonus", "A"};
  for (const char* name : names) list.Add().Name = name;
  EXPECT_EQ(&list.FindItem("SHOT"), &list.Items(2));
  EXPECT_EQ(&list.FindItem("roket"), &list.Items(1));
  EXPECT_EQ(&list.FindItem("a"), &list.Items(5));
  EXPECT_EQ(list.Find(""), nullptr);  // nameless items are not indexed
  EXPECT_EQ(list.Find("Shots"), nullptr);
  EXPECT_EQ(ErrorOf([&] { list.FindItem("Explod"); }), "Wave 'Explod' not found");
  list.Add().Name = "SHOT";
  EXPECT_EQ(&list.FindItem("shot"), &list.Items(6));
}

TEST(WaveCollection, NameHashBuckets) {
  // Length times 16 plus the first and second-to-last characters, lower case, in 0..255.
  EXPECT_EQ(TWaveCollection::NameHash(""), 0);
  EXPECT_EQ(TWaveCollection::NameHash("x"), 16);
  EXPECT_EQ(TWaveCollection::NameHash("Shot"), (64 + 's' + 'o') & 255);
  EXPECT_EQ(TWaveCollection::NameHash("SHOT"), TWaveCollection::NameHash("shot"));
}

TEST(WaveCollection, ArchiveRoundTrip) {
  TWaveCollection list;
  list.LoadFromMemory(WriteSoundArchive(SampleEntries()));
  ASSERT_EQ(list.Count(), 3);
  const auto entries = SampleEntries();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TWaveCollectionItem& item = list.Items(i);
    EXPECT_EQ(item.Name, entries[size_t(i)].Name);
    EXPECT_EQ(item.Looped(), entries[size_t(i)].Looped);
    EXPECT_EQ(item.MaxPlayingCount(), entries[size_t(i)].MaxPlayingCount);
    EXPECT_EQ(item.Wave.Format, entries[size_t(i)].Wave.Format);
    EXPECT_EQ(item.Wave.Data, entries[size_t(i)].Wave.Data);
    EXPECT_FALSE(item.Prepared());  // no sound device
  }
  EXPECT_EQ(&list.FindItem("beep"), &list.Items(1));
}

TEST(WaveCollection, LoadArchiveReplacesItemsFromFile) {
  const std::string path = ::testing::TempDir() + "wave_collection_test.dxg";
  SaveSoundArchive(path, SampleEntries());
  TWaveCollection list;
  list.Add().Name = "Old";
  list.LoadArchive(path);
  std::remove(path.c_str());
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Find("Old"), nullptr);
  EXPECT_EQ(ErrorOf([&] { list.LoadArchive(path); }),
            "Cannot open file \"" + path + "\". No such file or directory");
}

// An archive of one item with the given properties, written by hand.
Bytes OneItem(const std::function<void(TComponentWriter&)>& properties) {
  TComponentWriter w("TWAVECOLLECTIONCOMPONENT", "TWaveCollectionComponent");
  w.PropName("List");
  w.BeginCollection();
  w.BeginItem();
  properties(w);
  w.EndList();
  w.EndList();
  return w.Finish();
}

TEST(WaveCollection, ItemProperties) {
  TWaveCollection list;
  list.LoadFromMemory(OneItem([](TComponentWriter& w) {
    w.PropName("maxplayingcount");
    w.Integer(-5);
    w.PropName("NAME");
    w.String(std::string(300, 'n'));  // a long string
    w.PropName("Looped");
    w.Bool(true);
  }));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).MaxPlayingCount(), 0);  // negative becomes 0
  EXPECT_EQ(list.Items(0).Name, std::string(300, 'n'));
  EXPECT_TRUE(list.Items(0).Looped());
  EXPECT_TRUE(list.Items(0).Wave.Empty());
}

TEST(WaveCollection, ArchiveErrors) {
  const Bytes good = WriteSoundArchive(SampleEntries());
  Bytes notResource = good;
  notResource[0] = 0xFE;
  struct Case {
    const char* What;
    Bytes Archive;
    std::string Error;
  } cases[] = {
      {"not a resource", notResource, "Invalid stream format"},
      {"no children byte", Bytes(good.begin(), good.end() - 1), "Stream read error"},
      {"children", [&] { Bytes b = good; b.back() = 1; return b; }(), "Invalid stream format"},
      {"bad wave", OneItem([](TComponentWriter& w) { w.PropName("Wave.WAVE"), w.Binary(Bytes{'R', 'I', 'F', 'F'}); }),
       "Wave is invalid"},
      {"wave of the wrong tag", OneItem([](TComponentWriter& w) { w.PropName("Wave.WAVE"), w.String("RIFF"); }),
       "Invalid stream format"},
      {"count of the wrong tag", OneItem([](TComponentWriter& w) { w.PropName("MaxPlayingCount"), w.Bool(true); }),
       "Invalid stream format"},
      {"looped of the wrong tag", OneItem([](TComponentWriter& w) { w.PropName("Looped"), w.Integer(1); }),
       "Invalid stream format"},
      {"unknown property", OneItem([](TComponentWriter& w) { w.PropName("Volume"), w.Integer(1); }),
       "Property Volume does not exist"},
  };
  for (const Case& c : cases) {
    TWaveCollection list;
    EXPECT_EQ(ErrorOf([&] { list.LoadFromMemory(c.Archive); }), c.Error) << c.What;
  }
}

TEST(WaveCollection, EveryTruncationIsAReadError) {
  const Bytes good = WriteSoundArchive(SampleEntries());
  for (size_t n = 0; n < good.size(); ++n) {
    TWaveCollection list;
    ASSERT_EQ(ErrorOf([&] { list.LoadFromMemory(std::span(good.data(), n)); }), "Stream read error") << n;
  }
}

}  // namespace
