// Start-up of the main window and the wiring of its components.
#include "game/Form1.h"

#include <cstdlib>

#include "battle/Player.h"
#include "engine/platform/VirtualKeys.h"
#include "game/Levels.h"
#include "game/Screens.h"
#include "game/handlers/Keyboard.h"
#include "game/handlers/Mouse.h"
#include "game/handlers/OnlineServices.h"
#include "game/replay/GameReplay.h"
#include "payload/Cp1251.h"
#include "state/Config.h"
#include "ui/MenuWidgets.h"

#ifndef ZAROVEL_SCORE_SERVER
#define ZAROVEL_SCORE_SERVER "localhost"
#endif

TForm1::TForm1(TApplication& application, std::string appDir, std::optional<uint64_t> fixedSeed)
    : Application(application),
      Platform(application.Platform),
      DXDraw1(application.Platform),
      DXTimer1(application),
      DXInput1(application.Platform),
      Timer2(application, 2000),
      Timer3(application, 2500),
      Mixer(application.Platform),
      Music(application.Platform, Mixer),
      DXSound1(application.Platform, Mixer),
      ScoreServer(ZAROVEL_SCORE_SERVER),
      fixedSeed_(fixedSeed) {
  G.AppDir = std::move(appDir);
  DXImageList1.SetDXDraw(&DXDraw1);
  GameImgs.SetDXDraw(&DXDraw1);
  DXSpriteEngine1.SetDXDraw(&DXDraw1);
  DXTimer1.SetInterval(20);
  DXTimer1.OnTimer = [this](TDXTimer& sender, int lag) { DXTimer1Timer(sender, lag); };
  DXInput1.Keyboard.Assigns = TDXInput::StoredAssigns();
  DXWaveList1.SetDXSound(&DXSound1);
  Timer2.OnTimer = [this] { Timer2Timer(*this); };
  Timer3.OnTimer = [this] { Timer3Timer(*this); };
  Application.Form = this;
  // Events from the window reach the replay of the game in play before the game.
  Application.OnDispatch = [this](const platform::Event& event) {
    if (Replay) Replay->Event(event);
  };
}

TForm1::~TForm1() {
  // The program ends during a game: its replay is completed as far as it went.
  EndRecording(*this);
  Application.OnDispatch = nullptr;
  // The audio device must stop reading the mixer before the mixer goes.
  Platform.CloseAudio();
  if (Application.Form == this) Application.Form = nullptr;
  DXTimer1.SetEnabled(false);
}

void TForm1::Load() {
  DXDraw1.Display.Width = 800;
  DXDraw1.Display.Height = 600;
  DXDraw1.Display.BitCount = 32;
  if (DXDraw1.AutoInitialize) DXDraw1.InitDisplay();
  DXSound1.Loaded();  // opens the sound output; without one the game runs silent
  FormCreate();
  DXTimer1.Loaded();
}

void TForm1::LaunchOnExit() { ::LaunchOnExit(*this); }

void TForm1::Rumble(uint32_t ms) {
  if (!RumbleOn) return;
  // The long rumble of a lost life shakes harder than the short one of a hit.
  const bool strong = ms >= kRumbleLifeMs;
  Platform.RumblePad(strong ? 0xFFFF : 0x6000, strong ? 0xC000 : 0x3000, ms);
}

void TForm1::ShowMessage(std::string_view utf8Text) {
  Platform.MessageBox(platform::Utf8ToCp1251(utf8Text), "Zarovel");
}

// Each tune is loaded once and then played again from its start: game after game would
// otherwise pile up loaded copies of the two tunes for the whole run.
void TForm1::PlayMusic(const std::string& path) {
  const auto loaded = loadedMusic_.find(path);
  G.MusicModule = loaded != loadedMusic_.end() ? loaded->second : Music.SongLoadFromFile(path);
  if (G.MusicModule != 0) loadedMusic_[path] = G.MusicModule;
  if (G.MusicModule == 0) {
    ShowMessage("Не возможно загрузить музыку.");
    G.Settings.MusicOn = 0;
    return;
  }
  Music.SongPlay(G.MusicModule);
}

void TForm1::FormCreate() {
  ResetDifficulty(G);

  G.ConfigDir = G.AppDir;
  if (ConfigInPlayersFolder || !Platform.CanWriteFolder(G.AppDir)) {
    const std::string own = Platform.UserDataFolder();
    // Without one (no home folder), saving fails with its message; an installed game's
    // data folder is read-only, so nothing is written there.
    if (!own.empty()) G.ConfigDir = own;
  }
  const LoadResult loaded = LoadConfig(G.Settings, G.ConfigDir, !Replaying);
  if (!loaded.WriteError.empty()) ShowMessage(loaded.WriteError);
  SortScores(G.Settings);
  // The game always starts in a window, whatever the file says.
  G.Settings.Windowed = 1;
  if (G.Settings.MusicOn) PlayMusic(G.AppDir + "Sound/1.xm");
  Random.Seed(fixedSeed_ ? *fixedSeed_ : Platform.ClockSeed());

  DXImageList1.Items.BuildPalette();
  DXDraw1.ColorTable = DXImageList1.Items.ColorTable;
  DXDraw1.DefColorTable = DXImageList1.Items.ColorTable;
  DXDraw1.ApplyPalette();

  TKeyAssignList& keys = DXInput1.Keyboard.Assigns;
  keys[isUp][0] = 'W';
  keys[isDown][0] = 'S';
  keys[isLeft][0] = 'A';
  keys[isRight][0] = 'D';
  keys[isButton1][0] = vk::Prior;
  keys[isButton1][2] = vk::Next;
  keys[isButton2][0] = 'H';
  keys[isButton2][1] = vk::Control;
  // The controller in play: the south button fires; the west and east buttons and the
  // right shoulder switch weapons.
  TGamepad& pad = DXInput1.Gamepad;
  pad.Assigns[isButton1] = 1u << platform::PadB | 1u << platform::PadX | 1u << platform::PadRightShoulder;
  pad.Assigns[isButton2] = 1u << platform::PadA;

  DXImageList1.Items.LoadArchive(G.AppDir + "Data/MData.dxg");
  GameImgs.Items.LoadArchive(G.AppDir + "Data/GData.dxg");
  DXWaveList1.Items.LoadArchive(G.AppDir + "Sound/GSnd.dxg");

  // The weapon icons of play's bottom panel live as long as the window.
  static constexpr int kPanelX[8] = {0, 506, 541, 589, 629, 661, 698, 749};
  static constexpr int kPanelY[8] = {0, 557, 555, 558, 555, 557, 556, 561};
  for (int k = 1; k <= 7; ++k) {
    G.WeaponPanels[size_t(k)] = new TPanelWeaps(*this, k);
    G.WeaponPanels[size_t(k)]->X = kPanelX[k];
    G.WeaponPanels[size_t(k)]->Y = kPanelY[k];
  }

  G.Paused = false;
  G.SendCheckBox = new TChk(DXSpriteEngine1.Engine(), DXImageList1.Items, G);
  G.Background = new TFon(DXSpriteEngine1.Engine(), DXImageList1.Items, "FonMenu");
  G.HighlightColor = RGB(255, 153, 0);
  G.Selection = 1;
  G.MenuSelection = 1;
  DXWaveList1.Items.FindItem("Beep").SetSoundVolume(-800);
  ShowMenu(*this);
}

void TForm1::FormKeyUp(int& key, uint32_t shift) { ::FormKeyUp(*this, key, shift); }
void TForm1::FormKeyPress(char& key) { ::FormKeyPress(*this, key); }
void TForm1::FormMouseMove(uint32_t shift, int x, int y) { DXDraw1MouseMove(*this, shift, x, y); }
void TForm1::FormMouseDown(platform::MouseButton button, uint32_t shift, int, int) {
  DXDraw1MouseDown(*this, button, shift);
}
void TForm1::FormMouseUp(platform::MouseButton button, uint32_t, int, int) { DXDraw1MouseUp(*this, button); }
void TForm1::FormClick() { SurfaceClick(*this); }

// One call for every whole notch (120 units), whichever way the wheel turned.
void TForm1::FormMouseWheel(uint32_t, int wheelDelta, int, int) {
  wheelDelta_ += std::abs(wheelDelta);
  for (; wheelDelta_ >= 120; wheelDelta_ -= 120) FormMouseWheelDown(*this);
}

void TForm1::FormDeactivate() { WindowDeactivated(*this); }
void TForm1::FormCloseQuery(bool& canClose) { CloseRequest(*this, canClose); }
// Ended by a signal or the session: what the player set is kept, as when quitting.
void TForm1::FormSessionEnd() { SaveSettings(*this); }
void TForm1::FormMinimize() { MinimizeCommand(*this); }
void TForm1::FormMaximize() { MaximizeCommand(*this); }
