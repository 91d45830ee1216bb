// The main window: owns every long-lived component of a running game and its state, and
// receives the window's events. It is also the face the sprites of play see of the game.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "engine/Application.h"
#include "engine/AudioMixer.h"
#include "engine/DXDraw.h"
#include "engine/DXInput.h"
#include "engine/DXSound.h"
#include "engine/DXSpriteEngine.h"
#include "engine/DXTimer.h"
#include "engine/MusicPlayer.h"
#include "engine/PictureCollection.h"
#include "engine/Random.h"
#include "engine/Timer.h"
#include "engine/WaveCollection.h"
#include "state/GameGlobals.h"

class TGameReplay;

// How long the controller rumbles when the soldier is hit, and when he loses a life.
constexpr uint32_t kRumbleHitMs = 120, kRumbleLifeMs = 400;

class TForm1 : public TFormEvents {
 public:
  // appDir is the game folder (ending in '/'); a fixed seed replaces the clock's.
  TForm1(TApplication& application, std::string appDir, std::optional<uint64_t> fixedSeed = std::nullopt);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Initialises the display, runs the creation handler and starts the frame timer,
  // as when the window is loaded.
  void Load();

  TApplication& Application;
  platform::Platform& Platform;
  GameGlobals G;

  TDXDraw DXDraw1;
  TDXImageList DXImageList1;  // menu pictures
  TDXImageList GameImgs;      // pictures of play
  TDXSpriteEngine DXSpriteEngine1;
  TDXTimer DXTimer1;
  TDXInput DXInput1;
  TTimer Timer2;
  TTimer Timer3;
  TAudioMixer Mixer;  // music and sound effects share one output
  TMusicPlayer Music;
  TDXSound DXSound1;
  TDXWaveList DXWaveList1;
  TRandom Random;


  // Host (and port) of the score server; the build chooses the default.
  std::string ScoreServer;
  // An installed game keeps Config.cfg in the player's data folder, whether or not its
  // own folder could be written; a portable copy keeps it beside itself when it may.
  bool ConfigInPlayersFolder = false;
  // The controller rumbles when the soldier is hit or loses a life, unless turned off
  // (--no-rumble, ZAROVEL_RUMBLE=0).
  bool RumbleOn = true;
  void Rumble(uint32_t ms);

  // Every game the window plays is recorded into the player's replays/ folder; tools and
  // a watched replay record nothing.
  bool RecordReplays = false;
  // A replay is being watched or checked: nothing is saved, stored or sent.
  bool Replaying = false;
  // The replay of the game in play (a recording, or a check of a recorded one); null when
  // none runs. LastReplay is the file name of the last game recorded.
  std::unique_ptr<TGameReplay> Replay;
  std::string LastReplay;
  // The CRC-32s of the data archives every replay names: read at the first recorded game
  // (some 10 MB), never again, since the archives do not change while the game runs.
  std::optional<std::array<uint32_t, 3>> ReplayDataHashes;
  // Painted over a watched replay's frames.
  std::string ReplayMark;

  // rnd(n): a uniform integer in 0..n-1 from the game's one generator.
  int Rnd(int n) { return Random.Rnd(n); }

  void FormCreate();
  void DXTimer1Timer(TDXTimer& sender, int lagCount);
  void PlayMusic(const std::string& path);
  void ShowMessage(std::string_view utf8Text);
  // The step after the window's loop has ended.
  void LaunchOnExit();

  // The window's events, handed to the keyboard, mouse and screen handling.
  void FormKeyUp(int& key, uint32_t shift) override;
  void FormKeyPress(char& key) override;
  void FormMouseMove(uint32_t shift, int x, int y) override;
  void FormMouseDown(platform::MouseButton button, uint32_t shift, int x, int y) override;
  void FormMouseUp(platform::MouseButton button, uint32_t shift, int x, int y) override;
  void FormClick() override;
  void FormMouseWheel(uint32_t shift, int wheelDelta, int x, int y) override;
  void FormDeactivate() override;
  void FormCloseQuery(bool& canClose) override;
  void FormSessionEnd() override;
  void FormMinimize() override;
  void FormMaximize() override;

 private:
  std::optional<uint64_t> fixedSeed_;
  std::map<std::string, uint32_t> loadedMusic_;  // module handles by file
  int wheelDelta_ = 0;  // wheel movement not yet making a whole notch
};

// What the sprites of play call of the game besides the window's members. This header is
// their one view of the game, so it includes nothing built above the widgets.

// The next level: stops every sound, raises the level, the bunker's strength and the
// difficulty, sets the level's goal and starts the banner's wait. Also runs from a kill in
// the middle of the move pass.
void NextLevel(TForm1& form);
