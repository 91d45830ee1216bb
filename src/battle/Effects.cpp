// Explosions and the head-up display's pictures.
#include "battle/Effects.h"

#include "battle/Battle.h"
#include "battle/Player.h"
#include "game/Form1.h"

namespace {

// An animation that plays from pattern 1, centred on a point.
void CentreOn(TImageSpriteEx& sprite, double x, double y) {
  sprite.FrameCount = sprite.ImageItem->NumPatterns();
  sprite.FramePos = 1;
  sprite.X = x - sprite.Width / 2.0;
  sprite.Y = y - sprite.Height / 2.0;
}

// One more pattern, or the end of the animation after the last.
void Advance(TImageSpriteEx& sprite) {
  if (sprite.FramePos < sprite.FrameCount - 1)
    sprite.FramePos += 1;
  else
    sprite.Kill();
}

// A bar: the picture stretched to `fraction` of its width; nothing when that is 0 or less.
void DrawBar(TImageSprite& bar, double fraction) {
  Surface* surface = bar.Engine->DrawSurface();
  const int length = Nint(fraction * bar.Width);
  if (surface == nullptr || length <= 0) return;
  const int x = Nint(bar.X), y = Nint(bar.Y);
  bar.ImageItem->StretchPattern(*surface, TRect{x, y, x + length, y + bar.Height}, 0);
}

}  // namespace

TVzriv::TVzriv(TForm1& form, double centreX, double centreY)
    : TImageSpriteEx(PlayParent(form)), Form(form), BornLevel(form.G.Level) {
  SetImage(*this, form, "Vzriv");
  AssignZ(8);
  CentreOn(*this, centreX, centreY);
  PlaySound(form, "Explod");
}

void TVzriv::MoveStep(int moveCount) {
  TImageSpriteEx::MoveStep(moveCount);
  LeavesPlay(*this, Form.G, BornLevel);
  // The move count is the frame counter: a pattern every second frame, also while play
  // stands still.
  if (moveCount % 2 == 0) Advance(*this);
}

TVzrivSmall::TVzrivSmall(TForm1& form, double centreX, double centreY)
    : TImageSpriteEx(PlayParent(form)), Form(form), BornLevel(form.G.Level) {
  SetImage(*this, form, "VzrivSmall");
  AssignZ(4);
  CentreOn(*this, centreX, centreY);
}

void TVzrivSmall::MoveStep(int moveCount) {
  TImageSpriteEx::MoveStep(moveCount);
  LeavesPlay(*this, Form.G, BornLevel);
  Advance(*this);
}

TScrDie::TScrDie(TForm1& form) : TImageSpriteEx(PlayParent(form)), Form(form) {
  SetImage(*this, form, "ScrDie");
  Visible = false;
  X = 359;
  Y = 115;
  AssignZ(10);
}

namespace {
bool OverlayStays(const GameGlobals& g) { return InPlay(g) || g.GameState == "EnterName"; }
}  // namespace

// The game reads the overlay through DeathScreen: from the moment it goes, there is none.
void TScrDie::Leave() {
  Kill();
  if (Form.G.DeathScreen == this) Form.G.DeathScreen = nullptr;
}

// Also when it is freed without leaving by itself (a new game clears the field, or the
// engine goes).
TScrDie::~TScrDie() {
  if (Form.G.DeathScreen == this) Form.G.DeathScreen = nullptr;
}

void TScrDie::DrawStep() {
  if (!OverlayStays(Form.G)) Leave();
  if (Surface* surface = Engine->DrawSurface()) ImageItem->DrawPattern(*surface, 359, 115, 0);
}

// A hidden overlay is never drawn, so it would never see the game end: it goes by the same
// rule here instead of staying behind after every game.
void TScrDie::MoveStep(int moveCount) {
  TImageSpriteEx::MoveStep(moveCount);
  if (!Visible && !OverlayStays(Form.G)) Leave();
}

TLifes::TLifes(TForm1& form) : TImageSpriteEx(PlayParent(form)), Form(form) {
  SetImage(*this, form, "Life");
  X = 300;
  Y = 30;
  AssignZ(10);
}

void TLifes::DrawStep() {
  if (!InPlay(Form.G)) Kill();
  const TPlayer* player = Form.G.Player;
  Surface* surface = Engine->DrawSurface();
  if (player == nullptr || surface == nullptr) return;
  for (int i = 1; i <= player->Lives; ++i) ImageItem->DrawPattern(*surface, 345 + 30 * i, 10, 0);
}

TPolosa1::TPolosa1(TForm1& form) : TImageSprite(PlayParent(form)), Form(form) {
  SetImage(*this, form, "Polosa1");
  X = 48;
  Y = 576;
  AssignZ(-1);
}

void TPolosa1::DrawStep() {
  if (!InPlay(Form.G)) Kill();
  if (const TPlayer* player = Form.G.Player) DrawBar(*this, player->Health / 100.0);
}

TPolosa2::TPolosa2(TForm1& form) : TImageSprite(PlayParent(form)), Form(form) {
  SetImage(*this, form, "Polosa2");
  X = 199;
  Y = 576;
  AssignZ(-1);
}

void TPolosa2::DrawStep() {
  const GameGlobals& g = Form.G;
  if (!InPlay(g)) Kill();
  if (g.BunkerHealthMax > 0) DrawBar(*this, double(g.BunkerHealth) / g.BunkerHealthMax);
}
