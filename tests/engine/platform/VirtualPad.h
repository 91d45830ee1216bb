// A game controller that exists only for a test: SDL's virtual joystick described as a
// controller with the standard layout, so SDL maps it as it maps a real pad. Its rumbles
// are counted. Needs SDL's joystick part started (an SdlPlatform does that).
#pragma once
#include <SDL.h>

#include <cstdint>

class VirtualPad {
 public:
  VirtualPad() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
    desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    desc.name = "Zarovel test pad";
    desc.userdata = this;
    desc.Rumble = [](void* self, Uint16 low, Uint16 high) {
      auto& pad = *static_cast<VirtualPad*>(self);
      ++pad.rumbles;
      pad.lastLow = low, pad.lastHigh = high;
      return 0;
    };
    index_ = SDL_JoystickAttachVirtualEx(&desc);
    if (index_ >= 0) joystick_ = SDL_JoystickOpen(index_);
  }
  ~VirtualPad() { Unplug(); }
  VirtualPad(const VirtualPad&) = delete;
  VirtualPad& operator=(const VirtualPad&) = delete;

  bool Attached() const { return joystick_ != nullptr; }
  void Button(SDL_GameControllerButton button, bool down) {
    SDL_JoystickSetVirtualButton(joystick_, button, down ? SDL_PRESSED : SDL_RELEASED);
  }
  void Axis(SDL_GameControllerAxis axis, int16_t value) { SDL_JoystickSetVirtualAxis(joystick_, axis, value); }
  void Unplug() {
    if (joystick_ == nullptr) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
    SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
    // The device index may have moved since attaching; find it by its instance.
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  }

  int rumbles = 0;
  Uint16 lastLow = 0, lastHigh = 0;

 private:
  int index_ = -1;
  SDL_Joystick* joystick_ = nullptr;
};
