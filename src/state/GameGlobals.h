// The game's whole run-time state in one plain value, so that every running game (and
// every test) starts from a fresh copy. Sprite references are non-owning: the sprite
// engine owns every sprite.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "engine/Surface.h"
#include "state/Settings.h"

class TMenuB;
class TFon;
class TFonB;
class THlp;
class TAsk;
class TChk;
class TPlayer;
class TPanelWeaps;
class TNiz;
class TBunker;
class TBunkerVerh;
class TPolosa1;
class TPolosa2;
class TLifes;
class TScrDie;

struct GameGlobals {
  // --- Window and components ---
  std::string AppDir;  // the game's data folder (Data/, Sound/, the shortcuts), ending in '/'
  // Where Config.cfg lives: the player's own data folder for an installed game; for a
  // portable copy AppDir when the player may write there, else that data folder. Ends in '/'.
  std::string ConfigDir;
  ::Settings Settings{};
  uint32_t HighlightColor = 0;
  uint32_t MusicModule = 0;

  // --- Screen state ---
  std::string GameState;
  uint8_t Selection = 0;
  uint8_t MenuSelection = 0;
  std::array<TMenuB*, 7> MenuButtons{};  // 1..6
  TFon* Background = nullptr;
  TFonB* OptionsPanel = nullptr;
  TFonB* ScoresPanel = nullptr;
  TFonB* HelpPanel = nullptr;
  THlp* HelpPage = nullptr;
  uint8_t HelpPageNo = 0;
  TAsk* AskBox = nullptr;
  TChk* SendCheckBox = nullptr;
  bool NameEditing = false;
  ShortName EntryName;
  bool Submitting = false;
  int32_t CreditsKeySum = 0;
  std::array<bool, 19> MouseOverFlags{};
  bool RequireHover = false;
  // The screen (GameState) each of the left and right buttons was pressed on; a double
  // click's later presses keep the first one's. A release acts as a click only on that screen.
  std::array<std::string, 2> PressScreen;
  bool MouseFire = false;
  bool MouseSwitch = false;
  bool WalkRightRequest = false;
  bool WalkLeftRequest = false;
  // The player's game controller as of the last tick: whether one was connected, its
  // buttons, the stick's direction past half its travel (-1, 0, 1 on each axis), and the
  // virtual key each held button (index: its PadButton) or stick direction stands for
  // (0: none), released when that button or direction is.
  bool PadConnected = false;
  uint32_t PadButtons = 0;
  int PadStickX = 0, PadStickY = 0;
  std::array<int, 16> PadKeys{};
  int PadStickKeyX = 0, PadStickKeyY = 0;
  uint8_t FrameCounter = 0;

  // --- Play state ---
  uint16_t Level = 0;
  uint32_t Score = 0;  // true score XOR ScoreMask
  bool Paused = false;
  bool PlayerDown = false;
  bool GameEnded = false;
  int32_t LevelGoal = 0;
  int32_t BunkerHealth = 0;
  uint16_t BunkerHealthMax = 270;
  uint8_t MaxPlaneKind = 0;
  TPlayer* Player = nullptr;
  std::array<TPanelWeaps*, 8> WeaponPanels{};  // 1..7
  TNiz* Ground = nullptr;
  TBunker* Bunker = nullptr;
  TBunkerVerh* BunkerTop = nullptr;
  TPolosa1* Stripe1 = nullptr;
  TPolosa2* Stripe2 = nullptr;
  TLifes* LivesDisplay = nullptr;
  TScrDie* DeathScreen = nullptr;

  // --- Live-sprite counters: how many of each kind are alive, against their limits ---
  uint8_t PlaneCount = 0;        // enemy aircraft, at most 3
  uint8_t CarrierCount = 0;      // supply planes, at most 1
  uint8_t ParatrooperCount = 0;  // paratroopers, at most 6
  uint8_t ParatrooperKills = 0;

  // --- Difficulty parameters (1-in-N odds and limits) ---
  int32_t PlaneOdds = 0;
  int32_t TransportOdds = 0;
  int32_t CarrierOdds = 0;
  int32_t JumpOdds = 0;
  int32_t DropOdds = 0;
  int32_t DropsPerPass = 0;
  int32_t ParatroopersPerGoal = 0;
};
