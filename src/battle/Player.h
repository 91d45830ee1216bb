// The soldier: his legs (the body), upper body and gun, which move together; the weapon
// table, the switch between weapons, the ground he walks on, and the weapon icons of the
// bottom panel.
#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "engine/Sprite.h"

class TForm1;
class TPlayer;
class TVerhTela;
class TWeapon;

// One row of the weapon table: what the gun takes on when the weapon becomes current, and
// what its shots are.
struct WeaponSpec {
  uint8_t Damage;
  uint8_t FireRate;  // shots per second
  double BarrelLength, BarrelOffset;  // muzzle from the gun's pivot, along and across the barrel
  const char* ImageRight;  // projectile picture when facing right
  const char* ImageLeft;   // and left
  double SpeedFactor;      // applied to both axes of the projectile's velocity each tick
  int ShotsPerFire;
  const char* Sound;       // nullptr: fires silently
};

// Weapons 1..7 (index 0 unused).
inline constexpr std::array<WeaponSpec, 8> kWeapons = {{
    {},
    {1, 3, 40, 4, "Bullet1", "Bullet1", 0.5, 1, "Shot"},           // pistol, unlimited
    {3, 10, 60, 4, "Bullet1", "Bullet1", 0.5, 1, "Shot"},          // rifle
    {2, 10, 46, 3, "Bullet1", "Bullet1", 0.5, 2, "Shot"},          // double barrel
    {2, 13, 60, 2, "Bullet1", "Bullet1", 0.5, 1, "Shot"},          // machine gun
    {20, 1, 35, -13, "RaketaR2", "RaketaL2", 0.2, 1, "Roket"},     // heavy rocket
    {10, 1, 35, -13, "RaketaR1", "RaketaL1", 0.2, 3, "Roket"},     // fan of three rockets
    {10, 2, 35, -15, "Granata", "Granata", 0.15, 1, nullptr},      // grenade launcher
}};

// Aim angles in degrees: 0 straight up, 90 horizontal, 105 = 15 degrees below it.
inline constexpr int kAimMax = 105;
// The grenade launcher only lobs: its aim is held between these.
inline constexpr int kGrenadeAimMin = 30, kGrenadeAimMax = 70;

// One straight piece of a ground profile: for a foot point in [FootFrom, FootTo] (rounded to
// the nearest pixel) the top of a sprite `height` tall is (Base - height) + (foot - Start) * Slope.
struct GroundSegment {
  int FootFrom, FootTo;
  int Base, Start;
  double Slope;
};
// The slopes of the ground as the game has always stored them: 10/27, 37/95, 7/90, 15/14, 8/67.
inline constexpr double kSlope1 = 0.37037037, kSlope2 = 0.38947368, kSlope3 = 0.07777778, kSlope4 = 1.07142857,
                        kSlope5 = 0.11940299;
// The top Y on a profile for a foot point; y itself where no piece lies under the foot.
double ProfileY(std::span<const GroundSegment> profile, double foot, double y, int height);

// Where the ground lies under the walking figure: Y (the body's top) for the body's X,
// Width and Height, walking right or left; unchanged where the ground is flat.
double GroundY(double x, double y, int width, int height, bool walkingRight);

// The figure's legs, and the player of a running game.
class TPlayer : public TImageSprite {
 public:
  explicit TPlayer(TForm1& form);

  void HandleCollision(TSprite* other, bool& done) override;
  void DrawStep() override;
  void MoveStep(int moveCount) override;

  // One walking step each, also made by the mouse.
  void WalkRight();
  void WalkLeft();
  // Kills the upper body, the gun and the body.
  void KillGroup();

  TForm1& Form;
  int32_t WalkFrame = 0;
  bool FacingRight = true;
  bool FacingLeft = false;
  double WalkSpeed = 1.0;
  int32_t Health = 100;
  int32_t TickCount = 0;
  uint8_t Weapon = 1;
  uint8_t NextWeapon = 1;
  TVerhTela* UpperBody = nullptr;
  TWeapon* Gun = nullptr;
  int32_t AimAngle = 90;
  int32_t LastAimAngle = 90;
  uint8_t Lives = 0;
  std::array<int32_t, 8> Ammo{};  // 1..7
  bool Alive = true;

 private:
  // Turns the figure, animates the legs and dresses the three sprites for one side.
  void Face(bool right);
};

// The upper body: its pose follows the aim. Made, moved and killed with its player.
class TVerhTela : public TImageSprite {
 public:
  TVerhTela(TForm1& form, TPlayer& owner);
  void DrawStep() override;

  TForm1& Form;
  TPlayer& Owner;
};

// The gun: aims, re-arms, switches and fires; drawn turned to the aim about its pivot.
// Made and killed with its player, from whose position it is always drawn.
class TWeapon : public TImageSpriteEx {
 public:
  TWeapon(TForm1& form, TPlayer& owner, double x, double y, int weapon);
  void DrawStep() override;
  void MoveStep(int moveCount) override;

  // Takes on the values of a weapon of the table.
  void Load(int weapon);

  TForm1& Form;
  TPlayer& Owner;
  uint8_t Damage = 0;
  uint8_t FireRate = 0;
  double BarrelLength = 0;
  double BarrelOffset = 0;
  bool Ready = false;
  bool SwitchReady = false;
  int32_t FireTicks = 0;
  int32_t SwitchTicks = 0;

 private:
  void Fire(TPlayer& player);
  // One projectile from the muzzle offset `offset` across the barrel, aimed `turn`
  // degrees from the aim.
  void Shoot(TPlayer& player, double offset, double turn);
};

// A weapon icon of the bottom panel, shown while that weapon has ammunition.
class TPanelWeaps : public TImageSprite {
 public:
  TPanelWeaps(TForm1& form, int slot);
  void DrawStep() override;

  TForm1& Form;
  uint8_t Slot;
};

// Holds the player's aim within its limits, whether keys or the mouse turned it: 30..70
// for the grenade launcher, then 0..105; -1 is left alone (see TBullet1).
void ClampAim(TPlayer& player);

// Makes the next weapon with ammunition current (weapon 1 when none has any) and loads
// it into the gun. Does nothing without a player.
void SelectNextWeapon(TForm1& form);

// The current weapon and its ammunition; false when there is no player.
bool PlayerWeaponAmmo(const TPlayer* player, int& weapon, int& ammo);
