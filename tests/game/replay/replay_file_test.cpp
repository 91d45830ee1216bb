// The replay file on its own: what is written reads back the same, a file cut short reads
// up to its last whole second, and damage of any kind is refused with its reason.
#include "game/replay/ReplayFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/GameFixture.h"

namespace {

using replay::Record;

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

replay::Header SomeHeader() {
  replay::Header header;
  header.GameVersion = "1.0.0";
  header.DataHashes = {1, 2, 3};
  header.StartedAt = 1796000000;
  header.Begin.RandomState = 0x1234567890ABCDEFull;
  header.Begin.RandomIncrement = 77;
  header.Begin.FrameCounter = 200;
  header.Begin.MouseFire = true;
  header.Begin.Timer3 = true;
  header.Begin.PadKeys[3] = 13;
  header.Begin.PressShift[13] = 4;
  return header;
}

// Three seconds of play: frames (some with a new reading), timer ticks, events, marks.
std::vector<Record> SomeRecords() {
  std::vector<Record> records;
  Record settle;
  settle.What = Record::Kind::Settle;
  auto settled = std::make_shared<replay::Start>();
  settled->MouseFire = true;
  settled->PressScreen = {"Menu", ""};
  settled->MouseOverFlags = 1u << 18;
  settle.Settled = settled;
  records.push_back(settle);
  for (int tick = 1; tick <= 150; ++tick) {
    Record frame;
    frame.Poll.Devices = tick > 60 ? 1u << isButton2 : 0;
    frame.Poll.PadConnected = tick > 100;
    frame.Poll.StickX = tick > 120 ? -1 : 0;
    records.push_back(frame);
    if (tick == 10) {
      Record key;
      key.What = Record::Kind::Event;
      key.Input.Type = platform::EventType::KeyUp;
      key.Input.Key = 'P';
      key.Input.Shift = platform::ssAlt;
      key.CursorX = 400, key.CursorY = -3;
      records.push_back(key);
    }
    if (tick == 77) records.push_back(Record{Record::Kind::Timer2, {}, {}, 0, 0, 0});
    if (tick % replay::kTicksPerMark == 0) {
      Record mark;
      mark.What = Record::Kind::Mark;
      mark.StateHash = 0xABCDEF00u + uint64_t(tick);
      records.push_back(mark);
    }
  }
  return records;
}

std::string WriteReplay(const std::string& path, bool finish) {
  replay::Writer writer;
  EXPECT_TRUE(writer.Open(path, SomeHeader()));
  for (const Record& r : SomeRecords()) writer.Add(r);
  if (finish) writer.Finish({4321, 3, 0xFEEDull, 150});
  return path;
}

void ExpectSameRecords(const std::vector<Record>& got, const std::vector<Record>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].What, want[i].What) << i;
    EXPECT_EQ(got[i].Poll, want[i].Poll) << i;
    EXPECT_EQ(got[i].StateHash, want[i].StateHash) << i;
    EXPECT_EQ(got[i].Input.Type, want[i].Input.Type) << i;
    EXPECT_EQ(got[i].Input.Key, want[i].Input.Key) << i;
    EXPECT_EQ(got[i].Input.Shift, want[i].Input.Shift) << i;
    EXPECT_EQ(got[i].CursorY, want[i].CursorY) << i;
  }
}

TEST(ReplayFile, ReadsBackWhatWasWritten) {
  TempFolder folder;
  const replay::Replay read = replay::Read(WriteReplay(folder.Dir() + "game.zreplay", true));
  EXPECT_EQ(read.Head.GameVersion, "1.0.0");
  EXPECT_EQ(read.Head.DataHashes, (std::array<uint32_t, 3>{1, 2, 3}));
  EXPECT_EQ(read.Head.Begin.RandomState, 0x1234567890ABCDEFull);
  EXPECT_EQ(read.Head.Begin.FrameCounter, 200);
  EXPECT_TRUE(read.Head.Begin.MouseFire && read.Head.Begin.Timer3 && !read.Head.Begin.Timer2);
  EXPECT_EQ(read.Head.Begin.PadKeys[3], 13);
  EXPECT_EQ(read.Head.Begin.PressShift[13], std::optional<uint32_t>(4));
  EXPECT_FALSE(read.Head.Begin.PressShift[12].has_value());
  ExpectSameRecords(read.Records, SomeRecords());
  ASSERT_TRUE(read.Records[0].Settled);
  EXPECT_TRUE(read.Records[0].Settled->MouseFire);
  EXPECT_EQ(read.Records[0].Settled->PressScreen[0], "Menu");
  EXPECT_EQ(read.Records[0].Settled->MouseOverFlags, 1u << 18);
  ASSERT_TRUE(read.End.has_value());
  EXPECT_EQ(read.End->Score, 4321u);
  EXPECT_EQ(read.End->Level, 3);
  EXPECT_EQ(read.End->StateHash, 0xFEEDull);
}

TEST(ReplayFile, ACutShortFileReadsUpToItsLastWholeSecond) {
  TempFolder folder;
  const std::vector<uint8_t> whole = Bytes(WriteReplay(folder.Dir() + "game.zreplay", true));
  const std::vector<uint8_t> open = Bytes(WriteReplay(folder.Dir() + "crashed.zreplay", false));
  // Not finished (a crash): no ending, but every second written.
  const replay::Replay crashed = replay::Parse(open);
  EXPECT_FALSE(crashed.End.has_value());
  ExpectSameRecords(crashed.Records, SomeRecords());
  // Cut anywhere inside the last chunk: the seconds before it are still there.
  for (size_t cut : {whole.size() - 1, whole.size() - 30, open.size() - 5}) {
    const replay::Replay part = replay::Parse(std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(cut)));
    EXPECT_FALSE(part.End.has_value()) << cut;
    EXPECT_LE(part.Records.size(), SomeRecords().size()) << cut;
    EXPECT_GE(part.Records.size(), 100u) << cut;
  }
}

TEST(ReplayFile, DamageIsRefusedWithItsReason) {
  TempFolder folder;
  const std::vector<uint8_t> good = Bytes(WriteReplay(folder.Dir() + "game.zreplay", true));
  const auto changed = [&good](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  struct Case {
    const char* What;
    std::vector<uint8_t> Bytes;
    const char* Message;
  };
  const std::vector<Case> cases = {
      {"empty", {}, "not a Zarovel replay"},
      {"wrong magic", changed(0, 'X'), "not a Zarovel replay"},
      {"a future format", changed(8, 2), "made by a newer Zarovel (replay format 2)"},
      {"a changed header byte", changed(20, uint8_t(good[20] ^ 1)), "damaged replay: the header fails its check"},
      {"a flipped byte in the input", changed(good.size() / 2, uint8_t(good[good.size() / 2] ^ 0x10)),
       "damaged replay"},
      {"a changed ending", changed(good.size() - 6, uint8_t(good[good.size() - 6] ^ 1)),
       "damaged replay: the file fails its check"},
      {"bytes after the end", [&] {
         std::vector<uint8_t> bytes = good;
         bytes.push_back(0);
         return bytes;
       }(), "damaged replay: bytes after its end"},
      {"an unknown block", [&] {
         std::vector<uint8_t> bytes = Bytes(folder.Dir() + "game.zreplay");
         bytes.insert(bytes.end() - 23, 'Q');
         return bytes;
       }(), "damaged replay"},
  };
  for (const Case& c : cases) {
    try {
      replay::Parse(c.Bytes);
      ADD_FAILURE() << c.What << ": read";
    } catch (const replay::ReplayError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << c.What << ": " << error.what();
    }
  }
}

TEST(ReplayFile, AFileThatCannotBeWrittenLeavesTheGameAlone) {
  replay::Writer writer;
  EXPECT_FALSE(writer.Open("/proc/no/such/folder/game.zreplay", SomeHeader()));
  for (const Record& r : SomeRecords()) writer.Add(r);  // nothing happens, nothing breaks
  writer.Finish({});
  EXPECT_FALSE(writer.Ok());
}

}  // namespace
