// The game on the real SDL back end (dummy video and audio) with a controller plugged in
// during play and pulled out again: it fires, then pauses with nothing held.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

#include "engine/Application.h"
#include "engine/platform/DummySdl.h"
#include "engine/platform/VirtualPad.h"
#include "engine/platform/sdl/SdlPlatform.h"
#include "game/Form1.h"
#include "game/PlayScreen.h"
#include "support/PlayFixture.h"

namespace {

class SdlPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyBuiltGameData(folder.Dir());
    sdl = OpenDummySdl();
    ASSERT_NE(sdl, nullptr);
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    application = std::make_unique<TApplication>(*sdl);
    form = std::make_unique<TForm1>(*application, folder.Dir(), 7);
    form->Load();
    form->DXInput1.ActiveOnly = false;  // the dummy window never has the focus
  }
  void TearDown() override {
    form.reset();
    application.reset();
    sdl.reset();
  }
  // Runs the window's idle processing in real time until done() or 5 s have passed.
  bool RunUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
      platform::Event event;
      while (sdl->WaitEvent(event, 5)) application->Dispatch(event);
      application->Idle();
      if (done()) return true;
    }
    return false;
  }

  TempFolder folder;
  std::unique_ptr<platform::SdlPlatform> sdl;
  std::unique_ptr<TApplication> application;
  std::unique_ptr<TForm1> form;
};

TEST_F(SdlPlay, APadPluggedInDuringPlayFiresAndPullingItOutPauses) {
  StartGame(*form);
  GameGlobals& g = form->G;
  ASSERT_TRUE(RunUntil([&] { return !form->Timer2.Enabled(); })) << "the level banner never ended";
  VirtualPad pad;
  if (!pad.Attached()) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
  pad.Button(SDL_CONTROLLER_BUTTON_A, true);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
  EXPECT_TRUE(RunUntil([&] { return CountAlive<TBullet1>(*form) > 0; })) << "no shot fired";
  EXPECT_TRUE(form->DXInput1.Has(isButton2) && form->DXInput1.Has(isRight));
  EXPECT_TRUE(g.PadConnected);

  pad.Unplug();
  EXPECT_TRUE(RunUntil([&] { return g.Paused; })) << "not paused";
  EXPECT_EQ(g.GameState, "Game");
  EXPECT_EQ(form->DXInput1.States, 0u);
  EXPECT_FALSE(g.PadConnected);
}

}  // namespace
