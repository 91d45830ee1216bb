// zarovel-play --verify FILE [GAME_DIR]: plays a replay again headless, as fast as it goes,
// and says whether it ends as it was recorded.
#pragma once
#include <string>

// Prints the outcome; returns 0 when the game ends with the file's score, level and state
// hash, 1 when a well-formed replay goes another way (naming the first second that does),
// 2 when the file cannot be played (damaged, cut short, foreign, other game data).
int VerifyReplay(const std::string& file, const std::string& gameDir);
