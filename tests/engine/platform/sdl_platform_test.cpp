// The SDL back end on SDL's dummy video and audio drivers: window, presentation, and SDL
// events translated into the game's events.
#include "engine/platform/sdl/SdlPlatform.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/platform/DummySdl.h"
#include "engine/platform/VirtualKeys.h"

namespace {

using platform::Event;
using platform::EventType;
using platform::MouseButton;
using platform::SdlPlatform;

class SdlPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sdl = OpenDummySdl();
    ASSERT_NE(sdl, nullptr);
    Drain();
  }

  // Everything that is waiting, translated.
  std::vector<Event> Drain() {
    std::vector<Event> events;
    Event e;
    while (events.size() < 1000 && sdl->WaitEvent(e, 0)) events.push_back(e);
    return events;
  }

  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }

  static SDL_Event Key(Uint32 type, SDL_Scancode scancode, Uint16 mod, Uint8 repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat;
    e.key.keysym.scancode = scancode;
    e.key.keysym.mod = mod;
    return e;
  }

  static SDL_Event Button(Uint32 type, Uint8 button, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.button = button;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x, e.button.y = y;
    return e;
  }

  static SDL_Event Window(Uint8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
  }

  std::unique_ptr<SdlPlatform> sdl;
};

TEST_F(SdlPlatformTest, PresentsInWindowAndFullScreen) {
  Surface frame(800, 600);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) frame.At(x, y) = RGB(uint8_t(x), uint8_t(y), 0x80);
  sdl->Present(frame);

  const bool full = sdl->SetFullScreen(true);
  EXPECT_EQ(sdl->IsFullScreen(), full);
  sdl->Present(frame);
  EXPECT_TRUE(sdl->SetFullScreen(false));
  EXPECT_FALSE(sdl->IsFullScreen());
  sdl->Present(frame);
  sdl->Present(Surface(320, 200));  // another size gets a texture of its own
  sdl->Present(frame);

  std::array<uint8_t, 256> keys;
  keys.fill(0xFF);
  sdl->GetKeyboardState(keys);
  for (int k = 0; k < 256; ++k) EXPECT_EQ(keys[size_t(k)] & 0x80, 0) << k;
}

TEST_F(SdlPlatformTest, WaitEventReturnsFalseWhenNothingComes) {
  Event e;
  EXPECT_FALSE(sdl->WaitEvent(e, 0));
  EXPECT_FALSE(sdl->WaitEvent(e, 10));
}

// Waiting until a moment of the millisecond clock: never back before it, at once for one
// that has passed, and an event that is waiting ends the wait.
TEST_F(SdlPlatformTest, WaitEventUntilReturnsAtItsDeadlineOrWithAnEvent) {
  Event e;
  const uint32_t deadline = sdl->Milliseconds() + 15;
  EXPECT_FALSE(sdl->WaitEventUntil(e, deadline));
  EXPECT_GE(int32_t(sdl->Milliseconds() - deadline), 0);
  EXPECT_FALSE(sdl->WaitEventUntil(e, sdl->Milliseconds() - 5));
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_Q, KMOD_NONE));
  ASSERT_TRUE(sdl->WaitEventUntil(e, sdl->Milliseconds() + 60000));
  EXPECT_EQ(e.Key, 'Q');
}

TEST_F(SdlPlatformTest, PostedKeyUpsComeBeforeNewInputAndInOrder) {
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_Q, KMOD_NONE));
  sdl->PostKeyUp('A', platform::ssShift);
  sdl->PostKeyUp(vk::Escape, 0);
  const auto events = Drain();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].Type, EventType::KeyUp);
  EXPECT_EQ(events[0].Key, 'A');
  EXPECT_EQ(events[0].Shift, platform::ssShift);
  EXPECT_EQ(events[1].Type, EventType::KeyUp);
  EXPECT_EQ(events[1].Key, vk::Escape);
  EXPECT_EQ(events[2].Type, EventType::KeyDown);
  EXPECT_EQ(events[2].Key, 'Q');
}

TEST_F(SdlPlatformTest, KeysComeAsVirtualKeysWithTheirShiftState) {
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT));
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_W, KMOD_LSHIFT));
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_W, KMOD_LSHIFT, 1));  // auto-repeat
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_MUTE, KMOD_LSHIFT));  // no code: dropped
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_RCTRL, KMOD_LSHIFT | KMOD_RCTRL));
  Push(Key(SDL_KEYUP, SDL_SCANCODE_LSHIFT, KMOD_RCTRL));
  Push(Key(SDL_KEYUP, SDL_SCANCODE_KP_8, KMOD_RCTRL | KMOD_RALT));
  const struct {
    EventType Type;
    int Key;
    uint32_t Shift;
  } expected[] = {
      {EventType::KeyDown, vk::Shift, platform::ssShift},
      {EventType::KeyDown, 'W', platform::ssShift},
      {EventType::KeyDown, 'W', platform::ssShift},
      {EventType::KeyDown, vk::Control, platform::ssShift | platform::ssCtrl},
      {EventType::KeyUp, vk::Shift, platform::ssCtrl},
      {EventType::KeyUp, 0x68, platform::ssCtrl | platform::ssAlt},
  };
  const auto events = Drain();
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].Type, expected[i].Type) << i;
    EXPECT_EQ(events[i].Key, expected[i].Key) << i;
    EXPECT_EQ(events[i].Shift, expected[i].Shift) << i;
  }
}

TEST_F(SdlPlatformTest, TypedTextComesAsOneCharPerWindows1251Byte) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  SDL_strlcpy(e.text.text, "\xD0\x96z\xE2\x82\xAC", sizeof e.text.text);  // "Жz€"
  Push(e);
  const auto events = Drain();
  ASSERT_EQ(events.size(), 3u);
  const uint8_t bytes[] = {0xC6, 'z', 0x88};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(events[i].Type, EventType::Char);
    EXPECT_EQ(events[i].Char, bytes[i]) << i;
  }
}

TEST_F(SdlPlatformTest, MouseEventsCarryHeldButtonsAndModifiersAndStayOnTheSurface) {
  Push(Key(SDL_KEYDOWN, SDL_SCANCODE_LCTRL, KMOD_LCTRL));
  Push(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 100, 200));
  Push(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1, 100, 200));  // not a game button
  Push(Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 101, 201));
  Push(Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 102, 202));
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.x = 900, motion.motion.y = -5;
  motion.motion.state = SDL_BUTTON_MMASK;
  Push(motion);
  const auto events = Drain();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].Type, EventType::KeyDown);
  const uint32_t ctrl = platform::ssCtrl;
  const struct {
    EventType Type;
    MouseButton Button;
    int X, Y;
    uint32_t Shift;
  } expected[] = {
      {EventType::MouseDown, MouseButton::Left, 100, 200, ctrl | platform::ssLeft},
      {EventType::MouseDown, MouseButton::Right, 101, 201, ctrl | platform::ssLeft | platform::ssRight},
      {EventType::MouseUp, MouseButton::Left, 102, 202, ctrl | platform::ssRight},
      {EventType::MouseMove, MouseButton::Left, 799, 0, ctrl | platform::ssMiddle},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    const Event& got = events[i + 1];
    EXPECT_EQ(got.Type, expected[i].Type) << i;
    if (got.Type != EventType::MouseMove) {
      EXPECT_EQ(got.Button, expected[i].Button) << i;
    }
    EXPECT_EQ(got.X, expected[i].X) << i;
    EXPECT_EQ(got.Y, expected[i].Y) << i;
    EXPECT_EQ(got.Shift, expected[i].Shift) << i;
  }
}

TEST_F(SdlPlatformTest, WheelGives120PerNotchPositiveAwayFromTheUser) {
  const struct {
    int Y;
    Uint32 Direction;
    int Delta;  // 0: no event
  } cases[] = {
      {1, SDL_MOUSEWHEEL_NORMAL, 120},   {-2, SDL_MOUSEWHEEL_NORMAL, -240},
      {1, SDL_MOUSEWHEEL_FLIPPED, -120}, {0, SDL_MOUSEWHEEL_NORMAL, 0},
  };
  for (const auto& c : cases) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.x = c.Y == 0 ? 1 : 0;
    e.wheel.y = c.Y;
    e.wheel.direction = c.Direction;
    Push(e);
    const auto events = Drain();
    if (c.Delta == 0) {
      EXPECT_TRUE(events.empty()) << c.Y;
      continue;
    }
    ASSERT_EQ(events.size(), 1u) << c.Y;
    EXPECT_EQ(events[0].Type, EventType::MouseWheel);
    EXPECT_EQ(events[0].WheelDelta, c.Delta) << c.Y;
    EXPECT_TRUE(events[0].X >= 0 && events[0].X < 800 && events[0].Y >= 0 && events[0].Y < 600);
  }
}

TEST_F(SdlPlatformTest, WindowEventsBecomeActivationCloseAndSystemCommands) {
  Push(Window(SDL_WINDOWEVENT_FOCUS_LOST));
  Push(Window(SDL_WINDOWEVENT_RESIZED));  // nothing for the game
  Push(Window(SDL_WINDOWEVENT_FOCUS_GAINED));
  Push(Window(SDL_WINDOWEVENT_MINIMIZED));
  Push(Window(SDL_WINDOWEVENT_MAXIMIZED));
  Push(Window(SDL_WINDOWEVENT_CLOSE));
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  Push(quit);
  const EventType expected[] = {EventType::Deactivate, EventType::Activate, EventType::Minimize,
                                EventType::Maximize,   EventType::Close,    EventType::SessionEnd};
  const auto events = Drain();
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].Type, expected[i]) << i;
}

TEST_F(SdlPlatformTest, CursorPositionRoundTripsThroughTheWindow) {
  sdl->SetCursorPos(123, 456);
  int x = -1, y = -1;
  sdl->GetCursorPos(x, y);
  EXPECT_EQ(x, 123);
  EXPECT_EQ(y, 456);
  sdl->ShowCursor(false);
  sdl->ShowCursor(true);
}

TEST_F(SdlPlatformTest, ReadsAPluggedJoystickAsRawPositions) {
  platform::JoystickReading reading;
  if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
  EXPECT_FALSE(sdl->ReadJoystick(reading));

  // A flight stick, which SDL knows only as a joystick (controllers are read as such).
  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 3, 4, 0);
  if (index < 0) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
  SDL_Joystick* stick = SDL_JoystickOpen(index);
  ASSERT_NE(stick, nullptr);
  SDL_JoystickSetVirtualAxis(stick, 0, -32768);
  SDL_JoystickSetVirtualAxis(stick, 1, 0);
  SDL_JoystickSetVirtualAxis(stick, 2, 32767);
  SDL_JoystickSetVirtualButton(stick, 2, SDL_PRESSED);

  ASSERT_TRUE(sdl->ReadJoystick(reading));
  platform::PadReading pad;
  EXPECT_FALSE(sdl->ReadPad(pad));
  EXPECT_EQ(reading.X, 0);
  EXPECT_EQ(reading.Y, 32768);
  EXPECT_EQ(reading.Z, 65535);
  EXPECT_EQ(reading.AxisMin, 0);
  EXPECT_EQ(reading.AxisMax, 65535);
  EXPECT_EQ(reading.Buttons, 1u << 2);

  SDL_JoystickClose(stick);
  SDL_JoystickDetachVirtual(index);
  EXPECT_FALSE(sdl->ReadJoystick(reading));
}

TEST_F(SdlPlatformTest, AudioOpensOnTheDummyDeviceAndLocks) {
  struct Counter : platform::AudioSource {
    std::atomic<int> Frames{0};
    void Render(int16_t* stereo, int frames) override {
      for (int i = 0; i < frames * 2; ++i) stereo[i] = 0;
      Frames += frames;
    }
  } counter;
  EXPECT_TRUE(sdl->OpenAudio(counter));
  sdl->LockAudio();
  sdl->UnlockAudio();
  sdl.reset();  // closes the device before the source goes away
}

// In play the pointer is relative: motion moves the reported position from where the game
// put it, and putting it back moves nothing on the screen.
TEST_F(SdlPlatformTest, ARelativePointerMovesByTheMotionFromWhereTheGamePutIt) {
  sdl->SetRelativeMouse(true);
  ASSERT_EQ(SDL_GetRelativeMouseMode(), SDL_TRUE);
  sdl->SetCursorPos(400, 300);
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.xrel = 25, motion.motion.yrel = -40;
  motion.motion.x = 3, motion.motion.y = 4;  // where SDL's own pointer is plays no part
  Push(motion);
  const std::vector<Event> events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].X, 425);
  EXPECT_EQ(events[0].Y, 260);
  int x = 0, y = 0;
  sdl->GetCursorPos(x, y);
  EXPECT_EQ(std::make_pair(x, y), std::make_pair(425, 260));
  sdl->SetRelativeMouse(false);
  EXPECT_EQ(SDL_GetRelativeMouseMode(), SDL_FALSE);
}

TEST_F(SdlPlatformTest, TheWindowKeepsAReadableSizeAndRepaintsWhenUncovered) {
  int w = 0, h = 0;
  SDL_GetWindowMinimumSize(SDL_GetWindowFromID(1), &w, &h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(400, 300));
  Surface frame(800, 600);
  sdl->Present(frame);
  SDL_Event exposed{};
  exposed.type = SDL_WINDOWEVENT;
  exposed.window.event = SDL_WINDOWEVENT_EXPOSED;
  exposed.window.windowID = 1;
  Push(exposed);
  EXPECT_TRUE(Drain().empty());  // handled by the window itself; the game hears nothing
}

}  // namespace
