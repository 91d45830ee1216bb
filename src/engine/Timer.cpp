// Window timers on the platform clock.
#include "engine/Timer.h"

#include <limits>

#include "engine/Application.h"

TTimer::TTimer(TApplication& application, uint32_t interval) : application_(application), interval_(interval) {
  application_.AddTimer(this);
}

TTimer::~TTimer() { application_.RemoveTimer(this); }

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) started_ = application_.Platform.Milliseconds();
}

void TTimer::SetInterval(uint32_t interval) {
  interval_ = interval;
  if (enabled_) started_ = application_.Platform.Milliseconds();
}

void TTimer::Idle(uint32_t now) {
  if (!enabled_ || now - started_ < interval_) return;
  started_ = now;
  if (OnTimer) OnTimer();
}

uint32_t TTimer::TimeUntilDue(uint32_t now) const {
  if (!enabled_) return std::numeric_limits<uint32_t>::max();
  const uint32_t elapsed = now - started_;
  return elapsed >= interval_ ? 0 : interval_ - elapsed;
}
