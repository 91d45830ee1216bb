// The soldier's figure, gun and weapon icons.
#include "battle/Player.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "battle/Battle.h"
#include "battle/Effects.h"
#include "battle/Projectiles.h"
#include "battle/Troops.h"
#include "game/Form1.h"
#include "state/Config.h"

namespace {

// Walking right the foot is the front (right) foot, 35 px in from the body's right edge.
constexpr GroundSegment kGroundRight[] = {
    {163, 190, 523, 163, kSlope1},   // down into the left hollow
    {275, 370, 533, 275, -kSlope2},  // up onto the bunker's plateau
    {565, 655, 496, 565, -kSlope3},  // gently up
    {665, 692, 489, 665, kSlope4},   // steeply down
    {693, 760, 522, 693, kSlope5},   // and on down to the right edge
};
// Walking left it is the left foot, 35 px in from the left edge; the pieces lie 30 px further
// left and 1 px higher on the two slopes of the left side.
constexpr GroundSegment kGroundLeft[] = {
    {133, 160, 522, 133, kSlope1},
    {245, 340, 532, 245, -kSlope2},
    {565, 624, 496, 565, -kSlope3},
    {625, 652, 488, 625, kSlope4},
    {663, 730, 522, 663, kSlope5},
};

// Bonus kinds 1..8: the weapon whose ammunition they add to and how much; kind 6 heals and
// kind 7 scores instead.
struct BonusSpec {
  int Weapon, Amount;
};
constexpr BonusSpec kBonuses[] = {{0, 0}, {3, 30}, {4, 50}, {6, 15}, {7, 5}, {2, 30}, {0, 50}, {0, 100}, {5, 5}};
constexpr int kHealthBonus = 6, kScoreBonus = 7;
constexpr int kHealthMax = 100;

double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

}  // namespace

double ProfileY(std::span<const GroundSegment> profile, double foot, double y, int height) {
  const int footPixel = Nint(foot);
  for (const GroundSegment& s : profile)
    if (footPixel >= s.FootFrom && footPixel <= s.FootTo) return (s.Base - height) + (foot - s.Start) * s.Slope;
  return y;
}

double GroundY(double x, double y, int width, int height, bool walkingRight) {
  if (walkingRight) return ProfileY(kGroundRight, x + width - 35, y, height);
  return ProfileY(kGroundLeft, x + 35, y, height);
}

// ---- TPlayer ----

TPlayer::TPlayer(TForm1& form) : TImageSprite(PlayParent(form)), Form(form) {
  SetImage(*this, form, "PlayerR");
  FrameCount = ImageItem->NumPatterns();
  X = 370;
  Y = 496 - Height;
  form.G.PlayerDown = false;
  UpperBody = new TVerhTela(form, *this);
  Gun = new TWeapon(form, *this, X, Y - 30, 1);
}

void TPlayer::MoveStep(int) {
  GameGlobals& g = Form.G;
  if (PlayWaits(Form) || g.GameState != "Game") return;
  ++TickCount;
  const TDXInput& input = Form.DXInput1;
  if (input.Has(isRight) || (g.WalkRightRequest && FacingLeft)) {
    g.WalkRightRequest = false;
    WalkRight();
  } else if (!g.WalkRightRequest && !g.WalkLeftRequest) {
    FramePos = 0;  // standing
  }
  if (input.Has(isLeft) || (g.WalkLeftRequest && FacingRight)) {
    g.WalkLeftRequest = false;
    WalkLeft();
  }
  Collide();
}

void TPlayer::Face(bool right) {
  if (right ? FacingLeft : FacingRight) WalkSpeed = 0;  // turning starts from a standstill
  FacingRight = right;
  FacingLeft = !right;
  const char side = right ? 'R' : 'L';
  ImageItem = &Form.GameImgs.Items.FindItem(std::string("Player") + side);
  Gun->ImageItem = &Form.GameImgs.Items.FindItem(std::string("Weapon") + side + std::to_string(Weapon));
  UpperBody->ImageItem = &Form.GameImgs.Items.FindItem(std::string("Verh") + side);
  if (TickCount % 5 == 0 && ++WalkFrame >= ImageItem->NumPatterns()) WalkFrame = 0;
  FramePos = WalkFrame;
}

// Speeds up by 0.1 a step until it passes 3.
void TPlayer::WalkRight() {
  Face(true);
  if (X >= 798 - ImageItem->PatternWidth) return;  // at the right edge he only turns
  if (WalkSpeed <= 3) WalkSpeed += 0.1;
  X += WalkSpeed;
  Y = GroundY(X, Y, Width, Height, true);
}

void TPlayer::WalkLeft() {
  Face(false);
  if (X <= 2) return;
  if (WalkSpeed <= 3) WalkSpeed += 0.1;
  X -= WalkSpeed;
  Y = GroundY(X, Y, Width, Height, false);
}

void TPlayer::HandleCollision(TSprite* other, bool&) {
  if (auto* explosion = dynamic_cast<TVzriv*>(other)) {
    if (explosion->Harmful) {
      Health -= 2;
      explosion->Harmful = false;  // one explosion hurts once
    }
  } else if (auto* bonus = dynamic_cast<TObj*>(other)) {
    if (bonus->Kind < std::size(kBonuses)) {
      const BonusSpec& row = kBonuses[bonus->Kind];
      if (bonus->Kind == kHealthBonus)
        Health = std::min(Health + row.Amount, kHealthMax);
      else if (bonus->Kind == kScoreBonus)
        Form.G.Score = EncodeScore(DecodeScore(Form.G.Score) + uint32_t(row.Amount));
      else if (row.Weapon != 0)
        Ammo[size_t(row.Weapon)] += row.Amount;
    }
    PlaySound(Form, "Bonus");
    bonus->Kill();
  }
}

void TPlayer::DrawStep() {
  Surface* surface = Engine->DrawSurface();
  if (Alive && surface != nullptr) ImageItem->DrawPattern(*surface, Nint(X), Nint(Y), Nint(FramePos));
}

void TPlayer::KillGroup() {
  UpperBody->Kill();
  Gun->Kill();
  Kill();
  // Nothing may reach the figure once the engine frees it: the game has no player now.
  if (Form.G.Player == this) Form.G.Player = nullptr;
}

// ---- TVerhTela ----

TVerhTela::TVerhTela(TForm1& form, TPlayer& owner) : TImageSprite(PlayParent(form)), Form(form), Owner(owner) {
  SetImage(*this, form, "VerhR");
  FrameCount = ImageItem->NumPatterns();
  X = owner.X;
  Y = owner.Y - Width;
  AssignZ(owner.Z());
}

void TVerhTela::DrawStep() {
  if (!Owner.Alive) return;
  X = Owner.X - 1;
  Y = Owner.Y - Height;
  // Steep, raised or level pose.
  const int aim = Owner.AimAngle;
  FramePos = aim >= 0 && aim < 40 ? 2 : aim >= 40 && aim < 65 ? 1 : 0;
  TImageSprite::DrawStep();
}

// ---- TWeapon ----

TWeapon::TWeapon(TForm1& form, TPlayer& owner, double x, double y, int weapon)
    : TImageSpriteEx(PlayParent(form)), Form(form), Owner(owner) {
  SetImage(*this, form, "WeaponR" + std::to_string(weapon));
  AssignZ(1);
  X = x;
  Y = y;
  Load(1);
}

void TWeapon::Load(int weapon) {
  const WeaponSpec& row = kWeapons[size_t(weapon)];
  Damage = row.Damage;
  FireRate = row.FireRate;
  BarrelLength = row.BarrelLength;
  BarrelOffset = row.BarrelOffset;
}

void TWeapon::MoveStep(int moveCount) {
  GameGlobals& g = Form.G;
  if (!InPlay(g)) Kill();
  if (PlayWaits(Form) || g.GameState != "Game") return;
  TImageSpriteEx::MoveStep(moveCount);
  TPlayer& player = Owner;
  ImageItem = &Form.GameImgs.Items.FindItem((player.FacingRight ? "WeaponR" : "WeaponL") +
                                             std::to_string(player.Weapon));
  const TDXInput& input = Form.DXInput1;
  int& aim = player.AimAngle;
  if (input.Has(isUp) && aim > -15) aim -= 2;
  if (input.Has(isDown) && aim < 195) aim += 2;
  ClampAim(player);
  ++FireTicks;
  ++SwitchTicks;
  if ((input.Has(isButton1) || g.MouseSwitch) && SwitchReady) {
    // The wait for the next switch starts at this one, this tick counting as its first: at
    // 20 ms a key held n ticks switches 1 + (n - 1) / 18 times, so a tap switches once.
    SwitchReady = false;
    SwitchTicks = 1;
    SelectNextWeapon(Form);
  }
  if (aim != -1) player.LastAimAngle = aim;
  if (FireRate != 0 && FireTicks > TicksPer(Form, FireRate)) {
    FireTicks = 0;
    Ready = true;
  }
  if ((input.Has(isButton2) || g.MouseFire) && Ready) {
    Ready = false;
    Fire(player);
  }
  if (SwitchTicks > TicksPer(Form, 3)) {  // a switch at most three times a second
    SwitchTicks = 0;
    SwitchReady = true;
  }
}

void TWeapon::Fire(TPlayer& player) {
  const int weapon = player.Weapon;
  int32_t& ammo = player.Ammo[size_t(weapon)];
  if (ammo <= 0 && weapon != 1) {
    SelectNextWeapon(Form);
    return;
  }
  if (weapon != 1) --ammo;
  if (const char* sound = kWeapons[size_t(weapon)].Sound) PlaySound(Form, sound);
  Shoot(player, BarrelOffset, 0);
  // The double barrel's second shot and the fan's two side rockets cost a unit each; when
  // one is missing the gun switches instead.
  const int extraShots = kWeapons[size_t(weapon)].ShotsPerFire - 1;
  for (int i = 0; i < extraShots; ++i) {
    if (ammo <= 0) {
      SelectNextWeapon(Form);
      return;
    }
    --ammo;
    if (weapon == 3)
      Shoot(player, BarrelOffset - 5, 0);  // the second barrel, 5 px across
    else
      Shoot(player, BarrelOffset, i == 0 ? 10 : -10);
  }
}

void TWeapon::Shoot(TPlayer& player, double offset, double turn) {
  const bool right = player.FacingRight;
  const double theta = Radians(player.AimAngle - 90);  // 0 = horizontal forward
  const double r = std::hypot(BarrelLength, offset);
  const double phi = std::atan(offset / BarrelLength);
  Bullet1Launch shot;
  shot.X = right ? player.X + 18 + r * std::cos(theta + phi) : player.X + 62 - r * std::cos(theta + phi);
  shot.Y = player.Y - 10 + r * std::sin(theta + phi);
  const double flight = theta + Radians(turn);
  shot.VelX = (right ? Width : -Width) * std::cos(flight);
  shot.VelY = Width * std::sin(flight);
  const int rotation = Nint((player.AimAngle - 90 + turn) * 256.0 / 360.0);
  shot.Rotation = uint8_t(right ? rotation : -rotation);
  const WeaponSpec& row = kWeapons[player.Weapon];
  shot.Image = right ? row.ImageRight : row.ImageLeft;
  shot.Z = 5;
  shot.BornLevel = Form.G.Level;
  shot.Kind = player.Weapon;
  shot.SpeedFactorX = shot.SpeedFactorY = row.SpeedFactor;
  shot.Damage = Damage;
  shot.TurnX = shot.X + (right ? 60 : -60);
  shot.TurnY = shot.Y - 20;
  NewBullet1(Form, shot);
}

void TWeapon::DrawStep() {
  Surface* surface = Engine->DrawSurface();
  if (!Owner.Alive || surface == nullptr) return;
  // Turned about the pivot where the hands hold it: (20, 9) of the 82 x 22 picture facing
  // right, (62, 9) facing left.
  const int aim = Nint(Owner.AimAngle * 256.0 / 360.0);
  const int y = Nint(Owner.Y) - 10;
  if (Owner.FacingRight)
    ImageItem->RotatePattern(*surface, Nint(Owner.X) + 18, y, Width, Height, 0, 20.0 / 82, 9.0 / 22, aim - 64);
  else
    ImageItem->RotatePattern(*surface, Nint(Owner.X) + 62, y, Width, Height, 0, 62.0 / 82, 9.0 / 22, 64 - aim);
}

// ---- TPanelWeaps ----

TPanelWeaps::TPanelWeaps(TForm1& form, int slot) : TImageSprite(PlayParent(form)), Form(form), Slot(uint8_t(slot)) {
  SetImage(*this, form, "PanelWeap" + std::to_string(slot));
  AssignZ(-1);
}

void TPanelWeaps::DrawStep() {
  const TPlayer* player = Form.G.Player;
  Surface* surface = Engine->DrawSurface();
  if (Form.G.GameState != "Game" || player == nullptr || surface == nullptr) return;
  if (player->Ammo[Slot] > 0 || Slot == 1) ImageItem->DrawPattern(*surface, Nint(X), Nint(Y), 0);
}

// ---- The shared operations ----

void ClampAim(TPlayer& player) {
  int& aim = player.AimAngle;
  if (player.Weapon == 7) aim = std::clamp(aim, kGrenadeAimMin, kGrenadeAimMax);
  // -1 is left alone: the next shot to move puts back the last aim (see TBullet1).
  if (aim < 0 && aim != -1) aim = 0;
  if (aim > kAimMax) aim = kAimMax;
}

void SelectNextWeapon(TForm1& form) {
  TPlayer* player = form.G.Player;
  if (player == nullptr) return;
  uint8_t& next = player->NextWeapon;
  if (++next >= 8) next = 1;
  while (next < 8 && player->Ammo[next] == 0) ++next;
  if (next >= 8) next = 1;  // nothing else loaded: weapon 1 never runs out
  player->Weapon = next;
  player->Gun->Load(next);
}

bool PlayerWeaponAmmo(const TPlayer* player, int& weapon, int& ammo) {
  if (!player) return false;
  weapon = player->Weapon;
  ammo = player->Ammo[player->Weapon];
  return true;
}
