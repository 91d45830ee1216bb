// Switching between the window and full screen, and the mouse cursor's visibility.
#pragma once

class TForm1;

// Puts the display in the mode Settings.Windowed asks for and saves Config.cfg. The frame
// timer is stopped meanwhile and runs again afterwards, also when saving or switching fails.
void ApplyDisplayMode(TForm1& form);

// Shows or hides the mouse cursor.
void SetCursorVisible(TForm1& form, bool show);
