// Portable or installed, told apart by where the data lies and nothing else.
#include "game/GameFolders.h"

#include <filesystem>

GameFolders LocateGame(platform::Platform& platform, const std::string& executableFolder,
                       const std::string& installedData) {
  if (platform.FileExists(executableFolder + "Data")) return {executableFolder, false};
  std::string data = (std::filesystem::path(executableFolder) / installedData).lexically_normal().string();
  if (data.empty() || data.back() != '/') data += '/';
  return {data, true};
}
