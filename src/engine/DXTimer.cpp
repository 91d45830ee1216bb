// Frame timer: lag count, frame rate and the pause while the application is inactive.
#include "engine/DXTimer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Application.h"

TDXTimer::TDXTimer(TApplication& application) : application_(application) { application_.AddFrameTimer(this); }

TDXTimer::~TDXTimer() { application_.RemoveFrameTimer(this); }

void TDXTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (loading_) return;
  if (enabled_) Start();
  else Stop();
}

void TDXTimer::SetInterval(int interval) {
  intervalSetting_ = interval;
  interval_ = uint32_t(std::max(interval, 0));
  divisor_ = uint32_t(std::max(interval, 1));
}

void TDXTimer::Loaded() {
  loading_ = false;
  if (enabled_) Start();
}

void TDXTimer::Start() {
  Stop();
  if (ActiveOnly && !application_.Active()) return;
  const uint32_t now = application_.Platform.Milliseconds();
  lastTick_ = now;
  rateStart_ = now;
  running_ = true;
}

void TDXTimer::Idle() {
  if (!running_) return;
  const uint32_t now = application_.Platform.Milliseconds();
  const uint32_t elapsed = now - lastTick_;
  if (elapsed < interval_) return;
  lastTick_ = now;
  const int lag = int(std::max<uint32_t>(elapsed / divisor_, 1));
  ++rateTicks_;
  const uint32_t span = std::max<uint32_t>(now - rateStart_, 1);
  if (span >= 1000) {
    framesPerSecond_ = int(std::nearbyint(double(rateTicks_) * 1000.0 / double(span)));
    rateTicks_ = 0;
    rateStart_ = now;
  }
  if (OnTimer) OnTimer(*this, lag);
}

void TDXTimer::AppDeactivated() {
  if (!ActiveOnly || !running_) return;
  if (OnDeactivate) OnDeactivate();
  Stop();
}

void TDXTimer::AppActivated() {
  if (!ActiveOnly || !enabled_ || loading_ || running_) return;
  if (OnActivate) OnActivate();
  Start();
}

uint32_t TDXTimer::TimeUntilDue(uint32_t now) const {
  if (!running_) return std::numeric_limits<uint32_t>::max();
  const uint32_t elapsed = now - lastTick_;
  return elapsed >= interval_ ? 0 : interval_ - elapsed;
}
