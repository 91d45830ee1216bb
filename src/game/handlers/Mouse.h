// The window's mouse handlers: hot spots per screen, the click that acts on the selection,
// the buttons and the wheel.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/platform/Platform.h"

class TForm1;
struct GameGlobals;

// Positions in GameGlobals::MouseOverFlags.
enum MouseOver : size_t {
  OverNameField,
  OverAnswer1,
  OverAnswer2,
  OverWindowed,
  OverFullScreen,
  OverMusicOn,
  OverSoundOn,
  OverMusicOff,
  OverSoundOff,
  OverCheckBox,
  OverSpare1,
  OverSpare2,
  OverOptionsBack,
  OverButton1,  // .. OverButton1 + 5 for MenuButtons[1..6]
};

bool& Over(GameGlobals& g, MouseOver member);
bool& OverButton(GameGlobals& g, int i);  // i = 1..6

// Pointer moved to (x, y) of the 800 x 600 picture: updates the hot-spot flags, the
// selection and the button highlight of the current screen, beeping when the selection changed.
void DXDraw1MouseMove(TForm1& form, uint32_t shift, int x, int y);
// A click, also the keyboard's way of activating the selection: acts on Selection and the
// hot-spot flags of the current screen. While RequireHover is set, a click over no hot spot
// is ignored.
void DXDraw1Click(TForm1& form);
// A press: fire or switch in play, and the screen it began on (see GameGlobals::PressScreen).
void DXDraw1MouseDown(TForm1& form, platform::MouseButton button, uint32_t shift);
// The surface's own click (a left press and release): acts through DXDraw1Click only when
// the press began on the screen still shown, so a double click cannot answer a question
// its first click opened.
void SurfaceClick(TForm1& form);
// A right release outside play acts as a click.
void DXDraw1MouseUp(TForm1& form, platform::MouseButton button);
// One notch of the wheel, in either direction.
void FormMouseWheelDown(TForm1& form);
