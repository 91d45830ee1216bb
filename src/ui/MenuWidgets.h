// The sprites the screens are built from. Each takes its size from its picture's pattern
// and its place and depth from its kind; none of them reacts to input itself: the
// keyboard and mouse handlers set the flags these sprites show.
#pragma once
#include <string>

#include "engine/PictureCollection.h"
#include "engine/Sprite.h"

struct GameGlobals;

// A full-screen background ("FonMenu" in the menus, "FonGame" in play), under everything.
class TFon : public TImageSprite {
 public:
  TFon(TSprite* parent, TPictureCollection& pictures, const std::string& imageName);
  // True when it will hide every pixel of the frame: shown, opaque, and over the whole surface.
  bool CoversFrame() const;
};

// The panel of a sub-screen ("FonOpt", "FonHScr", "FonHelp").
class TFonB : public TImageSprite {
 public:
  TFonB(TSprite* parent, TPictureCollection& pictures, const std::string& imageName);
};

// A button: its picture is the highlighted look, drawn only while selected; the normal
// look is part of the background or panel under it.
class TMenuB : public TImageSprite {
 public:
  TMenuB(TSprite* parent, TPictureCollection& pictures, uint16_t x, uint16_t y, const std::string& imageName);
  void DrawStep() override;

  bool Selected = false;
};

// The frame of the question screens ("Qtns").
class TAsk : public TImageSprite {
 public:
  TAsk(TSprite* parent, TPictureCollection& pictures, const std::string& imageName);
};

// One help page: "Hlp" followed by the page number.
class THlp : public TImageSprite {
 public:
  THlp(TSprite* parent, TPictureCollection& pictures, int pageNo);
};

// The "send the score" check box of the name entry: ticked while the setting is on,
// hidden on every other screen.
class TChk : public TImageSprite {
 public:
  TChk(TSprite* parent, TPictureCollection& pictures, const GameGlobals& globals);
  void DrawStep() override;

  bool Shown = false;

 private:
  const GameGlobals& globals_;
};

// The ground strip of play, hit pixel by pixel (from the play pictures, "Niz").
class TNiz : public TImageSprite {
 public:
  TNiz(TSprite* parent, TPictureCollection& pictures);
};
