// The window's key handlers: the menus' keys go through the same click routine as the mouse.
#include "game/handlers/Keyboard.h"

#include <cmath>
#include <numbers>

#include "engine/platform/VirtualKeys.h"
#include "game/DisplayMode.h"
#include "game/Form1.h"
#include "game/PlayScreen.h"
#include "game/Screens.h"
#include "game/handlers/Mouse.h"
#include "ui/MenuWidgets.h"

namespace {

bool IsQuestion(const std::string& state) {
  return state == "Exit?" || state == "ExitGame?" || state == "EnterName" || state == "Clear?";
}

void SetSelected(GameGlobals& g, int i, bool selected) {
  if (g.MenuButtons[size_t(i)] != nullptr) g.MenuButtons[size_t(i)]->Selected = selected;
}

// The hot-spot flags a key makes stale: every one but the check box's and the buttons'.
void ClearAnswerFlags(GameGlobals& g) {
  for (MouseOver member : {OverNameField, OverWindowed, OverFullScreen, OverMusicOn, OverMusicOff, OverSoundOn,
                           OverSoundOff, OverOptionsBack, OverAnswer1, OverAnswer2, OverSpare1, OverSpare2})
    Over(g, member) = false;
}

// Left or Right: on the options' first three rows it picks a choice the way the pointer
// would and clicks it; elsewhere it moves between two neighbours.
void SideArrow(TForm1& form, bool right) {
  GameGlobals& g = form.G;
  ClearAnswerFlags(g);
  const std::string& state = g.GameState;
  if (state == "Options") {
    Beep(form);
    g.RequireHover = false;
    static constexpr MouseOver kChoices[4][2] = {
        {}, {OverWindowed, OverFullScreen}, {OverMusicOn, OverMusicOff}, {OverSoundOn, OverSoundOff}};
    if (g.Selection >= 1 && g.Selection <= 3) {
      Over(g, kChoices[g.Selection][0]) = !right;
      Over(g, kChoices[g.Selection][1]) = right;
      DXDraw1Click(form);
    }
    return;
  }
  const uint8_t from = right ? 1 : 2;
  if (g.Selection != from || (state != "Help" && !IsQuestion(state))) return;
  Beep(form);
  g.Selection = right ? 2 : 1;
  if (state == "Help") {
    SetSelected(g, g.Selection, true);
    SetSelected(g, from, false);
  }
}

// Steps the selection through 1..count, wrapping at both ends.
uint8_t Step(uint8_t selection, int count, bool down) {
  if (down) return selection >= count ? 1 : uint8_t(selection + 1);
  return selection <= 1 ? uint8_t(count) : uint8_t(selection - 1);
}

void UpDownArrow(TForm1& form, bool down) {
  GameGlobals& g = form.G;
  if (!down) {
    ClearAnswerFlags(g);
    for (int i = 1; i <= 6; ++i) OverButton(g, i) = false;
  }
  const std::string& state = g.GameState;
  if (state == "Menu" || state == "HiScores") {
    const int count = state == "Menu" ? 6 : 3;
    Beep(form);
    g.Selection = Step(g.Selection, count, down);
    LightSelectedButton(form, count);
  } else if (state == "Options") {
    Beep(form);
    g.Selection = Step(g.Selection, 5, down);
    SetSelected(g, 1, g.Selection == 5);
  } else if (state == "Help" && !down) {
    // Previous is lit while Next keeps whatever it showed.
    Beep(form);
    g.Selection = 1;
    SetSelected(g, 1, true);
    SetSelected(g, 3, false);
  } else if (state == "Help" && (g.Selection == 1 || g.Selection == 2)) {
    Beep(form);
    g.Selection = 3;
    SetSelected(g, 3, true);
    SetSelected(g, 2, false);
    SetSelected(g, 1, false);
  }
}

// Returns false when the handler ends here.
bool EscapeKey(TForm1& form) {
  const std::string state = form.G.GameState;
  if (state == "Exit?") CancelExit(form);
  else if (state == "Clear?") AnswerClear(form, false);
  else if (state == "Menu") AskQuestion(form, "Exit?");
  else if (state == "Options" || state == "HiScores" || state == "Help") ShowMenu(form);
  else if (state == "Game") LeaveGame(form);
  else if (state == "ExitGame?") ResumeGame(form);
  // Escape back into play ends the handler there.
  return state != "ExitGame?";
}

void EnterKey(TForm1& form) {
  GameGlobals& g = form.G;
  const std::string state = g.GameState;
  if (state == "Options") {
    // Rows 1..3 toggle through a later Right or Left release, handled as the arrow is.
    const auto toggle = [&form](uint8_t on) { form.Platform.PostKeyUp(on ? vk::Right : vk::Left, 0); };
    switch (g.Selection) {
      case 1: toggle(g.Settings.Windowed); break;
      case 2: toggle(g.Settings.MusicOn); break;
      case 3: toggle(g.Settings.SoundOn); break;
      case 4: g.NameEditing = !g.NameEditing; break;
      case 5: ShowMenu(form); break;  // leaving by the key does not save
      default: break;
    }
  } else if (state == "Clear?") {
    Beep(form);
    AnswerClear(form, g.Selection == 1);
  } else if (state == "Exit?") {
    if (g.Selection == 1) QuitProgram(form);
    else CancelExit(form);
  } else if (state == "ExitGame?") {
    if (g.Selection == 1) EndGameByChoice(form);
    else ResumeGame(form);
  } else if (state == "EnterName") {
    AnswerNameEntry(form, g.Selection == 1);
  } else {
    g.RequireHover = false;
    DXDraw1Click(form);
  }
}

}  // namespace

std::vector<Bullet1Launch> RocketFan(uint16_t level) {
  std::vector<Bullet1Launch> rockets;
  constexpr double kRotationPerDegree = 64.0 / 90.0;
  for (int i = 0; i <= 100; i += 10) {
    const double a = i - 90;
    const double radians = a * std::numbers::pi / 180.0;
    const int rotation = int(std::nearbyint(a * kRotationPerDegree));  // halves to even
    Bullet1Launch right;
    right.Image = "RaketaR1";
    right.X = right.Y = 400;
    right.Z = -5;
    right.BornLevel = level;
    right.Kind = 4;
    right.SpeedFactorX = right.SpeedFactorY = 0.5;
    right.Damage = 30;
    right.TurnY = 380;
    right.VelX = 82 * std::cos(radians);
    right.VelY = 82 * std::sin(radians);
    right.Rotation = uint8_t(rotation);
    right.TurnX = 460;
    Bullet1Launch left = right;
    left.Image = "RaketaL1";
    left.VelX = -right.VelX;
    left.Rotation = uint8_t(-rotation);
    left.TurnX = 340;
    rockets.push_back(right);
    rockets.push_back(left);
  }
  return rockets;
}

void FormKeyUp(TForm1& form, int& key, uint32_t shift) {
  GameGlobals& g = form.G;
  const bool alt = (shift & platform::ssAlt) != 0;
  // In "GameOver2" any key leaves the finished game, and nothing else runs.
  if (g.GameState == "GameOver2") {
    LeaveFinishedGame(form);
    return;
  }
  if (key == 'R' && alt)
    for (const Bullet1Launch& rocket : RocketFan(g.Level)) NewBullet1(form, rocket);
  if (key == vk::Left || key == vk::Right) SideArrow(form, key == vk::Right);
  if (key == vk::Up || key == vk::Down) UpDownArrow(form, key == vk::Down);
  g.CreditsKeySum += key;
  if (g.GameState == "Exit?" || g.GameState == "ExitGame?") {
    if (key == 'Y') key = vk::Return;
    else if (key == 'N') key = vk::Escape;
  }
  if (key == vk::Escape && !EscapeKey(form)) return;
  if (alt && key == vk::Return) {
    g.Settings.Windowed = uint8_t(1 - g.Settings.Windowed);
    ApplyDisplayMode(form);
  }
  if (key == 'P' && g.GameState == "Game") TogglePause(form);
  if ((key == vk::Return || key == vk::Space) && !alt) EnterKey(form);
}

void FormKeyPress(TForm1& form, char& key) {
  GameGlobals& g = form.G;
  ShortName* target = g.NameEditing ? &g.Settings.PlayerName : g.GameState == "EnterName" ? &g.EntryName : nullptr;
  if (target == nullptr) return;
  const std::string text = target->Get();
  const auto code = uint8_t(key);
  if (code == 8 && !text.empty()) {
    target->Set(text.substr(0, text.size() - 1));
    return;
  }
  if (code < 48 || text.size() >= size_t(ShortName::Capacity)) return;
  target->Set(text + key);
}
