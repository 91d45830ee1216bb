// The player's projectiles (flight, the grenade's turn, the ground, the point they hit as)
// and the rules of being hit: health, lives, game over, the bunker's pictures.
#include "battle/Projectiles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "battle/Effects.h"
#include "battle/Player.h"
#include "battle/Troops.h"
#include "support/PlayFixture.h"
#include "ui/MenuWidgets.h"

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

TBullet3* EnemyShot(TForm1& form, double x, double y, int damage) {
  Bullet3Launch launch;
  launch.Image = "Bullet2";
  launch.X = x, launch.Y = y;
  launch.SpeedFactor = 0.02;  // 1 px a tick
  launch.Damage = uint8_t(damage);
  launch.BornLevel = form.G.Level;
  return new TBullet3(form, launch);
}

TEST_F(ProjectilesTest, EnemyFireHurtsThePlayerAndExplodesFromDamageThree) {
  TPlayer& p = Player();
  p.X = 500;  // clear of the bunker, which a shot would hit first
  for (int damage : {2, 3}) {
    SCOPED_TRACE(damage);
    p.Health = 100;
    EnemyShot(*form, p.X + 40, p.Y + 10, damage);
    Sounds();
    Ticks(1);
    EXPECT_EQ(p.Health, 100 - damage);
    EXPECT_EQ(CountAlive<TBullet3>(*form), 0);
    const std::vector<std::string> sounds = Sounds();
    EXPECT_EQ(std::count(sounds.begin(), sounds.end(), "Explod"), damage > 2 ? 1 : 0);
    Ticks(40);
  }
}

TEST_F(ProjectilesTest, EnemyFireOnADestroyedBunkerEndsTheRunOnlyInPlay) {
  const TRect bunker = G().Bunker->GetBounds();
  G().BunkerHealth = 0;
  G().GameState = "ExitGame?";  // while leaving is asked about, a hit only hits
  EnemyShot(*form, bunker.Left + 20, bunker.Top + 20, 1);
  form->Timer2.SetEnabled(false);
  Ticks(1);
  EXPECT_EQ(G().BunkerHealth, -1);
  G().GameState = "Game";
  EnemyShot(*form, bunker.Left + 20, bunker.Top + 20, 1);
  Ticks(1);
  EXPECT_EQ(G().GameState, "GameOver");
  EXPECT_EQ(CountAlive<TAsk>(*form), 1);
  StartGameOver(*form);  // a second end never leaves two question boxes
  Ticks(1);
  EXPECT_EQ(CountAlive<TAsk>(*form), 1);
}

TEST_F(ProjectilesTest, ParatroopersShotsFlyOnWhilePlayWaits) {
  TPlayer& p = Player();
  p.Health = 0;
  HitPlayer(*form, 1, false, 0, 0);  // down: the respawn wait runs
  ASSERT_TRUE(form->Timer2.Enabled());
  auto* shot = new TBullet2(*form, p.X - 25, p.Y + 10, 10, 3);
  const double x0 = shot->X;
  Ticks(1);
  EXPECT_EQ(shot->X, x0 + 10);
  Ticks(3);  // reaches the invisible figure and lowers the health it got back
  EXPECT_EQ(p.Health, 97);
}

TEST_F(ProjectilesTest, LivesNeverFallBelowNothing) {
  G().GameState = "ExitGame?";  // a shot still in flight while leaving is asked about
  Player().Lives = 0;
  LoseLife(*form);
  EXPECT_EQ(Player().Lives, 0);
}

TEST_F(ProjectilesTest, TheBunkerShowsItsStrengthInFifths) {
  // Strength left, in fifths of the full strength, after a hit of 1.
  struct Case {
    double fifthsAfter;
    const char* lower;
    const char* upper;
  };
  const Case cases[] = {
      {4.5, "BunkerN1", "BunkerV1"}, {4, "BunkerN2", "BunkerV2"}, {3, "BunkerN3", "BunkerV3"},
      {2, "BunkerN4", "BunkerV4"},   {0.5, "BunkerN4", "BunkerV4"},  // between 1 and a fifth: as it was
      {0, "BunkerN5", "BunkerV4"},
  };
  for (uint16_t full : {400, 440, 600}) {
    G().BunkerHealthMax = full;
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << full << " at " << c.fifthsAfter << " fifths");
      const int32_t after = int32_t(full / 5 * c.fifthsAfter);
      G().BunkerHealth = after + 1;
      HitBunker(*form, 1, 400, 400);
      EXPECT_EQ(G().BunkerHealth, after);
      EXPECT_EQ(G().Bunker->ImageItem->Name, c.lower);
      EXPECT_EQ(G().BunkerTop->ImageItem->Name, c.upper);
    }
  }
}

}  // namespace
