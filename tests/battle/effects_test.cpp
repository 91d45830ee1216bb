// Explosions step through their patterns; the HUD's bars and lives draw what they measure.
#include "battle/Effects.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "game/Levels.h"
#include "game/PlayScreen.h"
#include "support/PlayFixture.h"

namespace {

using EffectsTest = PlayFixture;

TEST_F(EffectsTest, AnExplosionStepsEveryEvenFrameAndEndsAfterItsLastPattern) {
  auto* explosion = new TVzriv(*form, 100, 200);
  EXPECT_EQ(Sounds(), std::vector<std::string>{"Explod"});
  EXPECT_EQ(explosion->FramePos, 1);
  EXPECT_EQ(explosion->X, 100 - explosion->Width / 2.0);
  const int patterns = explosion->FrameCount;
  ASSERT_GT(patterns, 2);
  int ticks = 0;
  while (CountAlive<TVzriv>(*form) == 1 && ticks < 100) {
    const double before = explosion->FramePos;
    Ticks(1);
    ++ticks;
    if (CountAlive<TVzriv>(*form) == 1) {
      EXPECT_EQ(explosion->FramePos, before + (G().FrameCounter % 2 == 0 ? 1 : 0));
    }
  }
  // Patterns 1 .. last, one every second frame, then one more even frame to end.
  EXPECT_NEAR(ticks, 2 * (patterns - 1), 1);
}

TEST_F(EffectsTest, AnExplosionOfOnePatternEndsAtTheFirstEvenFrame) {
  auto* explosion = new TVzriv(*form, 100, 200);
  explosion->FrameCount = 1;
  Ticks(G().FrameCounter % 2 == 0 ? 2 : 1);
  EXPECT_EQ(CountAlive<TVzriv>(*form), 0);
}

TEST_F(EffectsTest, BarsDrawTheirShareAndNothingBelowZero) {
  // Row 580 of the health bar, which starts at x 48.
  const auto barRow = [this](int health) {
    Player().Health = health;
    Ticks(1);
    const Surface& frame = platform.LastFrame();
    return std::vector<uint32_t>(frame.Row(580) + 48, frame.Row(580) + 48 + G().Stripe1->Width);
  };
  const std::vector<uint32_t> full = barRow(100), half = barRow(50), none = barRow(0), below = barRow(-30);
  const size_t w = full.size();
  EXPECT_TRUE(std::equal(half.begin(), half.begin() + std::ptrdiff_t(w / 2) - 1, full.begin()));
  EXPECT_NE(std::vector<uint32_t>(half.begin() + std::ptrdiff_t(w / 2) + 1, half.end()),
            std::vector<uint32_t>(full.begin() + std::ptrdiff_t(w / 2) + 1, full.end()));
  EXPECT_EQ(below, none);
  EXPECT_NE(none, full);
}

TEST_F(EffectsTest, LifeIconsStandFromX375) {
  // Row 25 across the three places, with no lives and then with three.
  const auto row = [this](int lives) {
    Player().Lives = uint8_t(lives);
    Ticks(1);
    const uint32_t* pixels = platform.LastFrame().Row(25);
    return std::vector<uint32_t>(pixels + 375, pixels + 465);
  };
  const std::vector<uint32_t> none = row(0), three = row(3);
  for (int i = 0; i < 3; ++i) {
    const auto place = [i](const std::vector<uint32_t>& r) {
      return std::vector<uint32_t>(r.begin() + 30 * i, r.begin() + 30 * (i + 1));
    };
    EXPECT_NE(place(three), place(none)) << "icon " << i + 1;
  }
}

// Hidden, the overlay leaves in its move; shown, in its draw. Either way the game's reference
// goes with it, and the respawn tick that hides it afterwards finds none.
TEST_F(EffectsTest, TheDeathOverlayTakesItsReferenceWithItWhenItLeaves) {
  for (const bool shown : {false, true}) {
    StartGame(*form);
    Ticks(1);
    TScrDie* overlay = G().DeathScreen;
    ASSERT_NE(overlay, nullptr);
    overlay->Visible = shown;
    G().GameState = "Menu";
    Ticks(1);
    EXPECT_EQ(G().DeathScreen, nullptr) << (shown ? "shown" : "hidden");
    EXPECT_EQ(CountAlive<TScrDie>(*form), 0);
    Timer2Timer(*form);
  }
}

}  // namespace
