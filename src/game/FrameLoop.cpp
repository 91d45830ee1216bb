// One tick of the frame timer: input, movement, drawing, texts, presentation.
#include "game/Form1.h"
#include "game/FrameTexts.h"
#include "game/handlers/Gamepad.h"
#include "ui/MenuWidgets.h"

void TForm1::DXTimer1Timer(TDXTimer&, int) {
  if (!DXDraw1.ReadyToDraw()) return;
  DXInput1.PollInput();
  PadKeys(*this);
  // The background is drawn first, under everything: when it hides the whole frame, a
  // clear before it would only be painted over.
  if (G.Background == nullptr || !G.Background->CoversFrame()) DXDraw1.FillSurface(0);
  ++G.FrameCounter;  // wraps from 255 to 0
  DXSpriteEngine1.MoveTree(G.FrameCounter);
  DXSpriteEngine1.Purge();
  DXSpriteEngine1.DrawTree();
  PaintFrameTexts(*this, DXDraw1.SurfaceCanvas());
  DXDraw1.ReleaseCanvas();
  DXDraw1.Present();
}
