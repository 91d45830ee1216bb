// A replay attached to the game from its start to its end. The game calls these hooks at
// the points where its input arrives; a recording writes what they see to a file, a check
// compares the state hashes with those a file kept.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/replay/ReplayFile.h"

class TForm1;

class TGameReplay {
 public:
  explicit TGameReplay(TForm1& form) : form_(form) {}
  virtual ~TGameReplay() = default;
  TGameReplay(const TGameReplay&) = delete;
  TGameReplay& operator=(const TGameReplay&) = delete;

  // A frame tick has polled its input.
  void Frame();
  // The frame tick is over: after every 50th, the state's hash.
  void EndOfTick();
  void TimerTick(int timer);  // 2 or 3
  // An event the window gave the game (not those the game posted itself).
  void Event(const platform::Event& event);
  // The game is over (or the program ends): its ending is taken.
  void GameOver();

 protected:
  virtual void Put(const replay::Record& record) = 0;
  virtual void Close(const replay::Ending& ending) = 0;
  TForm1& form_;

 private:
  // Before the first input: the state the starting handler left.
  void Settle();

  uint32_t ticks_ = 0;
  bool over_ = false;
  bool settled_ = false;
};

// What the game starts from, read from the form just before StartGame sets up a new game.
replay::Start TakeStart(TForm1& form);
// Puts the form back into that state (a replay's beginning).
void RestoreStart(TForm1& form, const replay::Start& start);

// The window records every game into the player's replays/ folder (beside Config.cfg):
// "YYYYMMDD-HHMMSS-<score>.zreplay". Called by StartGame when the form records.
void BeginRecording(TForm1& form);
// Called when the game is over (LeaveGame, or the program's end): completes the file,
// names it by the score and keeps the last 20 games and those of the score table.
void EndRecording(TForm1& form);
// The score table changed: the index that ties its records to their replays is rewritten
// (the record just stored is the last recorded game's), and replays no longer kept go.
void ScoreTableChanged(TForm1& form, bool newRecord);

// The CRC-32 of the three data archives in the game's folder (0 for one missing).
std::array<uint32_t, 3> DataHashes(const std::string& gameDir);
