// Keyboard and joystick polling and the edge rule of the input states.
#include "engine/DXInput.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

void TKeyboard::Update(platform::Platform& platform, bool activeOnly) {
  States = 0;
  if (!Initialized) return;
  if (activeOnly && !platform.IsForeground()) return;
  std::array<uint8_t, 256> keys{};
  platform.GetKeyboardState(keys);
  for (int state = 0; state < InputStateCount; ++state) {
    for (int32_t code : Assigns[size_t(state)]) {
      if (code >= 1 && code <= 255 && (keys[size_t(code)] & 0x80) != 0) {
        States |= Bit(TDXInputState(state));
        break;
      }
    }
  }
}

int TJoystick::ScaleAxis(int position, int min, int max, int deadZone, int range) {
  deadZone = std::clamp(deadZone, 0, 100);
  const int half = (max - min) / 2;
  const int dz = deadZone * half / 100;
  if (dz == half) return 0;
  const int a = position - half;
  if (std::abs(a) <= dz) return 0;
  const double beyond = a > 0 ? a - dz : a + dz;
  return int(std::nearbyint(beyond * range / double(half - dz)));
}

void TJoystick::Update(platform::Platform& platform, bool activeOnly) {
  States = 0;
  X = Y = Z = 0;
  Buttons = 0;
  if (!Initialized) return;
  if (activeOnly && !platform.IsForeground()) return;
  platform::JoystickReading reading;
  if (!platform.ReadJoystick(reading)) return;
  X = ScaleAxis(reading.X, reading.AxisMin, reading.AxisMax, DeadZoneX, RangeX);
  Y = ScaleAxis(reading.Y, reading.AxisMin, reading.AxisMax, DeadZoneY, RangeY);
  Z = ScaleAxis(reading.Z, reading.AxisMin, reading.AxisMax, DeadZoneZ, RangeZ);
  Buttons = reading.Buttons;
  for (int n = 0; n < 32; ++n)
    if (Buttons & (1u << n)) States |= Bit(isButton(n + 1));
  if (X < 0) States |= Bit(isLeft);
  if (X > 0) States |= Bit(isRight);
  if (Y < 0) States |= Bit(isUp);
  if (Y > 0) States |= Bit(isDown);
}

void TGamepad::Update(platform::Platform& platform, bool activeOnly) {
  States = 0;
  Reading = platform::PadReading{};
  Connected = Enabled && platform.ReadPad(Reading);
  // Past half the stick's travel, as the joystick's 50 % dead zone counts its axes.
  const auto direction = [](int axis) {
    const int scaled = TJoystick::ScaleAxis(axis + 32768, 0, 65535, 50, 1000);
    return scaled < 0 ? -1 : scaled > 0 ? 1 : 0;
  };
  StickX = direction(Reading.LeftX);
  StickY = direction(Reading.LeftY);
  // In the background the controller sets no input state, as the keyboard sets none; what
  // it holds is still read, so that nothing looks released meanwhile.
  if (!Connected || (activeOnly && !platform.IsForeground())) return;
  const auto down = [this](platform::PadButton b) { return (Reading.Buttons & (1u << b)) != 0; };
  if (StickX < 0 || down(platform::PadDpadLeft)) States |= Bit(isLeft);
  if (StickX > 0 || down(platform::PadDpadRight)) States |= Bit(isRight);
  if (StickY < 0 || down(platform::PadDpadUp)) States |= Bit(isUp);
  if (StickY > 0 || down(platform::PadDpadDown)) States |= Bit(isDown);
  for (int state = 0; state < InputStateCount; ++state)
    if ((Reading.Buttons & Assigns[size_t(state)]) != 0) States |= Bit(TDXInputState(state));
}

void TDXInput::PollInput() {
  TPolledInput reading;
  if (injected_) {
    reading = *injected_;
    injected_.reset();
    Gamepad.Connected = reading.PadConnected;
    Gamepad.Reading = platform::PadReading{};
    Gamepad.Reading.Buttons = reading.PadButtons;
    Gamepad.StickX = reading.StickX, Gamepad.StickY = reading.StickY;
  } else {
    Joystick.Update(platform_, ActiveOnly);
    if (Joystick.BindInputStates) reading.Devices |= Joystick.States;
    Gamepad.Update(platform_, ActiveOnly);
    if (Gamepad.BindInputStates) reading.Devices |= Gamepad.States;
    Keyboard.Update(platform_, ActiveOnly);
    if (Keyboard.BindInputStates) reading.Devices |= Keyboard.States;
    Mouse.States = 0;  // the mouse device is off; the game reads the pointer itself
    if (Mouse.BindInputStates) reading.Devices |= Mouse.States;
    reading.PadConnected = Gamepad.Connected;
    reading.PadButtons = Gamepad.Reading.Buttons;
    reading.StickX = int8_t(Gamepad.StickX), reading.StickY = int8_t(Gamepad.StickY);
  }
  lastPoll_ = reading;
  const TDXInputStates now = reading.Devices;
  const TDXInputStates pressed = now & ~previous_;
  const TDXInputStates released = previous_ & ~now;
  States = (States | pressed) & ~released;
  previous_ = now;
}

TKeyAssignList TDXInput::StoredAssigns() {
  TKeyAssignList assigns{};
  assigns[isUp] = {75, 38, 104};      // K, Up arrow, keypad 8
  assigns[isDown] = {74, 40, 98};     // J, Down arrow, keypad 2
  assigns[isLeft] = {72, 37, 100};    // H, Left arrow, keypad 4
  assigns[isRight] = {76, 39, 102};   // L, Right arrow, keypad 6
  assigns[isButton1] = {90, 32, 0};   // Z, Space
  assigns[isButton2] = {88, 13, 0};   // X, Enter
  assigns[isButton(9)] = {113, 0, 0};  // F2
  return assigns;
}
