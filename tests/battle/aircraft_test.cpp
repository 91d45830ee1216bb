// Enemy aircraft (kinds, fire, paratroopers, being shot down once) and the supply plane; the
// frame loop's spawning with its limits.
#include "battle/Aircraft.h"

#include <gtest/gtest.h>

#include "battle/Effects.h"
#include "battle/Troops.h"
#include "game/Levels.h"
#include "state/Config.h"
#include "support/PlayFixture.h"

namespace {

struct AircraftTest : PlayFixture {
  // Only the aircraft a test makes fly.
  void SetUp() override {
    PlayFixture::SetUp();
    G().PlaneOdds = G().TransportOdds = G().CarrierOdds = 1000000000;
  }
  // An aircraft standing still at (x, 80).
  TETransport& Plane(int kind, double x = 300) {
    auto* plane = new TETransport(*form, kind, false);
    plane->X = x;
    plane->Y = 80;
    plane->VelX = 0;
    return *plane;
  }
  // A player's shot of `damage` at a point, standing still.
  TBullet1* Shot(double x, double y, int damage) {
    Bullet1Launch launch;
    launch.Image = "Bullet1";
    launch.X = x, launch.Y = y;
    launch.Damage = uint8_t(damage);
    launch.BornLevel = G().Level;
    return NewBullet1(*form, launch);
  }
  void Hit(TETransport& plane, int damage) {
    bool done = false;
    plane.HandleCollision(Shot(plane.X + 10, plane.Y + 10, damage), done);
  }
};

TEST_F(AircraftTest, KindsTakeTheirHitsAndPayTheirScore) {
  struct Case {
    int kind;
    const char* image;  // entering from the left
    int score;
    int hitsByDamage[5];  // damage 1, 2, 3, 10, 20
  };
  const Case cases[] = {
      {1, "ShtrL", 10, {10, 5, 4, 1, 1}},  {2, "BombL", 20, {20, 10, 7, 2, 1}}, {3, "TrL", 30, {30, 15, 10, 3, 2}},
      {4, "VertL", 20, {20, 10, 7, 2, 1}}, {5, "ReaktL", 30, {30, 15, 10, 3, 2}},
  };
  const int damages[5] = {1, 2, 3, 10, 20};
  G().LevelGoal = 100;  // no level ends here
  for (const Case& c : cases) {
    for (int d = 0; d < 5; ++d) {
      SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", damage " << damages[d]);
      TETransport& plane = Plane(c.kind);
      EXPECT_EQ(plane.ImageItem->Name, c.image);
      G().Score = EncodeScore(0);
      G().PlaneCount = 1;
      int hits = 0;
      while (!plane.IsDead && hits < 40) Hit(plane, damages[d]), ++hits;
      EXPECT_EQ(hits, c.hitsByDamage[d]);
      EXPECT_EQ(DecodeScore(G().Score), uint32_t(c.score));
      EXPECT_EQ(G().PlaneCount, 0);
      Ticks(1);
      TakeShots();
    }
  }
}

TEST_F(AircraftTest, AnAircraftIsShotDownOnceWhateverHitsItInTheSamePass) {
  // Level 1 ends with the first aircraft shot down.
  TETransport& plane = Plane(1);
  G().PlaneCount = 1;
  Shot(plane.X + 10, plane.Y + 10, 20);
  Shot(plane.X + 20, plane.Y + 10, 20);
  Ticks(1);
  EXPECT_EQ(G().Level, 2);
  EXPECT_EQ(DecodeScore(G().Score), 10u);
  EXPECT_EQ(G().PlaneCount, 0);
  EXPECT_EQ(CountAlive<TBullet1>(*form), 0);  // both shots spent
}

TEST_F(AircraftTest, TheImpactIsLargeFromDamageTenUp) {
  for (int damage : {9, 10}) {
    TETransport& plane = Plane(3);
    Hit(plane, damage);
    const auto large = AliveOf<TVzriv>(*form);
    const auto small = AliveOf<TVzrivSmall>(*form);
    ASSERT_EQ(large.size() + small.size(), 1u) << damage;
    const TImageSpriteEx& flash = damage > 9 ? static_cast<TImageSpriteEx&>(*large[0]) : *small[0];
    const double depth = damage > 9 ? plane.Height / 4.0 : plane.Height / 8.0;
    EXPECT_DOUBLE_EQ(flash.Y + flash.Height / 2.0, plane.Y + plane.Height - depth) << damage;
    plane.Kill();
    for (auto* e : large) e->Kill();
    for (auto* e : small) e->Kill();
    Ticks(1);
  }
}

TEST_F(AircraftTest, AircraftReArmAndFireDiagonallyDown) {
  struct Case {
    int kind;
    int reArmTicks;
    const char* image;  // flying right
    double factor;
    int rotation;
  };
  const Case cases[] = {{1, 11, "Bullet2", 1.0, 32}, {2, 51, "Bomba", 0.05, 196}, {4, 18, "RaketaR1", 0.15, 32},
                        {5, 26, "RaketaR1", 0.15, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    TETransport& plane = Plane(c.kind);
    int ticks = 0;
    while (!plane.Ready && ticks < 60) Ticks(1), ++ticks;
    EXPECT_EQ(ticks, c.reArmTicks);
    for (int t = 0; t < 100 && CountAlive<TBullet3>(*form) == 0; ++t) Ticks(1);
    const auto shots = AliveOf<TBullet3>(*form);
    ASSERT_EQ(shots.size(), 1u);
    const TBullet3& shot = *shots[0];
    EXPECT_EQ(shot.ImageItem->Name, c.image);
    EXPECT_EQ(shot.SpeedFactorX, c.factor);
    EXPECT_EQ(shot.Rotation, c.rotation);
    EXPECT_EQ(shot.VelX, 50);
    EXPECT_EQ(shot.VelY, 50);
    EXPECT_EQ(shot.Damage, kAircraft[size_t(c.kind)].ShotDamage);
    plane.Kill();
    shots[0]->Kill();
    Ticks(1);
  }
}

TEST_F(AircraftTest, TransportsReleaseParatroopersAwayFromTheEdgesUpToSix) {
  G().JumpOdds = 1;  // every frame
  TETransport& nearEdge = Plane(3);
  nearEdge.X = 40 - nearEdge.Width / 2.0;  // centre at x 40
  Ticks(5);
  EXPECT_EQ(CountAlive<TE>(*form), 0);
  nearEdge.X = 400;
  Ticks(10);
  EXPECT_EQ(CountAlive<TE>(*form), 6);
  EXPECT_EQ(G().ParatrooperCount, 6);
}

TEST_F(AircraftTest, LeavingTheFieldCountsButALevelChangeDoesNot) {
  TETransport& leaving = Plane(1, 799);
  leaving.VelX = 2;
  G().PlaneCount = 2;
  Ticks(1);
  EXPECT_EQ(G().PlaneCount, 1);
  Plane(1);
  ++G().Level;
  Ticks(1);
  EXPECT_EQ(CountAlive<TETransport>(*form), 0);
  EXPECT_EQ(G().PlaneCount, 1);
}

TEST_F(AircraftTest, TheSupplyPlaneDropsItsShareAndCannotBeHit) {
  G().DropOdds = 1;
  G().DropsPerPass = 2;
  auto* carrier = new TDTransport(*form, false);
  EXPECT_EQ(carrier->VelX, 3);
  EXPECT_EQ(carrier->ImageItem->Name, "DTrL");
  carrier->X = 300;
  TBullet1* shot = Shot(carrier->X + 10, carrier->Y + 10, 20);
  Ticks(5);
  EXPECT_EQ(CountAlive<TObj>(*form), 2);
  EXPECT_FALSE(shot->IsDead);
}

TEST_F(AircraftTest, SpawningKeepsItsLimitsAndStopsWhilePlayWaits) {
  GameGlobals& g = G();
  g.PlaneOdds = g.TransportOdds = g.CarrierOdds = 1;  // every check succeeds
  g.MaxPlaneKind = 5;
  Ticks(3);
  EXPECT_EQ(CountAlive<TETransport>(*form), 3);
  EXPECT_EQ(CountAlive<TDTransport>(*form), 1);
  EXPECT_EQ(g.PlaneCount, 3);
  EXPECT_EQ(g.CarrierCount, 1);
  // Every third level sends transports only; nothing comes during the level banner.
  for (auto* plane : AliveOf<TETransport>(*form)) plane->Kill();
  for (auto* plane : AliveOf<TDTransport>(*form)) plane->Kill();
  g.Level = 2;
  NextLevel(*form);
  g.PlaneOdds = g.TransportOdds = g.CarrierOdds = 1;
  Ticks(50);
  EXPECT_EQ(CountAlive<TETransport>(*form), 0);
  Ticks(60);
  const auto planes = AliveOf<TETransport>(*form);
  ASSERT_EQ(planes.size(), 3u);
  for (const auto* plane : planes) EXPECT_EQ(plane->Kind, kTransport);
}

}  // namespace
