// Plays a recorded game again on a loaded form: its start restored, then every record fed
// in its order, the frame ticks with the devices' reading they had. The form's own timers
// are not run meanwhile: the records say when they ticked. The state hashes the game
// reaches are compared with those the file kept.
#pragma once
#include <cstddef>
#include <optional>

#include "game/replay/ReplayFile.h"

class TForm1;

struct ReplayOutcome {
  replay::Ending Got;                   // the ending this run reached
  std::optional<size_t> FirstBadMark;  // the first second whose hash differs (0-based)
};

class TReplayRun {
 public:
  // The form must be loaded and will not record; it is marked as replaying.
  TReplayRun(TForm1& form, const replay::Replay& replay);
  // A run left before the end (the watcher left) takes its check off the form.
  ~TReplayRun();
  TReplayRun(const TReplayRun&) = delete;
  TReplayRun& operator=(const TReplayRun&) = delete;
  // Starts the recorded game from its start.
  void Begin();
  // Feeds records up to and including the next frame tick; false when none are left (the
  // game is then ended, as it was when the recording stopped).
  bool Step();
  const ReplayOutcome& Outcome() const { return outcome_; }

 private:
  TForm1& form_;
  const replay::Replay& replay_;
  size_t next_ = 0;
  ReplayOutcome outcome_;
  const void* check_ = nullptr;  // the form's replay while this run feeds it
};
