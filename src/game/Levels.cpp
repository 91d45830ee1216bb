// Level progression and the timers of play.
#include "game/Levels.h"

#include "battle/Player.h"
#include "battle/Effects.h"
#include "game/Form1.h"
#include "game/PlayScreen.h"
#include "game/Screens.h"
#include "game/replay/GameReplay.h"
#include "ui/MenuWidgets.h"

void ResetDifficulty(GameGlobals& g) {
  g.DropsPerPass = 1;
  g.PlaneOdds = 200;
  g.TransportOdds = 200;
  g.CarrierOdds = 300;
  g.JumpOdds = 200;
  g.DropOdds = 30;
  g.ParatroopersPerGoal = 5;
}

void NextLevel(TForm1& form) {
  GameGlobals& g = form.G;
  TWaveCollection& sounds = form.DXWaveList1.Items;
  for (int i = 0; i < sounds.Count(); ++i) sounds.Items(i).StopSound();
  ++g.Level;
  if (g.Settings.SoundOn && g.Level > 1) sounds.FindItem("Level").PlaySound();
  g.BunkerHealth += 40;
  g.BunkerHealthMax = uint16_t(40 * g.Level + 360);
  // Sprites of the old level remove themselves at their next move.
  g.ParatrooperCount = g.PlaneCount = g.CarrierCount = g.ParatrooperKills = 0;
  // Every level is harder, up to the limits reached at level 15.
  if (g.DropsPerPass < 5) g.DropsPerPass += 1;
  if (g.PlaneOdds > 100) g.PlaneOdds -= 20;
  if (g.TransportOdds > 100) g.TransportOdds -= 20;
  if (g.CarrierOdds < 600) g.CarrierOdds += 50;
  if (g.JumpOdds > 50) g.JumpOdds -= 10;
  if (g.DropOdds < 50) g.DropOdds += 4;
  g.MaxPlaneKind = uint8_t(g.Level <= 5 ? g.Level : 5);
  g.LevelGoal = g.Level % 3 == 0 ? g.Level : 2 * g.Level;
  // Restarted, not just switched on: the timer may still run from a pause in the menu or
  // the name entry, and every level opens with its full two seconds.
  form.Timer2.SetEnabled(false);
  form.Timer2.SetEnabled(true);
}

void Timer2Timer(TForm1& form) {
  if (form.Replay) form.Replay->TimerTick(2);
  GameGlobals& g = form.G;
  if (g.Paused) return;
  form.Timer2.SetEnabled(false);
  g.PlayerDown = false;
  if (g.DeathScreen != nullptr) g.DeathScreen->Visible = false;
  if (TPlayer* player = g.Player) {
    player->Alive = true;
    player->X = 370;
    player->Y = 496 - player->Height;
  }
  g.GameState = "Game";
}

void Timer3Timer(TForm1& form) {
  if (form.Replay) form.Replay->TimerTick(3);
  GameGlobals& g = form.G;
  if (g.GameState == "GameOver") {
    form.Timer2.SetEnabled(false);
    KillRef(g.AskBox);
    LeaveGame(form);
  } else {
    g.GameState = "GameOver2";  // the timer stays on
  }
}
