// The replay's game, run on the headless back end against the file's own checks.
#include "Verify.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "StateDump.h"
#include "engine/Application.h"
#include "engine/platform/headless/HeadlessPlatform.h"
#include "game/Form1.h"
#include "game/replay/GameReplay.h"
#include "game/replay/ReplayRun.h"

namespace {

int Refuse(const std::string& file, const std::string& why) {
  std::fprintf(stderr, "zarovel-play: %s: %s\n", file.c_str(), why.c_str());
  return 2;
}

}  // namespace

int VerifyReplay(const std::string& file, const std::string& gameDirArgument) {
  std::string gameDir = gameDirArgument;
  if (!gameDir.empty() && gameDir.back() != '/') gameDir += '/';
  replay::Replay recorded;
  try {
    recorded = replay::Read(file);
  } catch (const replay::ReplayError& error) {
    return Refuse(file, error.what());
  }
  if (recorded.Head.DataHashes != DataHashes(gameDir)) return Refuse(file, "recorded with other game data than " + gameDir);
  if (!recorded.End) return Refuse(file, "cut short: the recording stopped before the game ended");

  // The settings file the start-up reads and makes goes to a folder of its own: checking
  // writes nothing into the game's folder.
  namespace fs = std::filesystem;
  const fs::path scratch = fs::temp_directory_path() / ("zarovel-verify-" + std::to_string(::getpid()));
  fs::create_directories(scratch);
  ReplayOutcome outcome;
  {
    platform::HeadlessPlatform platform;
    platform.OpenWindow("Zarovel", 800, 600);
    platform.SetUserDataFolder(scratch.string() + "/");
    TApplication application(platform);
    TForm1 form(application, gameDir, 1);
    form.ConfigInPlayersFolder = true;
    form.Load();
    TReplayRun run(form, recorded);
    run.Begin();
    while (run.Step()) {
    }
    outcome = run.Outcome();
    // For finding where a game went another way: its state at the end, as a script's dump.
    if (const char* dump = std::getenv("ZAROVEL_VERIFY_DUMP")) WriteStateJson(dump, form, platform);
  }
  std::error_code ignored;
  fs::remove_all(scratch, ignored);

  const replay::Ending& want = *recorded.End;
  const replay::Ending& got = outcome.Got;
  std::printf("score %u level %u hash %016" PRIx64 "\n", got.Score, unsigned(got.Level), got.StateHash);
  const auto seconds = [](size_t mark) {
    const size_t first = mark * size_t(replay::kTicksPerMark) + 1;
    return "second " + std::to_string(mark + 1) + " (ticks " + std::to_string(first) + "-" +
           std::to_string(first + size_t(replay::kTicksPerMark) - 1) + ")";
  };
  if (outcome.FirstBadMark) {
    std::printf("diverges in %s\n", seconds(*outcome.FirstBadMark).c_str());
    return 1;
  }
  if (got.Score != want.Score || got.Level != want.Level || got.StateHash != want.StateHash || got.Ticks != want.Ticks) {
    std::printf("diverges in the last %s: the file ends with score %u level %u hash %016" PRIx64 "\n",
                seconds(got.Ticks / uint32_t(replay::kTicksPerMark)).c_str(), want.Score, unsigned(want.Level),
                want.StateHash);
    return 1;
  }
  std::printf("matches the recording (%u ticks)\n", got.Ticks);
  return 0;
}
