// Screen builders, the saved menu selection, the window's close request, deactivation and
// system commands, and the display mode switch.
#include "game/Screens.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/platform/VirtualKeys.h"
#include "game/DisplayMode.h"
#include "support/GameFixture.h"
#include "ui/MenuWidgets.h"

namespace {

struct Screens : GameFixture {
  void SetUp() override { Start(); }
  // The buttons as "image@x,y" with a '*' on the lit ones.
  std::vector<std::string> Buttons() {
    std::vector<std::string> list;
    for (int i = 1; i <= 6; ++i) {
      const TMenuB* b = G().MenuButtons[size_t(i)];
      if (b == nullptr || b->IsDead) continue;
      list.push_back(b->ImageItem->Name + "@" + std::to_string(int(b->X)) + "," + std::to_string(int(b->Y)) +
                     (b->Selected ? "*" : ""));
    }
    return list;
  }
};

TEST_F(Screens, EachScreenBuildsItsButtonsAndSelectsItsBackButton) {
  struct Case {
    void (*show)(TForm1&);
    const char* state;
    int selection;
    std::vector<std::string> buttons;
    int helpPages;
  };
  const Case cases[] = {
      {ShowOptions, "Options", 5, {"OptBack@217,441*"}, 0},
      {ShowScores, "HiScores", 3, {"Clear@216,433", "World@216,481", "HScrBack@217,529*"}, 0},
      {ShowHelp, "Help", 3, {"Previos@216,433", "Next@493,433", "HlpBack@217,481*"}, 1},
  };
  const std::vector<std::string> menu = {"Start@240,166", "Opt@240,221*", "HScores@240,283",
                                         "Help@240,340",  "Visit@240,403", "Exit@240,462"};
  for (const Case& c : cases) {
    G().Selection = 2;
    LightSelectedButton(*form, 6);
    c.show(*form);
    Ticks(1);
    EXPECT_EQ(G().GameState, c.state);
    EXPECT_EQ(G().Selection, c.selection) << c.state;
    EXPECT_EQ(Buttons(), c.buttons) << c.state;
    EXPECT_EQ(CountAlive<TMenuB>(*form), int(c.buttons.size())) << c.state;
    EXPECT_EQ(CountAlive<TFonB>(*form), 1) << c.state;
    EXPECT_EQ(CountAlive<THlp>(*form), c.helpPages) << c.state;
    ShowMenu(*form);
    Ticks(1);
    EXPECT_EQ(G().GameState, "Menu");
    EXPECT_EQ(Buttons(), menu) << "back from " << c.state;
    EXPECT_EQ(CountAlive<TMenuB>(*form), 6);
    EXPECT_EQ(CountAlive<TFonB>(*form) + CountAlive<THlp>(*form), 0);
  }
}

TEST_F(Screens, LeavingASubScreenRestoresTheMenuSelectionAndClearsTheKeySum) {
  for (auto show : {ShowOptions, ShowScores, ShowHelp}) {
    G().Selection = 4;
    show(*form);
    G().Selection = 1;
    G().CreditsKeySum = 419;
    G().NameEditing = true;
    G().RequireHover = false;
    ShowMenu(*form);
    EXPECT_EQ(G().Selection, 4);
    EXPECT_EQ(G().CreditsKeySum, 0);
    EXPECT_FALSE(G().NameEditing);
    EXPECT_TRUE(G().RequireHover);
    EXPECT_EQ(Buttons()[3], "Help@240,340*");
  }
}

// Closing is refused everywhere; outside play it asks "Exit?" over a menu with exactly
// one question box and nothing left of the screen before.
TEST_F(Screens, TheCloseRequestAsksExitOverAFreshMenu) {
  const struct {
    const char* name;
    void (*build)(TForm1&);
  } cases[] = {
      {"Menu", [](TForm1&) {}},
      {"Options", ShowOptions},
      {"HiScores", ShowScores},
      {"Help", ShowHelp},
      {"Clear?", [](TForm1& f) { ShowScores(f), AskQuestion(f, "Clear?"); }},
      {"Exit?", [](TForm1& f) { AskQuestion(f, "Exit?"); }},
  };
  for (const auto& c : cases) {
    c.build(*form);  // from the menu
    ASSERT_EQ(G().GameState, c.name);
    G().Selection = 2;
    Send({.Type = platform::EventType::Close});
    Ticks(1);
    EXPECT_FALSE(application.Terminated()) << c.name;
    EXPECT_EQ(G().GameState, "Exit?") << c.name;
    EXPECT_EQ(G().Selection, 1) << c.name;
    EXPECT_EQ(CountAlive<TAsk>(*form), 1) << c.name;
    EXPECT_EQ(CountAlive<TMenuB>(*form), 6) << c.name;
    EXPECT_EQ(CountAlive<TFonB>(*form) + CountAlive<THlp>(*form), 0) << c.name;
    EXPECT_EQ(CountAlive<TFon>(*form), 1) << c.name;
    Key(vk::Escape);
  }
}

TEST_F(Screens, TheCloseRequestDoesNothingDuringPlayOrNameEntry) {
  for (const char* state : {"Game", "ExitGame?", "GameOver", "EnterName"}) {
    G().GameState = state;
    Send({.Type = platform::EventType::Close});
    EXPECT_FALSE(application.Terminated());
    EXPECT_EQ(G().GameState, state);
    EXPECT_EQ(CountAlive<TAsk>(*form), 0);
  }
}

// A termination signal is not a close request: it ends the program at once, in play too,
// and keeps the settings changed in memory.
TEST_F(Screens, TheSessionEndSavesAndEndsInAnyState) {
  ShowOptions(*form);
  G().Settings.SoundOn = 0;
  G().GameState = "Game";
  Send({.Type = platform::EventType::SessionEnd});
  EXPECT_TRUE(application.Terminated());
  EXPECT_EQ(SavedSettings(folder.Dir()).SoundOn, 0);
}

TEST_F(Screens, DeactivationPausesInEveryStateAndActivationDoesNotResume) {
  Send({.Type = platform::EventType::Deactivate});
  EXPECT_TRUE(G().Paused);
  EXPECT_TRUE(form->Timer2.Enabled());
  Send({.Type = platform::EventType::Activate});
  EXPECT_TRUE(G().Paused);
}

TEST_F(Screens, MinimisingPausesOnlyPlay) {
  Send({.Type = platform::EventType::Minimize});
  EXPECT_FALSE(G().Paused);
  G().GameState = "Game";
  Send({.Type = platform::EventType::Minimize});
  EXPECT_TRUE(G().Paused);
  EXPECT_TRUE(form->Timer2.Enabled());
}

TEST_F(Screens, MaximisingSwitchesToFullScreenAndSaves) {
  ShowOptions(*form);
  Send({.Type = platform::EventType::Maximize});
  EXPECT_TRUE(platform.IsFullScreen());
  EXPECT_EQ(G().Settings.Windowed, 0);
  EXPECT_EQ(SavedSettings(folder.Dir()).Windowed, 0);
  EXPECT_EQ(G().GameState, "Options");
  EXPECT_TRUE(form->DXTimer1.Enabled());
  const int presented = platform.PresentCount();
  Ticks(1);
  EXPECT_EQ(platform.PresentCount(), presented + 1);
}

TEST_F(Screens, TheFrameTimerRunsAgainWhenSavingTheDisplayModeFails) {
  // A folder where the file should be: the save cannot replace it.
  std::filesystem::remove(folder.Path() / "Config.cfg");
  std::filesystem::create_directory(folder.Path() / "Config.cfg");
  platform.TakeNotes();
  G().Settings.Windowed = 0;
  ApplyDisplayMode(*form);
  EXPECT_TRUE(platform.IsFullScreen());
  EXPECT_TRUE(form->DXTimer1.Enabled());
  int messages = 0;
  for (const auto& note : platform.TakeNotes()) messages += note.Channel == "message";
  EXPECT_EQ(messages, 1);
  G().Settings.Windowed = 1;
  ApplyDisplayMode(*form);
  EXPECT_FALSE(platform.IsFullScreen());
}

TEST_F(Screens, TheCursorIsShownOrHiddenWhateverItWasBefore) {
  for (bool show : {false, false, true, true, false}) {
    SetCursorVisible(*form, show);
    EXPECT_EQ(platform.CursorShown(), show);
  }
}

}  // namespace
