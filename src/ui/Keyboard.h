// Key releases outside the play controls, and typing into the two name fields.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TForm1;

// A key was released (key: virtual-key code, shift: modifiers held). Moves the selection,
// answers questions, leaves screens, toggles the display mode (Alt+Enter) and activates the
// selection through the click routine. May replace key (Y and N answer questions).
void FormKeyUp(TForm1& form, int& key, uint32_t shift);

// A character was typed (Windows-1251): edits the options' player name while NameEditing is
// set, or the record's name on the name entry screen. Backspace removes the last character;
// other codes below '0' are ignored; a name holds at most 12 characters.
void FormKeyPress(TForm1& form, char& key);

// One rocket of the Alt+R burst, as the projectile is made from it.
struct RocketLaunch {
  std::string Image;  // from the play pictures
  double X = 400, Y = 400;
  int Z = -5;
  uint16_t BornLevel = 0;
  int Kind = 4;
  double SpeedFactorX = 0.5, SpeedFactorY = 0.5;
  double VelX = 0, VelY = 0;
  uint8_t Rotation = 0;  // 256 units a full turn
  int Damage = 30;
  double TurnX = 0, TurnY = 380;
};

// The burst: for the angles -90, -80, ..., 10 degrees a right-hand and a left-hand rocket,
// fanning out from straight up to just below the horizontal on both sides.
std::vector<RocketLaunch> RocketFan(uint16_t level);
