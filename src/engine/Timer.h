// A window timer: calls its handler every Interval milliseconds of the platform clock
// while enabled. The game switches its timers off in their handlers to wait only once.
#pragma once
#include <cstdint>
#include <functional>

class TApplication;

class TTimer {
 public:
  TTimer(TApplication& application, uint32_t interval);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const { return enabled_; }
  // Switching on starts a full interval from now; setting the same value changes nothing.
  void SetEnabled(bool enabled);
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t interval);

  std::function<void()> OnTimer;

  // Runs the handler when the interval has passed since the start or the last tick.
  void Idle(uint32_t now);
  // Milliseconds from now until the next tick; UINT32_MAX when off.
  uint32_t TimeUntilDue(uint32_t now) const;

 private:
  TApplication& application_;
  uint32_t interval_;
  bool enabled_ = false;
  uint32_t started_ = 0;
};
