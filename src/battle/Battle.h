// What every sprite of play shares: each is made with the main window, keeps it as `Form`
// and reaches the game's state through it; each removes itself when play ends or the
// level changes; and all of them round and look up pictures and sounds the same way.
#pragma once
#include <string>

#include "engine/Sprite.h"

class TForm1;
struct GameGlobals;

// v to the nearest integer, halves to the even neighbour.
int Nint(double v);

// "Game" or "ExitGame?": the states in which the sprites of play live.
bool InPlay(const GameGlobals& g);
// Kills the sprite when play has ended or the level is no longer bornLevel, the rule
// every sprite of play keeps; true when it did.
bool LeavesPlay(TSprite& sprite, const GameGlobals& g, int bornLevel);
// While the level banner, the respawn wait or a pause runs, play stands still.
bool PlayWaits(TForm1& form);

// An event with odds of 1 in `odds`: rnd(odds) came out as odds - 1. Draws one number.
bool Chance(TForm1& form, int odds);
// Frames of the frame timer between two events that happen `perSecond` times a second.
int TicksPer(TForm1& form, double perSecond);

// Sets the sprite's picture from the play pictures, and its size from the picture's cell.
void SetImage(TImageSprite& sprite, TForm1& form, const std::string& name);
// Plays a sound effect once, when sound effects are on.
void PlaySound(TForm1& form, const std::string& name);

// The move pass and the sprite engine every sprite of play is made under.
TSprite* PlayParent(TForm1& form);
