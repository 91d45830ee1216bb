// The scancode table behind VirtualKeyFromScancode.
#include "engine/platform/sdl/SdlKeymap.h"

#include <array>
#include <cstdint>

#include "engine/platform/VirtualKeys.h"

namespace platform {
namespace {

using Table = std::array<uint8_t, SDL_NUM_SCANCODES>;

constexpr Table MakeTable() {
  Table t{};
  auto set = [&t](SDL_Scancode sc, int vk) { t[sc] = uint8_t(vk); };
  for (int i = 0; i < 26; ++i) set(SDL_Scancode(SDL_SCANCODE_A + i), vk::KeyA + i);
  for (int i = 0; i < 9; ++i) set(SDL_Scancode(SDL_SCANCODE_1 + i), vk::Key0 + 1 + i);
  set(SDL_SCANCODE_0, vk::Key0);
  for (int i = 0; i < 12; ++i) set(SDL_Scancode(SDL_SCANCODE_F1 + i), vk::F1 + i);
  for (int i = 0; i < 12; ++i) set(SDL_Scancode(SDL_SCANCODE_F13 + i), vk::F1 + 12 + i);
  for (int i = 0; i < 9; ++i) set(SDL_Scancode(SDL_SCANCODE_KP_1 + i), vk::Numpad0 + 1 + i);
  set(SDL_SCANCODE_KP_0, vk::Numpad0);

  set(SDL_SCANCODE_RETURN, vk::Return);
  set(SDL_SCANCODE_KP_ENTER, vk::Return);  // Windows gives the keypad Enter the same code
  set(SDL_SCANCODE_ESCAPE, vk::Escape);
  set(SDL_SCANCODE_BACKSPACE, vk::Back);
  set(SDL_SCANCODE_TAB, vk::Tab);
  set(SDL_SCANCODE_SPACE, vk::Space);
  set(SDL_SCANCODE_CAPSLOCK, vk::Capital);
  set(SDL_SCANCODE_PAUSE, vk::Pause);
  set(SDL_SCANCODE_PRINTSCREEN, 0x2C);
  set(SDL_SCANCODE_SCROLLLOCK, 0x91);
  set(SDL_SCANCODE_NUMLOCKCLEAR, 0x90);

  set(SDL_SCANCODE_INSERT, vk::Insert);
  set(SDL_SCANCODE_DELETE, vk::Delete);
  set(SDL_SCANCODE_HOME, vk::Home);
  set(SDL_SCANCODE_END, vk::End);
  set(SDL_SCANCODE_PAGEUP, vk::Prior);
  set(SDL_SCANCODE_PAGEDOWN, vk::Next);
  set(SDL_SCANCODE_LEFT, vk::Left);
  set(SDL_SCANCODE_UP, vk::Up);
  set(SDL_SCANCODE_RIGHT, vk::Right);
  set(SDL_SCANCODE_DOWN, vk::Down);

  set(SDL_SCANCODE_KP_MULTIPLY, vk::Multiply);
  set(SDL_SCANCODE_KP_PLUS, vk::Add);
  set(SDL_SCANCODE_KP_MINUS, vk::Subtract);
  set(SDL_SCANCODE_KP_PERIOD, vk::Decimal);
  set(SDL_SCANCODE_KP_DIVIDE, vk::Divide);

  set(SDL_SCANCODE_LSHIFT, vk::LShift);
  set(SDL_SCANCODE_RSHIFT, vk::RShift);
  set(SDL_SCANCODE_LCTRL, vk::LControl);
  set(SDL_SCANCODE_RCTRL, vk::RControl);
  set(SDL_SCANCODE_LALT, vk::LMenu);
  set(SDL_SCANCODE_RALT, vk::RMenu);
  set(SDL_SCANCODE_LGUI, 0x5B);
  set(SDL_SCANCODE_RGUI, 0x5C);
  set(SDL_SCANCODE_APPLICATION, 0x5D);

  // Punctuation where a US keyboard has it.
  set(SDL_SCANCODE_SEMICOLON, vk::Oem1);
  set(SDL_SCANCODE_EQUALS, vk::OemPlus);
  set(SDL_SCANCODE_COMMA, vk::OemComma);
  set(SDL_SCANCODE_MINUS, vk::OemMinus);
  set(SDL_SCANCODE_PERIOD, vk::OemPeriod);
  set(SDL_SCANCODE_SLASH, vk::Oem2);
  set(SDL_SCANCODE_GRAVE, vk::Oem3);
  set(SDL_SCANCODE_LEFTBRACKET, vk::Oem4);
  set(SDL_SCANCODE_BACKSLASH, vk::Oem5);
  set(SDL_SCANCODE_NONUSHASH, vk::Oem5);
  set(SDL_SCANCODE_RIGHTBRACKET, vk::Oem6);
  set(SDL_SCANCODE_APOSTROPHE, vk::Oem7);
  set(SDL_SCANCODE_NONUSBACKSLASH, 0xE2);  // the extra key beside left Shift on ISO boards
  return t;
}

constexpr Table kTable = MakeTable();

}  // namespace

int VirtualKeyFromScancode(SDL_Scancode scancode) {
  const int index = int(scancode);
  return index >= 0 && index < SDL_NUM_SCANCODES ? kTable[size_t(index)] : 0;
}

int GenericVirtualKey(int key) {
  switch (key) {
    case vk::LShift: case vk::RShift: return vk::Shift;
    case vk::LControl: case vk::RControl: return vk::Control;
    case vk::LMenu: case vk::RMenu: return vk::Menu;
    default: return key;
  }
}

}  // namespace platform
