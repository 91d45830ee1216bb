// Games recorded by the running game (headless back end): where their files go and under
// which names, which are kept, the index of the score table's records, and watching one
// again at the watcher's pace.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/Application.h"
#include "engine/platform/VirtualKeys.h"
#include "engine/platform/headless/HeadlessPlatform.h"
#include "game/PlayScreen.h"
#include "game/replay/GameReplay.h"
#include "game/replay/ReplayFile.h"
#include "game/replay/WatchReplay.h"
#include "state/Config.h"
#include "support/PlayFixture.h"

namespace {

namespace fs = std::filesystem;

struct Recording : PlayFixture {
  void SetUp() override {
    CopyBuiltGameData(folder.Dir());
    Start();
    form->RecordReplays = true;
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder.Path() / "replays", error))
      if (entry.path().extension() == ".zreplay") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Index() {
    std::ifstream in(folder.Path() / "replays" / "records.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // A game of 3 s, left by Escape and Y.
  void PlayAndLeave(uint32_t score) {
    StartGame(*form);
    Ticks(150);
    G().Score = EncodeScore(score);
    Key(vk::Escape);
    Key('Y');
  }
};

TEST_F(Recording, EachGameBecomesAFileNamedByItsStartAndScore) {
  PlayAndLeave(5);
  const std::vector<std::string> files = Files();
  ASSERT_EQ(files.size(), 1u);
  // YYYYMMDD-HHMMSS-<score>.zreplay
  EXPECT_EQ(files[0].size(), std::string("20261211-083000-5.zreplay").size()) << files[0];
  EXPECT_EQ(files[0].substr(8, 1), "-");
  EXPECT_EQ(files[0].substr(15), "-5.zreplay");
  const replay::Replay recorded = replay::Read((folder.Path() / "replays" / files[0]).string());
  ASSERT_TRUE(recorded.End.has_value());
  EXPECT_EQ(recorded.End->Score, 5u);
  EXPECT_EQ(recorded.End->Ticks, 150u);
  EXPECT_EQ(recorded.Head.DataHashes, DataHashes(folder.Dir()));
  EXPECT_FALSE(form->Replay);  // nothing is recorded in the menu

  // Two games in one second of the clock: the second takes the next second's name, and
  // neither file is written over.
  for (int game = 0; game < 2; ++game) {
    StartGame(*form);
    Key(vk::Escape);
    Key('Y');
  }
  const std::vector<std::string> all = Files();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_NE(all[1].substr(0, 15), all[2].substr(0, 15));
  for (const std::string& name : all) EXPECT_TRUE(replay::Read((folder.Path() / "replays" / name).string()).End) << name;
}

TEST_F(Recording, KeepsTheLastTwentyGamesAndThoseOfTheScoreTable) {
  // A record first: it makes the table, and its file is kept however many games follow.
  StartGame(*form);
  Ticks(60);
  G().Score = EncodeScore(95);
  Player().Lives = 1;
  Player().Health = 0;
  HitPlayer(*form, 1, false, 0, 0);
  Ticks(130);  // Timer3: on to the name entry
  ASSERT_EQ(G().GameState, "EnterName");
  Type("Ace");
  AnswerNameEntry(*form, true);
  const std::string record = form->LastReplay;
  ASSERT_FALSE(record.empty());
  EXPECT_NE(Index().find("95 " + record + " Ace\n"), std::string::npos) << Index();
  // 22 more games; each takes seconds of the clock, so each has a name of its own.
  for (int game = 0; game < 22; ++game) PlayAndLeave(1);
  const std::vector<std::string> files = Files();
  EXPECT_EQ(files.size(), 21u);
  EXPECT_TRUE(std::count(files.begin(), files.end(), record) == 1) << record;
  // The index lists the table in order, the record with its file, the rest with none.
  std::istringstream lines(Index());
  std::string first;
  std::getline(lines, first);
  EXPECT_EQ(first, "100 - \xC2\xE0\xED\xFF");  // the default table's first entry ("Ваня")
}
// The game recorded here, watched in another window at 4x: it plays through to the same
// ending, shows its mark, and writes nothing: no settings, no replay of its own.
TEST_F(Recording, AWatchedReplayPlaysAtTheWatchersPaceAndWritesNothing) {
  PlayAndLeave(0);  // no score poked in: the game as its input made it
  ASSERT_EQ(Files().size(), 1u);
  const replay::Replay recorded = replay::Read((folder.Path() / "replays" / Files()[0]).string());
  const auto settingsBefore = fs::last_write_time(folder.Path() / "Config.cfg");
  // Watching from a folder with no settings makes none either.
  TempFolder bare;
  fs::copy(folder.Path() / "Data", bare.Path() / "Data", fs::copy_options::recursive);
  fs::copy(folder.Path() / "Sound", bare.Path() / "Sound", fs::copy_options::recursive);

  platform::HeadlessPlatform screen;
  screen.OpenWindow("Zarovel", 800, 600);
  TApplication watching(screen);
  TForm1 watcher(watching, bare.Dir(), 99);
  watcher.Replaying = true;
  watcher.Load();
  for (int i = 0; i < 2; ++i) {
    platform::Event right;
    right.Type = platform::EventType::KeyDown;
    right.Key = vk::Right;
    screen.Push(right);
  }
  const uint32_t start = screen.Milliseconds();
  WatchReplay(watcher, recorded);
  const uint32_t took = screen.Milliseconds() - start;
  // 150 ticks at four a beat, then the end held for 2 s.
  EXPECT_NEAR(double(took), 150.0 / 4 * 20 + 2000, 60.0);
  EXPECT_EQ(watcher.ReplayMark, "REPLAY  4x");
  ASSERT_TRUE(recorded.End.has_value());
  EXPECT_EQ(DecodeScore(watcher.G.Score), recorded.End->Score);
  EXPECT_EQ(watcher.G.Level, recorded.End->Level);
  EXPECT_EQ(watcher.G.GameState, "Menu");
  EXPECT_GT(CountColour(screen.LastFrame(), 650, 45, 800, 75, RGB(255, 70, 40)), 20);
  EXPECT_EQ(Files().size(), 1u);
  EXPECT_EQ(fs::last_write_time(folder.Path() / "Config.cfg"), settingsBefore);
  EXPECT_FALSE(fs::exists(bare.Path() / "Config.cfg"));
  EXPECT_FALSE(fs::exists(bare.Path() / "replays"));

  // Escape leaves at once.
  platform::Event escape;
  escape.Type = platform::EventType::KeyDown;
  escape.Key = vk::Escape;
  screen.Push(escape);
  const uint32_t again = screen.Milliseconds();
  WatchReplay(watcher, recorded);
  EXPECT_LT(screen.Milliseconds() - again, 100u);
}

}  // namespace
