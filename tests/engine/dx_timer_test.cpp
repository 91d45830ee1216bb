// The frame timer: lag counts, frame rate, and pausing while the application is inactive.
#include "engine/DXTimer.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/Application.h"
#include "engine/Timer.h"
#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

struct TimerFixture : ::testing::Test {
  platform::HeadlessPlatform platform;
  TApplication application{platform};
  TDXTimer timer{application};
  std::vector<int> lags;

  void SetUp() override {
    timer.SetInterval(20);
    timer.OnTimer = [this](TDXTimer&, int lag) { lags.push_back(lag); };
    timer.Loaded();
  }
  void IdleAt(uint32_t ms) {
    platform.SetTime(ms);
    application.Idle();
  }
};

TEST_F(TimerFixture, LagCountsWholeIntervalsSinceTheLastTick) {
  struct Case {
    uint32_t after;
    std::vector<int> expected;
  };
  const Case cases[] = {{19, {}}, {20, {1}}, {39, {1}}, {40, {2}}, {57, {2}}, {60, {3}}, {1000, {50}}};
  for (const Case& c : cases) {
    lags.clear();
    timer.SetEnabled(false);
    platform.SetTime(5000);
    timer.SetEnabled(true);
    IdleAt(5000 + c.after);
    EXPECT_EQ(lags, c.expected) << "after " << c.after << " ms";
  }
}

TEST_F(TimerFixture, TimeBeyondTheLastWholeIntervalIsNotCarriedOver) {
  IdleAt(57);  // lag 2, last tick now 57
  IdleAt(76);  // 19 ms later: nothing
  IdleAt(77);
  EXPECT_EQ(lags, (std::vector<int>{2, 1}));
}

TEST_F(TimerFixture, IntervalZeroTicksOnEveryIdleCallWithElapsedMilliseconds) {
  timer.SetInterval(0);
  IdleAt(0);
  IdleAt(7);
  IdleAt(7);
  EXPECT_EQ(lags, (std::vector<int>{1, 7, 1}));
}

TEST_F(TimerFixture, FramesPerSecondIsMeasuredOverOneSecondWindows) {
  for (uint32_t t = 20; t <= 1000; t += 20) IdleAt(t);
  EXPECT_EQ(timer.FramesPerSecond(), 50);
  for (uint32_t t = 1040; t <= 2000; t += 40) IdleAt(t);
  EXPECT_EQ(timer.FramesPerSecond(), 25);
}

TEST_F(TimerFixture, InactiveApplicationStopsTheTimerAndResumesWithLagOne) {
  int deactivations = 0, activations = 0;
  timer.OnDeactivate = [&] { ++deactivations; };
  timer.OnActivate = [&] { ++activations; };
  platform::Event event;
  event.Type = platform::EventType::Deactivate;
  application.Dispatch(event);
  IdleAt(10000);
  EXPECT_TRUE(lags.empty());
  event.Type = platform::EventType::Activate;
  application.Dispatch(event);  // at 10000
  IdleAt(10020);
  EXPECT_EQ(lags, (std::vector<int>{1}));
  EXPECT_EQ(deactivations, 1);
  EXPECT_EQ(activations, 1);
}

TEST_F(TimerFixture, TimerThatIsNotActiveOnlyKeepsTicking) {
  timer.ActiveOnly = false;
  platform::Event event;
  event.Type = platform::EventType::Deactivate;
  application.Dispatch(event);
  IdleAt(40);
  EXPECT_EQ(lags, (std::vector<int>{2}));
}

TEST(WindowTimer, FiresEveryIntervalWhileEnabledAndRestartsWhenSwitchedOn) {
  platform::HeadlessPlatform platform;
  TApplication application(platform);
  TTimer timer(application, 2000);
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  application.Idle();
  platform.SetTime(100);
  timer.SetEnabled(true);
  EXPECT_EQ(application.TimeUntilWork(), 2000u);
  platform.SetTime(2099);
  application.Idle();
  EXPECT_EQ(ticks, 0);
  platform.SetTime(2100);
  application.Idle();
  EXPECT_EQ(ticks, 1);
  timer.SetEnabled(true);  // already on: no restart
  platform.SetTime(4100);
  application.Idle();
  EXPECT_EQ(ticks, 2);
  timer.SetEnabled(false);
  platform.SetTime(9000);
  application.Idle();
  EXPECT_EQ(ticks, 2);
}

// The real loop on the virtual clock: a frame that takes 7 ms of its 20 still leaves the
// next tick exactly 20 ms after the last, because the loop sleeps until the deadline
// rather than for a span measured after the frame.
TEST(ApplicationLoop, SleepsUntilEachDeadlineSoTheFrameTimerKeepsItsPeriod) {
  platform::HeadlessPlatform platform;
  TApplication application(platform);
  TDXTimer frames(application);
  TTimer window(application, 2500);
  std::vector<uint32_t> tickTimes, windowTimes;
  std::vector<int> lags;
  frames.SetInterval(20);
  frames.OnTimer = [&](TDXTimer&, int lag) {
    tickTimes.push_back(platform.Milliseconds());
    lags.push_back(lag);
    platform.SetTime(platform.Milliseconds() + 7);
    if (tickTimes.size() == 250) application.Terminate();
  };
  window.OnTimer = [&] { windowTimes.push_back(platform.Milliseconds()); };
  window.SetEnabled(true);
  frames.Loaded();
  application.Run();
  ASSERT_EQ(tickTimes.size(), 250u);
  for (size_t i = 0; i < tickTimes.size(); ++i) EXPECT_EQ(tickTimes[i], 20 * (i + 1)) << i;
  EXPECT_EQ(lags, std::vector<int>(250, 1));
  EXPECT_EQ(frames.FramesPerSecond(), 50);
  EXPECT_EQ(windowTimes, (std::vector<uint32_t>{2500, 5000}));
}

}  // namespace
