// The game's state as JSON, for tests that read what a script left behind.
#pragma once
#include <string>

#include "engine/platform/headless/HeadlessPlatform.h"
#include "game/Form1.h"

// Writes the state and the side effects noted since the previous dump; false when the
// file cannot be written.
bool WriteStateJson(const std::string& path, TForm1& form, platform::HeadlessPlatform& platform);
