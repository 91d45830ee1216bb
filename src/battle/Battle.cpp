// Helpers shared by the sprites of play.
#include "battle/Battle.h"

#include <algorithm>
#include <cmath>

#include "game/Form1.h"

// Positions far off the field (or not a number) are pinned, so the conversion stays defined.
int Nint(double v) {
  constexpr double kLimit = 1e9;
  if (std::isnan(v)) return 0;
  return int(std::nearbyint(std::clamp(v, -kLimit, kLimit)));
}

bool InPlay(const GameGlobals& g) { return g.GameState == "Game" || g.GameState == "ExitGame?"; }

bool LeavesPlay(TSprite& sprite, const GameGlobals& g, int bornLevel) {
  if (InPlay(g) && g.Level == bornLevel) return false;
  sprite.Kill();
  return true;
}

bool PlayWaits(TForm1& form) { return form.Timer2.Enabled(); }

bool Chance(TForm1& form, int odds) { return form.Rnd(odds) == odds - 1; }

int TicksPer(TForm1& form, double perSecond) { return Nint(1000.0 / form.DXTimer1.Interval() / perSecond); }

void SetImage(TImageSprite& sprite, TForm1& form, const std::string& name) {
  sprite.ImageItem = &form.GameImgs.Items.FindItem(name);
  sprite.Width = sprite.ImageItem->CellWidth();
  sprite.Height = sprite.ImageItem->CellHeight();
}

void PlaySound(TForm1& form, const std::string& name) {
  if (form.G.Settings.SoundOn) form.DXWaveList1.Items.FindItem(name).PlaySound();
}

TSprite* PlayParent(TForm1& form) { return form.DXSpriteEngine1.Engine(); }
