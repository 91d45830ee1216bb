// Explosions and the pictures of the head-up display: the death overlay, the lives, the
// health and bunker bars. (The numbers of the display are painted by the frame loop.)
#pragma once
#include <cstdint>

#include "engine/Sprite.h"

class TForm1;

// An explosion centred on a point: one pattern every even frame, a sound, and harm to the
// player once while it lasts. Paratroopers it overlaps die.
class TVzriv : public TImageSpriteEx {
 public:
  TVzriv(TForm1& form, double centreX, double centreY);
  void MoveStep(int moveCount) override;

  TForm1& Form;
  int32_t BornLevel;
  bool Harmful = true;
};

// The small flash of a light hit: one pattern a frame, silent.
class TVzrivSmall : public TImageSpriteEx {
 public:
  TVzrivSmall(TForm1& form, double centreX, double centreY);
  void MoveStep(int moveCount) override;

  TForm1& Form;
  int32_t BornLevel;
};

// The overlay shown while the player is down and at the end of a game; made hidden.
class TScrDie : public TImageSpriteEx {
 public:
  explicit TScrDie(TForm1& form);
  ~TScrDie() override;
  void DrawStep() override;
  void MoveStep(int moveCount) override;

  TForm1& Form;

 private:
  // Kills the overlay and clears the game's reference to it.
  void Leave();
};

// One icon per life left, from x 375 to the right.
class TLifes : public TImageSpriteEx {
 public:
  explicit TLifes(TForm1& form);
  void DrawStep() override;

  TForm1& Form;
};

// The player's health bar, as long as the health is of 100.
class TPolosa1 : public TImageSprite {
 public:
  explicit TPolosa1(TForm1& form);
  void DrawStep() override;

  TForm1& Form;
};

// The bunker's strength bar, as long as its strength is of the full strength.
class TPolosa2 : public TImageSprite {
 public:
  explicit TPolosa2(TForm1& form);
  void DrawStep() override;

  TForm1& Form;
};
