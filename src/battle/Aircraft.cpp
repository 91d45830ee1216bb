// Enemy aircraft and the supply plane.
#include "battle/Aircraft.h"

#include <string>

#include "battle/Battle.h"
#include "battle/Effects.h"
#include "battle/Projectiles.h"
#include "battle/Troops.h"
#include "game/Form1.h"
#include "state/Config.h"

namespace {

// Aircraft drop and release nothing within 50 px of the side edges.
bool AwayFromTheEdges(double centreX) { return 50 < centreX && centreX < 750; }

// Enters at the side it comes from, just outside the field.
void Enter(TImageSpriteEx& plane, bool fromRight, double speed, bool& movingRight, double& velX) {
  plane.X = fromRight ? 800 : -plane.Width;
  velX = fromRight ? -speed : speed;
  movingRight = !fromRight;
}

// Flies on; true when it has left the field (and is killed).
bool FlyOut(TImageSpriteEx& plane, double velX, uint8_t& counter) {
  plane.X += velX;
  if (plane.X <= 800 && plane.X + plane.Width >= 0) return false;
  if (counter > 0) --counter;
  plane.Kill();
  return true;
}

// The enemy's shots by kind: picture flying right and left, speed factor, rotation flying
// right and left (256ths of a turn).
struct EnemyShot {
  const char* ImageRight;
  const char* ImageLeft;
  double SpeedFactor;
  uint8_t RotationRight, RotationLeft;
};
constexpr EnemyShot kEnemyShots[6] = {
    {},
    {"Bullet2", "Bullet2", 1.0, 32, 224},    // 45 degrees down, 50 px a tick
    {"Bomba", "Bomba", 0.05, 196, 60},       // a bomb drops slowly
    {},                                      // the transport does not fire
    {"RaketaR1", "RaketaL1", 0.15, 32, 224},
    {"RaketaR1", "RaketaL1", 0.15, 32, 224},
};

}  // namespace

// ---- TETransport ----

TETransport::TETransport(TForm1& form, int kind, bool fromRight)
    : TImageSpriteEx(PlayParent(form)),
      Form(form),
      Kind(uint8_t(kind)),
      ShotDamage(kAircraft[size_t(kind)].ShotDamage),
      FireRate(kAircraft[size_t(kind)].FireRate),
      HitPoints(kAircraft[size_t(kind)].HitPoints),
      BornLevel(form.G.Level) {
  SetImage(*this, form, std::string(kAircraft[size_t(kind)].Image) + (fromRight ? "R" : "L"));
  Enter(*this, fromRight, form.Rnd(6) + 2, MovingRight, VelX);
  Y = 70 + form.Rnd(41);
  AssignZ(3);
}

void TETransport::MoveStep(int moveCount) {
  TImageSpriteEx::MoveStep(moveCount);
  GameGlobals& g = Form.G;
  if (LeavesPlay(*this, g, BornLevel) || PlayWaits(Form)) return;
  if (FlyOut(*this, VelX, g.PlaneCount)) return;
  ++FireTicks;
  if (Kind == kTransport) {
    const double centre = X + Width / 2.0;
    if (Chance(Form, g.JumpOdds) && g.ParatrooperCount < 6 && AwayFromTheEdges(centre)) {
      ++g.ParatrooperCount;
      new TE(Form, centre, 2 + Form.Rnd(2));
    }
  } else {
    if (Ready && Form.Rnd(4) == 0) Fire();
    if (FireTicks > TicksPer(Form, FireRate)) {
      FireTicks = 0;
      Ready = true;
    }
  }
  Collide();
}

void TETransport::Fire() {
  Ready = false;
  PlaySound(Form, Kind == 1 ? "Shot" : "Roket");
  const EnemyShot& shot = kEnemyShots[Kind];
  Bullet3Launch launch;
  launch.Image = MovingRight ? shot.ImageRight : shot.ImageLeft;
  launch.X = X + Width / 2.0;
  launch.Y = Y + Height - Height / 4.0;  // from the belly, three quarters down
  launch.SpeedFactor = shot.SpeedFactor;
  launch.VelX = MovingRight ? 50 : -50;
  launch.Rotation = MovingRight ? shot.RotationRight : shot.RotationLeft;
  launch.Damage = ShotDamage;
  launch.BornLevel = Form.G.Level;
  new TBullet3(Form, launch);
}

void TETransport::HandleCollision(TSprite* other, bool&) {
  auto* shot = dynamic_cast<TBullet1*>(other);
  // A shot that already hit something this pass hits nothing more.
  if (shot == nullptr || shot->IsDead) return;
  shot->Kill();
  // Shot down once: a later hit in the same pass only makes its impact.
  if (HitPoints > 0) {
    HitPoints = int8_t(HitPoints - shot->Damage);
    if (HitPoints <= 0) ShotDown();
  }
  if (shot->Damage > 9)
    new TVzriv(Form, shot->X, Y + Height - Height / 4.0);
  else
    new TVzrivSmall(Form, shot->X, Y + Height - Height / 8.0);
}

void TETransport::ShotDown() {
  GameGlobals& g = Form.G;
  new TVzriv(Form, X + Width / 2.0, Y + Height / 2.0);
  g.Score = EncodeScore(DecodeScore(g.Score) + uint32_t(kAircraft[Kind].Score));
  if (g.PlaneCount > 0) --g.PlaneCount;
  Kill();
  if (g.LevelGoal > 2)
    --g.LevelGoal;
  else
    NextLevel(Form);
}

// ---- TDTransport ----

TDTransport::TDTransport(TForm1& form, bool fromRight)
    : TImageSpriteEx(PlayParent(form)), Form(form), BornLevel(form.G.Level) {
  SetImage(*this, form, fromRight ? "DTrR" : "DTrL");
  Enter(*this, fromRight, 3, MovingRight, VelX);
  Y = 90;
  AssignZ(3);
}

void TDTransport::MoveStep(int moveCount) {
  TImageSpriteEx::MoveStep(moveCount);
  GameGlobals& g = Form.G;
  if (LeavesPlay(*this, g, BornLevel) || PlayWaits(Form)) return;
  if (FlyOut(*this, VelX, g.CarrierCount)) return;
  const double centre = X + Width / 2.0;
  if (Chance(Form, g.DropOdds) && DropCount < g.DropsPerPass && AwayFromTheEdges(centre)) {
    ++DropCount;
    new TObj(Form, centre, Form.Rnd(8) + 1);
  }
}
