// What the game hands to the desktop and to its score server.
#pragma once

class TForm1;

// After the window's loop has ended: opens the publisher's launcher and shortcut
// ("fscommand/kepmo.exe", "play.url", relative to the working folder) when they exist.
void LaunchOnExit(TForm1& form);
