// SDL scancodes come out as the Windows virtual-key codes of the same physical keys.
#include "engine/platform/sdl/SdlKeymap.h"

#include <gtest/gtest.h>

#include "engine/platform/VirtualKeys.h"

namespace {

using platform::GenericVirtualKey;
using platform::VirtualKeyFromScancode;

struct Case {
  SDL_Scancode Scancode;
  int Key;
};

TEST(SdlKeymap, MapsKeysByPosition) {
  const Case cases[] = {
      {SDL_SCANCODE_A, 'A'}, {SDL_SCANCODE_W, 'W'}, {SDL_SCANCODE_Z, 'Z'},
      {SDL_SCANCODE_0, '0'}, {SDL_SCANCODE_1, '1'}, {SDL_SCANCODE_9, '9'},
      {SDL_SCANCODE_F1, 0x70}, {SDL_SCANCODE_F10, 0x79}, {SDL_SCANCODE_F12, 0x7B},
      {SDL_SCANCODE_LEFT, 0x25}, {SDL_SCANCODE_UP, 0x26}, {SDL_SCANCODE_RIGHT, 0x27}, {SDL_SCANCODE_DOWN, 0x28},
      {SDL_SCANCODE_KP_0, 0x60}, {SDL_SCANCODE_KP_1, 0x61}, {SDL_SCANCODE_KP_8, 0x68}, {SDL_SCANCODE_KP_9, 0x69},
      {SDL_SCANCODE_KP_MULTIPLY, 0x6A}, {SDL_SCANCODE_KP_PLUS, 0x6B}, {SDL_SCANCODE_KP_MINUS, 0x6D},
      {SDL_SCANCODE_KP_PERIOD, 0x6E}, {SDL_SCANCODE_KP_DIVIDE, 0x6F}, {SDL_SCANCODE_KP_ENTER, 0x0D},
      {SDL_SCANCODE_RETURN, 0x0D}, {SDL_SCANCODE_ESCAPE, 0x1B}, {SDL_SCANCODE_SPACE, 0x20},
      {SDL_SCANCODE_BACKSPACE, 0x08}, {SDL_SCANCODE_TAB, 0x09}, {SDL_SCANCODE_PAUSE, 0x13},
      {SDL_SCANCODE_PAGEUP, 0x21}, {SDL_SCANCODE_PAGEDOWN, 0x22}, {SDL_SCANCODE_END, 0x23}, {SDL_SCANCODE_HOME, 0x24},
      {SDL_SCANCODE_INSERT, 0x2D}, {SDL_SCANCODE_DELETE, 0x2E},
      {SDL_SCANCODE_LSHIFT, 0xA0}, {SDL_SCANCODE_RSHIFT, 0xA1}, {SDL_SCANCODE_LCTRL, 0xA2},
      {SDL_SCANCODE_RCTRL, 0xA3}, {SDL_SCANCODE_LALT, 0xA4}, {SDL_SCANCODE_RALT, 0xA5},
      {SDL_SCANCODE_SEMICOLON, 0xBA}, {SDL_SCANCODE_EQUALS, 0xBB}, {SDL_SCANCODE_COMMA, 0xBC},
      {SDL_SCANCODE_MINUS, 0xBD}, {SDL_SCANCODE_PERIOD, 0xBE}, {SDL_SCANCODE_SLASH, 0xBF},
      {SDL_SCANCODE_GRAVE, 0xC0}, {SDL_SCANCODE_LEFTBRACKET, 0xDB}, {SDL_SCANCODE_BACKSLASH, 0xDC},
      {SDL_SCANCODE_RIGHTBRACKET, 0xDD}, {SDL_SCANCODE_APOSTROPHE, 0xDE},
      {SDL_SCANCODE_UNKNOWN, 0}, {SDL_SCANCODE_MUTE, 0}, {SDL_SCANCODE_AC_BACK, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeyFromScancode(c.Scancode), c.Key) << "scancode " << int(c.Scancode);
  }
}

TEST(SdlKeymap, EveryCodeFitsTheKeyTableAndOutOfRangeIsUnmapped) {
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
    const int key = VirtualKeyFromScancode(SDL_Scancode(sc));
    EXPECT_TRUE(key >= 0 && key <= 255) << sc;
  }
  EXPECT_EQ(VirtualKeyFromScancode(SDL_Scancode(SDL_NUM_SCANCODES)), 0);
}

TEST(SdlKeymap, FoldsSidedModifiersToGenericCodes) {
  const std::pair<int, int> cases[] = {
      {vk::LShift, vk::Shift}, {vk::RShift, vk::Shift}, {vk::LControl, vk::Control},
      {vk::RControl, vk::Control}, {vk::LMenu, vk::Menu}, {vk::RMenu, vk::Menu},
      {'A', 'A'}, {vk::Return, vk::Return}, {vk::Shift, vk::Shift}, {0, 0},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(GenericVirtualKey(in), out) << in;
}

}  // namespace
