// One tick of the frame timer: input, movement, drawing, texts, presentation.
#include "game/Form1.h"
#include "game/FrameTexts.h"
#include "game/handlers/Gamepad.h"
#include "game/replay/GameReplay.h"
#include "ui/MenuWidgets.h"

void TForm1::DXTimer1Timer(TDXTimer&, int) {
  if (!DXDraw1.ReadyToDraw()) return;
  DXInput1.PollInput();
  if (Replay) Replay->Frame();
  PadKeys(*this);
  // The background is drawn first, under everything: when it hides the whole frame, a
  // clear before it would only be painted over.
  if (G.Background == nullptr || !G.Background->CoversFrame()) DXDraw1.FillSurface(0);
  ++G.FrameCounter;  // wraps from 255 to 0
  DXSpriteEngine1.MoveTree(G.FrameCounter);
  DXSpriteEngine1.Purge();
  DXSpriteEngine1.DrawTree();
  PaintFrameTexts(*this, DXDraw1.SurfaceCanvas());
  if (Replaying && !ReplayMark.empty()) PaintReplayMark(DXDraw1.SurfaceCanvas(), ReplayMark);
  DXDraw1.ReleaseCanvas();
  DXDraw1.Present();
  if (Replay) Replay->EndOfTick();
}
