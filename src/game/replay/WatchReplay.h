// Watching a replay in the window: the recorded game at its own pace, under the watcher's
// control. Space pauses and resumes, Right doubles the speed up to 8x, Left halves it back
// to 1x, and Escape (or closing the window) leaves. The rest of the input goes nowhere:
// the game sees only what was recorded. It ends a moment after the game does.
#pragma once
#include "game/replay/ReplayFile.h"

class TForm1;

// The form must be loaded; it is marked as replaying, so nothing is written, stored or sent.
void WatchReplay(TForm1& form, const replay::Replay& replay);
