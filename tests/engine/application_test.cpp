// Event delivery: handlers never run inside one another, whether an event arrives while a
// handler waits or while a timer's handler runs.
#include "engine/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Timer.h"
#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

platform::Event Of(platform::EventType type) {
  platform::Event event;
  event.Type = type;
  return event;
}

// Records handler entries and exits; a key press stands for a handler that keeps the
// window serviced while it waits, handing on what arrives meanwhile.
struct Recorder : TFormEvents {
  TApplication* Application = nullptr;
  std::vector<platform::Event> ArriveDuringKey;
  std::vector<std::string> Log;

  void FormKeyUp(int&, uint32_t) override {
    Log.push_back("key begins");
    for (const platform::Event& event : ArriveDuringKey) Application->Dispatch(event);
    Log.push_back("key ends");
  }
  void FormDeactivate() override { Log.push_back("deactivate"); }
  void FormActivate() override { Log.push_back("activate"); }
  void FormMinimize() override { Log.push_back("minimize"); }
  void FormCloseQuery(bool& canClose) override {
    Log.push_back("close");
    canClose = true;
  }
};

struct ApplicationTest : ::testing::Test {
  platform::HeadlessPlatform platform;
  TApplication application{platform};
  Recorder form;

  void SetUp() override {
    form.Application = &application;
    application.Form = &form;
  }
};

TEST_F(ApplicationTest, EventsGivenDuringAHandlerFollowItInTheirOrder) {
  form.ArriveDuringKey = {Of(platform::EventType::Deactivate), Of(platform::EventType::Activate),
                          Of(platform::EventType::Minimize)};
  application.Dispatch(Of(platform::EventType::KeyUp));
  EXPECT_EQ(form.Log, (std::vector<std::string>{"key begins", "key ends", "deactivate", "activate", "minimize"}));
}

TEST_F(ApplicationTest, PostedEventsWaitForTheRunningHandlerAndNothingFollowsTheEnd) {
  // Posted outside any handler: handed on before the next event.
  application.Post(Of(platform::EventType::Deactivate));
  form.ArriveDuringKey = {Of(platform::EventType::Close), Of(platform::EventType::Minimize)};
  application.Dispatch(Of(platform::EventType::KeyUp));
  EXPECT_EQ(form.Log, (std::vector<std::string>{"deactivate", "key begins", "key ends", "close"}));
  EXPECT_TRUE(application.Terminated());  // the close ended the loop: the minimise never comes
}

TEST_F(ApplicationTest, AnEventGivenDuringATimersHandlerWaitsUntilItReturns) {
  TTimer timer(application, 100);
  timer.OnTimer = [&] {
    form.Log.push_back("timer begins");
    application.Dispatch(Of(platform::EventType::Minimize));
    form.Log.push_back("timer ends");
    timer.SetEnabled(false);
  };
  timer.SetEnabled(true);
  platform.SetTime(100);
  application.Idle();
  EXPECT_EQ(form.Log, (std::vector<std::string>{"timer begins", "timer ends", "minimize"}));
}

}  // namespace
