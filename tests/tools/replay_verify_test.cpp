// Replays recorded by the real game loop and checked by zarovel-play --verify: seeded monkey
// games with frames woken late at random all verify; damaged, cut short, foreign and
// diverging files are refused with the right exit code and reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "game/replay/ReplayFile.h"
#include "support/GameFixture.h"
#include "support/PlayFixture.h"
#include "support/PlayScript.h"

#ifndef ZAROVEL_DETERMINISM_RUNS
#define ZAROVEL_DETERMINISM_RUNS 50
#endif

namespace {

namespace fs = std::filesystem;

PlayRun Verify(const std::string& file, const std::string& gameDir) {
  return RunPlay("--verify '" + file + "' '" + gameDir + "'");
}

std::vector<uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct ReplayVerify : ::testing::Test {
  TempFolder game;
  TempFolder work;
  void SetUp() override { CopyBuiltGameData(game.Dir()); }
  // The replays the games left in the game folder, oldest first.
  std::vector<fs::path> Replays() {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(game.Path() / "replays", error))
      if (entry.path().extension() == ".zreplay") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
  }
  // One short game: started, the soldier walking and firing, left by Escape and Y.
  fs::path RecordOneGame() {
    const PlayRun run = RunPlayScript(game.Dir(), work.Dir(),
                                      "seed 11\nrecord\nkey Enter\nframes 120\ndown Right\ndown Ctrl\nframes 150\n"
                                      "up Right\nkey Escape\nkey Y\nframes 5\n");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    const std::vector<fs::path> files = Replays();
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? fs::path() : files.back();
  }
};

TEST_F(ReplayVerify, MonkeyGamesWithLateFramesReplayExactly) {
  int games = 0;
  for (int seed = 1; seed <= ZAROVEL_DETERMINISM_RUNS; ++seed) {
    const std::string s = std::to_string(seed);
    const PlayRun run = RunPlayScript(game.Dir(), work.Dir(), "seed " + s + "\njitter " + s + "\nrecord\nmonkey 3000 " + s + "\n");
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    for (const fs::path& file : Replays()) {
      const PlayRun check = Verify(file.string(), game.Dir());
      EXPECT_EQ(check.ExitCode, 0) << "seed " << seed << ", " << file.filename() << ":\n" << check.Output;
      EXPECT_NE(check.Output.find("matches the recording"), std::string::npos) << check.Output;
      ++games;
      fs::remove(file);
    }
  }
  EXPECT_GE(games, ZAROVEL_DETERMINISM_RUNS);
}

TEST_F(ReplayVerify, RefusesWhatCannotBePlayedAndNamesWhereAGameGoesAnotherWay) {
  const fs::path recorded = RecordOneGame();
  ASSERT_FALSE(recorded.empty());
  const PlayRun good = Verify(recorded.string(), game.Dir());
  ASSERT_EQ(good.ExitCode, 0) << good.Output;
  const std::vector<uint8_t> bytes = Bytes(recorded);
  EXPECT_LT(bytes.size(), 4096u);  // 5.5 s of play

  // Other game data: the same folder with one byte of the sounds changed.
  TempFolder other;
  CopyBuiltGameData(other.Dir());
  std::vector<uint8_t> sounds = Bytes(other.Path() / "Sound/GSnd.dxg");
  sounds[sounds.size() / 2] ^= 1;
  Write(other.Path() / "Sound/GSnd.dxg", sounds);

  // The same game from another random start: well formed, and it goes another way.
  replay::Replay changed = replay::Parse(bytes);
  ASSERT_EQ(changed.Records.at(0).What, replay::Record::Kind::Settle);
  auto settled = std::make_shared<replay::Start>(*changed.Records[0].Settled);
  settled->RandomState ^= 0x5555;
  changed.Records[0].Settled = settled;
  {
    replay::Writer writer;
    ASSERT_TRUE(writer.Open(work.Dir() + "diverging.zreplay", changed.Head));
    for (const replay::Record& r : changed.Records) writer.Add(r);
    writer.Finish(*changed.End);
  }

  const auto variant = [&](const char* name, std::vector<uint8_t> content) {
    Write(work.Path() / name, content);
    return (work.Path() / name).string();
  };
  std::vector<uint8_t> future = bytes, flipped = bytes;
  future[8] = 9;
  flipped[bytes.size() * 2 / 3] ^= 0x40;
  struct Case {
    std::string File, GameDir;
    int Exit;
    std::string Message;
  };
  const Case cases[] = {
      {variant("truncated.zreplay", {bytes.begin(), bytes.end() - 40}), game.Dir(), 2, "cut short"},
      {variant("magic.zreplay", [&] {
         std::vector<uint8_t> b = bytes;
         b[0] = 'X';
         return b;
       }()),
       game.Dir(), 2, "not a Zarovel replay"},
      {variant("future.zreplay", future), game.Dir(), 2, "made by a newer Zarovel (replay format 9)"},
      {recorded.string(), other.Dir(), 2, "recorded with other game data"},
      {variant("flipped.zreplay", flipped), game.Dir(), 2, "damaged replay"},
      {variant("empty.zreplay", {}), game.Dir(), 2, "not a Zarovel replay"},
      {work.Dir() + "missing.zreplay", game.Dir(), 2, "cannot read"},
      {work.Dir() + "diverging.zreplay", game.Dir(), 1, "diverges in second 1 (ticks 1-50)"},
  };
  for (const Case& c : cases) {
    const PlayRun run = Verify(c.File, c.GameDir);
    EXPECT_EQ(run.ExitCode, c.Exit) << c.File << ":\n" << run.Output;
    EXPECT_NE(run.Output.find(c.Message), std::string::npos) << c.File << ":\n" << run.Output;
    // One line, never a crash.
    if (c.Exit == 2) {
      EXPECT_EQ(std::count(run.Output.begin(), run.Output.end(), '\n'), 1) << run.Output;
    }
  }
}

}  // namespace
