// Levels and their difficulty, and the two window timers of play: Timer2 (2 s: the level
// banner, the respawn wait, a pause) and Timer3 (2.5 s: the end-of-game picture).
#pragma once

class TForm1;
struct GameGlobals;

// The difficulty a game starts from, before its first level.
void ResetDifficulty(GameGlobals& g);
// NextLevel, which the sprites of play call too, is declared with the window (game/Form1.h).
// Timer2 ticked: unless paused, the wait is over and the player stands at the start again.
void Timer2Timer(TForm1& form);
// Timer3 ticked: the end-of-game picture has been seen; the game is left (or, when a
// question came in between, the picture waits for a key or a click).
void Timer3Timer(TForm1& form);
