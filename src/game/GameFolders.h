// Where a copy of the game keeps its data and the player's Config.cfg.
#pragma once
#include <string>

#include "engine/platform/Platform.h"

struct GameFolders {
  // Data/, Sound/ and the shortcuts "moregames.url" and "play.url"; ends in '/'.
  std::string Data;
  // An installed game keeps Config.cfg in the player's own data folder; a portable copy
  // keeps it beside itself while it may write there.
  bool Installed = false;
};

// A portable copy has Data/ beside the executable; otherwise the game is installed and its
// data lies at installedData, a path relative to the executable's folder (so a package
// unpacked anywhere runs). Both folders end in '/'.
GameFolders LocateGame(platform::Platform& platform, const std::string& executableFolder,
                       const std::string& installedData);
