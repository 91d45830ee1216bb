// Script commands turned into events and virtual time for the game.
#include "Driver.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "StateDump.h"
#include "engine/PngFile.h"
#include "payload/Cp1251.h"

using platform::Event;
using platform::EventType;
using platform::MouseButton;

Driver::Driver(std::string gameDir) : gameDir_(std::move(gameDir)), application_(platform_) {
  if (!gameDir_.empty() && gameDir_.back() != '/') gameDir_ += '/';
  platform_.OpenWindow("Zarovel", 800, 600);
  joystick_.X = joystick_.Y = joystick_.Z = (joystick_.AxisMin + joystick_.AxisMax) / 2;
}

Driver::~Driver() = default;

void Driver::Start() {
  if (form_) return;
  form_ = std::make_unique<TForm1>(application_, gameDir_, seed_);
  if (!server_.empty()) form_->ScoreServer = server_;
  form_->Load();
  DrainQueue();
}

void Driver::Finish() {
  if (form_) form_->LaunchOnExit();
}

void Driver::DrainQueue() {
  Event event;
  while (!application_.Terminated() && platform_.WaitEvent(event, 0)) application_.Dispatch(event);
}

void Driver::Deliver(Event event) {
  platform_.Push(event);
  if (!batching_) DrainQueue();
}

// Moves the virtual clock forward, waking the timers exactly when they are due.
void Driver::Advance(uint32_t milliseconds) {
  const uint32_t target = now_ + milliseconds;
  std::optional<uint32_t> idledAt;
  while (!application_.Terminated()) {
    uint32_t wait = application_.TimeUntilWork();
    // A timer that is due again right after it ran waits for the clock to move.
    if (wait == 0 && idledAt == now_) wait = 1;
    if (wait > target - now_) break;
    // Jitter: now and then the timers are woken late, by up to two and a half frames.
    if (jitter_ && jitter_->Rnd(4) == 0) wait += std::min<uint32_t>(uint32_t(jitter_->Rnd(50)), target - now_ - wait);
    now_ += wait;
    platform_.SetTime(now_);
    application_.Idle();
    DrainQueue();
    idledAt = now_;
  }
  now_ = target;
  platform_.SetTime(now_);
}

void Driver::Mouse(EventType type, MouseButton button, uint32_t shift) {
  Event event;
  event.Type = type;
  event.Button = button;
  event.Shift = shift;
  platform_.GetCursorPos(event.X, event.Y);
  Deliver(event);
}

void Driver::Joystick(const Command& c) {
  if (c.Args[0] == "axis") {
    const long v = std::stol(c.Args[2]);
    // -1000..1000 spread over the raw range, centre in the middle.
    const int raw = int(joystick_.AxisMin + (v + 1000) * long(joystick_.AxisMax - joystick_.AxisMin) / 2000);
    (c.Args[1] == "X" ? joystick_.X : joystick_.Y) = raw;
  } else {
    const uint32_t bit = 1u << (std::stoi(c.Args[1]) - 1);
    if (c.Args[2] == "down") joystick_.Buttons |= bit;
    else joystick_.Buttons &= ~bit;
  }
  platform_.SetJoystick(true, joystick_);
}

void Driver::Pad(const Command& c) {
  if (c.Args[0] == "add") {
    platform_.AddPad();
    return;
  }
  if (c.Args[0] == "remove") {
    platform_.RemovePad();
    return;
  }
  platform::PadReading* pad = platform_.Pad();
  if (pad == nullptr) throw ScriptError(c.Line, "pad: no controller is connected ('pad add' first)");
  if (c.Args[0] == "axis") {
    (c.Args[1] == "leftx" ? pad->LeftX : pad->LeftY) = std::stoi(c.Args[2]);
    return;
  }
  const uint32_t bit = 1u << *PadButtonNamed(c.Args[1]);
  if (c.Args[2] == "down") pad->Buttons |= bit;
  else pad->Buttons &= ~bit;
}

namespace {
MouseButton ButtonNamed(const std::string& name) {
  if (name == "right") return MouseButton::Right;
  if (name == "middle") return MouseButton::Middle;
  return MouseButton::Left;
}
Event Simple(EventType type) {
  Event event;
  event.Type = type;
  return event;
}
}  // namespace

bool Driver::Run(const Command& c) {
  if (c.Name == "seed") {
    seed_ = uint64_t(c.Numbers[0]);
    return true;
  }
  if (c.Name == "server") {
    server_ = c.Args[0];
    if (form_) form_->ScoreServer = server_;
    return true;
  }
  Start();
  const std::string& n = c.Name;
  if (n == "batch") {
    batching_ = true;
  } else if (n == "end") {
    batching_ = false;
    DrainQueue();
  } else if (n == "frames") {
    Advance(uint32_t(c.Numbers[0]) * 20);
  } else if (n == "wait") {
    Advance(uint32_t(c.Numbers[0]));
  } else if (n == "down" || n == "up" || n == "key") {
    Event event;
    event.Key = c.Key;
    if (n != "up") {
      event.Type = EventType::KeyDown;
      Deliver(event);
    }
    if (n != "down") {
      event.Type = EventType::KeyUp;
      Deliver(event);
    }
  } else if (n == "type") {
    for (char ch : platform::Utf8ToCp1251(c.Args[0])) {
      Event event = Simple(EventType::Char);
      event.Char = uint8_t(ch);
      Deliver(event);
    }
  } else if (n == "mouse") {
    Event event = Simple(EventType::MouseMove);
    event.X = int(c.Numbers[0]);
    event.Y = int(c.Numbers[1]);
    Deliver(event);
  } else if (n == "press") {
    Mouse(EventType::MouseDown, ButtonNamed(c.Args[0]));
  } else if (n == "release") {
    Mouse(EventType::MouseUp, ButtonNamed(c.Args[0]));
  } else if (n == "click" || n == "dblclick") {
    Mouse(EventType::MouseDown, MouseButton::Left);
    Mouse(EventType::MouseUp, MouseButton::Left);
    if (n == "dblclick") {  // the second press comes marked as the desktop marks it
      Mouse(EventType::MouseDown, MouseButton::Left, platform::ssDouble);
      Mouse(EventType::MouseUp, MouseButton::Left);
    }
  } else if (n == "wheel") {
    Event event = Simple(EventType::MouseWheel);
    event.WheelDelta = int(c.Numbers[0]) * 120;
    platform_.GetCursorPos(event.X, event.Y);
    Deliver(event);
  } else if (n == "joy") {
    Joystick(c);
  } else if (n == "pad") {
    Pad(c);
  } else if (n == "record") {
    form_->RecordReplays = true;
  } else if (n == "jitter") {
    jitter_.emplace(uint64_t(c.Numbers[0]));
  } else if (n == "deactivate") {
    Deliver(Simple(EventType::Deactivate));
  } else if (n == "activate") {
    Deliver(Simple(EventType::Activate));
  } else if (n == "close") {
    Deliver(Simple(EventType::Close));
  } else if (n == "signal") {
    Deliver(Simple(EventType::SessionEnd));
  } else if (n == "maximize") {
    Deliver(Simple(EventType::Maximize));
  } else if (n == "minimize") {
    Deliver(Simple(EventType::Minimize));
  } else if (n == "screenshot") {
    if (!WritePng(c.Args[0], platform_.LastFrame())) throw ScriptError(c.Line, "cannot write " + c.Args[0]);
  } else if (n == "monkey") {
    Monkey(c.Numbers[0], uint64_t(c.Numbers[1]));
  } else if (n == "state") {
    if (!WriteStateJson(c.Args[0], *form_, platform_)) throw ScriptError(c.Line, "cannot write " + c.Args[0]);
  }
  return !application_.Terminated();
}
