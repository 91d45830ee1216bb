// The aircraft that cross the sky: the enemy in five kinds (TETransport), which fire or drop
// paratroopers and are shot down, and the supply plane (TDTransport), which drops bonuses
// and cannot be hit.
#pragma once
#include <array>
#include <cstdint>

#include "engine/Sprite.h"

class TForm1;

// One enemy kind: its picture (+ "R" entering from the right, "L" from the left), strength,
// fire and worth.
struct AircraftSpec {
  const char* Image;
  int8_t HitPoints;
  uint8_t ShotDamage;
  uint8_t FireRate;  // shots per second at most
  int Score;         // when shot down
};

// Kinds 1..5 (index 0 unused).
inline constexpr std::array<AircraftSpec, 6> kAircraft = {{
    {},
    {"Shtr", 10, 2, 5, 10},   // attack plane: bullets
    {"Bomb", 20, 5, 1, 20},   // bomber: bombs
    {"Tr", 30, 1, 1, 30},     // transport: paratroopers, no fire
    {"Vert", 20, 3, 3, 20},   // helicopter: rockets
    {"Reakt", 30, 5, 2, 30},  // jet: rockets
}};
inline constexpr int kTransport = 3;

class TETransport : public TImageSpriteEx {
 public:
  TETransport(TForm1& form, int kind, bool fromRight);
  void HandleCollision(TSprite* other, bool& done) override;
  void MoveStep(int moveCount) override;

  TForm1& Form;
  uint8_t Kind;
  uint8_t ShotDamage;
  uint8_t FireRate;
  bool MovingRight;
  double VelX;
  int8_t HitPoints;
  bool Ready = false;
  int32_t FireTicks = 0;
  int32_t BornLevel;

 private:
  void Fire();
  void ShotDown();
};

class TDTransport : public TImageSpriteEx {
 public:
  TDTransport(TForm1& form, bool fromRight);
  void MoveStep(int moveCount) override;

  TForm1& Form;
  bool MovingRight;
  double VelX;
  int32_t BornLevel;
  uint8_t DropCount = 0;
};
