// Portable or installed: told apart by whether Data/ lies beside the executable.
#include "game/GameFolders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/platform/headless/HeadlessPlatform.h"
#include "support/GameFixture.h"

namespace {

namespace fs = std::filesystem;

TEST(LocateGame, PortableBesideItsDataElseInstalledRelativeToTheExecutable) {
  TempFolder bin;
  platform::HeadlessPlatform platform;
  const GameFolders installed = LocateGame(platform, bin.Dir(), "../share/games/zarovel/");
  EXPECT_TRUE(installed.Installed);
  EXPECT_EQ(installed.Data, (bin.Path().parent_path() / "share/games/zarovel/").string());
  fs::create_directory(bin.Path() / "Data");
  const GameFolders portable = LocateGame(platform, bin.Dir(), "../share/games/zarovel/");
  EXPECT_FALSE(portable.Installed);
  EXPECT_EQ(portable.Data, bin.Dir());
}

}  // namespace
