// The install step that lays out the game folder (scripts/run uses it) never brings a
// Config.cfg: installing again over a played copy keeps its settings and records.
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

TEST(Install, KeepsThePlayersConfigAndInstallsNone) {
  TempFolder prefix;
  const fs::path played = prefix.Path() / "Config.cfg";
  std::ofstream(played, std::ios::binary) << "the player's own";
  // A Config.cfg in the built data, as a run of the game there would leave one.
  const fs::path stray = fs::path(ZAROVEL_BUILD_DIR) / "gamedata" / "Config.cfg";
  const bool strayWasThere = fs::exists(stray);
  if (!strayWasThere) std::ofstream(stray, std::ios::binary) << "from the build";
  const std::string command =
      "cmake --install '" + std::string(ZAROVEL_BUILD_DIR) + "' --prefix '" + prefix.Path().string() + "' > /dev/null";
  const int status = std::system(command.c_str());
  if (!strayWasThere) fs::remove(stray);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(fs::exists(prefix.Path() / "Data" / "GData.dxg"));
  EXPECT_EQ(Contents(played), "the player's own");
}

}  // namespace
