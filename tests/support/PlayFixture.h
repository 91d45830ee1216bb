// A game in play on the headless back end, on the game's own built pictures and sounds:
// started from the menu, with helpers to reach the soldier and what he fired.
#pragma once
#include <string>
#include <vector>

#include "battle/Player.h"
#include "battle/Projectiles.h"
#include "support/GameFixture.h"

// Copies the built game data (pictures, sounds, music) into gameDir.
void CopyBuiltGameData(const std::string& gameDir);

struct PlayFixture : GameFixture {
  // Starts the program and a game, and waits out the level banner unless asked not to.
  void StartPlay(bool waitBanner = true);
  void SetUp() override { StartPlay(); }

  TPlayer& Player() { return *G().Player; }
  TWeapon& Gun() { return *G().Player->Gun; }
  // Makes weapon w current with `ammo` rounds, the gun re-armed from scratch.
  void Arm(int w, int ammo);
  // The sounds played since the previous call, in order.
  std::vector<std::string> Sounds();
  // The player's projectiles made in the last ticks; they are killed, so the next call
  // sees only newer ones.
  std::vector<TBullet1*> TakeShots();
};
