// The bunker, blood and bonus objects.
#include "battle/Troops.h"

#include "battle/Battle.h"
#include "game/Form1.h"

TBunker::TBunker(TForm1& form) : TImageSprite(PlayParent(form)) {
  SetImage(*this, form, "BunkerN1");
  X = 323;
  Y = 355;
  AssignZ(-1);
}

TBunkerVerh::TBunkerVerh(TForm1& form) : TImageSprite(PlayParent(form)) {
  SetImage(*this, form, "BunkerV1");
  X = 323;
  Y = 289;
  AssignZ(-1);
}

TBlood::TBlood(TForm1& form, double centreX, double centreY)
    : TImageSpriteEx(PlayParent(form)), Form(form), BornLevel(form.G.Level) {
  SetImage(*this, form, "Blood");
  X = centreX - Width / 2.0;
  Y = centreY - Height / 2.0;
  AssignZ(7);
}

// Z counts its age: from 7 to 28, then it is gone. It runs on through the respawn wait.
void TBlood::MoveStep(int) {
  LeavesPlay(*this, Form.G, BornLevel);
  AssignZ(Z() + 1);
  if (Z() % 28 == 0) Kill();
}

TObj::TObj(TForm1& form, double x, int kind) : TImageSprite(PlayParent(form)), Form(form), BornLevel(form.G.Level) {
  Kind = uint8_t(kind == 6 ? form.Rnd(8) + 1 : kind);
  SetImage(*this, form, "Objs");
  FrameCount = ImageItem->NumPatterns();
  FramePos = Kind - 1;
  X = x;
  Y = 90;
}
