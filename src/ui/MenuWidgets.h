// The sprites the screens are built from. Each takes its size from its picture's pattern
// and its place and depth from its kind; none of them reacts to input itself.
#pragma once
#include <string>

#include "engine/PictureCollection.h"
#include "engine/Sprite.h"

// A full-screen background ("FonMenu" in the menus, "FonGame" in play), under everything.
class TFon : public TImageSprite {
 public:
  TFon(TSprite* parent, TPictureCollection& pictures, const std::string& imageName);
};
