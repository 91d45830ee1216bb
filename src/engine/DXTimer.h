// The frame timer: ticks from idle processing every Interval milliseconds, hands its
// handler the number of whole intervals elapsed, and measures frames per second.
#pragma once
#include <cstdint>
#include <functional>

class TApplication;

class TDXTimer {
 public:
  explicit TDXTimer(TApplication& application);
  ~TDXTimer();
  TDXTimer(const TDXTimer&) = delete;
  TDXTimer& operator=(const TDXTimer&) = delete;

  bool ActiveOnly = true;
  std::function<void(TDXTimer& sender, int lagCount)> OnTimer;
  std::function<void()> OnActivate, OnDeactivate;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int Interval() const { return intervalSetting_; }
  void SetInterval(int interval);
  int FramesPerSecond() const { return framesPerSecond_; }
  bool Running() const { return running_; }

  // The component finished loading: an enabled timer starts now.
  void Loaded();
  // One idle call of the application.
  void Idle();
  void AppActivated();
  void AppDeactivated();
  // Milliseconds until the next tick is due; UINT32_MAX when not running.
  uint32_t TimeUntilDue(uint32_t now) const;

 private:
  void Start();
  void Stop() { running_ = false; }

  TApplication& application_;
  bool loading_ = true;
  bool enabled_ = true;
  int intervalSetting_ = 1000;
  uint32_t interval_ = 1000;
  uint32_t divisor_ = 1000;
  uint32_t lastTick_ = 0;
  uint32_t rateStart_ = 0;
  uint32_t rateTicks_ = 0;
  int framesPerSecond_ = 0;
  bool running_ = false;
};
