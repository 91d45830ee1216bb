// The player's game controller in the running game (headless back end): input states in
// play, arrow and answer keys elsewhere, a pause and nothing held when it is pulled out,
// and rumble when the soldier is hit.
#include "game/handlers/Gamepad.h"

#include <gtest/gtest.h>

#include "battle/Projectiles.h"
#include "support/PlayFixture.h"

namespace {

using platform::PadButton;

struct Pad : PlayFixture {
  void SetUp() override {}  // each test starts where it needs
  platform::PadReading& P() { return *platform.Pad(); }
  void Hold(PadButton b) { P().Buttons |= 1u << b; }
  void Let(PadButton b) { P().Buttons &= ~(1u << b); }
  // A press and its release, a tick each, as a player's thumb gives them.
  void Tap(PadButton b) {
    Hold(b);
    Ticks(1);
    Let(b);
    Ticks(1);
  }
  std::vector<std::string> Rumbles() {
    std::vector<std::string> found;
    for (const auto& note : platform.TakeNotes())
      if (note.Channel == "rumble") found.push_back(note.What);
    return found;
  }
};

TEST_F(Pad, MenusMoveByTheDpadAndTheStickAndAnswerToAAndB) {
  Start();
  platform.AddPad();
  Ticks(1);
  ASSERT_EQ(G().GameState, "Menu");
  const int first = G().Selection;
  Tap(platform::PadDpadDown);
  EXPECT_EQ(G().Selection, first + 1);
  // The stick counts past half its travel, once per push however long it is held.
  P().LeftY = 12000;
  Ticks(3);
  P().LeftY = 0;
  Ticks(1);
  EXPECT_EQ(G().Selection, first + 1);
  P().LeftY = 30000;
  Ticks(5);
  EXPECT_EQ(G().Selection, first + 1);  // menus act on the release
  P().LeftY = 0;
  Ticks(1);
  EXPECT_EQ(G().Selection, first + 2);  // "Рекорды"
  Tap(platform::PadA);
  EXPECT_EQ(G().GameState, "HiScores");
  Tap(platform::PadB);
  EXPECT_EQ(G().GameState, "Menu");
  // Pulled out with B down: nothing happens, as nothing was released.
  Hold(platform::PadB);
  Ticks(1);
  platform.RemovePad();
  Ticks(2);
  EXPECT_EQ(G().GameState, "Menu");
  platform.AddPad();
  Ticks(1);
  // Y and the shoulders mean nothing in the menus.
  Tap(platform::PadY);
  Tap(platform::PadLeftShoulder);
  EXPECT_EQ(G().GameState, "Menu");
}

TEST_F(Pad, PlaysThroughInputStatesAndPausesWhenPulledOut) {
  StartPlay();
  platform.AddPad();
  Ticks(1);
  struct Case {
    PadButton Button;
    TDXInputState State;
  };
  for (const Case& c : {Case{platform::PadA, isButton2}, Case{platform::PadB, isButton1}, Case{platform::PadX, isButton1},
                        Case{platform::PadRightShoulder, isButton1}, Case{platform::PadDpadUp, isUp},
                        Case{platform::PadDpadLeft, isLeft}}) {
    Hold(c.Button);
    Ticks(1);
    EXPECT_TRUE(form->DXInput1.Has(c.State)) << c.Button;
    Let(c.Button);
    Ticks(1);
    EXPECT_FALSE(form->DXInput1.Has(c.State)) << c.Button;
  }
  EXPECT_EQ(G().GameState, "Game");  // B switched weapons here, it did not leave
  Tap(platform::PadStart);
  EXPECT_TRUE(G().Paused);
  Tap(platform::PadStart);
  EXPECT_FALSE(G().Paused);

  // Pulled out while firing and walking: paused, and nothing stays held.
  Hold(platform::PadA);
  P().LeftX = 32767;
  Ticks(2);
  EXPECT_TRUE(form->DXInput1.Has(isButton2) && form->DXInput1.Has(isRight));
  platform.RemovePad();
  Ticks(1);
  EXPECT_TRUE(G().Paused);
  EXPECT_EQ(form->DXInput1.States, 0u);
  EXPECT_FALSE(G().PadConnected);
  Ticks(50);
  EXPECT_TRUE(G().Paused);
  EXPECT_EQ(form->DXInput1.States, 0u);
  // Pulled out while Start or B is down: the game stays paused, the menu stays put.
  platform.AddPad();
  Ticks(1);
  Hold(platform::PadStart);
  Ticks(1);
  platform.RemovePad();
  Ticks(2);
  EXPECT_TRUE(G().Paused);
  // Plugged in again, its Start resumes.
  platform.AddPad();
  Tap(platform::PadStart);
  EXPECT_FALSE(G().Paused);
}

TEST_F(Pad, BackAsksToLeaveAndBPlaysOn) {
  StartPlay();
  platform.AddPad();
  Tap(platform::PadBack);
  EXPECT_EQ(G().GameState, "ExitGame?");
  Tap(platform::PadB);
  EXPECT_EQ(G().GameState, "Game");
  Tap(platform::PadBack);
  Tap(platform::PadDpadLeft);  // to "Да"
  Tap(platform::PadA);
  EXPECT_NE(G().GameState, "Game");
  EXPECT_NE(G().GameState, "ExitGame?");
}

TEST_F(Pad, AnyButtonLeavesTheFinishedGamesPicture) {
  StartPlay();
  platform.AddPad();
  Player().Lives = 1;
  Player().Health = 0;
  HitPlayer(*form, 1, false, 0, 0);
  ASSERT_EQ(G().GameState, "GameOver");
  G().GameState = "ExitGame?";  // Timer3 finds another state than "GameOver"
  Ticks(126);
  ASSERT_EQ(G().GameState, "GameOver2");
  Tap(platform::PadY);
  EXPECT_EQ(G().GameState, "Menu");
}

TEST_F(Pad, RumblesWhenTheSoldierIsHitOrLosesALifeUnlessTurnedOff) {
  StartPlay();
  platform.AddPad();
  Ticks(1);
  Rumbles();
  HitPlayer(*form, 5, false, 0, 0);
  EXPECT_EQ(Rumbles(), std::vector<std::string>{"24576 12288 120"});
  Player().Health = 0;
  HitPlayer(*form, 5, false, 0, 0);  // a life goes
  EXPECT_EQ(Rumbles(), std::vector<std::string>{"65535 49152 400"});
  form->RumbleOn = false;
  Ticks(200);
  HitPlayer(*form, 5, false, 0, 0);
  EXPECT_TRUE(Rumbles().empty());
}

}  // namespace
