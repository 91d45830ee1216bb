// What the window's handlers hand to the desktop and to the score server.
#pragma once
#include <cstdint>
#include <string>

class TForm1;

// Sends a new record's true score to the score server; returns when the exchange is over,
// whether it succeeded or not.
void SubmitScore(TForm1& form, uint32_t score);

// The world score page of the score server at host.
std::string WorldScoresUrl(const std::string& host);

// The score screen's "World" button: opens the world score page in the desktop's browser.
void OpenWorldScores(TForm1& form);
// The menu's "Visit" button: opens "moregames.url" of the game's data folder when it
// exists (not of the working folder: an installed game is started from anywhere).
void OpenMoreGames(TForm1& form);
// After the window's loop has ended: opens the publisher's launcher and shortcut
// ("fscommand/kepmo.exe", "play.url", in the game's data folder) when they exist.
void LaunchOnExit(TForm1& form);
