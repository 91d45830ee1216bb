// Runs the real game on the headless back end, one script command at a time.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "Script.h"
#include "engine/Application.h"
#include "engine/Random.h"
#include "engine/platform/headless/HeadlessPlatform.h"
#include "game/Form1.h"

class Driver {
 public:
  explicit Driver(std::string gameDir);
  ~Driver();

  // Runs one command; false once the game has terminated.
  bool Run(const Command& command);
  // Start-up, if it has not run yet.
  void Start();
  // The step after the window's loop has ended.
  void Finish();

 private:
  void Deliver(platform::Event event);
  void DrainQueue();
  void Advance(uint32_t milliseconds);
  void Joystick(const Command& command);
  void Pad(const Command& command);
  void Mouse(platform::EventType type, platform::MouseButton button, uint32_t shift = 0);
  // Soak: random input for `frames` frames (see Monkey.cpp).
  void Monkey(long frames, uint64_t seed);

  std::string gameDir_;
  std::optional<uint64_t> seed_;
  platform::HeadlessPlatform platform_;
  TApplication application_;
  std::unique_ptr<TForm1> form_;
  uint32_t now_ = 0;
  platform::JoystickReading joystick_;
  std::string server_;
  // Between "batch" and "end", events queue up and reach the game together.
  bool batching_ = false;
  // "jitter": the clock wakes the timers late by random amounts, as a busy machine does.
  std::optional<TRandom> jitter_;
};
