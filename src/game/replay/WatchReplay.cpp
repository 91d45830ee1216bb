// The watcher's loop: the window's events for the controls, the recorded ticks on a 20 ms
// beat (several per beat when sped up).
#include "game/replay/WatchReplay.h"

#include <algorithm>
#include <string>

#include "engine/platform/VirtualKeys.h"
#include "game/Form1.h"
#include "game/replay/ReplayRun.h"

namespace {

constexpr uint32_t kBeatMs = 20;
constexpr uint32_t kLastFrameMs = 2000;  // the end stays on screen this long

std::string Mark(int speed, bool paused) {
  if (paused) return "REPLAY  paused";
  return speed == 1 ? "REPLAY" : "REPLAY  " + std::to_string(speed) + "x";
}

}  // namespace

void WatchReplay(TForm1& form, const replay::Replay& replay) {
  platform::Platform& platform = form.Platform;
  TReplayRun run(form, replay);
  int speed = 1;
  bool paused = false;
  form.ReplayMark = Mark(speed, paused);
  run.Begin();
  uint32_t due = platform.Milliseconds() + kBeatMs;
  std::optional<uint32_t> endsAt;  // set when the game has ended
  while (true) {
    platform::Event event;
    if (platform.WaitEventUntil(event, endsAt ? *endsAt : due)) {
      if (event.Type == platform::EventType::Close || event.Type == platform::EventType::SessionEnd) return;
      if (event.Type != platform::EventType::KeyDown) continue;
      if (event.Key == vk::Escape) return;
      if (event.Key == vk::Space) paused = !paused;
      if (event.Key == vk::Right) speed = std::min(speed * 2, 8);
      if (event.Key == vk::Left) speed = std::max(speed / 2, 1);
      form.ReplayMark = Mark(speed, paused);
      continue;
    }
    if (endsAt) return;
    const uint32_t now = platform.Milliseconds();
    // A beat missed by far (the machine was busy) is not made up in a rush.
    due = int32_t(now - due) > int32_t(10 * kBeatMs) ? now + kBeatMs : due + kBeatMs;
    if (paused) continue;
    for (int i = 0; i < speed; ++i) {
      if (!run.Step()) {
        endsAt = now + kLastFrameMs;
        break;
      }
    }
  }
}
