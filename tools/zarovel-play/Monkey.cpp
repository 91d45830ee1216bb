// Soak testing: random keys, typing, mouse, wheel and joystick for a number of frames, game
// after game. The program is never quit ("Exit?" is always answered no); games are started
// from the menu now and then. At the end one line reports what happened, and a game stuck
// in a state with no way out shows as a state held for the rest of the run.
#include <cstdio>
#include <map>
#include <random>

#include "Driver.h"
#include "engine/platform/VirtualKeys.h"

using platform::Event;
using platform::EventType;
using platform::MouseButton;

namespace {

// The keys a player uses, and a few more.
constexpr int kKeys[] = {vk::Left, vk::Right, vk::Up, vk::Down, 'W', 'A', 'S', 'D', 'H', vk::Control, vk::Space,
                         vk::Prior, vk::Next, vk::Return, vk::Escape, 'Y', 'N', 'P', vk::Menu, 'R', vk::Back};

int Sprites(TForm1& form) { return form.DXSpriteEngine1.Engine()->SpriteCount(); }

}  // namespace

void Driver::Monkey(long frames, uint64_t seed) {
  std::mt19937_64 rng(seed);
  const auto chance = [&rng](int percent) { return int(rng() % 1000) < percent * 10; };
  const auto pick = [&rng](int n) { return int(rng() % uint64_t(n)); };
  std::map<std::string, long> longest;  // the longest run of frames in each state
  std::string state = form_->G.GameState;
  long since = 0, games = 0, peakSprites = 0;
  for (long frame = 0; frame < frames && !application_.Terminated(); ++frame) {
    Advance(20);
    const std::string now = form_->G.GameState;
    if (now != state) {
      if (now == "Game" && state == "Menu") ++games;
      longest[state] = std::max(longest[state], frame - since);
      state = now, since = frame;
    }
    peakSprites = std::max<long>(peakSprites, Sprites(*form_));
    Event event;
    if (state == "Exit?") {  // never quit
      event.Type = EventType::KeyUp;
      event.Key = 'N';
      Deliver(event);
      continue;
    }
    if (state == "Menu" && chance(2)) {  // start a game by its button
      event.Type = EventType::MouseMove;
      event.X = 400, event.Y = 190;
      Deliver(event);
      Mouse(EventType::MouseDown, MouseButton::Left);
      Mouse(EventType::MouseUp, MouseButton::Left);
      continue;
    }
    if (!chance(30)) continue;  // a quiet frame
    switch (pick(9)) {
      case 0: case 1: case 2:  // a key goes down or up
        event.Type = chance(50) ? EventType::KeyDown : EventType::KeyUp;
        event.Key = kKeys[pick(std::size(kKeys))];
        Deliver(event);
        break;
      case 3:  // a typed character, Latin or Cyrillic
        event.Type = EventType::Char;
        event.Char = uint8_t(chance(50) ? 'a' + pick(26) : 0xC0 + pick(64));
        Deliver(event);
        break;
      case 4:
        event.Type = EventType::MouseMove;
        event.X = pick(800), event.Y = pick(600);
        Deliver(event);
        break;
      case 5:
        Mouse(chance(50) ? EventType::MouseDown : EventType::MouseUp,
              chance(70) ? MouseButton::Left : MouseButton::Right);
        break;
      case 6:
        event.Type = EventType::MouseWheel;
        event.WheelDelta = chance(50) ? 120 : -120;
        Deliver(event);
        break;
      case 7:
        joystick_.X = pick(joystick_.AxisMax + 1), joystick_.Y = pick(joystick_.AxisMax + 1);
        joystick_.Buttons = uint32_t(pick(4));
        platform_.SetJoystick(true, joystick_);
        break;
      default:  // the window's own events, rarely
        if (chance(5)) {
          static constexpr EventType kWindow[] = {EventType::Deactivate, EventType::Activate, EventType::Close,
                                                  EventType::Minimize};
          event.Type = kWindow[pick(4)];
          Deliver(event);
        }
        break;
    }
  }
  longest[state] = std::max(longest[state], frames - since);
  std::printf("monkey: %ld frames, %ld games, peak %ld sprites, now %d, in \"%s\"; longest stays:", frames, games,
              peakSprites, Sprites(*form_), state.c_str());
  for (const auto& [name, length] : longest) std::printf(" %s %ld", name.c_str(), length);
  std::printf("\n");
}
