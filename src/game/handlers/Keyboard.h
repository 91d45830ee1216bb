// The window's key handlers: releases outside the play controls, and typing into the two name
// fields. They sit above everything they drive: screens, play and the widgets.
#pragma once
#include <cstdint>
#include <vector>

#include "battle/Projectiles.h"

class TForm1;

// A key was released (key: virtual-key code, shift: modifiers held). Moves the selection,
// answers questions, leaves screens, toggles the display mode (Alt+Enter) and activates the
// selection through the click routine. May replace key (Y and N answer questions).
void FormKeyUp(TForm1& form, int& key, uint32_t shift);

// A character was typed (Windows-1251): edits the options' player name while NameEditing is
// set, or the record's name on the name entry screen. Backspace removes the last character;
// other codes below '0' are ignored; a name holds at most 12 characters.
void FormKeyPress(TForm1& form, char& key);

// The Alt+R burst: for the angles -90, -80, ..., 10 degrees a right-hand and a left-hand
// rocket from (400, 400), fanning out from straight up to just below the horizontal on both
// sides.
std::vector<Bullet1Launch> RocketFan(uint16_t level);
