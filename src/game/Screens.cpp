// Screen changes of the menus, the questions over them, and the window's own events.
#include "game/Screens.h"

#include "game/DisplayMode.h"
#include "game/Form1.h"
#include "game/PlayScreen.h"
#include "game/replay/GameReplay.h"
#include "state/Config.h"
#include "ui/MenuWidgets.h"

namespace {

void KillButtons(GameGlobals& g) {
  for (int i = 1; i <= 6; ++i) KillRef(g.MenuButtons[size_t(i)]);
}

TMenuB* NewButton(TForm1& form, uint16_t x, uint16_t y, const char* image) {
  return new TMenuB(form.DXSpriteEngine1.Engine(), form.DXImageList1.Items, x, y, image);
}

TFonB* NewPanel(TForm1& form, const char* image) {
  return new TFonB(form.DXSpriteEngine1.Engine(), form.DXImageList1.Items, image);
}

void SelectButton(GameGlobals& g, int i) {
  if (i >= 1 && i <= 6 && g.MenuButtons[size_t(i)] != nullptr) g.MenuButtons[size_t(i)]->Selected = true;
}

// The common end of opening a sub-screen: the menu's selection is kept for the way back,
// and the screen's back button (selection `back`, lit `backButton`) is chosen.
void EnterSubScreen(GameGlobals& g, TMenuB* backButton, uint8_t back, const char* state) {
  backButton->Selected = true;
  g.MenuSelection = g.Selection;
  g.Selection = back;
  g.GameState = state;
}

}  // namespace

void ShowMenu(TForm1& form) {
  GameGlobals& g = form.G;
  g.NameEditing = false;
  for (size_t i = 0; i < 9; ++i) g.MouseOverFlags[i] = false;
  if (g.GameState == "Options") {
    KillRef(g.MenuButtons[1]);
    KillRef(g.OptionsPanel);
  } else if (g.GameState == "HiScores") {
    KillButtons(g);
    KillRef(g.ScoresPanel);
  } else if (g.GameState == "Help") {
    KillButtons(g);
    KillRef(g.HelpPanel);
    KillRef(g.HelpPage);
  }
  g.MenuButtons[1] = NewButton(form, 240, 166, "Start");
  g.MenuButtons[2] = NewButton(form, 240, 221, "Opt");
  g.MenuButtons[3] = NewButton(form, 240, 283, "HScores");
  g.MenuButtons[4] = NewButton(form, 240, 340, "Help");
  g.MenuButtons[5] = NewButton(form, 240, 403, "Visit");
  g.MenuButtons[6] = NewButton(form, 240, 462, "Exit");
  g.Selection = g.MenuSelection;
  g.CreditsKeySum = 0;
  SelectButton(g, g.Selection);
  g.RequireHover = true;
  g.GameState = "Menu";
}

void ShowOptions(TForm1& form) {
  GameGlobals& g = form.G;
  KillButtons(g);
  g.OptionsPanel = NewPanel(form, "FonOpt");
  g.MenuButtons[1] = NewButton(form, 217, 441, "OptBack");
  EnterSubScreen(g, g.MenuButtons[1], 5, "Options");
}

void ShowScores(TForm1& form) {
  GameGlobals& g = form.G;
  KillButtons(g);
  g.ScoresPanel = NewPanel(form, "FonHScr");
  g.MenuButtons[1] = NewButton(form, 216, 433, "Clear");
  g.MenuButtons[2] = NewButton(form, 216, 481, "World");
  g.MenuButtons[3] = NewButton(form, 217, 529, "HScrBack");
  EnterSubScreen(g, g.MenuButtons[3], 3, "HiScores");
}

void ShowHelp(TForm1& form) {
  GameGlobals& g = form.G;
  KillButtons(g);
  g.HelpPanel = NewPanel(form, "FonHelp");
  g.MenuButtons[1] = NewButton(form, 216, 433, "Previos");
  g.MenuButtons[2] = NewButton(form, 493, 433, "Next");
  g.MenuButtons[3] = NewButton(form, 217, 481, "HlpBack");
  ShowHelpPage(form, 1);
  EnterSubScreen(g, g.MenuButtons[3], 3, "Help");
}

void ShowHelpPage(TForm1& form, int pageNo) {
  GameGlobals& g = form.G;
  g.HelpPageNo = uint8_t(pageNo);
  KillRef(g.HelpPage);
  g.HelpPage = new THlp(form.DXSpriteEngine1.Engine(), form.DXImageList1.Items, g.HelpPageNo);
}

void LightSelectedButton(TForm1& form, int count) {
  GameGlobals& g = form.G;
  for (int i = 1; i <= count; ++i)
    if (g.MenuButtons[size_t(i)] != nullptr) g.MenuButtons[size_t(i)]->Selected = false;
  SelectButton(g, g.Selection);
}

void AskQuestion(TForm1& form, const std::string& state) {
  GameGlobals& g = form.G;
  g.Selection = 1;
  g.GameState = state;
  g.AskBox = new TAsk(form.DXSpriteEngine1.Engine(), form.DXImageList1.Items, "Qtns");
}

void CancelExit(TForm1& form) {
  GameGlobals& g = form.G;
  g.Selection = 1;
  for (int i = 1; i <= 6; ++i)
    if (g.MenuButtons[size_t(i)] != nullptr) g.MenuButtons[size_t(i)]->Selected = i == 1;
  g.GameState = "Menu";
  KillRef(g.AskBox);
}

void AnswerClear(TForm1& form, bool clear) {
  GameGlobals& g = form.G;
  if (clear) {
    ResetScores(g.Settings);  // kept in memory; the file is written by the next save
    ScoreTableChanged(form, false);
  }
  g.Selection = 1;
  g.GameState = "HiScores";
  KillRef(g.AskBox);
}

void QuitProgram(TForm1& form) {
  // A failed save is reported, and the program still ends: refusing to quit over an
  // unwritable file would leave no way out, since closing the window is refused too.
  SaveSettings(form);
  form.Application.Terminate();
}

void SaveSettings(TForm1& form) {
  if (form.Replaying) return;  // watching or checking a replay writes nothing
  const std::string error = SaveConfig(form.G.Settings, form.G.ConfigDir);
  if (!error.empty()) form.ShowMessage(error);
}

void Beep(TForm1& form) {
  if (form.G.Settings.SoundOn) form.DXWaveList1.Items.FindItem("Beep").PlaySound();
}

void CloseRequest(TForm1& form, bool& canClose) {
  GameGlobals& g = form.G;
  canClose = false;
  const std::string state = g.GameState;
  if (state == "Game" || state == "ExitGame?" || state == "GameOver" || state == "EnterName") return;
  if (state != "Menu") {
    // The menu is built afresh under exactly one question box: whatever the current
    // screen holds that the menu builder does not remove goes first.
    if (state == "Exit?") {
      KillRef(g.AskBox);
      KillButtons(g);
    } else if (state == "Clear?") {
      KillRef(g.AskBox);
      g.GameState = "HiScores";  // the menu builder then removes the score screen
    } else if (state == "GameOver2") {
      // The finished game is left as a key would leave it; a record goes to the name entry
      // (where closing is refused), so it is never lost to a close request.
      LeaveFinishedGame(form);
      if (g.GameState != "Menu") return;
    }
    if (g.GameState != "Menu") ShowMenu(form);
  }
  AskQuestion(form, "Exit?");
}

void WindowDeactivated(TForm1& form) {
  form.G.Paused = true;
  form.Timer2.SetEnabled(true);
}

void MaximizeCommand(TForm1& form) {
  form.G.Settings.Windowed = 0;
  ApplyDisplayMode(form);
}

void MinimizeCommand(TForm1& form) {
  if (form.G.GameState != "Game") return;
  form.G.Paused = true;
  form.Timer2.SetEnabled(true);
}
