// Every shot of the game, and the rules of being hit.
#include "battle/Projectiles.h"

#include "battle/Battle.h"
#include "battle/Effects.h"
#include "battle/Player.h"
#include "battle/Troops.h"
#include "game/Form1.h"
#include "ui/MenuWidgets.h"

namespace {

// A point's rectangle for the broad phase of drawing and collisions: one pixel wide, so
// an empty rectangle does not hide it from both.
TRect PointBounds(const TSprite& point) {
  const TRect own = point.OwnBounds();
  return Bounds(own.Left, own.Top, 1, 1);
}

// The point lies strictly inside the other sprite's rectangle (its real one for a sprite
// whose bounds are the whole surface).
bool PointInside(const TSprite& point, TSprite& other) {
  const TRect p = point.OwnBounds();
  const TRect r = other.HitBounds();
  return r.Left < p.Left && p.Left < r.Right && r.Top < p.Top && p.Top < r.Bottom;
}

// Drawn turned about its point, at the picture's own size.
void DrawTurned(TImageSprite& shot, uint8_t rotation) {
  Surface* surface = shot.Engine->DrawSurface();
  if (surface == nullptr) return;
  TPictureCollectionItem& item = *shot.ImageItem;
  item.RotatePattern(*surface, Nint(shot.X), Nint(shot.Y), item.CellWidth(), item.CellHeight(), Nint(shot.FramePos),
                     0.5, 0.5, rotation);
}

bool IsFigure(TSprite* sprite) {
  return dynamic_cast<TPlayer*>(sprite) != nullptr || dynamic_cast<TVerhTela*>(sprite) != nullptr;
}

// Projectiles live over the field between y 45 and 545.
bool OffField(const TSprite& s) { return s.X < 0 || s.X > 800 || s.Y < 45 || s.Y > 545; }

// The bunker's pictures by the strength left: the first limit it is above picks the picture.
const char* BunkerPicture(int32_t health, const int (&limits)[4], const char* const (&names)[4]) {
  for (int k = 0; k < 4; ++k)
    if (health > limits[k]) return names[k];
  return nullptr;
}

}  // namespace

// ---- TBullet1 ----

TBullet1::TBullet1(TForm1& form, const Bullet1Launch& launch)
    : TImageSprite(PlayParent(form)),
      Form(form),
      BornLevel(launch.BornLevel),
      Kind(uint8_t(launch.Kind)),
      SpeedFactorX(launch.SpeedFactorX),
      SpeedFactorY(launch.SpeedFactorY),
      VelX(launch.VelX),
      VelY(launch.VelY),
      Damage(launch.Damage),
      Rotation(launch.Rotation),
      TurnX(launch.TurnX),
      TurnY(launch.TurnY) {
  ImageItem = &form.GameImgs.Items.FindItem(launch.Image);  // no size: it flies as a point
  X = launch.X;
  Y = launch.Y;
  AssignZ(launch.Z);
}

TBullet1* NewBullet1(TForm1& form, const Bullet1Launch& launch) { return new TBullet1(form, launch); }

void TBullet1::MoveStep(int) {
  GameGlobals& g = Form.G;
  LeavesPlay(*this, g, BornLevel);  // a killed shot still finishes this step
  if (PlayWaits(Form)) return;
  TPlayer* player = g.Player;
  if (player != nullptr && player->AimAngle == -1) player->AimAngle = player->LastAimAngle;
  // The grenade turns once it is ahead of its turning point (by the way the figure faces
  // now) and above it; the new point, far off the field, is never met again.
  if (Kind == 7 && player != nullptr) {
    const bool ahead = (player->FacingRight && X > TurnX) || (player->FacingLeft && X < TurnX);
    if (ahead && Y < TurnY) {
      TurnX = 820;
      TurnY = 0;
      SpeedFactorY = -SpeedFactorY;
    }
  }
  X += VelX * SpeedFactorX;
  Y += VelY * SpeedFactorY;
  if (OffField(*this)) Kill();
  Collide();
}

void TBullet1::HandleCollision(TSprite* other, bool&) {
  // A shot that already hit something this pass hits nothing more.
  if (IsDead || dynamic_cast<TNiz*>(other) == nullptr) return;
  // Rockets and grenades explode on the ground, as long as such a weapon is still in hand.
  const TPlayer* player = Form.G.Player;
  if (player != nullptr && player->Weapon > 4) new TVzriv(Form, X, Y);
  Kill();
}

void TBullet1::DrawStep() { DrawTurned(*this, Rotation); }

TRect TBullet1::GetBounds() { return PointBounds(*this); }

bool TBullet1::HitTest(TSprite* other) { return PointInside(*this, *other) && TImageSprite::HitTest(other); }

// ---- TBullet2 ----

TBullet2::TBullet2(TForm1& form, double x, double y, int speedX, int damage)
    : TImageSprite(PlayParent(form)), Form(form), BornLevel(form.G.Level), SpeedX(speedX), Damage(damage) {
  ImageItem = &form.GameImgs.Items.FindItem("Bullet2");
  X = x;
  Y = y;
  AssignZ(5);
  PixelExact = true;
}

// No wait here: these shots fly on through the respawn wait and a pause.
void TBullet2::MoveStep(int moveCount) {
  TImageSprite::MoveStep(moveCount);
  LeavesPlay(*this, Form.G, BornLevel);
  X += SpeedX;
  if (OffField(*this)) Kill();
  Collide();
}

void TBullet2::HandleCollision(TSprite* other, bool&) {
  if (IsDead) return;
  if (IsFigure(other)) {
    HitPlayer(Form, Damage, false, X, Y);
    Kill();
  } else if (dynamic_cast<TNiz*>(other) != nullptr) {
    Kill();
  }
}

void TBullet2::DrawStep() {
  if (Surface* surface = Engine->DrawSurface()) ImageItem->DrawPattern(*surface, Nint(X), Nint(Y), 0);
}

TRect TBullet2::GetBounds() { return PointBounds(*this); }

bool TBullet2::HitTest(TSprite* other) { return PointInside(*this, *other) && TImageSprite::HitTest(other); }

// ---- TBullet3 ----

TBullet3::TBullet3(TForm1& form, const Bullet3Launch& launch)
    : TImageSprite(PlayParent(form)),
      Form(form),
      SpeedFactorX(launch.SpeedFactor),
      SpeedFactorY(launch.SpeedFactor),
      VelX(launch.VelX),
      VelY(launch.VelY),
      Damage(launch.Damage),
      Rotation(launch.Rotation),
      BornLevel(launch.BornLevel) {
  ImageItem = &form.GameImgs.Items.FindItem(launch.Image);
  X = launch.X;
  Y = launch.Y;
  AssignZ(5);
}

void TBullet3::MoveStep(int moveCount) {
  TImageSprite::MoveStep(moveCount);
  LeavesPlay(*this, Form.G, BornLevel);
  if (PlayWaits(Form)) return;
  X += VelX * SpeedFactorX;
  Y += VelY * SpeedFactorY;
  if (OffField(*this)) Kill();
  Collide();
}

void TBullet3::HandleCollision(TSprite* other, bool&) {
  if (IsDead) return;
  GameGlobals& g = Form.G;
  if (dynamic_cast<TNiz*>(other) != nullptr) {
    if (Damage > 2) new TVzriv(Form, X, Y);
  } else if (IsFigure(other)) {
    HitPlayer(Form, Damage, true, X, Y);
  } else if (dynamic_cast<TBunker*>(other) != nullptr) {
    // The run ends on the first hit that finds the bunker already destroyed.
    if (g.BunkerHealth >= 1 || g.GameState != "Game")
      HitBunker(Form, Damage, X, Y);
    else
      StartGameOver(Form);
  } else {
    return;
  }
  Kill();
}

void TBullet3::DrawStep() { DrawTurned(*this, Rotation); }

TRect TBullet3::GetBounds() { return PointBounds(*this); }

bool TBullet3::HitTest(TSprite* other) { return PointInside(*this, *other) && TImageSprite::HitTest(other); }

// ---- Being hit ----

void HitPlayer(TForm1& form, int damage, bool explodes, double x, double y) {
  GameGlobals& g = form.G;
  TPlayer* player = g.Player;
  if (player == nullptr) return;
  if (player->Health >= 1) {
    if (explodes && damage > 2) new TVzriv(form, x, y);
    player->Health -= damage;  // the hit that empties it costs no life yet
    form.Rumble(kRumbleHitMs);
  } else if (player->Lives >= 2 || g.GameState != "Game") {
    LoseLife(form);
  } else {
    form.Rumble(kRumbleLifeMs);  // the last life
    StartGameOver(form);
  }
}

void LoseLife(TForm1& form) {
  GameGlobals& g = form.G;
  TPlayer* player = g.Player;
  if (player == nullptr) return;
  // Never below 0: a hit while the end of the game is being asked about can find no lives.
  if (player->Lives > 0) --player->Lives;
  PlaySound(form, "Die");
  form.Rumble(kRumbleLifeMs);
  new TBlood(form, player->X + (player->FacingRight ? 25 : 55), player->Y);
  g.PlayerDown = true;
  if (g.DeathScreen != nullptr) g.DeathScreen->Visible = true;
  player->Alive = false;
  form.Timer2.SetEnabled(true);
  player->Health = 100;
}

void StartGameOver(TForm1& form) {
  GameGlobals& g = form.G;
  if (g.Player != nullptr) g.Player->KillGroup();
  g.GameState = "GameOver";
  form.Music.SongStop(g.MusicModule);
  PlaySound(form, "Over");
  KillRef(g.AskBox);  // never two question boxes
  g.AskBox = new TAsk(PlayParent(form), form.DXImageList1.Items, "Qtns");
  if (g.DeathScreen != nullptr) g.DeathScreen->Visible = true;
  g.GameEnded = true;
  g.Paused = true;
  form.Timer2.SetEnabled(true);
  form.Timer3.SetEnabled(true);
}

void HitBunker(TForm1& form, int damage, double x, double y) {
  GameGlobals& g = form.G;
  if (damage > 2) new TVzriv(form, x, y);
  g.BunkerHealth -= damage;
  int fifths[4];  // q(4), q(3), q(2), q(1)
  for (int k = 0; k < 4; ++k) fifths[k] = Nint(g.BunkerHealthMax / 5.0 * (4 - k));
  static const char* const kLower[4] = {"BunkerN1", "BunkerN2", "BunkerN3", "BunkerN4"};
  static const char* const kUpper[4] = {"BunkerV1", "BunkerV2", "BunkerV3", "BunkerV4"};
  const char* lower = BunkerPicture(g.BunkerHealth, fifths, kLower);
  if (lower == nullptr && g.BunkerHealth < 1) lower = "BunkerN5";  // between 1 and q(1): as it was
  const char* upper = BunkerPicture(g.BunkerHealth, fifths, kUpper);
  if (lower != nullptr && g.Bunker != nullptr) g.Bunker->ImageItem = &form.GameImgs.Items.FindItem(lower);
  if (upper != nullptr && g.BunkerTop != nullptr) g.BunkerTop->ImageItem = &form.GameImgs.Items.FindItem(upper);
}
