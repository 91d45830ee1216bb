// Construction of the screen sprites.
#include "ui/MenuWidgets.h"

namespace {
// Picture, pattern size and depth: what every screen sprite sets up the same way.
void Dress(TImageSprite& sprite, TPictureCollection& pictures, const std::string& imageName, int z) {
  sprite.ImageItem = &pictures.FindItem(imageName);
  sprite.Width = sprite.ImageItem->PatternWidth;
  sprite.Height = sprite.ImageItem->PatternHeight;
  sprite.AssignZ(z);
}
}  // namespace

TFon::TFon(TSprite* parent, TPictureCollection& pictures, const std::string& imageName) : TImageSprite(parent) {
  Dress(*this, pictures, imageName, -10);
}
