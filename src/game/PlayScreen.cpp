// The play screen's start and end.
#include "game/PlayScreen.h"

#include <algorithm>

#include "battle/Battle.h"
#include "battle/Effects.h"
#include "battle/Player.h"
#include "battle/Troops.h"
#include "game/DisplayMode.h"
#include "game/Form1.h"
#include "game/Levels.h"
#include "game/Screens.h"
#include "game/handlers/Mouse.h"
#include "game/handlers/OnlineServices.h"
#include "game/replay/GameReplay.h"
#include "state/Config.h"
#include "ui/MenuWidgets.h"

namespace {

// Play stands still until Timer2 ticks, or until play resumes.
void Pause(TForm1& form) {
  form.G.Paused = true;
  form.Timer2.SetEnabled(true);
}

// Play goes on at once. A player who is down still waits for Timer2's tick to stand up
// again, so the timer keeps running for him.
void Unpause(TForm1& form) {
  form.G.Paused = false;
  if (!form.G.PlayerDown) form.Timer2.SetEnabled(false);
}

// The sprites of a finished game leave by themselves on their next move or draw, which a
// game started in the same frame would never let happen: they go here, with every other
// sprite on the field. Only the weapon icons and the send box, made once at start-up, stay.
// The references to the sprites that went are dropped, never followed: the head-up display's
// (or the gun's, held by the player) may already point at sprites that left and were freed.
void ClearTheField(TForm1& form) {
  GameGlobals& g = form.G;
  const TSprite& field = *form.DXSpriteEngine1.Engine();
  const auto stays = [&g](const TSprite* sprite) {
    return sprite == g.SendCheckBox ||
           std::find(g.WeaponPanels.begin(), g.WeaponPanels.end(), sprite) != g.WeaponPanels.end();
  };
  for (int i = 0; i < field.Count(); ++i)
    if (TSprite* sprite = field.Items(i); !stays(sprite)) sprite->Kill();
  g.Player = nullptr;
  g.MenuButtons.fill(nullptr);
  g.Background = nullptr;
  g.OptionsPanel = g.ScoresPanel = g.HelpPanel = nullptr;
  g.HelpPage = nullptr;
  g.AskBox = nullptr;
  g.Ground = nullptr;
  g.Bunker = nullptr;
  g.BunkerTop = nullptr;
  g.Stripe1 = nullptr;
  g.Stripe2 = nullptr;
  g.LivesDisplay = nullptr;
  g.DeathScreen = nullptr;
  // Gone at once: killed sprites still take their step in the next tick, and the old
  // game's aircraft would draw from the random numbers of the new one (which a replay of
  // the new game, started on an empty field, could not repeat).
  form.DXSpriteEngine1.Purge();
}

}  // namespace

void StartGame(TForm1& form) {
  GameGlobals& g = form.G;
  // The replay begins from the state the new game starts from.
  if (form.RecordReplays) {
    EndRecording(form);
    BeginRecording(form);
  }
  ResetDifficulty(g);
  ClearTheField(form);
  g.Background = new TFon(PlayParent(form), form.DXImageList1.Items, "FonGame");
  g.Bunker = new TBunker(form);
  g.BunkerTop = new TBunkerVerh(form);
  g.Ground = new TNiz(PlayParent(form), form.GameImgs.Items);
  g.Player = new TPlayer(form);
  g.Score = EncodeScore(0);
  g.Level = 0;
  g.Paused = false;
  g.GameEnded = false;
  SetCursorVisible(form, false);
  if (g.Settings.MusicOn) form.PlayMusic(g.AppDir + "Sound/2.xm");
  TPlayer& player = *g.Player;
  player.Ammo.fill(0);
  player.Ammo[1] = 10;
  g.Submitting = false;
  g.Stripe1 = new TPolosa1(form);
  g.Stripe2 = new TPolosa2(form);
  g.LivesDisplay = new TLifes(form);
  player.Lives = 3;
  player.Weapon = 1;
  g.DeathScreen = new TScrDie(form);
  player.NextWeapon = player.Weapon;
  player.Gun->FireRate = 3;
  g.BunkerHealth = 360;
  NextLevel(form);
  g.MenuSelection = 1;
  g.GameState = "Game";
}

void LeaveGame(TForm1& form) {
  GameGlobals& g = form.G;
  if (g.Settings.SoundOn) {
    TWaveCollection& sounds = form.DXWaveList1.Items;
    for (int i = 0; i < sounds.Count(); ++i) sounds.Items(i).StopSound();
  }
  SetCursorVisible(form, true);
  Pause(form);
  form.Timer3.SetEnabled(false);
  if (!g.GameEnded) {
    AskQuestion(form, "ExitGame?");
    return;
  }
  // The game is over: its replay ends here, with the field as the game left it.
  EndRecording(form);
  form.Timer2.SetEnabled(false);
  if (g.Player != nullptr) g.Player->KillGroup();
  if (DecodeScore(g.Score) > DecodeScore(g.Settings.Entry(Settings::ScoreCount).Score)) {
    // A new record: the play screen stays behind the name entry.
    g.GameState = "EnterName";
    if (g.Settings.MusicOn) form.PlayMusic(g.AppDir + "Sound/1.xm");
    Pause(form);
    g.SendCheckBox->Shown = true;
    g.AskBox = new TAsk(PlayParent(form), form.DXImageList1.Items, "Qtns");
    return;
  }
  KillRef(g.Ground);
  KillRef(g.Background);
  KillRef(g.Bunker);
  KillRef(g.BunkerTop);
  g.Background = new TFon(PlayParent(form), form.DXImageList1.Items, "FonMenu");
  if (g.Settings.MusicOn) form.PlayMusic(g.AppDir + "Sound/1.xm");
  ShowMenu(form);
}

void EndGameByChoice(TForm1& form) {
  GameGlobals& g = form.G;
  g.GameEnded = true;
  form.Timer2.SetEnabled(false);
  g.Paused = false;
  KillRef(g.AskBox);
  LeaveGame(form);
}

void ResumeGame(TForm1& form) {
  GameGlobals& g = form.G;
  g.GameState = "Game";
  SetCursorVisible(form, false);
  KillRef(g.AskBox);
  Unpause(form);
}

void TogglePause(TForm1& form) {
  if (form.G.Paused)
    Unpause(form);
  else
    Pause(form);
}

namespace {

// The score goes to the server first when asked: "Please Wait..." is shown at once, since
// the exchange holds the game still.
void StoreRecord(TForm1& form) {
  GameGlobals& g = form.G;
  if (g.Settings.SendScore) {
    g.Submitting = true;
    g.SendCheckBox->Shown = false;
    TCanvas& canvas = form.DXDraw1.SurfaceCanvas();
    canvas.Font.Color = RGB(255, 0, 0);
    canvas.TextOut(340, 320, "Please Wait...");
    form.DXDraw1.ReleaseCanvas();
    form.DXDraw1.Present();
    SubmitScore(form, DecodeScore(g.Score));
  }
  // A failed write is reported; the record stays in the table and the next save keeps it.
  const std::string error = InsertScore(g.Settings, g.Score, g.EntryName, g.ConfigDir);
  if (!error.empty()) form.ShowMessage(error);
  ScoreTableChanged(form, true);
  g.MenuSelection = 3;
  g.Submitting = false;
}

}  // namespace

void AnswerNameEntry(TForm1& form, bool store) {
  GameGlobals& g = form.G;
  if (store) StoreRecord(form);
  KillRef(g.Ground);
  KillRef(g.Bunker);
  KillRef(g.BunkerTop);
  KillRef(g.Background);
  g.SendCheckBox->Shown = false;
  KillRef(g.AskBox);
  g.Background = new TFon(PlayParent(form), form.DXImageList1.Items, "FonMenu");
  ShowMenu(form);
  if (g.MenuSelection == 3) {  // a stored record: its table at once
    g.RequireHover = false;
    DXDraw1Click(form);
  }
}

void LeaveFinishedGame(TForm1& form) {
  form.Timer3.SetEnabled(false);
  KillRef(form.G.AskBox);
  LeaveGame(form);
}
