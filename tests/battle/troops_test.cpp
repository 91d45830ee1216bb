// Paratroopers (descent, landing on both profiles, facing, fire, armour, death, the goal
// step) and bonus objects (fall, landing, the time they lie, the blink).
#include "battle/Troops.h"

#include <gtest/gtest.h>

#include "battle/Effects.h"
#include "state/Config.h"
#include "support/PlayFixture.h"

namespace {

struct TroopsTest : PlayFixture {
  void SetUp() override {
    PlayFixture::SetUp();
    G().PlaneOdds = G().TransportOdds = G().CarrierOdds = 1000000000;  // no aircraft
  }
  // A paratrooper about to touch the ground at x.
  TE& Landing(double x, int kind = 2) {
    auto* trooper = new TE(*form, x, kind);
    trooper->Y = 400;  // bottom at 504: on the ground
    return *trooper;
  }
  TBullet1* Shot(int damage) {
    Bullet1Launch launch;
    launch.Image = "Bullet1";
    launch.Damage = uint8_t(damage);
    launch.BornLevel = G().Level;
    return NewBullet1(*form, launch);
  }
};

TEST_F(TroopsTest, ParatroopersDescendThreePixelsAFrame) {
  auto* trooper = new TE(*form, 200, 2);
  EXPECT_EQ(trooper->Y, 90);
  EXPECT_EQ(trooper->ImageItem->Name, "EL");
  EXPECT_EQ(trooper->FramePos, 1);
  Ticks(10);
  EXPECT_EQ(trooper->Y, 120);
  EXPECT_EQ(trooper->Z(), 3);
}

TEST_F(TroopsTest, LandingProfilesAtTheirSegmentEnds) {
  // Landed pictures are 60 x 66. Right of the middle the foot is X + 35, left of it X + 25.
  struct Case {
    double x;
    double y;  // -1: as it was (400)
    const char* image;
  };
  const Case cases[] = {
      {380, 430, "ER2"},                         // left half: foot 405 on the plateau
      {400, 430, "ER2"},                         // x 400 is still the left half
      {100, 457, "ER2"},                         // foot 125: the low ground
      {138, 457, "ER2"},                         // foot 163
      {165, 457 + 27 * kSlope1, "ER2"},          // foot 190
      {166, 467, "ER2"},                         // foot 191
      {345, 467 - 95 * kSlope2, "ER2"},          // foot 370
      {401, 430, "EL2"},                         // right half: foot 436
      {530, 430, "EL2"},                         // foot 565
      {589, 430 - 59 * kSlope3, "EL2"},          // foot 624
      {590, 422, "EL2"},                         // foot 625
      {617, 422 + 27 * kSlope4, "EL2"},          // foot 652
      {618, 423, "EL2"},                         // foot 653
      {628, 456, "EL2"},                         // foot 663
      {695, 456 + 67 * kSlope5, "EL2"},          // foot 730
      {766, -1, "EL2"},                          // foot 801: off the profile
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    TE& trooper = Landing(c.x);
    Ticks(1);
    EXPECT_EQ(trooper.Z(), 4);
    EXPECT_EQ(trooper.ImageItem->Name, c.image);
    EXPECT_EQ(trooper.FacingLeft, c.x > 400);
    EXPECT_NEAR(trooper.Y, c.y < 0 ? 400 : c.y, 1e-6);
    trooper.Kill();
  }
}

TEST_F(TroopsTest, LandedParatroopersShootOnlyAtAPlayerInFrontOfThem) {
  // The player stands at x 370..450.
  struct Case {
    double x;
    bool fires;
    int speed;
  };
  const Case cases[] = {{100, true, 10}, {380, false, 0}, {460, true, -10}, {430, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    TE& trooper = Landing(c.x, 3);
    Ticks(28);  // land, re-arm after 26 frames, fire
    const auto shots = AliveOf<TBullet2>(*form);
    ASSERT_EQ(shots.size(), c.fires ? 1u : 0u);
    if (c.fires) {
      EXPECT_EQ(shots[0]->SpeedX, c.speed);
      EXPECT_EQ(shots[0]->Damage, 3);  // armoured troopers shoot harder
      EXPECT_TRUE(shots[0]->PixelExact);
      shots[0]->Kill();
    }
    trooper.Kill();
    Ticks(1);
  }
}

TEST_F(TroopsTest, ArmourGivesByTheGunsDamage) {
  struct Case {
    int weapon;  // the gun in hand
    int kind;
    bool landed;
    int hitsToDie;
    uint32_t score;
  };
  const Case cases[] = {
      {1, 3, true, 3, 3},   // Z 4 -> 5 -> 6, the third kills
      {3, 3, true, 2, 3},   // 4 -> 6
      {2, 3, true, 1, 1},   // damage 3 is no weak hit
      {1, 3, false, 1, 1},  // still in the air: any hit
      {1, 2, true, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "weapon " << c.weapon << " on kind " << c.kind);
    Arm(c.weapon, 10);
    TE& trooper = c.landed ? Landing(300, c.kind) : *new TE(*form, 300, c.kind);
    if (c.landed) Ticks(1);
    G().Score = EncodeScore(0);
    int hits = 0;
    bool done = false;
    while (!trooper.Dying && hits < 5) trooper.HandleCollision(Shot(kWeapons[size_t(c.weapon)].Damage), done), ++hits;
    EXPECT_EQ(hits, c.hitsToDie);
    EXPECT_EQ(DecodeScore(G().Score), c.score);
    trooper.Kill();
    TakeShots();
    Ticks(1);
  }
}

TEST_F(TroopsTest, AHitParatrooperIsGoneFiveFramesLaterAndLeavesTheCount) {
  TE& trooper = Landing(300);
  G().ParatrooperCount = 1;
  Ticks(1);
  bool done = false;
  trooper.HandleCollision(Shot(1), done);
  EXPECT_EQ(CountAlive<TBlood>(*form), 1);
  Ticks(4);
  EXPECT_EQ(CountAlive<TE>(*form), 1);
  Ticks(1);
  EXPECT_EQ(CountAlive<TE>(*form), 0);
  EXPECT_EQ(G().ParatrooperCount, 0);
}

TEST_F(TroopsTest, AnExplosionKillsParatroopersAndIsNotUsedUp) {
  TE& a = Landing(200);
  TE& b = Landing(230);
  Ticks(1);
  new TVzriv(*form, a.X + a.Width / 2.0, a.Y + a.Height / 2.0);
  Ticks(1);
  EXPECT_TRUE(a.Dying);
  EXPECT_TRUE(b.Dying);
  EXPECT_EQ(DecodeScore(G().Score), 2u);
}

TEST_F(TroopsTest, EveryFifthParatrooperKillIsAGoalStepInLevelsOfThree) {
  struct Case {
    int level;
    int kills;
    int goalAfter;
  };
  const Case cases[] = {{3, 4, 3}, {3, 5, 2}, {3, 10, 2}, {4, 10, 8}};
  for (const Case& c : cases) {
    G().Level = uint16_t(c.level);
    G().LevelGoal = c.level % 3 == 0 ? c.level : 2 * c.level;
    G().ParatrooperKills = 0;
    for (int k = 0; k < c.kills; ++k) GoalStep(*form);
    // At goal 2 the next step starts the next level.
    EXPECT_EQ(G().Level == c.level ? G().LevelGoal : 2, c.goalAfter) << c.level << " after " << c.kills;
  }
}

TEST_F(TroopsTest, BonusesFallLandLieStillBlinkAndGo) {
  auto* bonus = new TObj(*form, 500, 3);  // away from the player, who would collect it
  EXPECT_EQ(bonus->ImageItem->Name, "Objs");
  EXPECT_EQ(bonus->FramePos, 2);
  const double fallTo = 489 - bonus->Height;  // the landing frame finds its bottom at 489
  int ticks = 0;
  while (bonus->Y < fallTo && ticks < 200) Ticks(1), ++ticks;
  EXPECT_EQ(bonus->Y, fallTo);
  Ticks(1);  // lands
  EXPECT_EQ(bonus->ImageItem->Name, "SObjs");
  EXPECT_EQ(bonus->X, 519);
  EXPECT_EQ(bonus->Y, 496 - bonus->Height);
  Ticks(416);  // from 8 s on it blinks, 16 frames lit and 16 not
  EXPECT_EQ(bonus->FramePos, 20);
  Ticks(16);
  EXPECT_EQ(bonus->FramePos, 2);
  Ticks(63);
  EXPECT_EQ(CountAlive<TObj>(*form), 1);
  Ticks(1);  // 9.92 s
  EXPECT_EQ(CountAlive<TObj>(*form), 0);
}

TEST_F(TroopsTest, AskedForHealthABonusIsDrawnAgain) {
  std::array<int, 9> kinds{};
  for (int i = 0; i < 200; ++i) {
    auto* bonus = new TObj(*form, 100, 6);
    ++kinds[bonus->Kind];
    bonus->Kill();
  }
  EXPECT_EQ(kinds[0], 0);
  EXPECT_LT(kinds[6], 60);  // only when the redraw comes out as 6 again
  for (int k = 1; k <= 8; ++k) EXPECT_GT(kinds[size_t(k)], 0) << k;
}

}  // namespace
