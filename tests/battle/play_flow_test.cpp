// A game from its start to leaving it: the play screen, the level banner, the pause and the
// question before leaving.
#include <gtest/gtest.h>

#include "battle/Effects.h"
#include "battle/Troops.h"
#include "engine/platform/VirtualKeys.h"
#include "game/Levels.h"
#include "state/Config.h"
#include "support/PlayFixture.h"
#include "ui/MenuWidgets.h"

namespace {

struct PlayFlow : PlayFixture {
  void SetUp() override { StartPlay(false); }
};

TEST_F(PlayFlow, StartBuildsThePlayScreenAndShowsLevelOneForTwoSeconds) {
  const GameGlobals& g = G();
  EXPECT_EQ(g.GameState, "Game");
  EXPECT_EQ(g.Level, 1);
  EXPECT_EQ(DecodeScore(g.Score), 0u);
  EXPECT_EQ(g.BunkerHealth, 400);
  EXPECT_EQ(g.MenuSelection, 1);
  EXPECT_FALSE(platform.CursorShown());
  EXPECT_TRUE(platform.RelativeMouse());  // the pointer steers and stays in the window
  for (int n : {CountAlive<TFon>(*form), CountAlive<TNiz>(*form), CountAlive<TBunker>(*form),
                CountAlive<TBunkerVerh>(*form), CountAlive<TPlayer>(*form), CountAlive<TPolosa1>(*form),
                CountAlive<TPolosa2>(*form), CountAlive<TLifes>(*form), CountAlive<TScrDie>(*form)})
    EXPECT_EQ(n, 1);
  EXPECT_EQ(g.Player->Lives, 3);
  EXPECT_EQ(g.Player->Ammo, (std::array<int32_t, 8>{0, 10, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(g.DeathScreen->Visible);
  // The banner's wait: nothing moves until Timer2 ticks.
  const double x0 = g.Player->X;
  Press(vk::Right);
  Ticks(99);
  EXPECT_TRUE(form->Timer2.Enabled());
  EXPECT_EQ(g.Player->X, x0);
  Ticks(2);
  EXPECT_FALSE(form->Timer2.Enabled());
  EXPECT_GT(g.Player->X, x0);
}

TEST_F(PlayFlow, PTogglesThePauseAndAPlayerWhoIsDownStillStandsUp) {
  Ticks(101);
  Key('P');
  EXPECT_TRUE(G().Paused);
  EXPECT_TRUE(form->Timer2.Enabled());
  Ticks(200);  // the wait never ends while paused
  EXPECT_TRUE(form->Timer2.Enabled());
  Key('P');
  EXPECT_FALSE(G().Paused);
  EXPECT_FALSE(form->Timer2.Enabled());
  // Down, paused and resumed: the respawn still comes.
  G().Player->Health = 0;
  HitPlayer(*form, 1, false, 0, 0);
  Key('P');
  Key('P');
  Ticks(101);
  EXPECT_FALSE(G().PlayerDown);
  EXPECT_TRUE(G().Player->Alive);
}

TEST_F(PlayFlow, EscapeAsksAndYesLeavesForTheMenuWhileNoResumes) {
  Ticks(101);
  Key(vk::Escape);
  EXPECT_EQ(G().GameState, "ExitGame?");
  EXPECT_TRUE(G().Paused);
  EXPECT_TRUE(platform.CursorShown());
  Key('N');
  EXPECT_EQ(G().GameState, "Game");
  EXPECT_FALSE(G().Paused);
  EXPECT_FALSE(platform.CursorShown());
  Key(vk::Escape);
  Key('Y');
  EXPECT_EQ(G().GameState, "Menu");
  EXPECT_EQ(G().Player, nullptr);
  Ticks(2);  // the sprites of play remove themselves
  for (int n : {CountAlive<TPlayer>(*form), CountAlive<TNiz>(*form), CountAlive<TBunker>(*form),
                CountAlive<TLifes>(*form), CountAlive<TPolosa1>(*form), CountAlive<TScrDie>(*form)})
    EXPECT_EQ(n, 0);
  EXPECT_EQ(CountAlive<TMenuB>(*form), 6);
  EXPECT_TRUE(platform.CursorShown());
  EXPECT_FALSE(platform.RelativeMouse());
}

TEST_F(PlayFlow, LevelsGrowHarder) {
  struct Row {
    int level, dropsPerPass, planeOdds, carrierOdds, jumpOdds, dropOdds, maxPlaneKind, levelGoal, bunkerMax;
  };
  const Row rows[] = {
      {1, 2, 180, 350, 190, 34, 1, 2, 400},   {2, 3, 160, 400, 180, 38, 2, 4, 440},
      {3, 4, 140, 450, 170, 42, 3, 3, 480},   {4, 5, 120, 500, 160, 46, 4, 8, 520},
      {5, 5, 100, 550, 150, 50, 5, 10, 560},  {6, 5, 100, 600, 140, 50, 5, 6, 600},
      {15, 5, 100, 600, 50, 50, 5, 15, 960},  {16, 5, 100, 600, 50, 50, 5, 32, 1000},  // at their limits
  };
  for (const Row& r : rows) {
    while (G().Level < r.level) NextLevel(*form);
    const GameGlobals& g = G();
    EXPECT_EQ(g.Level, r.level);
    EXPECT_EQ(g.DropsPerPass, r.dropsPerPass) << r.level;
    EXPECT_EQ(g.PlaneOdds, r.planeOdds) << r.level;
    EXPECT_EQ(g.TransportOdds, r.planeOdds) << r.level;
    EXPECT_EQ(g.CarrierOdds, r.carrierOdds) << r.level;
    EXPECT_EQ(g.JumpOdds, r.jumpOdds) << r.level;
    EXPECT_EQ(g.DropOdds, r.dropOdds) << r.level;
    EXPECT_EQ(g.MaxPlaneKind, r.maxPlaneKind) << r.level;
    EXPECT_EQ(g.LevelGoal, r.levelGoal) << r.level;
    EXPECT_EQ(g.BunkerHealthMax, r.bunkerMax) << r.level;
    EXPECT_EQ(g.BunkerHealth, 360 + 40 * r.level) << r.level;
  }
}

}  // namespace
