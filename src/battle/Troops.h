// What stands on or falls to the ground: paratroopers, the bunker's two halves, blood
// splashes, and the bonus objects the supply plane drops (collected by the player).
#pragma once
#include <cstdint>

#include "engine/Sprite.h"

class TForm1;

// A paratrooper of kind 2, or 3 (armoured, shoots harder): floats down from a transport,
// lands facing the side of the field he landed in, and shoots at the player in front of him.
// Dies 5 frames after a lethal hit. A landed kind 3 keeps his armour in his Z: 4 after
// landing, raised by weak hits, and at 6 the next weak hit kills.
class TE : public TImageSprite {
 public:
  TE(TForm1& form, double x, int kind);
  void HandleCollision(TSprite* other, bool& done) override;
  void MoveStep(int moveCount) override;

  TForm1& Form;
  uint8_t Kind;
  bool Ready = false;
  bool FacingLeft = false;
  int32_t Ticks = 0;
  bool Dying = false;
  int32_t BornLevel;

 private:
  void Land();
  void Die();
};

// A paratrooper killed: in levels divisible by 3, every ParatroopersPerGoal-th makes a step
// towards the level's goal.
void GoalStep(TForm1& form);

// The bunker's lower half, the one enemy fire hits.
class TBunker : public TImageSprite {
 public:
  explicit TBunker(TForm1& form);
};

// The bunker's tower.
class TBunkerVerh : public TImageSprite {
 public:
  explicit TBunkerVerh(TForm1& form);
};

// A blood splash centred on a point; it rises above more sprites as it ages and is gone
// after 21 frames.
class TBlood : public TImageSpriteEx {
 public:
  TBlood(TForm1& form, double centreX, double centreY);
  void MoveStep(int moveCount) override;

  TForm1& Form;
  int32_t BornLevel;
};

// A bonus object of kind 1..8 (the player's table says what each gives); a kind 6 asked
// for becomes a random kind, so health is rare. Falls, lies on the ground for 8 s, blinks
// for 1.92 s more and is gone.
class TObj : public TImageSprite {
 public:
  TObj(TForm1& form, double x, int kind);
  void MoveStep(int moveCount) override;

  TForm1& Form;
  uint8_t Kind;
  int32_t BornLevel;
  int32_t LandTicks = 1;
};
