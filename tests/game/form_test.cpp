// Start-up of the main window: settings, music, key table, menu state, the frame counter.
#include "game/Form1.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "state/Config.h"
#include "support/GameFixture.h"

namespace {

using FormStartUp = GameFixture;

TEST_F(FormStartUp, FreshFolderGetsDefaultsAndTheMenu) {
  Start();
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(G().Selection, 1);
  EXPECT_EQ(G().MenuSelection, 1);
  EXPECT_EQ(G().HighlightColor, RGB(255, 153, 0));
  EXPECT_EQ(G().PlaneOdds, 200);
  EXPECT_EQ(G().CarrierOdds, 300);
  EXPECT_EQ(G().DropOdds, 30);
  EXPECT_EQ(G().ParatroopersPerGoal, 5);
  EXPECT_EQ(G().BunkerHealthMax, 270);
  EXPECT_TRUE(G().RequireHover);
  EXPECT_EQ(std::filesystem::file_size(folder.Path() / "Config.cfg"), 220u);
  EXPECT_EQ(DecodeScore(G().Settings.Entry(1).Score), 100u);
}

TEST_F(FormStartUp, MissingMenuMusicIsReportedOnceAndSwitchesMusicOff) {
  Start();
  EXPECT_EQ(G().MusicModule, 0u);
  EXPECT_EQ(G().Settings.MusicOn, 0);
  int messages = 0;
  for (const auto& note : platform.Notes())
    if (note.Channel == "message") {
      ++messages;
      EXPECT_EQ(note.What, "Не возможно загрузить музыку.");
    }
  EXPECT_EQ(messages, 1);
}

TEST_F(FormStartUp, MusicSwitchedOffInTheFileIsNotLoaded) {
  Settings settings{};
  LoadConfig(settings, folder.Dir());
  settings.MusicOn = 0;
  settings.Windowed = 0;
  ASSERT_EQ(SaveConfig(settings, folder.Dir()), "");
  Start();
  EXPECT_TRUE(platform.Notes().empty());
  EXPECT_EQ(G().Settings.Windowed, 1);  // always starts in a window
}

TEST_F(FormStartUp, KeyTableAfterStartUp) {
  Start();
  const TKeyAssignList& keys = form->DXInput1.Keyboard.Assigns;
  EXPECT_EQ(keys[isUp], (TKeyAssign{'W', 38, 104}));
  EXPECT_EQ(keys[isDown], (TKeyAssign{'S', 40, 98}));
  EXPECT_EQ(keys[isLeft], (TKeyAssign{'A', 37, 100}));
  EXPECT_EQ(keys[isRight], (TKeyAssign{'D', 39, 102}));
  EXPECT_EQ(keys[isButton1], (TKeyAssign{33, 32, 34}));
  EXPECT_EQ(keys[isButton2], (TKeyAssign{'H', 17, 0}));
  EXPECT_EQ(keys[isButton(9)], (TKeyAssign{113, 0, 0}));
  EXPECT_EQ(keys[isButton(3)], (TKeyAssign{0, 0, 0}));
}

TEST_F(FormStartUp, EveryTickPresentsOneFrameAndTheCounterWraps) {
  Start();
  Ticks(255);
  EXPECT_EQ(G().FrameCounter, 255);
  Ticks(2);
  EXPECT_EQ(G().FrameCounter, 1);
  EXPECT_EQ(platform.PresentCount(), 257);
}

TEST_F(FormStartUp, SoundsAreLoadedAndTheBeepIsQuieter) {
  Start();
  EXPECT_EQ(form->DXWaveList1.Items.FindItem("beep").Volume(), -800);
}

TEST_F(FormStartUp, MissingPictureArchiveStopsStartUpWithTheReadersMessage) {
  platform.OpenWindow("Zarovel", 800, 600);
  form = std::make_unique<TForm1>(application, folder.Dir(), 1);
  try {
    form->Load();
    FAIL() << "start-up went on without its pictures";
  } catch (const std::exception& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"" + folder.Dir() + "Data/MData.dxg\". ", 0), 0u)
        << error.what();
  }
}

TEST_F(FormStartUp, NoFrameWhileTheDisplayIsNotReady) {
  Start();
  form->DXDraw1.Finalize();
  Ticks(3);
  EXPECT_EQ(G().FrameCounter, 0);
  EXPECT_EQ(platform.PresentCount(), 0);
}

}  // namespace
