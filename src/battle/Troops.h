// What stands on or falls to the ground: the bunker's two halves, blood splashes, and the
// bonus objects the supply plane drops (collected by the player).
#pragma once
#include <cstdint>

#include "engine/Sprite.h"

class TForm1;

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
// for becomes a random kind, so health is rare.
class TObj : public TImageSprite {
 public:
  TObj(TForm1& form, double x, int kind);

  TForm1& Form;
  uint8_t Kind;
  int32_t BornLevel;
  int32_t LandTicks = 1;
};
