// Paratroopers, the bunker, blood and bonus objects.
#include "battle/Troops.h"

#include <string>

#include "battle/Battle.h"
#include "battle/Effects.h"
#include "battle/Player.h"
#include "battle/Projectiles.h"
#include "game/Form1.h"
#include "state/Config.h"

namespace {

// Where a paratrooper lands in the right half of the field, facing left: by his left foot,
// 35 px in from his left edge.
constexpr GroundSegment kLandingRight[] = {
    {371, 564, 496, 0, 0},           // the plateau
    {565, 624, 496, 565, -kSlope3},  // gently up
    {625, 652, 488, 625, kSlope4},   // steeply down
    {653, 662, 489, 0, 0},
    {663, 730, 522, 663, kSlope5},   // on down
    {731, 800, 522, 0, 0},
};
// In the left half, facing right: by his right foot, 35 px in from his right edge.
constexpr GroundSegment kLandingLeft[] = {
    {-1000000, 162, 523, 0, 0},      // the low ground at the left edge
    {163, 190, 523, 163, kSlope1},   // down into the hollow
    {191, 274, 533, 0, 0},
    {275, 370, 533, 275, -kSlope2},  // up to the plateau
    {371, 564, 496, 0, 0},
};

// The field's middle divides where paratroopers face.
constexpr double kMiddle = 400;
// The ground line the falling things stop at (their bottom edge).
constexpr int kDescentEnd = 495;

void AddScore(GameGlobals& g, uint32_t points) { g.Score = EncodeScore(DecodeScore(g.Score) + points); }

}  // namespace

// ---- TE ----

TE::TE(TForm1& form, double x, int kind)
    : TImageSprite(PlayParent(form)), Form(form), Kind(uint8_t(kind)), BornLevel(form.G.Level) {
  SetImage(*this, form, "EL");
  FrameCount = ImageItem->NumPatterns();
  FramePos = 1;  // under the open parachute
  AssignZ(3);
  X = x;
  Y = 90;
}

void TE::MoveStep(int moveCount) {
  TImageSprite::MoveStep(moveCount);
  GameGlobals& g = Form.G;
  if (LeavesPlay(*this, g, BornLevel) || PlayWaits(Form)) return;
  ++Ticks;
  if (Dying) {
    // The lethal hit set Ticks to 0: gone 5 frames later.
    if (Ticks % 5 == 0) {
      if (g.ParatrooperCount > 0) --g.ParatrooperCount;
      Kill();
    }
    return;
  }
  if (Y + Height <= kDescentEnd) {
    Y += 3;
  } else if (Z() == 3) {
    AssignZ(4);
    Land();
  } else {
    const TPlayer* player = g.Player;
    const bool inFront = player != nullptr && (FacingLeft ? X > player->X + player->Width : X + Width < player->X);
    if (Ready && inFront) {
      Ready = false;
      PlaySound(Form, "Shot");
      const int damage = Kind == 3 ? 3 : 1;
      if (FacingLeft)
        new TBullet2(Form, X, Y + 39, -10, damage);
      else
        new TBullet2(Form, X + Width, Y + 39, 10, damage);
    }
    if (Ticks > TicksPer(Form, 2)) {
      Ticks = 0;
      Ready = true;
    }
  }
  Collide();
}

void TE::Land() {
  FacingLeft = X > kMiddle;
  SetImage(*this, Form, (FacingLeft ? "EL" : "ER") + std::to_string(Kind));
  if (FacingLeft)
    Y = ProfileY(kLandingRight, X + 35, Y, Height);
  else
    Y = ProfileY(kLandingLeft, X + Width - 35, Y, Height);
}

void TE::HandleCollision(TSprite* other, bool&) {
  GameGlobals& g = Form.G;
  if (Dying) return;  // dead already in this pass: one death, one score
  if (dynamic_cast<TVzriv*>(other) != nullptr) {
    AddScore(g, Kind == 3 ? 3 : 1);
    GoalStep(Form);
    Die();
    return;
  }
  auto* shot = dynamic_cast<TBullet1*>(other);
  // A shot that already hit something this pass hits nothing more.
  if (shot == nullptr || shot->IsDead) return;
  if (shot->Damage > 9) new TVzriv(Form, shot->X, shot->Y);
  shot->Kill();
  if (Kind == 3 && Z() != 3 && shot->Damage <= 2) {
    // Armour: weak hits raise it by the gun's damage until it gives.
    if (Z() < 6) {
      AssignZ(Z() + (g.Player != nullptr ? g.Player->Gun->Damage : shot->Damage));
      return;
    }
    GoalStep(Form);
    AddScore(g, 3);
  } else {
    AddScore(g, 1);
    GoalStep(Form);
  }
  Die();
}

void TE::Die() {
  new TBlood(Form, X + Width / 2.0, Y + Height / 2.0);
  Dying = true;
  Ticks = 0;
}

void GoalStep(TForm1& form) {
  GameGlobals& g = form.G;
  if (g.Level % 3 != 0) return;
  if (++g.ParatrooperKills != g.ParatroopersPerGoal) return;
  g.ParatrooperKills = 0;
  if (g.LevelGoal > 2)
    --g.LevelGoal;
  else
    NextLevel(form);
}

TBunker::TBunker(TForm1& form) : TImageSprite(PlayParent(form)) {
  SetImage(*this, form, "BunkerN1");
  X = 323;
  Y = 355;
  AssignZ(-1);
}

TBunkerVerh::TBunkerVerh(TForm1& form) : TImageSprite(PlayParent(form)) {
  SetImage(*this, form, "BunkerV1");
  X = 323;
  Y = 289;
  AssignZ(-1);
}

TBlood::TBlood(TForm1& form, double centreX, double centreY)
    : TImageSpriteEx(PlayParent(form)), Form(form), BornLevel(form.G.Level) {
  SetImage(*this, form, "Blood");
  X = centreX - Width / 2.0;
  Y = centreY - Height / 2.0;
  AssignZ(7);
}

// Z counts its age: from 7 to 28, then it is gone. It runs on through the respawn wait.
void TBlood::MoveStep(int) {
  LeavesPlay(*this, Form.G, BornLevel);
  AssignZ(Z() + 1);
  if (Z() % 28 == 0) Kill();
}

TObj::TObj(TForm1& form, double x, int kind) : TImageSprite(PlayParent(form)), Form(form), BornLevel(form.G.Level) {
  Kind = uint8_t(kind == 6 ? form.Rnd(8) + 1 : kind);
  SetImage(*this, form, "Objs");
  FrameCount = ImageItem->NumPatterns();
  FramePos = Kind - 1;
  X = x;
  Y = 90;
}

namespace {

// Where a landed bonus (30 px high) lies, by its left edge x.
double BonusGroundY(double x, double y, int width, int height) {
  const int left = Nint(x);
  if (left < 163) return 493;
  if (left <= 190) return (523 - height) + (x - 163 + width) * kSlope1;
  if (left <= 244) return 503;
  if (left <= 340) return (533 - height) - (x - 245 + width) * kSlope2;
  if (left <= 564) return 496 - height;
  if (left <= 624) return (496 - height) - (x - 535) * kSlope3;
  if (left <= 664) return (488 - height) + (x - 625) * kSlope4;
  if (left <= 800) return 500;
  return y;
}

}  // namespace

void TObj::MoveStep(int moveCount) {
  TImageSprite::MoveStep(moveCount);
  if (LeavesPlay(*this, Form.G, BornLevel) || PlayWaits(Form)) return;
  const double interval = Form.DXTimer1.Interval();
  const double bottom = Y + Height;
  if (bottom <= 487) {
    Y += 3;  // falling
  } else if (bottom < 491) {
    // Lands: the crate without its parachute, 19 px in.
    SetImage(*this, Form, "SObjs");
    X += 19;
    FrameCount = ImageItem->NumPatterns();
    FramePos = Kind - 1;
    Y = BonusGroundY(X, Y, Width, Height);
  } else {
    if (LandTicks >= 9920 / interval) Kill();  // 9.92 s on the ground
    if (LandTicks >= 8000 / interval)          // blinking for the last 1.92 s
      FramePos = LandTicks % 32 < 16 ? 20 : Kind - 1;
    ++LandTicks;
  }
}
