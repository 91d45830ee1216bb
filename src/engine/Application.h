// The message loop: delivers window events to the form one at a time, and runs the
// window timers and the frame timer from idle processing, sleeping between them.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "engine/platform/Platform.h"

class TTimer;
class TDXTimer;

// The handlers of the main window. Every one has a do-nothing default.
class TFormEvents {
 public:
  virtual ~TFormEvents() = default;
  virtual void FormKeyDown(int& key, uint32_t shift) { (void)key, (void)shift; }
  virtual void FormKeyUp(int& key, uint32_t shift) { (void)key, (void)shift; }
  virtual void FormKeyPress(char& key) { (void)key; }
  virtual void FormMouseMove(uint32_t shift, int x, int y) { (void)shift, (void)x, (void)y; }
  virtual void FormMouseDown(platform::MouseButton button, uint32_t shift, int x, int y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  virtual void FormMouseUp(platform::MouseButton button, uint32_t shift, int x, int y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  virtual void FormClick() {}
  virtual void FormMouseWheel(uint32_t shift, int wheelDelta, int x, int y) { (void)shift, (void)wheelDelta, (void)x, (void)y; }
  virtual void FormActivate() {}
  virtual void FormDeactivate() {}
  // The window is asked to close; it closes when canClose stays true.
  virtual void FormCloseQuery(bool& canClose) { (void)canClose; }
  // The program is being ended from outside; the loop ends after this returns.
  virtual void FormSessionEnd() {}
  virtual void FormMinimize() {}
  virtual void FormMaximize() {}
};

class TApplication {
 public:
  explicit TApplication(platform::Platform& platform) : Platform(platform) {}
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  platform::Platform& Platform;
  TFormEvents* Form = nullptr;

  bool Active() const { return active_; }
  bool Terminated() const { return terminated_; }
  void Terminate() { terminated_ = true; }

  // Hands one event to the form, the way the window's message loop would. An event given
  // while a handler runs (one that keeps the window serviced while it waits) is queued and
  // handed on after that handler returns: handlers never run inside one another.
  void Dispatch(const platform::Event& event);
  // Queues an event to be handed on after the running handler returns (with none running,
  // before the next event or idle pass).
  void Post(const platform::Event& event) { queued_.push_back(event); }
  // Sees every event given to Dispatch, before it is handled: a recorder of the game's input.
  std::function<void(const platform::Event&)> OnDispatch;
  // Runs a handler as idle processing runs a timer's: events given or posted meanwhile wait
  // until it returns and are handed on then. A replay runs the recorded ticks so.
  void RunHandler(const std::function<void()>& handler);

  // What delivery keeps from one event to the next: whether the window is active, a left
  // press awaiting its release (a click), and the modifiers each held key went down with.
  struct DeliveryMemory {
    bool Active = true;
    bool LeftPressed = false;
    std::array<std::optional<uint32_t>, 256> PressShift{};
  };
  DeliveryMemory Memory() const { return {active_, leftPressed_, pressShift_}; }
  // Restores it without telling the timers (a replay's start).
  void SetMemory(const DeliveryMemory& memory) {
    active_ = memory.Active, leftPressed_ = memory.LeftPressed, pressShift_ = memory.PressShift;
  }
  // Idle processing: window timers that are due, then the frame timers.
  void Idle();
  // Milliseconds from now until some timer has work; UINT32_MAX when none runs.
  uint32_t TimeUntilWork() const;
  uint32_t TimeUntilWork(uint32_t now) const;
  // The real loop: sleeps in the platform until an event or a timer, until terminated.
  void Run();

  void AddTimer(TTimer* timer) { timers_.push_back(timer); }
  void RemoveTimer(TTimer* timer);
  void AddFrameTimer(TDXTimer* timer) { frameTimers_.push_back(timer); }
  void RemoveFrameTimer(TDXTimer* timer);

 private:
  void SetActive(bool active);
  void Deliver(const platform::Event& event);
  // Hands on the events queued while a handler ran.
  void DeliverQueued();
  void RunTimers();

  bool active_ = true;
  bool inHandler_ = false;
  std::deque<platform::Event> queued_;
  bool terminated_ = false;
  bool leftPressed_ = false;
  // The modifiers held when each key went down, until it comes up: a key's release reports
  // those, so Alt+Enter is Alt+Enter whichever of the two is let go first.
  std::array<std::optional<uint32_t>, 256> pressShift_{};
  std::vector<TTimer*> timers_;
  std::vector<TDXTimer*> frameTimers_;
};
