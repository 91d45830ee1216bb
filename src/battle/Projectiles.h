// Every shot of the game: the player's bullets, rockets and grenades (TBullet1), the
// paratroopers' shots (TBullet2), the aircraft's bullets, bombs and rockets (TBullet3), and the
// rules by which the player loses health and lives, the bunker its strength, and a run ends.
// A projectile has no size: it is a point that hits a sprite when it lies strictly inside
// that sprite's rectangle (and the sprite's own hit test agrees).
#pragma once
#include <cstdint>
#include <string>

#include "engine/Sprite.h"

class TForm1;

// What a player's projectile is made with (the gun's shots and the Alt+R burst).
struct Bullet1Launch {
  std::string Image;
  double X = 0, Y = 0;
  int Z = 5;
  int32_t BornLevel = 0;
  int Kind = 1;  // the weapon that fired it
  double SpeedFactorX = 0.5, SpeedFactorY = 0.5;
  double VelX = 0, VelY = 0;
  uint8_t Rotation = 0;  // 256 units a full turn
  uint8_t Damage = 1;
  double TurnX = 0, TurnY = 0;  // where a grenade stops rising
};

// A shot of the player's gun: flies along its velocity (a grenade rises to its turning
// point, then falls at the same slope), explodes on the ground when the current weapon is
// a rocket or grenade launcher. Enemies read its Damage and kill it when it hits them.
class TBullet1 : public TImageSprite {
 public:
  TBullet1(TForm1& form, const Bullet1Launch& launch);

  void HandleCollision(TSprite* other, bool& done) override;
  void DrawStep() override;
  void MoveStep(int moveCount) override;
  TRect GetBounds() override;
  bool HitTest(TSprite* other) override;

  TForm1& Form;
  int32_t BornLevel;
  uint8_t Kind;
  double SpeedFactorX, SpeedFactorY;
  double VelX, VelY;
  uint8_t Damage;
  uint8_t Rotation;
  double TurnX, TurnY;
};

TBullet1* NewBullet1(TForm1& form, const Bullet1Launch& launch);

// A landed paratrooper's shot: flies level, drawn from its top-left corner, hit pixel by
// pixel; it keeps flying while play waits. Hurts the player; stops on the ground.
class TBullet2 : public TImageSprite {
 public:
  TBullet2(TForm1& form, double x, double y, int speedX, int damage);

  void HandleCollision(TSprite* other, bool& done) override;
  void DrawStep() override;
  void MoveStep(int moveCount) override;
  TRect GetBounds() override;
  bool HitTest(TSprite* other) override;

  TForm1& Form;
  int32_t BornLevel;
  int32_t SpeedX;  // -10 or +10
  int32_t Damage;  // 3 from an armoured paratrooper, else 1
};

// What an aircraft's shot is made with.
struct Bullet3Launch {
  std::string Image;
  double X = 0, Y = 0;
  double SpeedFactor = 1;
  double VelX = 50, VelY = 50;  // 45 degrees down, forwards
  uint8_t Rotation = 0;
  uint8_t Damage = 1;
  int32_t BornLevel = 0;
};

// An aircraft's bullet, bomb or rocket: flies diagonally down and forwards; hurts the
// player or the bunker, and the heavy ones explode on the ground.
class TBullet3 : public TImageSprite {
 public:
  TBullet3(TForm1& form, const Bullet3Launch& launch);

  void HandleCollision(TSprite* other, bool& done) override;
  void DrawStep() override;
  void MoveStep(int moveCount) override;
  TRect GetBounds() override;
  bool HitTest(TSprite* other) override;

  TForm1& Form;
  double SpeedFactorX, SpeedFactorY;
  double VelX, VelY;
  uint8_t Damage;
  uint8_t Rotation;
  int32_t BornLevel;
};

// Shared rules of being hit, called by the projectiles' collision handlers.
// A hit of `damage` on the player at (x, y); with `explodes`, damage above 2 shows an
// explosion. A player already at 0 health or below loses a life instead (or the run ends
// on the last life).
void HitPlayer(TForm1& form, int damage, bool explodes, double x, double y);
// The player goes down: blood, the death overlay, and the respawn wait of Timer2.
void LoseLife(TForm1& form);
// The run ends: the figure goes, the music stops, "GameOver" until Timer3 ticks.
void StartGameOver(TForm1& form);
// A hit of `damage` on the bunker at (x, y): its pictures show the strength left in fifths.
void HitBunker(TForm1& form, int damage, double x, double y);
