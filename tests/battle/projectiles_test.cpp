// The player's projectiles (flight, the grenade's turn, the ground, the point they hit as)
// and the rules of being hit: health, lives, game over, the bunker's pictures.
#include "battle/Projectiles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "battle/Effects.h"
#include "battle/Player.h"
#include "battle/Troops.h"
#include "support/PlayFixture.h"

namespace {

using ProjectilesTest = PlayFixture;

Bullet1Launch Grenade(double x, double y, int level) {
  Bullet1Launch g;
  g.BornLevel = level;
  g.Image = "Granata";
  g.X = x, g.Y = y;
  g.Kind = 7;
  g.SpeedFactorX = g.SpeedFactorY = 0.15;
  g.VelX = 41, g.VelY = -71;  // 6.15 right and 10.65 up a tick
  g.TurnX = x + 60, g.TurnY = y - 20;
  return g;
}

TEST_F(ProjectilesTest, TheGrenadeTurnsAheadOfAndAboveItsPoint) {
  struct Case {
    int turnLeftAtTick;  // 0: the figure keeps facing right
    int turnsAtTick;
  };
  // Facing right it is 60 px ahead at tick 11; facing left it only has to be above the
  // point, which it is from tick 2 on.
  const Case cases[] = {{0, 11}, {2, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.turnLeftAtTick);
    Player().WalkRight();
    TBullet1* grenade = NewBullet1(*form, Grenade(100, 300, G().Level));
    int turned = 0;
    for (int t = 1; t <= 12 && !turned; ++t) {
      if (t == c.turnLeftAtTick + 1 && c.turnLeftAtTick) Player().WalkLeft();
      Ticks(1);
      if (grenade->SpeedFactorY < 0) turned = t;  // falls from now on
    }
    EXPECT_EQ(turned, c.turnsAtTick);
    EXPECT_EQ(grenade->TurnX, 820);  // a point it cannot meet again
    grenade->Kill();
  }
}

TEST_F(ProjectilesTest, RocketsExplodeOnTheGroundOnlyWhileARocketWeaponIsInHand) {
  for (int weapon : {5, 1}) {
    SCOPED_TRACE(weapon);
    Player().Weapon = uint8_t(weapon);
    Bullet1Launch rocket;
    rocket.Image = "RaketaR2";
    rocket.X = 100, rocket.Y = 440;
    rocket.Kind = 5;
    rocket.BornLevel = G().Level;
    rocket.SpeedFactorX = rocket.SpeedFactorY = 0.2;
    rocket.VelY = 50;  // 10 px down a tick
    NewBullet1(*form, rocket);
    Sounds();
    Ticks(12);
    EXPECT_EQ(CountAlive<TBullet1>(*form), 0);
    const std::vector<std::string> sounds = Sounds();
    EXPECT_EQ(std::count(sounds.begin(), sounds.end(), "Explod"), weapon == 5 ? 1 : 0);
    Ticks(40);  // the explosion plays out
  }
}

TEST_F(ProjectilesTest, AProjectileHitsAsAPointStrictlyInsideARectangle) {
  // The lower bunker half covers x 323.. and y 355.. .
  const TRect bunker = G().Bunker->GetBounds();
  struct Case {
    double x, y;
    bool hit;
  };
  const Case cases[] = {
      {bunker.Left + 0.0, bunker.Top + 10.0, false},  // on the left edge
      {bunker.Left + 1.0, bunker.Top + 10.0, true},
      {bunker.Right - 1.0, bunker.Top + 10.0, true},
      {bunker.Right + 0.0, bunker.Top + 10.0, false},
      {bunker.Left + 5.0, bunker.Top + 0.0, false},   // on the top edge
  };
  for (const Case& c : cases) {
    Bullet1Launch shot;
    shot.Image = "Bullet1";
    shot.X = c.x, shot.Y = c.y;
    TBullet1* bullet = NewBullet1(*form, shot);
    EXPECT_EQ(bullet->HitTest(G().Bunker), c.hit) << c.x << ", " << c.y;
    bullet->Kill();
  }
}

TEST_F(ProjectilesTest, ShotsLeaveTheFieldTheLevelAndPlay) {
  struct Case {
    double x, y, velX, velY;
    bool levelChanges;
    bool alive;
  };
  const Case cases[] = {
      {400, 300, 0, 0, false, true},    // standing in the field
      {790, 300, 30, 0, false, false},  // past x 800
      {400, 50, 0, -20, false, false},  // above y 45
      {400, 300, 0, 0, true, false},    // fired in another level
  };
  for (const Case& c : cases) {
    Bullet1Launch shot;
    shot.Image = "Bullet1";
    shot.X = c.x, shot.Y = c.y, shot.VelX = c.velX, shot.VelY = c.velY;
    shot.BornLevel = c.levelChanges ? G().Level + 1 : G().Level;
    NewBullet1(*form, shot);
    Ticks(1);
    EXPECT_EQ(CountAlive<TBullet1>(*form), c.alive ? 1 : 0) << c.x << ", " << c.y;
    TakeShots();
  }
}

TEST_F(ProjectilesTest, HitsTakeHealthThenLivesThenTheGame) {
  TPlayer& p = Player();
  p.Health = 1;
  HitPlayer(*form, 5, true, p.X, p.Y);
  EXPECT_EQ(p.Health, -4);  // emptied, but no life lost yet
  EXPECT_EQ(p.Lives, 3);
  EXPECT_EQ(CountAlive<TVzriv>(*form), 1);  // damage above 2 explodes
  HitPlayer(*form, 2, true, p.X, p.Y);      // the next hit costs a life
  EXPECT_EQ(p.Lives, 2);
  EXPECT_EQ(p.Health, 100);
  EXPECT_FALSE(p.Alive);
  EXPECT_TRUE(G().PlayerDown);
  EXPECT_TRUE(G().DeathScreen->Visible);
  EXPECT_TRUE(form->Timer2.Enabled());
  EXPECT_EQ(CountAlive<TBlood>(*form), 1);
  Ticks(101);  // the respawn
  EXPECT_TRUE(p.Alive);
  EXPECT_FALSE(G().DeathScreen->Visible);
  EXPECT_EQ(p.X, 370);
  p.Lives = 1;
  p.Health = 0;
  HitPlayer(*form, 1, false, p.X, p.Y);  // on the last life the run ends
  EXPECT_EQ(G().GameState, "GameOver");
  EXPECT_EQ(G().Player, nullptr);
  EXPECT_TRUE(G().GameEnded);
  EXPECT_TRUE(form->Timer3.Enabled());
}

TEST_F(ProjectilesTest, LivesNeverFallBelowNothing) {
  G().GameState = "ExitGame?";  // a shot still in flight while leaving is asked about
  Player().Lives = 0;
  LoseLife(*form);
  EXPECT_EQ(Player().Lives, 0);
}

TEST_F(ProjectilesTest, TheBunkerShowsItsStrengthInFifths) {
  // Level 1: full strength 400, so the fifths lie at 80, 160, 240 and 320.
  struct Case {
    int32_t before;
    const char* lower;
    const char* upper;
  };
  const Case cases[] = {
      {330, "BunkerN1", "BunkerV1"}, {321, "BunkerN2", "BunkerV2"}, {241, "BunkerN3", "BunkerV3"},
      {161, "BunkerN4", "BunkerV4"}, {50, "BunkerN4", "BunkerV4"},  // between 1 and 80: as it was
      {1, "BunkerN5", "BunkerV4"},
  };
  for (const Case& c : cases) {
    G().BunkerHealth = c.before;
    HitBunker(*form, 1, 400, 400);
    EXPECT_EQ(G().BunkerHealth, c.before - 1);
    EXPECT_EQ(G().Bunker->ImageItem->Name, c.lower) << c.before;
    EXPECT_EQ(G().BunkerTop->ImageItem->Name, c.upper) << c.before;
  }
}

}  // namespace
