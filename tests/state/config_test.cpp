// Tests of Config.cfg loading and saving and of the score table operations.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "state/Config.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string Vanya = "\xC2\xE0\xED\xFF";  // "Ваня" in Windows-1251

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "zarovel-config-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    Dir = tmpl + "/";
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string CfgPath() const { return Dir + "Config.cfg"; }

  Bytes ReadCfg() const {
    std::ifstream in(CfgPath(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void WriteCfg(const Bytes& data) const {
    std::ofstream out(CfgPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  }
  std::set<std::string> DirEntries() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.insert(e.path().filename().string());
    return names;
  }

  std::string Dir;
};

uint32_t U32At(const Bytes& b, size_t at) {
  return b[at] | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void PutU32At(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

ShortName Name(const std::string& text) {
  ShortName n;
  n.Set(text);
  return n;
}

// A table with the given true scores; entry k is named "E<k>".
Settings Table(const std::vector<uint32_t>& scores) {
  Settings s;
  for (int k = 1; k <= Settings::ScoreCount; ++k) {
    s.Entry(k).Name.Set("E" + std::to_string(k));
    s.Entry(k).Score = EncodeScore(scores[k - 1]);
  }
  return s;
}
std::vector<uint32_t> TrueScores(const Settings& s) {
  std::vector<uint32_t> v;
  for (const ScoreEntry& e : s.Scores) v.push_back(DecodeScore(e.Score));
  return v;
}
std::vector<std::string> Names(const Settings& s) {
  std::vector<std::string> v;
  for (const ScoreEntry& e : s.Scores) v.push_back(e.Name.Get());
  return v;
}

TEST(ScoreMask, EncodesByXor) {
  EXPECT_EQ(ScoreMask, 27182u);
  EXPECT_EQ(EncodeScore(100), 100u ^ 27182u);
  EXPECT_EQ(DecodeScore(EncodeScore(0xDEADBEEF)), 0xDEADBEEFu);
}

TEST(ShortNameTest, SetCutsAtTwelveAndLeavesTheRest) {
  ShortName n;
  std::memset(n.Chars, '#', sizeof n.Chars);
  n.Set("abc");
  EXPECT_EQ(n.Length, 3);
  EXPECT_EQ(n.Get(), "abc");
  EXPECT_EQ(n.Chars[3], '#');
  n.Set("ABCDEFGHIJKLMNOP");
  EXPECT_EQ(n.Get(), "ABCDEFGHIJKL");
  n.Length = 200;
  EXPECT_EQ(n.Get().size(), 12u);
}

TEST_F(ConfigTest, MissingFileWritesDefaults) {
  Settings s;
  s.SendScore = 1;  // not a default: survives
  s.PlayerName.Set("Old");
  const LoadResult r = LoadConfig(s, Dir);
  EXPECT_TRUE(r.DefaultsMade);
  EXPECT_EQ(r.WriteError, "");

  EXPECT_EQ(s.MusicOn, 1);
  EXPECT_EQ(s.SoundOn, 1);
  EXPECT_EQ(s.Windowed, 1);
  EXPECT_EQ(s.SendScore, 1);
  EXPECT_EQ(s.PlayerName.Length, 0);
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(s.Entry(k).Name.Get(), Vanya);
    EXPECT_EQ(DecodeScore(s.Entry(k).Score), uint32_t(110 - 10 * k));
  }

  const Bytes f = ReadCfg();
  ASSERT_EQ(f.size(), 220u);
  EXPECT_EQ(f[0], 1);
  EXPECT_EQ(f[1], 1);
  EXPECT_EQ(f[2], 1);
  EXPECT_EQ(f[3], 1);
  EXPECT_EQ(f[4], 0);
  for (int k = 1; k <= 10; ++k) {
    const size_t at = 20 * k;
    EXPECT_EQ(f[at], 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(f[at + 1 + i], uint8_t(uint8_t(Vanya[i]) + k)) << k << ' ' << i;
    EXPECT_EQ(U32At(f, at + 16), uint32_t(110 - 10 * k) ^ 27182u);
  }
  EXPECT_EQ(DirEntries(), std::set<std::string>{"Config.cfg"});
}

TEST_F(ConfigTest, ShortFileIsReplacedByDefaults) {
  Settings fresh;
  LoadConfig(fresh, Dir);
  const Bytes defaults = ReadCfg();

  for (size_t size : {0u, 1u, 219u}) {
    WriteCfg(Bytes(size, 0x55));
    Settings s;
    EXPECT_TRUE(LoadConfig(s, Dir).DefaultsMade) << size;
    EXPECT_EQ(ReadCfg(), defaults) << size;
    EXPECT_EQ(std::memcmp(&s, &fresh, sizeof s), 0) << "a short read must not leak into memory";
  }
}

TEST_F(ConfigTest, DefaultsThatCannotBeWrittenReportTheError) {
  Settings s;
  const LoadResult r = LoadConfig(s, Dir + "missing/");
  EXPECT_TRUE(r.DefaultsMade);
  EXPECT_NE(r.WriteError, "");
  EXPECT_EQ(DecodeScore(s.Entry(1).Score), 100u);
}

// A hand-made record checks every field's offset and byte order.
TEST_F(ConfigTest, ReadsFieldsAtTheirOffsetsAndWritesThemBack) {
  Bytes f(220);
  for (size_t i = 0; i < f.size(); ++i) f[i] = uint8_t(i * 7 + 3);  // every byte distinct-ish
  f[0] = 0;   // music off
  f[1] = 1;   // sound on
  f[2] = 0;   // full screen: loaded as stored
  f[3] = 1;   // send score
  f[4] = 5;   // player name length, chars stored plain
  std::memcpy(&f[5], "Petya", 5);
  for (int k = 1; k <= 10; ++k) {
    f[20 * k] = 3;
    for (int i = 0; i < 3; ++i) f[20 * k + 1 + i] = uint8_t('a' + i + k);
    PutU32At(f, 20 * k + 16, EncodeScore(1000u * uint32_t(k) + 0x01020300u));
  }
  WriteCfg(f);

  Settings s;
  const LoadResult r = LoadConfig(s, Dir);
  EXPECT_FALSE(r.DefaultsMade);
  EXPECT_EQ(s.MusicOn, 0);
  EXPECT_EQ(s.SoundOn, 1);
  EXPECT_EQ(s.Windowed, 0);
  EXPECT_EQ(s.SendScore, 1);
  EXPECT_EQ(s.PlayerName.Get(), "Petya");
  EXPECT_EQ(s.Pad[0], f[17]);
  for (int k = 1; k <= 10; ++k) {
    EXPECT_EQ(s.Entry(k).Name.Get(), "abc");
    EXPECT_EQ(DecodeScore(s.Entry(k).Score), 1000u * uint32_t(k) + 0x01020300u);
    EXPECT_EQ(s.Entry(k).Pad[2], f[20 * k + 15]);
  }

  EXPECT_EQ(SaveConfig(s, Dir), "");
  EXPECT_EQ(ReadCfg(), f);
  EXPECT_EQ(s.Entry(1).Name.Get(), "abc") << "memory keeps plain names after saving";
}

TEST_F(ConfigTest, LongerFileIsReadFromItsStartAndSavedAt220) {
  Settings original;
  LoadConfig(original, Dir);
  original.PlayerName.Set("Longer");
  ASSERT_EQ(SaveConfig(original, Dir), "");
  Bytes f = ReadCfg();
  const Bytes record = f;
  f.insert(f.end(), 30, 0xEE);
  WriteCfg(f);

  Settings s;
  EXPECT_FALSE(LoadConfig(s, Dir).DefaultsMade);
  EXPECT_EQ(std::memcmp(&s, &original, sizeof s), 0);
  EXPECT_EQ(ReadCfg().size(), 250u) << "loading alone does not rewrite";
  ASSERT_EQ(SaveConfig(s, Dir), "");
  EXPECT_EQ(ReadCfg(), record);
}

TEST(Scramble, ShiftsByEntryNumberAndWrapsPast255) {
  Settings s;
  ResetScores(s);
  const char raw[] = {'\xFE', '\x00', 'a'};
  s.Entry(5).Name.Length = 3;
  std::memcpy(s.Entry(5).Name.Chars, raw, 3);
  s.Entry(5).Name.Chars[3] = 'Z';  // past the length: never shifted
  const Settings plain = s;

  ScrambleNames(s);
  EXPECT_EQ(uint8_t(s.Entry(5).Name.Chars[0]), 0x03);
  EXPECT_EQ(uint8_t(s.Entry(5).Name.Chars[1]), 0x05);
  EXPECT_EQ(s.Entry(5).Name.Chars[2], 'f');
  EXPECT_EQ(s.Entry(5).Name.Chars[3], 'Z');
  EXPECT_EQ(uint8_t(s.Entry(10).Name.Chars[3]), uint8_t(0xFF + 10));
  UnscrambleNames(s);
  EXPECT_EQ(std::memcmp(&s, &plain, sizeof s), 0);
}

TEST_F(ConfigTest, WrappedNameRoundTripsThroughTheFile) {
  Settings s;
  LoadConfig(s, Dir);
  s.Entry(5).Name.Length = 2;
  s.Entry(5).Name.Chars[0] = '\xFE';
  s.Entry(5).Name.Chars[1] = '\xFB';
  ASSERT_EQ(SaveConfig(s, Dir), "");
  const Bytes f = ReadCfg();
  EXPECT_EQ(f[101], 0x03);
  EXPECT_EQ(f[102], 0x00);

  Settings back;
  LoadConfig(back, Dir);
  EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
}

TEST(Scramble, LengthAboveTwelveStopsAtTheField) {
  Settings s;
  ResetScores(s);
  ScoreEntry& e = s.Entry(7);
  e.Name.Length = 200;
  for (int i = 0; i < 12; ++i) e.Name.Chars[i] = char('A' + i);
  e.Pad[0] = 1, e.Pad[1] = 2, e.Pad[2] = 3;
  const Settings before = s;

  ScrambleNames(s);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(e.Name.Chars[i], char('A' + i + 7));
  EXPECT_EQ(std::memcmp(e.Pad, before.Entry(7).Pad, 3), 0);
  EXPECT_EQ(e.Score, before.Entry(7).Score);
  EXPECT_EQ(e.Name.Length, 200) << "scrambling does not change the length byte";
  UnscrambleNames(s);
  EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
}

TEST_F(ConfigTest, LengthAboveTwelveIsClampedOnLoad) {
  Settings s;
  LoadConfig(s, Dir);
  Bytes f = ReadCfg();
  const size_t at = 20 * 7;
  f[4] = 200;  // player name
  f[at] = 200;
  for (int i = 0; i < 12; ++i) f[at + 1 + i] = uint8_t('A' + i + 7);
  f[at + 13] = 0x11, f[at + 14] = 0x22, f[at + 15] = 0x33;
  WriteCfg(f);

  Settings loaded;
  EXPECT_FALSE(LoadConfig(loaded, Dir).DefaultsMade);
  EXPECT_EQ(loaded.PlayerName.Length, 12);
  EXPECT_EQ(loaded.Entry(7).Name.Length, 12);
  EXPECT_EQ(loaded.Entry(7).Name.Get(), "ABCDEFGHIJKL");
  EXPECT_EQ(loaded.Entry(7).Pad[0], 0x11);
  EXPECT_EQ(loaded.Entry(8).Name.Get(), Vanya);

  ASSERT_EQ(SaveConfig(loaded, Dir), "");
  const Bytes g = ReadCfg();
  EXPECT_EQ(g[4], 12);
  EXPECT_EQ(g[at], 12);
  for (size_t i = 1; i < 20; ++i) EXPECT_EQ(g[at + i], f[at + i]) << i;
  EXPECT_EQ(Bytes(g.begin() + at + 20, g.end()), Bytes(f.begin() + at + 20, f.end()));
}

TEST(SortScoresTest, SortsDescendingComparingUnsigned) {
  Settings s = Table({5, 70, 0x80000000u, 30, 100, 1, 90, 40, 60, 20});
  SortScores(s);
  EXPECT_EQ(TrueScores(s), (std::vector<uint32_t>{0x80000000u, 100, 90, 70, 60, 40, 30, 20, 5, 1}));
  EXPECT_EQ(Names(s), (std::vector<std::string>{"E3", "E5", "E7", "E2", "E9", "E8", "E4", "E10", "E1", "E6"}));
}

TEST(SortScoresTest, ExchangeCanReorderEqualScores) {
  // Step 1 swaps entries 1 and 3, carrying E1 behind its equal E2; E2 then wins as the lower index.
  Settings s = Table({50, 50, 60, 40, 35, 30, 25, 20, 15, 10});
  for (int k = 1; k <= 10; ++k) s.Entry(k).Pad[0] = uint8_t(k);
  SortScores(s);
  EXPECT_EQ(TrueScores(s), (std::vector<uint32_t>{60, 50, 50, 40, 35, 30, 25, 20, 15, 10}));
  EXPECT_EQ(Names(s)[0], "E3");
  EXPECT_EQ(Names(s)[1], "E2");
  EXPECT_EQ(Names(s)[2], "E1");
  EXPECT_EQ(s.Entry(3).Pad[0], 1) << "whole entries are exchanged";
  EXPECT_EQ(s.Entry(1).Pad[0], 3);
}

struct InsertCase {
  uint32_t Score;
  std::vector<uint32_t> Expected;
  int Position;
};

TEST_F(ConfigTest, InsertScorePlacesAndSaves) {
  const InsertCase cases[] = {
      {150, {150, 100, 90, 80, 70, 60, 50, 40, 30, 20}, 1},
      {0x90000000u, {0x90000000u, 100, 90, 80, 70, 60, 50, 40, 30, 20}, 1},
      {100, {100, 100, 90, 80, 70, 60, 50, 40, 30, 20}, 2},
      {55, {100, 90, 80, 70, 60, 55, 50, 40, 30, 20}, 6},
      {20, {100, 90, 80, 70, 60, 50, 40, 30, 20, 20}, 10},
      {15, {100, 90, 80, 70, 60, 50, 40, 30, 20, 15}, 10},
      {10, {100, 90, 80, 70, 60, 50, 40, 30, 20, 10}, 10},
      {5, {100, 90, 80, 70, 60, 50, 40, 30, 20, 5}, 10},
  };
  for (const InsertCase& c : cases) {
    Settings s = Table({100, 90, 80, 70, 60, 50, 40, 30, 20, 10});
    EXPECT_EQ(InsertScore(s, EncodeScore(c.Score), Name("New"), Dir), "");
    EXPECT_EQ(TrueScores(s), c.Expected) << c.Score;
    EXPECT_EQ(s.Entry(c.Position).Score, EncodeScore(c.Score));
    for (int k = 1; k <= 10; ++k) {
      const std::string old = "E" + std::to_string(k < c.Position ? k : k - 1);
      EXPECT_EQ(s.Entry(k).Name.Get(), k == c.Position ? "New" : old) << c.Score << ' ' << k;
    }

    Settings saved;
    LoadConfig(saved, Dir);
    EXPECT_EQ(std::memcmp(&saved, &s, sizeof s), 0) << c.Score;
    EXPECT_EQ(DirEntries(), std::set<std::string>{"Config.cfg"});
  }
}

TEST_F(ConfigTest, InsertScoreCutsTheNameToTwelve) {
  Settings s = Table({100, 90, 80, 70, 60, 50, 40, 30, 20, 10});
  EXPECT_EQ(InsertScore(s, EncodeScore(500), Name("ABCDEFGHIJKLMNOPQ"), Dir), "");
  EXPECT_EQ(s.Entry(1).Name.Get(), "ABCDEFGHIJKL");

  ShortName bad = Name("abcdefghijkl");
  bad.Length = 200;
  EXPECT_EQ(InsertScore(s, EncodeScore(600), bad, Dir), "");
  EXPECT_EQ(s.Entry(1).Name.Length, 12);
  EXPECT_EQ(s.Entry(1).Name.Get(), "abcdefghijkl");
}

TEST(ResetScoresTest, SetsOnlyLengthFourCharsAndScore) {
  Settings s;
  std::memset(static_cast<void*>(&s), 0x5A, sizeof s);
  ResetScores(s);
  EXPECT_EQ(s.MusicOn, 0x5A);
  for (int k = 1; k <= 10; ++k) {
    const ScoreEntry& e = s.Entry(k);
    EXPECT_EQ(e.Name.Get(), Vanya);
    EXPECT_EQ(e.Name.Chars[4], 0x5A);
    EXPECT_EQ(e.Pad[0], 0x5A);
    EXPECT_EQ(e.Score, uint32_t(110 - 10 * k) ^ 27182u);
  }
}

TEST_F(ConfigTest, SaveIntoMissingFolderFails) {
  Settings s;
  ResetScores(s);
  EXPECT_NE(SaveConfig(s, Dir + "nowhere/"), "");
  EXPECT_TRUE(DirEntries().empty());
}

TEST_F(ConfigTest, FailedReplaceLeavesNoTemporaryFile) {
  fs::create_directory(CfgPath());
  fs::create_directory(CfgPath() + "/inside");  // rename() cannot replace a non-empty folder
  Settings s;
  ResetScores(s);
  EXPECT_NE(SaveConfig(s, Dir), "");
  EXPECT_EQ(DirEntries(), std::set<std::string>{"Config.cfg"});
  EXPECT_TRUE(fs::is_directory(CfgPath() + "/inside"));
}

// Run in a child process: files may not grow past `limit` bytes there. Exits 0 when saving
// reported an error, after printing it.
[[noreturn]] void SaveWithFileSizeLimit(const Settings& s, const std::string& dir, rlim_t limit) {
  const rlimit fileSize{limit, limit};
  setrlimit(RLIMIT_FSIZE, &fileSize);
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string error = SaveConfig(s, dir);
  std::cerr << error;
  std::_Exit(error.empty() ? 1 : 0);
}

TEST_F(ConfigTest, WriteFailureMidwayKeepsTheOldFile) {
  Settings s;
  LoadConfig(s, Dir);
  const Bytes before = ReadCfg();
  s.PlayerName.Set("Changed");

  EXPECT_EXIT(SaveWithFileSizeLimit(s, Dir, 100), ::testing::ExitedWithCode(0), "Config.cfg");
  EXPECT_EQ(ReadCfg(), before);
  EXPECT_EQ(DirEntries(), std::set<std::string>{"Config.cfg"});
}

TEST_F(ConfigTest, StartUpRemovesOnlyWhatInterruptedSavesLeft) {
  const auto touch = [this](const std::string& name) { std::ofstream(Dir + name) << "x"; };
  for (const char* left : {"Config.cfg.0IrxVA", "Config.cfg.zz9ZZ9"}) touch(left);
  // Not a save's: other names, other lengths, other characters, a folder.
  for (const char* kept : {"Config.cfg.0IrxV", "Config.cfg.0IrxVA1", "Config.cfg.0Irx-A", "Other.cfg.0IrxVA", "notes.txt"})
    touch(kept);
  fs::create_directory(Dir + "Config.cfg.Folder");
  // A save still running holds its file: it stays.
  touch("Config.cfg.Runnin");
  const int held = ::open((Dir + "Config.cfg.Runnin").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  Settings s;
  LoadConfig(s, Dir);
  ::close(held);
  EXPECT_EQ(DirEntries(), (std::set<std::string>{"Config.cfg", "Config.cfg.0IrxV", "Config.cfg.0IrxVA1",
                                                 "Config.cfg.0Irx-A", "Other.cfg.0IrxVA", "notes.txt",
                                                 "Config.cfg.Folder", "Config.cfg.Runnin"}));
}

}  // namespace
