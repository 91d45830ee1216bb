// The player of a running game: current weapon and ammunition.
#pragma once
#include <array>
#include <cstdint>

class TPlayer {
 public:
  uint8_t Weapon = 1;                // 1..7
  std::array<int32_t, 8> Ammo{};     // 1..7; weapon 1 never runs out
};

// The current weapon and its ammunition; false when there is no player.
inline bool PlayerWeaponAmmo(const TPlayer* player, int& weapon, int& ammo) {
  if (!player) return false;
  weapon = player->Weapon;
  ammo = player->Ammo[player->Weapon];
  return true;
}
