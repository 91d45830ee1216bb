// The soldier: the weapon table, switching, aiming, walking on both ground profiles, the
// bonuses he collects, and steering by keys, mouse and joystick.
#include "battle/Player.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "battle/Effects.h"
#include "battle/Troops.h"
#include "engine/platform/VirtualKeys.h"
#include "state/Config.h"
#include "support/PlayFixture.h"

namespace {

using PlayerTest = PlayFixture;

TEST_F(PlayerTest, EachWeaponFiresItsShotsAtItsRateForItsCost) {
  struct Case {
    int weapon;
    int ticksPerShot;  // at 20 ms a frame
    size_t projectiles;
    int cost;
    const char* image;
    const char* sound;
  };
  const Case cases[] = {
      {1, 18, 1, 0, "Bullet1", "Shot"},   {2, 6, 1, 1, "Bullet1", "Shot"},    {3, 6, 2, 2, "Bullet1", "Shot"},
      {4, 5, 1, 1, "Bullet1", "Shot"},    {5, 51, 1, 1, "RaketaR2", "Roket"}, {6, 51, 3, 3, "RaketaR1", "Roket"},
      {7, 26, 1, 1, "Granata", nullptr},
  };
  Press(vk::Control);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.weapon);
    Arm(c.weapon, 100);
    TakeShots();
    Sounds();
    std::vector<int> shotTicks;
    for (int t = 1; t <= 2 * c.ticksPerShot; ++t) {
      Ticks(1);
      const std::vector<TBullet1*> shots = TakeShots();
      if (shots.empty()) continue;
      shotTicks.push_back(t);
      EXPECT_EQ(shots.size(), c.projectiles);
      for (const TBullet1* shot : shots) {
        EXPECT_EQ(shot->ImageItem->Name, c.image);
        EXPECT_EQ(shot->Kind, c.weapon);
        EXPECT_EQ(shot->Damage, kWeapons[size_t(c.weapon)].Damage);
        EXPECT_EQ(shot->SpeedFactorX, kWeapons[size_t(c.weapon)].SpeedFactor);
        EXPECT_EQ(shot->Z(), 5);
      }
    }
    EXPECT_EQ(shotTicks, (std::vector<int>{c.ticksPerShot, 2 * c.ticksPerShot}));
    EXPECT_EQ(Player().Ammo[size_t(c.weapon)], 100 - 2 * c.cost);
    const std::vector<std::string> sounds = Sounds();
    EXPECT_EQ(std::count(sounds.begin(), sounds.end(), c.sound ? c.sound : "Shot"), c.sound ? 2 : 0);
  }
}

TEST_F(PlayerTest, ShotsLeaveTheMuzzleAlongTheAim) {
  Arm(2, 10);
  Player().AimAngle = 90;  // horizontal: the muzzle is 60 along and 4 across the barrel from the pivot
  Press(vk::Control);
  Ticks(6);
  const TPlayer& p = Player();
  std::vector<TBullet1*> shots = TakeShots();
  ASSERT_EQ(shots.size(), 1u);
  EXPECT_NEAR(shots[0]->X, p.X + 18 + 60, 1e-9);
  EXPECT_NEAR(shots[0]->Y, p.Y - 10 + 4, 1e-9);
  EXPECT_NEAR(shots[0]->VelX, 82, 1e-9);  // the gun's width
  EXPECT_NEAR(shots[0]->VelY, 0, 1e-9);
  EXPECT_EQ(shots[0]->TurnX, shots[0]->X + 60);
  // Facing left and straight up the pivot is 62 px in, and the picture turns the other way.
  Release(vk::Control);
  Player().WalkLeft();
  Player().AimAngle = 0;
  Gun().Ready = false;
  Gun().FireTicks = 0;
  Press(vk::Control);
  Ticks(6);
  shots = TakeShots();
  ASSERT_EQ(shots.size(), 1u);
  EXPECT_NEAR(shots[0]->X, p.X + 62 - 4, 1e-9);
  EXPECT_NEAR(shots[0]->Y, p.Y - 10 - 60, 1e-9);
  EXPECT_EQ(shots[0]->Rotation, 64);  // -(-64) in 256ths of a turn
  EXPECT_EQ(shots[0]->ImageItem->Name, "Bullet1");
}

TEST_F(PlayerTest, AWeaponWithoutAmmunitionSwitchesInsteadOfFiring) {
  struct Case {
    int weapon, ammo;
    size_t shots;  // in the tick the gun is ready
    int weaponAfter;
  };
  const Case cases[] = {
      {2, 0, 0, 4},  // empty: the next loaded weapon, nothing fired
      {3, 1, 1, 4},  // the double barrel with one round: one shot, then the switch
      {6, 1, 1, 1},  // the fan with one rocket: one rocket, then the switch (7 is empty: to 1)
      {6, 2, 2, 1},
  };
  Press(vk::Control);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.weapon << " with " << c.ammo);
    Player().Ammo.fill(0);
    Player().Ammo[1] = 10;
    Player().Ammo[4] = 5;
    Arm(c.weapon, c.ammo);
    Ticks(kWeapons[size_t(c.weapon)].FireRate == 1 ? 51 : 6);
    EXPECT_EQ(TakeShots().size(), c.shots);
    EXPECT_EQ(Player().Weapon, c.weaponAfter);
    EXPECT_EQ(Player().Ammo[size_t(c.weapon)], 0);
  }
}

TEST_F(PlayerTest, SwitchingSkipsEmptyWeaponsAndLoadsTheGun) {
  Player().Ammo = {0, 10, 0, 5, 0, 0, 3, 0};
  const int expected[] = {3, 6, 1, 3};
  for (int weapon : expected) {
    SelectNextWeapon(*form);
    EXPECT_EQ(Player().Weapon, weapon);
    EXPECT_EQ(Gun().Damage, kWeapons[size_t(weapon)].Damage);
    EXPECT_EQ(Gun().FireRate, kWeapons[size_t(weapon)].FireRate);
    EXPECT_EQ(Gun().BarrelOffset, kWeapons[size_t(weapon)].BarrelOffset);
  }
}

TEST_F(PlayerTest, AHeldSwitchKeySwitchesOncePerEighteenTicksAndTheWheelPerNotch) {
  Player().Ammo = {0, 10, 5, 5, 5, 5, 5, 5};
  Gun().SwitchReady = false;
  Gun().SwitchTicks = 0;
  Press(vk::Prior);
  Ticks(18);
  EXPECT_EQ(Player().Weapon, 1);
  Ticks(1);
  EXPECT_EQ(Player().Weapon, 2);
  Ticks(17);
  EXPECT_EQ(Player().Weapon, 2);
  Ticks(1);
  EXPECT_EQ(Player().Weapon, 3);
  Release(vk::Prior);
  platform::Event wheel;
  wheel.Type = platform::EventType::MouseWheel;
  wheel.WheelDelta = -360;  // three notches towards the user
  Send(wheel);
  EXPECT_EQ(Player().Weapon, 6);
}

// The wait for the next switch runs from the last switch: a press held n ticks switches
// 1 + (n - 1) / 18 times, whenever it lands in the gun's re-arm rhythm.
TEST_F(PlayerTest, APressHeldNTicksSwitchesOnceAndThenEveryEighteenTicks) {
  const struct {
    int held, switches;
  } cases[] = {{1, 1}, {17, 1}, {18, 1}, {19, 2}, {40, 3}};
  Player().Ammo = {0, 10, 5, 5, 5, 5, 5, 5};
  for (const auto& c : cases) {
    for (int phase : {0, 3, 9, 16}) {
      Ticks(18 + phase);  // ready again, at a different point of the free-running count
      const int before = Player().Weapon;
      Press(vk::Space);
      Ticks(c.held);
      Release(vk::Space);
      const int switches = (Player().Weapon - before + 7) % 7;
      EXPECT_EQ(switches, c.switches) << "held " << c.held << " ticks, phase " << phase;
    }
  }
}

TEST_F(PlayerTest, AimStaysWithinItsLimits) {
  struct Case {
    int weapon, aim, key, ticks;
    int aimAfter, lastAfter;
  };
  const Case cases[] = {
      {1, 1, vk::Up, 1, -1, 50},    // -1 is neither clamped nor remembered
      {1, 4, vk::Up, 5, 0, 0},      // straight up at most
      {1, 100, vk::Down, 5, 105, 105},  // 15 degrees below the horizontal at most
      {7, 90, 0, 1, 70, 70},        // the grenade launcher lobs: 30..70
      {7, 32, vk::Up, 3, 30, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "weapon " << c.weapon << " from " << c.aim);
    Arm(c.weapon, 5);
    Player().AimAngle = c.aim;
    Player().LastAimAngle = 50;
    if (c.key) Press(c.key);
    Ticks(c.ticks);
    if (c.key) Release(c.key);
    EXPECT_EQ(Player().AimAngle, c.aimAfter);
    EXPECT_EQ(Player().LastAimAngle, c.lastAfter);
  }
}

TEST_F(PlayerTest, GroundProfilesAtTheirSegmentEnds) {
  // The body is 80 x 30: walking right the foot is X + 45, walking left X + 35.
  struct Case {
    double x;
    bool right;
    double y;  // -1: the ground is flat there and Y stays
  };
  const Case cases[] = {
      {118, true, 493},                         // foot 163
      {145, true, 493 + 27 * 0.37037037},       // foot 190
      {146, true, -1},                          // foot 191: flat
      {117.6, true, 493 - 0.4 * 0.37037037},    // foot 162.6 counts as 163
      {230, true, 503},                         // foot 275
      {325, true, 503 - 95 * 0.38947368},       // foot 370
      {610, true, 466 - 90 * 0.07777778},       // foot 655
      {620, true, 459},                         // foot 665
      {715, true, 492 + 67 * 0.11940299},       // foot 760
      {98, false, 492},                         // foot 133
      {125, false, 492 + 27 * 0.37037037},      // foot 160
      {210, false, 502},                        // foot 245
      {589, false, 466 - 59 * 0.07777778},      // foot 624
      {590, false, 458},                        // foot 625
      {695, false, 492 + 67 * 0.11940299},      // foot 730
      {96, false, -1},                          // foot 131: flat
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << (c.right ? " right" : " left"));
    EXPECT_NEAR(GroundY(c.x, -1, 80, 30, c.right), c.y, 1e-9);
  }
}

TEST_F(PlayerTest, WalkingSpeedsUpUntilItPassesThreeAndStartsAgainOnTurning) {
  TPlayer& p = Player();
  const double x0 = p.X;
  Press(vk::Right);
  Ticks(1);
  EXPECT_DOUBLE_EQ(p.WalkSpeed, 1.1);  // a new game starts at 1
  EXPECT_DOUBLE_EQ(p.X, x0 + 1.1);
  Release(vk::Right);
  Ticks(5);
  Press(vk::Right);
  Ticks(1);
  EXPECT_DOUBLE_EQ(p.WalkSpeed, 1.2);  // kept while standing
  Release(vk::Right);
  Press(vk::Left);
  Ticks(1);
  EXPECT_DOUBLE_EQ(p.WalkSpeed, 0.1);  // turning starts from 0
  EXPECT_TRUE(p.FacingLeft);
  EXPECT_EQ(p.ImageItem->Name, "PlayerL");
  Ticks(100);
  EXPECT_GT(p.WalkSpeed, 3);  // grows while not above 3
  EXPECT_LT(p.WalkSpeed, 3.1 + 1e-9);
  Release(vk::Left);
}

TEST_F(PlayerTest, TheFigureStopsAtBothEdgesButStillTurns) {
  TPlayer& p = Player();
  Press(vk::Right);
  Ticks(400);
  Release(vk::Right);
  EXPECT_GE(p.X, 798 - p.ImageItem->PatternWidth);
  EXPECT_LT(p.X, 798 - p.ImageItem->PatternWidth + 3.2);
  const double atRight = p.X;
  Press(vk::Right);
  Ticks(5);
  Release(vk::Right);
  EXPECT_EQ(p.X, atRight);
  Press(vk::Left);
  Ticks(600);
  Release(vk::Left);
  EXPECT_LE(p.X, 2);
  EXPECT_GT(p.X, -1.2);
  Press(vk::Right);
  Ticks(1);
  EXPECT_TRUE(p.FacingRight);
}

TEST_F(PlayerTest, BonusesGiveWhatTheirKindSays) {
  struct Case {
    int kind;
    int health;  // before
    int weapon, ammo;  // ammunition afterwards of weapon (0: none changes)
    int healthAfter;
    uint32_t score;
  };
  const Case cases[] = {
      {1, 100, 3, 30, 100, 0}, {2, 100, 4, 50, 100, 0}, {3, 100, 6, 15, 100, 0}, {4, 100, 7, 5, 100, 0},
      {5, 100, 2, 30, 100, 0}, {8, 100, 5, 5, 100, 0},  {6, 30, 0, 0, 80, 0},    {6, 80, 0, 0, 100, 0},  // capped
      {7, 100, 0, 0, 100, 100}, {0, 100, 0, 0, 100, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    TPlayer& p = Player();
    p.Ammo = {0, 10, 0, 0, 0, 0, 0, 0};
    p.Health = c.health;
    G().Score = EncodeScore(0);
    auto* bonus = new TObj(*form, p.X, 1);
    bonus->Kind = uint8_t(c.kind);  // a 6 asked for at creation would be redrawn at random
    bonus->Y = p.Y;
    Sounds();
    Ticks(1);
    EXPECT_EQ(CountAlive<TObj>(*form), 0);  // collected
    if (c.weapon) {
      EXPECT_EQ(p.Ammo[size_t(c.weapon)], c.ammo);
    }
    EXPECT_EQ(p.Health, c.healthAfter);
    EXPECT_EQ(DecodeScore(G().Score), c.score);
    EXPECT_EQ(Sounds(), std::vector<std::string>{"Bonus"});
  }
}

TEST_F(PlayerTest, AnExplosionHurtsTheFigureOnce) {
  TPlayer& p = Player();
  new TVzriv(*form, p.X + 40, p.Y + 15);
  Ticks(6);
  EXPECT_EQ(p.Health, 98);
}

TEST_F(PlayerTest, ThePointerSteersInPlayAndGoesBackToTheCentre) {
  TPlayer& p = Player();
  const double x0 = p.X;
  MoveMouse(400, 340);  // 40 px down turns the gun 20 degrees down
  EXPECT_EQ(p.AimAngle, 105);
  int x = 0, y = 0;
  platform.GetCursorPos(x, y);
  EXPECT_EQ(std::make_pair(x, y), std::make_pair(400, 300));
  MoveMouse(400, 200);
  EXPECT_EQ(p.AimAngle, 55);
  MoveMouse(430, 300);  // one walking step right per movement
  EXPECT_DOUBLE_EQ(p.X, x0 + 1.1);
  EXPECT_TRUE(G().WalkRightRequest);
  MoveMouse(370, 300);
  EXPECT_TRUE(p.FacingLeft);
  EXPECT_DOUBLE_EQ(p.X, x0 + 1.0);
  // A held direction key wins over the pointer in that direction.
  Press(vk::Left);
  Ticks(1);
  const double held = p.X;
  MoveMouse(370, 300);
  EXPECT_DOUBLE_EQ(p.X, held);
  Release(vk::Left);
}

TEST_F(PlayerTest, TheMouseButtonsFireAndSwitch) {
  Player().Ammo[4] = 5;
  Arm(1, 10);
  platform::Event down;
  down.Type = platform::EventType::MouseDown;
  down.Button = platform::MouseButton::Left;
  Send(down);
  Ticks(18);
  EXPECT_EQ(TakeShots().size(), 1u);
  Gun().SwitchReady = true;
  down.Button = platform::MouseButton::Right;
  Send(down);
  Ticks(1);
  EXPECT_EQ(Player().Weapon, 4);
  EXPECT_EQ(G().GameState, "Game");  // the right button never clicks in play
}

TEST_F(PlayerTest, TheJoystickWalksAimsAndFires) {
  platform::JoystickReading stick;
  stick.X = 65535;  // fully right
  stick.Y = 0;      // fully up
  stick.Buttons = 1u << 1;  // button 2 fires
  platform.SetJoystick(true, stick);
  const double x0 = Player().X;
  Ticks(18);
  EXPECT_GT(Player().X, x0);
  EXPECT_LT(Player().AimAngle, 90);
  EXPECT_EQ(TakeShots().size(), 1u);
}

}  // namespace
