// Construction and drawing of the screen sprites.
#include "ui/MenuWidgets.h"

#include <cmath>

#include "state/GameGlobals.h"

namespace {

// Picture, pattern size, place and depth: what every screen sprite sets up the same way.
void Dress(TImageSprite& sprite, TPictureCollection& pictures, const std::string& imageName, double x, double y,
           int z) {
  sprite.ImageItem = &pictures.FindItem(imageName);
  sprite.Width = sprite.ImageItem->PatternWidth;
  sprite.Height = sprite.ImageItem->PatternHeight;
  sprite.X = x;
  sprite.Y = y;
  sprite.AssignZ(z);
}

// Draws one pattern at the sprite's position rounded to the nearest pixel (halves to even).
void DrawAtPosition(TImageSprite& sprite, int pattern) {
  Surface* surface = sprite.Engine ? sprite.Engine->DrawSurface() : nullptr;
  if (surface == nullptr || sprite.ImageItem == nullptr) return;
  sprite.ImageItem->DrawPattern(*surface, int(std::nearbyint(sprite.X)), int(std::nearbyint(sprite.Y)), pattern);
}

}  // namespace

TFon::TFon(TSprite* parent, TPictureCollection& pictures, const std::string& imageName) : TImageSprite(parent) {
  Dress(*this, pictures, imageName, 0, 0, -10);
}

bool TFon::CoversFrame() const {
  if (IsDead || !Visible || ImageItem == nullptr || ImageItem->Transparent || Engine == nullptr) return false;
  const TRect frame = Engine->SurfaceBounds();
  const TRect own = OwnBounds();
  return !frame.Empty() && own.Left <= frame.Left && own.Top <= frame.Top && own.Right >= frame.Right &&
         own.Bottom >= frame.Bottom;
}

TFonB::TFonB(TSprite* parent, TPictureCollection& pictures, const std::string& imageName) : TImageSprite(parent) {
  Dress(*this, pictures, imageName, 201, 108, -5);
}

TMenuB::TMenuB(TSprite* parent, TPictureCollection& pictures, uint16_t x, uint16_t y, const std::string& imageName)
    : TImageSprite(parent) {
  Dress(*this, pictures, imageName, x, y, 0);
}

void TMenuB::DrawStep() {
  if (Selected) DrawAtPosition(*this, 0);
}

TAsk::TAsk(TSprite* parent, TPictureCollection& pictures, const std::string& imageName) : TImageSprite(parent) {
  Dress(*this, pictures, imageName, 170, 167, 11);
}

THlp::THlp(TSprite* parent, TPictureCollection& pictures, int pageNo) : TImageSprite(parent) {
  Dress(*this, pictures, "Hlp" + std::to_string(pageNo), 218, 167, 0);
}

TChk::TChk(TSprite* parent, TPictureCollection& pictures, const GameGlobals& globals)
    : TImageSprite(parent), globals_(globals) {
  Dress(*this, pictures, "Chk", 210, 335, 11);
}

void TChk::DrawStep() {
  if (globals_.GameState != "EnterName") Shown = false;
  if (Shown) DrawAtPosition(*this, globals_.Settings.SendScore == 1 ? 1 : 0);
}

TNiz::TNiz(TSprite* parent, TPictureCollection& pictures) : TImageSprite(parent) {
  Dress(*this, pictures, "Niz", 0, 478, -9);
  PixelExact = true;
}
