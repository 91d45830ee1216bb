// Feeding a replay's records to the game.
#include "game/replay/ReplayRun.h"

#include "game/Form1.h"
#include "game/PlayScreen.h"
#include "game/replay/GameReplay.h"

namespace {

// Sees the hooks as a recording would and compares the marks with the file's.
class TCheck : public TGameReplay {
 public:
  TCheck(TForm1& form, const replay::Replay& replay, ReplayOutcome& outcome)
      : TGameReplay(form), outcome_(outcome) {
    for (const replay::Record& r : replay.Records)
      if (r.What == replay::Record::Kind::Mark) marks_.push_back(r.StateHash);
  }

 protected:
  void Put(const replay::Record& record) override {
    if (record.What != replay::Record::Kind::Mark) return;
    const size_t mark = seen_++;
    if (!outcome_.FirstBadMark && (mark >= marks_.size() || marks_[mark] != record.StateHash))
      outcome_.FirstBadMark = mark;
  }
  void Close(const replay::Ending& ending) override {
    outcome_.Got = ending;
  }

 private:
  ReplayOutcome& outcome_;
  std::vector<uint64_t> marks_;
  size_t seen_ = 0;
};

}  // namespace

TReplayRun::TReplayRun(TForm1& form, const replay::Replay& replay) : form_(form), replay_(replay) {
  form_.RecordReplays = false;
  form_.Replaying = true;
}

TReplayRun::~TReplayRun() {
  if (check_ != nullptr && form_.Replay.get() == check_) form_.Replay.reset();
}

void TReplayRun::Begin() {
  RestoreStart(form_, replay_.Head.Begin);
  form_.Replay = std::make_unique<TCheck>(form_, replay_, outcome_);
  check_ = form_.Replay.get();
  StartGame(form_);
}

bool TReplayRun::Step() {
  TApplication& application = form_.Application;
  while (next_ < replay_.Records.size()) {
    const replay::Record& r = replay_.Records[next_++];
    switch (r.What) {
      case replay::Record::Kind::Frame:
        form_.DXInput1.Inject(r.Poll);
        application.RunHandler([this] { form_.DXTimer1Timer(form_.DXTimer1, 0); });
        return true;
      case replay::Record::Kind::Timer2:
        application.RunHandler([this] { form_.Timer2.OnTimer(); });
        break;
      case replay::Record::Kind::Timer3:
        application.RunHandler([this] { form_.Timer3.OnTimer(); });
        break;
      case replay::Record::Kind::Event:
        form_.Platform.SetCursorPos(r.CursorX, r.CursorY);
        application.Dispatch(r.Input);
        break;
      case replay::Record::Kind::Mark: break;  // the check makes its own
      case replay::Record::Kind::Settle:
        if (r.Settled) RestoreStart(form_, *r.Settled);
        break;
    }
  }
  // The recording stopped here: the game ended, or the program did.
  EndRecording(form_);
  return false;
}
