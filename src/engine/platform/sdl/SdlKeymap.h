// SDL scancodes (physical key positions) to the Windows virtual-key codes the game uses.
#pragma once
#include <SDL_scancode.h>

namespace platform {

// The virtual-key code of the key at this position on a US layout, so W/A/S/D stay
// where they are on any layout; 0 for keys the game has no code for. The keypad keys
// always give their digit codes (0x60..0x69), whatever Num Lock says. Shift, Ctrl and
// Alt give their left/right codes (0xA0..0xA5).
int VirtualKeyFromScancode(SDL_Scancode scancode);

// Left/right Shift, Ctrl and Alt folded to the generic 0x10/0x11/0x12 that key events
// carry; any other code unchanged.
int GenericVirtualKey(int key);

}  // namespace platform
