// Event delivery and idle processing shared by the real window and the headless driver.
#include "engine/Application.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "engine/DXTimer.h"
#include "engine/Timer.h"
#include "engine/platform/VirtualKeys.h"
#include "payload/Cp1251.h"

using platform::Event;
using platform::EventType;

namespace {
// Keys whose press also types a control character, as on a Windows desktop.
char ControlCharFor(int key) {
  switch (key) {
    case vk::Back: return '\b';
    case vk::Tab: return '\t';
    case vk::Return: return '\r';
    case vk::Escape: return '\x1b';
    default: return 0;
  }
}

// Marks a handler as running for as long as the scope lasts, an error included.
class HandlerScope {
 public:
  explicit HandlerScope(bool& running) : running_(running), was_(running) { running = true; }
  ~HandlerScope() { running_ = was_; }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  bool& running_;
  bool was_;
};

}  // namespace

void TApplication::RemoveTimer(TTimer* timer) { std::erase(timers_, timer); }
void TApplication::RemoveFrameTimer(TDXTimer* timer) { std::erase(frameTimers_, timer); }

void TApplication::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  for (TDXTimer* timer : frameTimers_) {
    if (active) timer->AppActivated();
    else timer->AppDeactivated();
  }
}

void TApplication::Dispatch(const Event& event) {
  if (OnDispatch) OnDispatch(event);
  if (inHandler_) {
    Post(event);
    return;
  }
  DeliverQueued();  // posted earlier, so handed on first
  if (terminated_) return;
  {
    HandlerScope running(inHandler_);
    Deliver(event);
  }
  DeliverQueued();
}

void TApplication::DeliverQueued() {
  while (!inHandler_ && !terminated_ && !queued_.empty()) {
    const Event event = queued_.front();
    queued_.pop_front();
    HandlerScope running(inHandler_);
    Deliver(event);
  }
}

void TApplication::Deliver(const Event& event) {
  if (event.Type == EventType::Activate) SetActive(true);
  if (event.Type == EventType::Deactivate) SetActive(false);
  if (!Form) return;
  switch (event.Type) {
    case EventType::KeyDown: {
      if (event.Key > 0 && event.Key < 256 && !pressShift_[size_t(event.Key)]) pressShift_[size_t(event.Key)] = event.Shift;
      int key = event.Key;
      Form->FormKeyDown(key, event.Shift);
      if (char ch = ControlCharFor(event.Key); ch != 0 && (event.Shift & platform::ssCtrl) == 0) Form->FormKeyPress(ch);
      break;
    }
    case EventType::KeyUp: {
      uint32_t shift = event.Shift;
      if (event.Key > 0 && event.Key < 256) {
        std::optional<uint32_t>& atPress = pressShift_[size_t(event.Key)];
        const uint32_t modifiers = platform::ssShift | platform::ssAlt | platform::ssCtrl;
        if (atPress) shift = (shift & ~modifiers) | (*atPress & modifiers);
        atPress.reset();
      }
      int key = event.Key;
      Form->FormKeyUp(key, shift);
      break;
    }
    case EventType::Char: {
      char ch = char(event.Char);
      Form->FormKeyPress(ch);
      break;
    }
    case EventType::MouseMove: Form->FormMouseMove(event.Shift, event.X, event.Y); break;
    case EventType::MouseDown:
      if (event.Button == platform::MouseButton::Left) leftPressed_ = true;
      Form->FormMouseDown(event.Button, event.Shift, event.X, event.Y);
      break;
    case EventType::MouseUp:
      // A left press and release on the picture is a click, reported before the release.
      if (event.Button == platform::MouseButton::Left && leftPressed_) {
        leftPressed_ = false;
        Form->FormClick();
      }
      Form->FormMouseUp(event.Button, event.Shift, event.X, event.Y);
      break;
    case EventType::MouseWheel: Form->FormMouseWheel(event.Shift, event.WheelDelta, event.X, event.Y); break;
    case EventType::Activate: Form->FormActivate(); break;
    case EventType::Deactivate: Form->FormDeactivate(); break;
    case EventType::Close: {
      bool canClose = true;
      Form->FormCloseQuery(canClose);
      if (canClose) Terminate();
      break;
    }
    case EventType::SessionEnd:
      // Not a question the player can answer: the form gets its last word, then the loop ends.
      Form->FormSessionEnd();
      Terminate();
      break;
    case EventType::Minimize: Form->FormMinimize(); break;
    case EventType::Maximize: Form->FormMaximize(); break;
  }
}

void TApplication::Idle() {
  RunHandler([this] { RunTimers(); });
}

void TApplication::RunHandler(const std::function<void()>& handler) {
  // Timer handlers are handlers too: events given meanwhile wait until they return.
  const bool nested = inHandler_;
  if (!nested) DeliverQueued();
  {
    HandlerScope running(inHandler_);
    handler();
  }
  if (!nested) DeliverQueued();
}

void TApplication::RunTimers() {
  const uint32_t now = Platform.Milliseconds();
  // Handlers may switch timers on or off; walk copies.
  const std::vector<TTimer*> timers = timers_;
  for (TTimer* timer : timers) {
    if (terminated_) return;
    timer->Idle(now);
  }
  const std::vector<TDXTimer*> frameTimers = frameTimers_;
  for (TDXTimer* timer : frameTimers) {
    if (terminated_) return;
    timer->Idle();
  }
}

uint32_t TApplication::TimeUntilWork() const { return TimeUntilWork(Platform.Milliseconds()); }

uint32_t TApplication::TimeUntilWork(uint32_t now) const {
  uint32_t wait = std::numeric_limits<uint32_t>::max();
  for (const TTimer* timer : timers_) wait = std::min(wait, timer->TimeUntilDue(now));
  for (const TDXTimer* timer : frameTimers_) wait = std::min(wait, timer->TimeUntilDue(now));
  return wait;
}

void TApplication::Run() {
  // Wake at least this often even with nothing scheduled, so focus changes are seen.
  constexpr uint32_t kLongestSleep = 100;
  while (!terminated_) {
    // An error in a handler is shown and the game goes on, as a desktop program does.
    try {
      // The wait ends at a moment of the clock rather than after a span: a timer that
      // fires at its deadline D reads D as its time, so its next deadline is D + interval
      // however long the frame in between took, and late wake-ups do not add up.
      const uint32_t now = Platform.Milliseconds();
      const uint32_t deadline = now + std::min(TimeUntilWork(now), kLongestSleep);
      Event event;
      if (Platform.WaitEventUntil(event, deadline)) {
        Dispatch(event);
        while (!terminated_ && Platform.WaitEvent(event, 0)) Dispatch(event);
      }
      if (!terminated_) Idle();
    } catch (const std::exception& error) {
      Platform.MessageBox(platform::Utf8ToCp1251(error.what()), "Zarovel");
    }
  }
}
