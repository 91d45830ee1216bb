// Hot spots of the menu screens in the window and in full screen, the click gate, the
// click actions, the buttons and the wheel.
#include "game/handlers/Mouse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/platform/VirtualKeys.h"
#include "game/Screens.h"
#include "state/Config.h"
#include "support/GameFixture.h"
#include "ui/MenuWidgets.h"

namespace {

using platform::MouseButton;

struct Mouse : GameFixture {
  void SetUp() override { Start(); }
  std::string Lit(int n) {
    std::string lit;
    for (int i = 1; i <= n; ++i) lit += G().MenuButtons[size_t(i)]->Selected ? '1' : '0';
    return lit;
  }
  std::vector<MouseOver> Flags() {
    std::vector<MouseOver> set;
    for (size_t i = 0; i < G().MouseOverFlags.size(); ++i)
      if (G().MouseOverFlags[i]) set.push_back(MouseOver(i));
    return set;
  }
  std::vector<std::string> Noted(const char* channel) {
    std::vector<std::string> list;
    for (const auto& note : platform.TakeNotes())
      if (note.Channel == channel) list.push_back(note.What);
    return list;
  }
  void ClickAt(int x, int y, MouseButton button = MouseButton::Left) {
    MoveMouse(x, y);
    Click(button);
  }
};

const MouseOver kButton2 = MouseOver(OverButton1 + 1), kButton3 = MouseOver(OverButton1 + 2),
                kButton6 = MouseOver(OverButton1 + 5);

// The pointer arrives in picture coordinates in both modes, so the hot spots are the same
// in full screen: the lower edge of each button still lights it.
TEST_F(Mouse, HotSpotsLieOnTheButtonsInTheWindowAndInFullScreen) {
  struct Case {
    const char* screen;
    int x, y;
    int selection;
    const char* lit;  // "" where the screen lights no button
    std::vector<MouseOver> flags;
  };
  const Case cases[] = {
      {"Menu", 400, 190, 1, "100000", {OverButton1}},
      {"Menu", 400, 265, 2, "010000", {kButton2}},
      {"Menu", 400, 275, 1, "100000", {}},  // between two buttons the last one stays lit
      {"Menu", 240, 190, 1, "100000", {}},  // bounds are exclusive
      {"Menu", 400, 507, 6, "000001", {kButton6}},
      {"Options", 480, 220, 1, "0", {OverWindowed}},
      {"Options", 535, 220, 1, "0", {OverWindowed, OverFullScreen}},
      {"Options", 488, 260, 2, "0", {OverMusicOn, OverMusicOff}},
      {"Options", 520, 310, 3, "0", {OverSoundOff}},
      {"Options", 500, 360, 4, "0", {OverNameField}},
      {"Options", 300, 450, 5, "1", {OverOptionsBack}},
      {"Options", 100, 100, 5, "1", {OverOptionsBack}},
      {"HiScores", 300, 420, 1, "100", {OverButton1}},
      {"HiScores", 300, 470, 2, "010", {OverButton1, kButton2}},  // the later rectangle wins the overlap
      {"HiScores", 300, 570, 3, "001", {kButton3}},
      {"Help", 300, 440, 1, "100", {OverButton1}},
      {"Help", 700, 440, 2, "010", {kButton2}},
      {"Help", 300, 500, 3, "001", {kButton3}},
      {"Exit?", 350, 310, 1, "", {OverAnswer1}},
      {"Exit?", 450, 326, 2, "", {OverAnswer2}},
      {"Exit?", 400, 310, 1, "", {}},
      {"Clear?", 500, 400, 2, "", {OverAnswer2}},
  };
  for (uint8_t windowed : {1, 0}) {
    G().Settings.Windowed = windowed;
    for (const Case& c : cases) {
      const std::string screen = c.screen;
      if (screen == "Options") ShowOptions(*form);
      if (screen == "HiScores") ShowScores(*form);
      if (screen == "Help") ShowHelp(*form);
      if (screen == "Exit?") AskQuestion(*form, "Exit?");
      if (screen == "Clear?") ShowScores(*form), AskQuestion(*form, "Clear?");
      MoveMouse(c.x, c.y);
      const std::string where = screen + " at " + std::to_string(c.x) + "," + std::to_string(c.y) +
                                (windowed ? " in the window" : " in full screen");
      EXPECT_EQ(G().Selection, c.selection) << where;
      if (*c.lit) {
        EXPECT_EQ(Lit(int(std::strlen(c.lit))), c.lit) << where;
      }
      EXPECT_EQ(Flags(), c.flags) << where;
      if (screen == "Exit?" || screen == "Clear?") Key(vk::Escape);
      if (G().GameState != "Menu") ShowMenu(*form);
      G().Selection = G().MenuSelection = 1;
      G().MouseOverFlags = {};
      LightSelectedButton(*form, 6);
    }
  }
}

TEST_F(Mouse, BeepsOnlyWhenTheSelectionChanges) {
  Beeps();
  MoveMouse(400, 240);
  MoveMouse(410, 250);
  MoveMouse(400, 275);
  EXPECT_EQ(Beeps(), 1);
  G().Settings.SoundOn = 0;
  MoveMouse(400, 190);
  EXPECT_EQ(Beeps(), 0);
}

TEST_F(Mouse, AClickOverNoHotSpotIsIgnored) {
  MoveMouse(400, 240);
  MoveMouse(400, 275);  // off the buttons, "Opt" still lit
  Click();
  EXPECT_EQ(G().GameState, "Menu");
  MoveMouse(400, 240);
  Click();
  EXPECT_EQ(G().GameState, "Options");
}

TEST_F(Mouse, AfterUpAClickInPlaceIsIgnoredAfterDownItOpensTheKeysChoice) {
  MoveMouse(400, 240);  // on "Opt"
  Key(vk::Up);
  Click();
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(G().Selection, 1);
  MoveMouse(400, 241);
  Key(vk::Down);  // clears no flag
  Click();
  EXPECT_EQ(G().GameState, "HiScores");
}

TEST_F(Mouse, AfterLeftOnTheNameRowTheNextClickAnywhereActs) {
  ShowOptions(*form);
  G().Selection = 4;
  Key(vk::Left);
  EXPECT_FALSE(G().RequireHover);
  ClickAt(10, 10);
  EXPECT_TRUE(G().NameEditing);
  EXPECT_TRUE(G().RequireHover);
  Click();  // ends the editing, then is ignored
  EXPECT_FALSE(G().NameEditing);
  EXPECT_EQ(G().GameState, "Options");
}

TEST_F(Mouse, OptionsChoicesWhereTheRectanglesOverlap) {
  ShowOptions(*form);
  G().Settings.Windowed = 0;
  ClickAt(535, 220);  // the windowed test wins
  EXPECT_EQ(G().Settings.Windowed, 1);
  EXPECT_FALSE(platform.IsFullScreen());
  ClickAt(535, 221);  // already windowed: nothing, and not full screen either
  EXPECT_EQ(G().Settings.Windowed, 1);
  ClickAt(600, 220);
  EXPECT_TRUE(platform.IsFullScreen());
  platform.TakeNotes();
  ClickAt(488, 260);  // music on; the test folder has no music
  EXPECT_EQ(Noted("message"), std::vector<std::string>{"Не могу загрузить музыку"});
  EXPECT_EQ(G().Settings.MusicOn, 0);
  ClickAt(520, 310);
  EXPECT_EQ(G().Settings.SoundOn, 0);
  ClickAt(460, 310);
  EXPECT_EQ(G().Settings.SoundOn, 1);
  ClickAt(500, 360);
  EXPECT_TRUE(G().NameEditing);
  Type("Ab");
  ClickAt(10, 10);  // on nothing: ends the editing
  EXPECT_FALSE(G().NameEditing);
  EXPECT_EQ(G().Settings.PlayerName.Get(), "Ab");
}

TEST_F(Mouse, TheBackClickSavesWhatChangedAndTheBackKeySelectionClicksAnywhere) {
  ShowOptions(*form);
  ClickAt(520, 310);  // sound off
  ClickAt(500, 360);
  Type("Zed");
  EXPECT_EQ(SavedSettings(folder.Dir()).SoundOn, 1);
  Key(vk::Down);  // back button, by the keyboard
  MoveMouse(100, 100);
  EXPECT_TRUE(G().MouseOverFlags[OverOptionsBack]);
  Click();
  EXPECT_EQ(G().GameState, "Menu");
  const Settings saved = SavedSettings(folder.Dir());
  EXPECT_EQ(saved.SoundOn, 0);
  EXPECT_EQ(saved.PlayerName.Get(), "Zed");
}

TEST_F(Mouse, HelpPagesRunFromOneToSix) {
  ShowHelp(*form);
  Beeps();
  ClickAt(300, 440);  // previous on page 1: only the beep
  EXPECT_EQ(G().HelpPageNo, 1);
  EXPECT_EQ(Beeps(), 2);  // the selection moved, then the click
  MoveMouse(700, 440);
  for (int page = 2; page <= 7; ++page) {
    Click();
    Ticks(1);
    const int expected = std::min(page, 6);
    EXPECT_EQ(G().HelpPageNo, expected);
    EXPECT_EQ(G().HelpPage->ImageItem->Name, "Hlp" + std::to_string(expected));
    EXPECT_EQ(CountAlive<THlp>(*form), 1);
    EXPECT_EQ(CountColour(platform.LastFrame(), 218, 167, 582, 417, MinimalHelpPage(expected)), 364 * 250)
        << "page " << expected;
  }
  ClickAt(300, 500);
  EXPECT_EQ(G().GameState, "Menu");
}

TEST_F(Mouse, QuestionsByClick) {
  G().Settings.Entry(1).Score = EncodeScore(777);
  ShowScores(*form);
  ClickAt(300, 420);
  ASSERT_EQ(G().GameState, "Clear?");
  ClickAt(500, 400);  // "Отмена"
  EXPECT_EQ(G().GameState, "HiScores");
  EXPECT_EQ(DecodeScore(G().Settings.Entry(1).Score), 777u);
  ClickAt(300, 420);
  ClickAt(260, 400);  // OK
  EXPECT_EQ(G().GameState, "HiScores");
  EXPECT_EQ(DecodeScore(G().Settings.Entry(1).Score), 100u);
  EXPECT_EQ(DecodeScore(SavedSettings(folder.Dir()).Entry(1).Score), 100u);  // the file had the defaults
  ClickAt(300, 540);
  ASSERT_EQ(G().GameState, "Menu");
  ClickAt(400, 490);  // "Exit"
  ASSERT_EQ(G().GameState, "Exit?");
  ClickAt(450, 310);
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(Lit(6), "100000");
  G().Settings.SoundOn = 0;
  ClickAt(400, 490);
  ClickAt(350, 310);
  EXPECT_TRUE(application.Terminated());
  EXPECT_EQ(SavedSettings(folder.Dir()).SoundOn, 0);
}

TEST_F(Mouse, ARightClickInTheMenusActsAsAClick) {
  MoveMouse(400, 240);
  platform::Event down{.Type = platform::EventType::MouseDown, .Button = MouseButton::Right, .X = 400, .Y = 240};
  Send(down);
  EXPECT_TRUE(G().MouseSwitch);
  EXPECT_EQ(G().GameState, "Menu");
  down.Type = platform::EventType::MouseUp;
  Send(down);
  EXPECT_FALSE(G().MouseSwitch);
  EXPECT_EQ(G().GameState, "Options");
  ClickAt(300, 450, MouseButton::Middle);
  EXPECT_EQ(G().GameState, "Options");
}

TEST_F(Mouse, TheWheelChangesNothingWithoutAPlayer) {
  MoveMouse(400, 240);
  const GameGlobals before = G();
  Send({.Type = platform::EventType::MouseWheel, .WheelDelta = -360});
  EXPECT_EQ(G().GameState, before.GameState);
  EXPECT_EQ(G().Selection, before.Selection);
  EXPECT_EQ(G().MouseOverFlags, before.MouseOverFlags);
}

TEST_F(Mouse, WorldAndVisitOpenTheirTargetsWithoutWaiting) {
  // The shortcut is the game folder's: one in the working folder is not the game's.
  TempFolder elsewhere;
  std::ofstream(elsewhere.Path() / "moregames.url") << "[InternetShortcut]\n";
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.Path());
  ShowScores(*form);
  platform.TakeNotes();
  ClickAt(300, 490);
  Click();
  const std::string page = "http://localhost/cgi/version.pl?prg=Zarovel&show&type=0";
  EXPECT_EQ(Noted("open"), (std::vector<std::string>{page, page}));
  ClickAt(300, 540);
  ClickAt(400, 420);  // "Visit" without its file in the game folder
  EXPECT_TRUE(Noted("open").empty());
  std::ofstream(folder.Path() / "moregames.url") << "[InternetShortcut]\n";
  Click();
  EXPECT_EQ(Noted("open"), std::vector<std::string>{folder.Dir() + "moregames.url"});
  EXPECT_EQ(G().GameState, "Menu");
  // So is the shortcut opened when the game ends.
  std::ofstream(elsewhere.Path() / "play.url") << "[InternetShortcut]\n";
  form->LaunchOnExit();
  EXPECT_TRUE(Noted("open").empty());
  std::ofstream(folder.Path() / "play.url") << "[InternetShortcut]\n";
  form->LaunchOnExit();
  EXPECT_EQ(Noted("open"), std::vector<std::string>{folder.Dir() + "play.url"});
  std::filesystem::current_path(previous);
}

}  // namespace
