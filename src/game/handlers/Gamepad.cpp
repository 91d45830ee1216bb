// Game controller buttons and stick to the window's key events.
#include "game/handlers/Gamepad.h"

#include "engine/platform/VirtualKeys.h"
#include "game/Form1.h"
#include "game/PlayScreen.h"

namespace {

// The key a button press stands for on the current screen; 0 for none.
int KeyForButton(const std::string& state, int button) {
  if (state == "Game") {
    if (button == platform::PadStart) return 'P';
    if (button == platform::PadBack) return vk::Escape;
    return 0;  // the rest are input states in play
  }
  switch (button) {
    case platform::PadDpadUp: return vk::Up;
    case platform::PadDpadDown: return vk::Down;
    case platform::PadDpadLeft: return vk::Left;
    case platform::PadDpadRight: return vk::Right;
    case platform::PadA: case platform::PadStart: return vk::Return;
    case platform::PadB: return vk::Escape;
    default: break;
  }
  // A finished game's picture waits for any key.
  return state == "GameOver2" ? vk::Return : 0;
}

void Post(TForm1& form, platform::EventType type, int key) {
  platform::Event event;
  event.Type = type;
  event.Key = key;
  form.Application.Post(event);
}

void Release(TForm1& form, int& key) {
  if (key != 0) Post(form, platform::EventType::KeyUp, key);
  key = 0;
}

// A change of the stick's direction on one axis: the old direction's arrow goes up, the
// new one's goes down (arrows only off the play screen, where the stick is an input state).
void Steer(TForm1& form, int& held, int& heldKey, int now, int lessKey, int moreKey) {
  if (now == held) return;
  Release(form, heldKey);
  held = now;
  if (now != 0 && form.G.GameState != "Game") {
    heldKey = now < 0 ? lessKey : moreKey;
    Post(form, platform::EventType::KeyDown, heldKey);
  }
}

}  // namespace

void PadKeys(TForm1& form) {
  GameGlobals& g = form.G;
  const TGamepad& pad = form.DXInput1.Gamepad;
  if (!pad.Connected) {
    // Pulled out: what it held is forgotten, not released. A release would act (the
    // menus and P act on releases), and nothing else knows these keys were down. Its
    // input states go at this tick's poll. In play the game waits, as P makes it wait.
    if (g.PadConnected && g.GameState == "Game" && !g.Paused) TogglePause(form);
    g.PadConnected = false;
    g.PadButtons = 0;
    g.PadKeys = {};
    g.PadStickX = g.PadStickY = g.PadStickKeyX = g.PadStickKeyY = 0;
    return;
  }
  g.PadConnected = true;
  const uint32_t buttons = pad.Reading.Buttons;
  for (int b = 0; b < platform::PadButtonCount; ++b) {
    const uint32_t bit = 1u << b;
    if ((g.PadButtons & bit) != 0 && (buttons & bit) == 0) Release(form, g.PadKeys[size_t(b)]);
  }
  for (int b = 0; b < platform::PadButtonCount; ++b) {
    const uint32_t bit = 1u << b;
    if ((g.PadButtons & bit) != 0 || (buttons & bit) == 0) continue;
    g.PadKeys[size_t(b)] = KeyForButton(g.GameState, b);
    if (g.PadKeys[size_t(b)] != 0) Post(form, platform::EventType::KeyDown, g.PadKeys[size_t(b)]);
  }
  g.PadButtons = buttons;
  Steer(form, g.PadStickX, g.PadStickKeyX, pad.StickX, vk::Left, vk::Right);
  Steer(form, g.PadStickY, g.PadStickKeyY, pad.StickY, vk::Up, vk::Down);
}
