// Game controllers on the SDL back end, driven through SDL's virtual joysticks described as
// controllers: the input states they give the game, plugging at any time, one player's pad
// among several, and rumble.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "engine/DXInput.h"
#include "engine/platform/DummySdl.h"
#include "engine/platform/VirtualPad.h"
#include "engine/platform/sdl/SdlPlatform.h"

namespace {

using platform::SdlPlatform;

class SdlGamepad : public ::testing::Test {
 protected:
  void SetUp() override {
    sdl = OpenDummySdl();
    ASSERT_NE(sdl, nullptr);
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    input = std::make_unique<TDXInput>(*sdl);
    input->ActiveOnly = false;  // the dummy window never has the focus
    // As the game assigns them: the south button fires, west, east and right shoulder switch.
    input->Gamepad.Assigns[isButton1] =
        1u << platform::PadB | 1u << platform::PadX | 1u << platform::PadRightShoulder;
    input->Gamepad.Assigns[isButton2] = 1u << platform::PadA;
  }
  void TearDown() override {
    input.reset();
    sdl.reset();
  }
  TDXInputStates Poll() {
    input->PollInput();
    return input->States;
  }

  std::unique_ptr<SdlPlatform> sdl;
  std::unique_ptr<TDXInput> input;
};

TEST_F(SdlGamepad, StickDpadAndButtonsGiveTheInputStates) {
  VirtualPad pad;
  if (!pad.Attached()) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
  struct Case {
    const char* What;
    SDL_GameControllerAxis Axis;  // SDL_CONTROLLER_AXIS_INVALID: a button instead
    int16_t Value;
    SDL_GameControllerButton Button;
    TDXInputStates States;
  };
  constexpr auto kNoAxis = SDL_CONTROLLER_AXIS_INVALID;
  constexpr auto kNoButton = SDL_CONTROLLER_BUTTON_INVALID;
  const Case cases[] = {
      {"stick inside half its travel", SDL_CONTROLLER_AXIS_LEFTX, 16000, kNoButton, 0},
      {"stick right past half", SDL_CONTROLLER_AXIS_LEFTX, 20000, kNoButton, Bit(isRight)},
      {"stick left past half", SDL_CONTROLLER_AXIS_LEFTX, -20000, kNoButton, Bit(isLeft)},
      {"stick up", SDL_CONTROLLER_AXIS_LEFTY, -32768, kNoButton, Bit(isUp)},
      {"stick down", SDL_CONTROLLER_AXIS_LEFTY, 32767, kNoButton, Bit(isDown)},
      {"right stick: nothing", SDL_CONTROLLER_AXIS_RIGHTX, 32767, kNoButton, 0},
      {"d-pad up", kNoAxis, 0, SDL_CONTROLLER_BUTTON_DPAD_UP, Bit(isUp)},
      {"d-pad down", kNoAxis, 0, SDL_CONTROLLER_BUTTON_DPAD_DOWN, Bit(isDown)},
      {"d-pad left", kNoAxis, 0, SDL_CONTROLLER_BUTTON_DPAD_LEFT, Bit(isLeft)},
      {"d-pad right", kNoAxis, 0, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, Bit(isRight)},
      {"south fires", kNoAxis, 0, SDL_CONTROLLER_BUTTON_A, Bit(isButton2)},
      {"east switches", kNoAxis, 0, SDL_CONTROLLER_BUTTON_B, Bit(isButton1)},
      {"west switches", kNoAxis, 0, SDL_CONTROLLER_BUTTON_X, Bit(isButton1)},
      {"right shoulder switches", kNoAxis, 0, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, Bit(isButton1)},
      {"north: nothing", kNoAxis, 0, SDL_CONTROLLER_BUTTON_Y, 0},
      {"start: no state (a key)", kNoAxis, 0, SDL_CONTROLLER_BUTTON_START, 0},
  };
  for (const Case& c : cases) {
    if (c.Axis != kNoAxis) pad.Axis(c.Axis, c.Value);
    if (c.Button != kNoButton) pad.Button(c.Button, true);
    EXPECT_EQ(Poll(), c.States) << c.What;
    EXPECT_TRUE(input->Gamepad.Connected) << c.What;
    if (c.Axis != kNoAxis) pad.Axis(c.Axis, 0);
    if (c.Button != kNoButton) pad.Button(c.Button, false);
    EXPECT_EQ(Poll(), 0u) << c.What << ", let go";
  }
  // A controller is no joystick too: the joystick reads nothing of it.
  platform::JoystickReading joystick;
  EXPECT_FALSE(sdl->ReadJoystick(joystick));
}

TEST_F(SdlGamepad, PluggedAtAnyTimeAndTheFirstOneIsThePlayers) {
  EXPECT_EQ(Poll(), 0u);
  EXPECT_FALSE(input->Gamepad.Connected);
  auto first = std::make_unique<VirtualPad>();
  if (!first->Attached()) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
  first->Button(SDL_CONTROLLER_BUTTON_A, true);
  EXPECT_EQ(Poll(), Bit(isButton2));
  VirtualPad second;
  second.Button(SDL_CONTROLLER_BUTTON_B, true);
  EXPECT_EQ(Poll(), Bit(isButton2));  // the second is ignored while the first is there
  // Pulled out while held: nothing stays held.
  first.reset();
  EXPECT_EQ(Poll() & Bit(isButton2), 0u);
  // Now the second one is the player's.
  EXPECT_EQ(Poll(), Bit(isButton1));
  EXPECT_TRUE(input->Gamepad.Connected);
  second.Unplug();
  EXPECT_EQ(Poll(), 0u);
  EXPECT_FALSE(input->Gamepad.Connected);
}

TEST_F(SdlGamepad, RumblesThePlayersPad) {
  sdl->RumblePad(0xFFFF, 0xC000, 400);  // no pad: nothing happens
  VirtualPad pad;
  if (!pad.Attached()) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
  Poll();
  sdl->RumblePad(0x6000, 0x3000, 120);
  EXPECT_EQ(pad.rumbles, 1);
  EXPECT_EQ(pad.lastLow, 0x6000);
  EXPECT_EQ(pad.lastHigh, 0x3000);
}

}  // namespace
