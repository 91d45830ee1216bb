// Texts of each screen, painted on the back surface after the sprites.
#include "game/FrameTexts.h"

#include <cstdio>
#include <string>

#include "battle/Player.h"
#include "engine/Canvas.h"
#include "engine/Rect.h"
#include "game/Form1.h"
#include "game/Spawning.h"
#include "payload/Cp1251.h"
#include "state/Config.h"

namespace {

constexpr uint32_t kWhite = RGB(255, 255, 255);
constexpr uint32_t kRed = RGB(255, 0, 0);

// The game's texts are Windows-1251; these are converted once.
std::string Ru(std::string_view utf8) { return platform::Utf8ToCp1251(utf8); }
const std::string kWindowed = Ru("ОКОННЫЙ");
const std::string kFullScreen = Ru("ПОЛНЫЙ ЭКРАН");
const std::string kOn = Ru("ВКЛ");
const std::string kOff = Ru("ВЫКЛ");
const std::string kPleaseWait = Ru("Пожалуйста ждите");
const std::string kYourScore = Ru("Ваш результат  %8d");
const std::string kEnterName = Ru("   Введите ваше имя   ");
const std::string kSendToSite = Ru("       Отправить результат на сайт?         ");
const std::string kCancel = Ru("Отмена");
const std::string kClearTable = Ru("   Вы хотите очистить таблицу рекордов?   ");
const std::string kUnlimited = Ru("НЕОГРАН.");
const std::string kPause = Ru("ПАУЗА");
const std::string kLevel = Ru("Уровень ");
const std::string kGameOver = Ru("КОНЕЦ ИГРЫ");
const std::string kQuit = Ru("Выйти из игры?  ");
const std::string kYes = Ru("ДА");
const std::string kNo = Ru("НЕТ");

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[128];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// Scores are shown as signed 32-bit numbers.
int32_t Shown(uint32_t encodedScore) { return int32_t(DecodeScore(encodedScore)); }

void SetFont(TCanvas& canvas, const char* name, int size, bool bold, uint32_t color) {
  canvas.Brush.Style = TBrushStyle::bsClear;
  canvas.Font.Name = name;
  canvas.Font.Size = size;
  canvas.Font.Bold = bold;
  canvas.Font.Color = color;
}

// The two answers of a question: the selected one (1 = first, 2 = second) in orange,
// the other in white; no other selection shows them.
void PaintAnswers(TCanvas& canvas, int selection, int x1, const std::string& first, int x2,
                  const std::string& second, int y, uint32_t highlight) {
  canvas.Font.Color = highlight;
  if (selection == 1) {
    canvas.TextOut(x1, y, first);
    canvas.Font.Color = kWhite;
    canvas.TextOut(x2, y, second);
  } else if (selection == 2) {
    canvas.TextOut(x2, y, second);
    canvas.Font.Color = kWhite;
    canvas.TextOut(x1, y, first);
  }
}

void PaintOptions(TForm1& form, TCanvas& canvas) {
  const GameGlobals& g = form.G;
  SetFont(canvas, "Arial", 11, true, kWhite);
  canvas.TextOut(535, 214, "/");
  canvas.TextOut(485, 261, "/");
  canvas.TextOut(485, 308, "/");
  // Rows: display mode, music, sound. The setting in effect is highlighted.
  canvas.Font.Color = kWhite;
  if (g.Settings.Windowed) canvas.TextOut(540, 214, kFullScreen);
  else canvas.TextOut(450, 214, kWindowed);
  if (g.Settings.MusicOn) canvas.TextOut(495, 261, kOff);
  else canvas.TextOut(450, 261, kOn);
  if (g.Settings.SoundOn) canvas.TextOut(495, 308, kOff);
  else canvas.TextOut(450, 308, kOn);
  canvas.Font.Color = g.HighlightColor;
  if (g.Settings.Windowed) canvas.TextOut(450, 214, kWindowed);
  else canvas.TextOut(540, 214, kFullScreen);
  if (g.Settings.MusicOn) canvas.TextOut(450, 261, kOn);
  else canvas.TextOut(495, 261, kOff);
  if (g.Settings.SoundOn) canvas.TextOut(450, 308, kOn);
  else canvas.TextOut(495, 308, kOff);

  canvas.Pen.Color = g.HighlightColor;
  canvas.Pen.Style = TPenStyle::psSolid;
  canvas.Pen.Width = 3;
  // Outlines of rows 1..4; row 5, the back button, has none.
  static constexpr TRect kRows[] = {{445, 211, 672, 234}, {445, 258, 549, 281}, {445, 305, 549, 328},
                                    {466, 345, 670, 379}};
  if (g.Selection >= 1 && g.Selection <= 4) {
    const TRect& r = kRows[g.Selection - 1];
    canvas.Rectangle(r.Left, r.Top, r.Right, r.Bottom);
  }

  canvas.Font.Bold = false;
  canvas.Font.Size = 14;
  std::string name = g.Settings.PlayerName.Get();
  if (g.NameEditing && g.FrameCounter % 32 < 16) name += '|';
  // Twelve wide letters are condensed to stay inside the row's outline (466..670).
  canvas.TextOutFitted(474, 350, name, 190);
}

void PaintCredits(TForm1& form, TCanvas& canvas) {
  const GameGlobals& g = form.G;
  SetFont(canvas, "Comic Sans MS", 16, true, g.HighlightColor);
  if (g.CreditsKeySum == 419 && g.GameState != "Game") canvas.TextOut(10, 0, "Programming by Tebrik");
}

// A number formatted "%10d" with the padding as wide as digits, so the column is
// right-aligned whatever the widths of a space and a digit in the font.
void TextOutNumber(TCanvas& canvas, int x, int y, const std::string& formatted) {
  const size_t digits = formatted.find_first_not_of(' ');
  if (digits == std::string::npos) return;
  canvas.TextOut(x + int(digits) * canvas.TextWidth("0"), y, formatted.substr(digits));
}

void PaintScores(TForm1& form, TCanvas& canvas) {
  const GameGlobals& g = form.G;
  SetFont(canvas, "Arial", 12, true, kRed);
  const auto& entry = [&g](int k) -> const ScoreEntry& { return g.Settings.Entry(k); };
  const auto name = [&entry](int k, int width) { return Format("%.*s", width, entry(k).Name.Get().c_str()); };
  canvas.TextOut(235, 197, "1        " + name(1, 11));
  TextOutNumber(canvas, 525, 197, Format("%10d", Shown(entry(1).Score)));
  canvas.Font.Color = g.HighlightColor;
  for (int n = 2; n <= 9; ++n) {
    canvas.TextOut(235, 21 * n + 177, std::to_string(n) + "        " + name(n, 12));
    TextOutNumber(canvas, 525, 21 * n + 177, Format("%10d", Shown(entry(n).Score)));
  }
  canvas.TextOut(230, 387, "10       " + name(10, 12));
  TextOutNumber(canvas, 525, 387, Format("%10d", Shown(entry(10).Score)));
}

// The score and level in the top bar of the play screen.
void PaintScoreAndLevel(TForm1& form, TCanvas& canvas) {
  SetFont(canvas, "Arial", 12, false, kWhite);
  canvas.TextOut(225, 15, Format("%8d", Shown(form.G.Score)));
  canvas.TextOut(70, 15, Format("%3d", int(form.G.Level)));
}

// "OK" and "Отмена" with the selected answer in orange.
void PaintOkCancel(TForm1& form, TCanvas& canvas) {
  PaintAnswers(canvas, form.G.Selection, 260, "OK", 487, kCancel, 397, form.G.HighlightColor);
}

void PaintEnterName(TForm1& form, TCanvas& canvas) {
  const GameGlobals& g = form.G;
  PaintScoreAndLevel(form, canvas);
  canvas.Font.Name = "Arial";
  canvas.Font.Size = 16;
  canvas.Font.Bold = true;
  canvas.Font.Color = kWhite;
  if (g.Submitting) {
    canvas.TextOut(320, 280, kPleaseWait);
    return;
  }
  canvas.Font.Size = 15;
  canvas.TextOut(295, 210, Format(kYourScore.c_str(), Shown(g.Score)));
  canvas.Font.Size = 13;
  canvas.TextOut(305, 260, kEnterName);
  canvas.Font.Size = 16;
  canvas.Font.Color = g.HighlightColor;
  std::string name = g.EntryName.Get();
  if (g.FrameCounter % 32 >= 16) name += '|';
  canvas.TextOut(330, 290, name);
  canvas.Font.Size = 12;
  canvas.Font.Color = kWhite;
  canvas.TextOut(245, 350, kSendToSite);
  PaintOkCancel(form, canvas);
}

void PaintClearQuestion(TForm1& form, TCanvas& canvas) {
  SetFont(canvas, "Arial", 16, false, kRed);
  canvas.TextOut(200, 280, kClearTable);
  canvas.Font.Bold = true;
  canvas.Font.Size = 12;
  PaintOkCancel(form, canvas);
}

void PaintGame(TForm1& form, TCanvas& canvas) {
  const GameGlobals& g = form.G;
  const bool waiting = form.Timer2.Enabled();  // level banner, respawn wait or pause
  if (!waiting) SpawnAircraft(form);
  PaintScoreAndLevel(form, canvas);
  int weapon = 0, ammo = 0;
  if (PlayerWeaponAmmo(g.Player, weapon, ammo)) {
    if (weapon == 1) {
      canvas.Font.Size = 9;
      canvas.TextOut(436, 570, kUnlimited);
    } else {
      canvas.Font.Size = 12;
      canvas.TextOut(436, 570, Format("%3d", ammo));
    }
  }
  if (!waiting) return;
  SetFont(canvas, "Comic Sans MS", 25, true, g.HighlightColor);
  if (g.Paused) {
    canvas.TextOut(360, 200, kPause);
  } else if (!g.PlayerDown) {
    canvas.Font.Size = 20;
    canvas.Font.Bold = false;
    canvas.TextOut(350, 200, kLevel + std::to_string(g.Level));
  }
}

void PaintGameOver(TForm1& form, TCanvas& canvas) {
  SetFont(canvas, "Arial", 25, true, form.G.HighlightColor);
  canvas.TextOut(285, 270, kGameOver);
}

void PaintQuitQuestion(TForm1& form, TCanvas& canvas) {
  SetFont(canvas, "Arial", 20, true, kWhite);
  canvas.TextOut(295, 250, kQuit);
  canvas.TextOut(383, 300, "/");
  PaintAnswers(canvas, form.G.Selection, 335, kYes, 413, kNo, 300, form.G.HighlightColor);
}

}  // namespace

void PaintFrameTexts(TForm1& form, TCanvas& canvas) {
  const std::string& state = form.G.GameState;
  if (state == "Options") PaintOptions(form, canvas);
  PaintCredits(form, canvas);
  if (state == "HiScores") PaintScores(form, canvas);
  if (state == "EnterName") PaintEnterName(form, canvas);
  if (state == "Clear?") PaintClearQuestion(form, canvas);
  if (state == "Game") PaintGame(form, canvas);
  if (state == "GameOver" || state == "GameOver2") PaintGameOver(form, canvas);
  if (state == "Exit?" || state == "ExitGame?") PaintQuitQuestion(form, canvas);
}

void PaintReplayMark(TCanvas& canvas, const std::string& mark) {
  // Below the head-up display's top bar, with a shadow to stand out over the sky.
  SetFont(canvas, "Arial", 11, true, RGB(0, 0, 0));
  const int x = 790 - canvas.TextWidth(mark), y = 52;
  canvas.TextOut(x + 1, y + 1, mark);
  canvas.Font.Color = RGB(255, 70, 40);
  canvas.TextOut(x, y, mark);
}
