// The window's mouse handlers: fixed hot spots per screen and one click routine.
#include "game/handlers/Mouse.h"

#include <algorithm>
#include <string>

#include "battle/Player.h"
#include "engine/platform/VirtualKeys.h"
#include "game/DisplayMode.h"
#include "game/Form1.h"
#include "game/PlayScreen.h"
#include "game/Screens.h"
#include "game/handlers/OnlineServices.h"
#include "ui/MenuWidgets.h"

bool& Over(GameGlobals& g, MouseOver member) { return g.MouseOverFlags[member]; }
bool& OverButton(GameGlobals& g, int i) { return g.MouseOverFlags[OverButton1 + size_t(i - 1)]; }

namespace {

// Every bound is exclusive.
struct Spot {
  int Left, Top, Right, Bottom;
  bool Contains(int x, int y) const { return Left < x && x < Right && Top < y && y < Bottom; }
};

// A rectangle around button i: its picture's width and height added to the right and
// bottom bounds. A missing button has no hot spot.
bool OnButton(GameGlobals& g, int i, int x, int y, int left, int top, int rightPlusW, int bottomPlusH) {
  const TMenuB* button = g.MenuButtons[size_t(i)];
  if (button == nullptr) return false;
  return Spot{left, top, button->Width + rightPlusW, button->Height + bottomPlusH}.Contains(x, y);
}

void MenuSpots(GameGlobals& g, int x, int y) {
  static constexpr int kTops[] = {166, 221, 283, 340, 403, 462};
  for (int i = 1; i <= 6; ++i) {
    if (OnButton(g, i, x, y, 240, kTops[i - 1], 240, kTops[i - 1])) {
      g.Selection = uint8_t(i);
      OverButton(g, i) = true;
    }
  }
}

void OptionsSpots(GameGlobals& g, int x, int y) {
  struct Row {
    Spot Area;
    uint8_t Selection;
    MouseOver Member;
  };
  // Neighbouring choices overlap by a few pixels; there both members are set.
  static constexpr Row kRows[] = {
      {{430, 199, 538, 239}, 1, OverWindowed}, {{532, 199, 687, 239}, 1, OverFullScreen},
      {{430, 246, 489, 286}, 2, OverMusicOn},  {{486, 246, 564, 286}, 2, OverMusicOff},
      {{430, 293, 489, 333}, 3, OverSoundOn},  {{486, 293, 564, 333}, 3, OverSoundOff},
      {{451, 335, 685, 389}, 4, OverNameField},
  };
  for (const Row& row : kRows) {
    const bool hit = row.Area.Contains(x, y);
    if (hit) g.Selection = row.Selection;
    Over(g, row.Member) = hit;
  }
  if (OnButton(g, 1, x, y, 197, 421, 197, 461)) g.Selection = 5;
}

// The three buttons of the score or help screen, from the rectangle's left and top bounds.
void PanelSpots(GameGlobals& g, int x, int y, const int (&lefts)[3], const int (&tops)[3]) {
  for (int i = 1; i <= 3; ++i) {
    const int left = lefts[i - 1], top = tops[i - 1];
    if (OnButton(g, i, x, y, left, top, left + 40, top + 40)) {
      g.Selection = uint8_t(i);
      OverButton(g, i) = true;
    }
  }
}

void AnswerSpots(GameGlobals& g, int x, int y, const Spot& first, const Spot& second) {
  Over(g, OverAnswer1) = first.Contains(x, y);
  if (Over(g, OverAnswer1)) g.Selection = 1;
  Over(g, OverAnswer2) = second.Contains(x, y);
  if (Over(g, OverAnswer2)) g.Selection = 2;
}

void MusicOn(TForm1& form) {
  GameGlobals& g = form.G;
  g.Settings.MusicOn = 1;
  if (g.MusicModule == 0) {
    g.MusicModule = form.Music.SongLoadFromFile(g.AppDir + "Sound/1.xm");
    if (g.MusicModule == 0) {
      form.ShowMessage("Не могу загрузить музыку");
      g.Settings.MusicOn = 0;
      return;
    }
  }
  form.Music.SongPlay(g.MusicModule);
}

void SwitchDisplay(TForm1& form, uint8_t windowed) {
  if (form.G.Settings.Windowed == windowed) return;
  form.G.Settings.Windowed = windowed;
  ApplyDisplayMode(form);
}

// The first hot spot that is lit decides; without one, the selected row does.
void OptionsClick(TForm1& form) {
  GameGlobals& g = form.G;
  Settings& s = g.Settings;
  if (Over(g, OverMusicOn)) {
    MusicOn(form);
  } else if (Over(g, OverMusicOff)) {
    s.MusicOn = 0;
    form.Music.SongStop(g.MusicModule);
  } else if (Over(g, OverSoundOn)) {
    s.SoundOn = 1;
  } else if (Over(g, OverSoundOff)) {
    s.SoundOn = 0;
  } else if (Over(g, OverWindowed)) {
    SwitchDisplay(form, 1);
  } else if (Over(g, OverFullScreen)) {
    SwitchDisplay(form, 0);
  } else if (g.Selection == 4) {
    g.NameEditing = true;
  } else if (g.Selection == 5) {
    SaveSettings(form);
    ShowMenu(form);
  }
}

void MenuClick(TForm1& form) {
  switch (form.G.Selection) {
    case 1: StartGame(form); break;
    case 2: ShowOptions(form); break;
    case 3: ShowScores(form); break;
    case 4: ShowHelp(form); break;
    case 5: OpenMoreGames(form); break;
    case 6: AskQuestion(form, "Exit?"); break;
    default: break;
  }
}

void HelpClick(TForm1& form) {
  const GameGlobals& g = form.G;
  if (g.Selection == 1 && g.HelpPageNo > 1) ShowHelpPage(form, g.HelpPageNo - 1);
  else if (g.Selection == 2 && g.HelpPageNo < 6) ShowHelpPage(form, g.HelpPageNo + 1);
  else if (g.Selection == 3) ShowMenu(form);
}

// In play the pointer is a relative device: how far it went from the centre of the picture
// turns the gun and walks the figure one step, and it is put back at the centre.
void Steer(TForm1& form) {
  GameGlobals& g = form.G;
  TPlayer* player = g.Player;
  if (g.GameState != "Game" || form.Timer2.Enabled() || player == nullptr) return;
  constexpr int kWidth = 800, kHeight = 600;
  int px = 0, py = 0;
  form.Platform.GetCursorPos(px, py);
  const auto recentre = [&form] { form.Platform.SetCursorPos(kWidth / 2, kHeight / 2); };
  player->AimAngle += (py - kHeight / 2) / 2;  // down turns the gun down
  ClampAim(*player);
  if (py != kHeight / 2) recentre();
  // A direction key held wins over the pointer in that direction.
  if (px > kWidth / 2 && !form.DXInput1.Has(isRight)) {
    g.WalkLeftRequest = false;
    g.WalkRightRequest = true;
    player->WalkRight();
    recentre();
  }
  if (px < kWidth / 2 && !form.DXInput1.Has(isLeft)) {
    g.WalkLeftRequest = true;
    g.WalkRightRequest = false;
    player->WalkLeft();
    recentre();
  }
}

}  // namespace

void DXDraw1MouseMove(TForm1& form, uint32_t, int x, int y) {
  Steer(form);
  GameGlobals& g = form.G;
  const uint8_t before = g.Selection;
  for (int i = 1; i <= 6; ++i) OverButton(g, i) = false;
  // The platform reports the pointer in picture coordinates in the window and in full
  // screen alike, so the hot spots need no shift in full screen.
  const std::string& state = g.GameState;
  if (state == "Menu") {
    MenuSpots(g, x, y);
    LightSelectedButton(form, 6);
  } else if (state == "Options") {
    OptionsSpots(g, x, y);
    const bool back = g.Selection == 5;
    if (g.MenuButtons[1] != nullptr) g.MenuButtons[1]->Selected = back;
    Over(g, OverOptionsBack) = back;
  } else if (state == "HiScores") {
    PanelSpots(g, x, y, {197, 197, 197}, {413, 461, 509});
    LightSelectedButton(form, 3);
  } else if (state == "Help") {
    PanelSpots(g, x, y, {197, 473, 197}, {413, 413, 461});
    LightSelectedButton(form, 3);
  } else if (state == "Exit?" || state == "ExitGame?") {
    AnswerSpots(g, x, y, {335, 300, 395, 327}, {413, 300, 498, 327});
  } else if (state == "EnterName" || state == "Clear?") {
    AnswerSpots(g, x, y, {240, 370, 310, 430}, {460, 370, 580, 430});
  } else {
    return;
  }
  if (g.Selection != before) Beep(form);
  if (state == "EnterName") Over(g, OverCheckBox) = Spot{210, 347, 233, 370}.Contains(x, y);
  if (state == "Clear?") Over(g, OverCheckBox) = false;
}

void DXDraw1Click(TForm1& form) {
  GameGlobals& g = form.G;
  g.NameEditing = false;
  const bool anyOver = std::any_of(g.MouseOverFlags.begin(), g.MouseOverFlags.end(), [](bool b) { return b; });
  if (!anyOver && g.RequireHover) return;
  g.RequireHover = true;
  const std::string state = g.GameState;
  if (state == "GameOver2") {
    LeaveFinishedGame(form);
  } else if (state == "ExitGame?") {
    Beep(form);
    if (g.Selection == 1) EndGameByChoice(form);
    else ResumeGame(form);
  } else if (state == "Exit?") {
    Beep(form);
    if (g.Selection == 1) QuitProgram(form);
    else CancelExit(form);
  } else if (state == "Menu") {
    Beep(form);
    MenuClick(form);
  } else if (state == "Options") {
    Beep(form);
    OptionsClick(form);
  } else if (state == "Clear?") {
    Beep(form);
    if (g.Selection == 1 || g.Selection == 2) AnswerClear(form, g.Selection == 1);
  } else if (state == "HiScores") {
    Beep(form);
    if (g.Selection == 1) AskQuestion(form, "Clear?");
    else if (g.Selection == 2) OpenWorldScores(form);
    else if (g.Selection == 3) ShowMenu(form);
  } else if (state == "Help") {
    Beep(form);
    HelpClick(form);
  } else if (state == "EnterName") {
    if (Over(g, OverCheckBox)) {
      g.Settings.SendScore = !g.Settings.SendScore;
    } else {
      Beep(form);
      form.Platform.PostKeyUp(vk::Return, 0);  // the key handler answers by Selection
    }
  }
}

namespace {
int PressIndex(platform::MouseButton button) { return button == platform::MouseButton::Left ? 0 : 1; }
bool PressedOnThisScreen(const GameGlobals& g, platform::MouseButton button) {
  return g.PressScreen[size_t(PressIndex(button))] == g.GameState;
}
}  // namespace

void DXDraw1MouseDown(TForm1& form, platform::MouseButton button, uint32_t shift) {
  GameGlobals& g = form.G;
  if (button == platform::MouseButton::Left) g.MouseFire = true;
  if (button == platform::MouseButton::Right) g.MouseSwitch = true;
  if (button != platform::MouseButton::Middle && (shift & platform::ssDouble) == 0)
    g.PressScreen[size_t(PressIndex(button))] = g.GameState;
}

void SurfaceClick(TForm1& form) {
  if (PressedOnThisScreen(form.G, platform::MouseButton::Left)) DXDraw1Click(form);
}

void DXDraw1MouseUp(TForm1& form, platform::MouseButton button) {
  GameGlobals& g = form.G;
  if (button == platform::MouseButton::Left) g.MouseFire = false;
  if (button == platform::MouseButton::Right) {
    g.MouseSwitch = false;
    if (g.GameState != "Game" && PressedOnThisScreen(g, button)) DXDraw1Click(form);
  }
}

// Outside a game there is no player, and the wheel changes nothing.
void FormMouseWheelDown(TForm1& form) { SelectNextWeapon(form); }
