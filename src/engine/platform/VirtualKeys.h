// Windows virtual-key codes: the key numbers the game's key table and handlers use.
#pragma once

namespace vk {
constexpr int LButton = 0x01, RButton = 0x02, MButton = 0x04;
constexpr int Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11, Menu = 0x12;
constexpr int Pause = 0x13, Capital = 0x14, Escape = 0x1B, Space = 0x20;
constexpr int Prior = 0x21, Next = 0x22, End = 0x23, Home = 0x24;
constexpr int Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28;
constexpr int Insert = 0x2D, Delete = 0x2E;
constexpr int Key0 = 0x30;  // '0'..'9' are 0x30..0x39
constexpr int KeyA = 0x41;  // 'A'..'Z' are 0x41..0x5A
constexpr int Numpad0 = 0x60;  // numeric pad 0..9 are 0x60..0x69
constexpr int Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D, Decimal = 0x6E, Divide = 0x6F;
constexpr int F1 = 0x70;  // F1..F12 are 0x70..0x7B
constexpr int LShift = 0xA0, RShift = 0xA1, LControl = 0xA2, RControl = 0xA3, LMenu = 0xA4, RMenu = 0xA5;
constexpr int Oem1 = 0xBA, OemPlus = 0xBB, OemComma = 0xBC, OemMinus = 0xBD, OemPeriod = 0xBE;
constexpr int Oem2 = 0xBF, Oem3 = 0xC0, Oem4 = 0xDB, Oem5 = 0xDC, Oem6 = 0xDD, Oem7 = 0xDE;
}  // namespace vk
