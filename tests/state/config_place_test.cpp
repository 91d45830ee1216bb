// Where Config.cfg lives: beside the game when the player may write there, else in the
// player's own data folder, so a game installed read-only still remembers everything.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/platform/VirtualKeys.h"
#include "game/DisplayMode.h"
#include "state/Config.h"
#include "support/GameFixture.h"

namespace {

namespace fs = std::filesystem;

struct ConfigPlace : GameFixture {
  TempFolder own;  // the player's data folder
  // A message about the settings file since the last call (the minimal data has no music,
  // which is reported too).
  bool Messages() {
    for (const auto& note : platform.TakeNotes())
      if (note.Channel == "message" && note.What.find("Config") != std::string::npos) return true;
    return false;
  }
};

TEST_F(ConfigPlace, BesideTheGameWhenItsFolderIsWritable) {
  platform.SetUserDataFolder(own.Dir());
  Start();
  EXPECT_TRUE(fs::exists(folder.Path() / "Config.cfg"));
  EXPECT_FALSE(fs::exists(own.Path() / "Config.cfg"));
  EXPECT_EQ(G().ConfigDir, folder.Dir());
}

TEST_F(ConfigPlace, InThePlayersFolderWhenTheGamesFolderCannotBeWritten) {
  platform.SetUnwritableFolder(folder.Dir());
  platform.SetUserDataFolder(own.Dir());
  Start();
  EXPECT_FALSE(fs::exists(folder.Path() / "Config.cfg"));
  EXPECT_TRUE(fs::exists(own.Path() / "Config.cfg"));
  EXPECT_FALSE(Messages());
  // What the player sets is saved there, and read from there at the next start.
  G().Settings.PlayerName.Set("Solo");
  G().Settings.Windowed = 0;
  ApplyDisplayMode(*form);
  EXPECT_FALSE(Messages());
  EXPECT_EQ(SavedSettings(own.Dir()).PlayerName.Get(), "Solo");
}

// An installed game always keeps its settings in the player's folder, even where it could
// write beside itself, and never reads a Config.cfg lying there.
TEST_F(ConfigPlace, InThePlayersFolderWhenInstalled) {
  Settings beside{};
  beside.PlayerName.Set("Beside");
  ASSERT_EQ(SaveConfig(beside, folder.Dir()), "");
  platform.SetUserDataFolder(own.Dir());
  installed = true;
  Start();
  EXPECT_EQ(G().ConfigDir, own.Dir());
  EXPECT_TRUE(fs::exists(own.Path() / "Config.cfg"));
  EXPECT_EQ(G().Settings.PlayerName.Get(), "");
  EXPECT_EQ(SavedSettings(folder.Dir()).PlayerName.Get(), "Beside");
}

}  // namespace
