// The two layouts the build installs. The portable copy (scripts/run lays it out) never
// brings a Config.cfg: installing again over a played copy keeps its settings and records.
// The installed layout puts the game where a package does, relative to any prefix.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/GameFixture.h"

namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Install(const std::string& options, const TempFolder& prefix) {
  const std::string command = "cmake --install '" + std::string(ZAROVEL_BUILD_DIR) + "' " + options + " --prefix '" +
                              prefix.Path().string() + "' > /dev/null";
  return std::system(command.c_str());
}

TEST(Install, PortableCopyKeepsThePlayersConfigAndInstallsNone) {
  TempFolder prefix;
  const fs::path played = prefix.Path() / "Config.cfg";
  std::ofstream(played, std::ios::binary) << "the player's own";
  // A Config.cfg in the built data, as a run of the game there would leave one.
  const fs::path stray = fs::path(ZAROVEL_BUILD_DIR) / "gamedata" / "Config.cfg";
  const bool strayWasThere = fs::exists(stray);
  if (!strayWasThere) std::ofstream(stray, std::ios::binary) << "from the build";
  const int status = Install("--component portable", prefix);
  if (!strayWasThere) fs::remove(stray);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(fs::exists(prefix.Path() / "zarovel"));
  EXPECT_TRUE(fs::exists(prefix.Path() / "Data" / "GData.dxg"));
  EXPECT_TRUE(fs::exists(prefix.Path() / "Sound" / "2.xm"));
  EXPECT_EQ(Contents(played), "the player's own");
}

TEST(Install, InstalledLayoutUnderThePrefix) {
  TempFolder prefix;
  ASSERT_EQ(Install("", prefix), 0);
  const fs::path root = prefix.Path();
  for (const char* file : {"games/zarovel", "share/games/zarovel/Data/MData.dxg", "share/games/zarovel/Sound/GSnd.dxg",
                           "share/games/zarovel/Sound/1.xm", "share/applications/org.zarovel.Zarovel.desktop",
                           "share/icons/hicolor/scalable/apps/org.zarovel.Zarovel.svg",
                           "share/icons/hicolor/16x16/apps/org.zarovel.Zarovel.png",
                           "share/metainfo/org.zarovel.Zarovel.metainfo.xml", "share/man/man6/zarovel.6.gz",
                           "share/doc/zarovel/copyright"})
    EXPECT_TRUE(fs::exists(root / file)) << file;
  EXPECT_FALSE(fs::exists(root / "share/games/zarovel/Config.cfg"));
  EXPECT_FALSE(fs::exists(root / "bin/zarovel-scores"));  // the server is a package of its own
  // The menu entry starts the game where this install put it.
  EXPECT_NE(Contents(root / "share/applications/org.zarovel.Zarovel.desktop").find("\nExec=" + (root / "games/zarovel").string() + "\n"),
            std::string::npos);
}

}  // namespace
