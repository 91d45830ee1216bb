// The game: one window on the SDL2 back end. A portable copy finds its data beside the
// executable; an installed one finds it in the installed data folder, relative to the
// executable, and keeps the player's files in the player's own data folder.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/platform/sdl/SdlPlatform.h"
#include "game/CommandLine.h"
#include "game/Form1.h"
#include "game/GameFolders.h"
#include "game/replay/GameReplay.h"
#include "game/replay/WatchReplay.h"
#include "payload/Cp1251.h"

#ifndef ZAROVEL_INSTALLED_DATA
#define ZAROVEL_INSTALLED_DATA "../share/games/zarovel/"
#endif

namespace {
// The folder of the executable, ending in '/'.
std::string ExecutableFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  const std::string full(path, size_t(n));
  return full.substr(0, full.rfind('/') + 1);
}
}  // namespace

int main(int argc, char** argv) {
  const CommandLine command = ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!command.Play) {
    std::fputs(command.Out.c_str(), stdout);
    std::fputs(command.Err.c_str(), stderr);
    return command.ExitCode;
  }
  platform::SdlPlatform platform;
  const GameFolders folders = LocateGame(platform, ExecutableFolder(), ZAROVEL_INSTALLED_DATA);
  // A replay to watch is read, and checked against this game's data, before any window.
  replay::Replay watched;
  if (!command.Replay.empty()) {
    try {
      watched = replay::Read(command.Replay);
    } catch (const replay::ReplayError& error) {
      std::fprintf(stderr, "zarovel: %s: %s\n", command.Replay.c_str(), error.what());
      return 1;
    }
    if (watched.Head.DataHashes != DataHashes(folders.Data)) {
      std::fprintf(stderr, "zarovel: %s: recorded with other game data (Zarovel %s)\n", command.Replay.c_str(),
                   watched.Head.GameVersion.c_str());
      return 1;
    }
  }
  if (!platform.OpenWindow("Zarovel", 800, 600)) {
    std::fprintf(stderr, "zarovel: cannot open the game window\n");
    return 1;
  }
  TApplication application(platform);
  TForm1 form(application, folders.Data);
  form.ConfigInPlayersFolder = folders.Installed;
  form.ScoreServer = ScoreServerHost(std::getenv("ZAROVEL_SCORE_SERVER"));
  form.RumbleOn = RumbleWanted(command, std::getenv("ZAROVEL_RUMBLE"));
  const bool watching = !command.Replay.empty();
  form.Replaying = watching;
  form.RecordReplays = !watching;  // every game played in the window
  try {
    form.Load();
  } catch (const std::exception& error) {
    platform.MessageBox(platform::Utf8ToCp1251(error.what()), "Zarovel");
    return 1;
  }
  if (watching) {
    WatchReplay(form, watched);
    return 0;
  }
  application.Run();
  form.LaunchOnExit();
  return 0;
}
