// The player's game controller as the window's keys. In play its stick, d-pad and buttons
// are input states (the frame's poll reads them); Start pauses as P does and Back leaves as
// Escape does. On every other screen the d-pad and the stick are the arrow keys, the south
// button and Start are Enter and the east button is Escape; on a finished game's picture any
// button is a key. A press is a key press and its release the key's release, so the menus,
// which act on releases, act once per press.
#pragma once

class TForm1;

// Runs once a tick, after the input poll: turns what the controller's buttons and stick did
// since the last tick into key events for the window. A controller pulled out in play pauses
// the game; whatever it held is let go without acting.
void PadKeys(TForm1& form);
