// Tests of image sprites with small hand-made pictures: the pixel-exact hit test and the
// draws of TImageSprite and TImageSpriteEx on the engine's surface.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/PictureCollection.h"
#include "engine/Sprite.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0;
constexpr uint32_t kBackground = 0x123456;

// A picture from rows of '#' white, 'r' red, 'g' green, 'b' blue, '.' black; black is the
// transparent colour unless the caller picks another.
std::unique_ptr<TPictureCollectionItem> MakeItem(const std::vector<std::string>& rows, int patternWidth = 0,
                                                 int patternHeight = 0, bool prepare = true) {
  Surface pixels(int(rows[0].size()), int(rows.size()));
  for (int y = 0; y < pixels.Height; ++y)
    for (int x = 0; x < pixels.Width; ++x) {
      const char c = rows[size_t(y)][size_t(x)];
      pixels.At(x, y) = c == '#' ? kWhite : c == 'r' ? kRed : c == 'g' ? kGreen : c == 'b' ? kBlue : kBlack;
    }
  auto item = std::make_unique<TPictureCollectionItem>();
  item->Picture.Graphic = TDib{pixels, 32, {}};
  item->PatternWidth = patternWidth;
  item->PatternHeight = patternHeight;
  if (prepare) item->Prepare();
  return item;
}

// Solid at the top-left and bottom-right corners.
const std::vector<std::string> kCorners = {"#...", "....", "....", "...#"};
// Solid at (1, 1).
const std::vector<std::string> kDot = {"....", ".#..", "....", "...."};

template <class SpriteClass = TImageSprite>
SpriteClass* Place(TSprite* parent, TPictureCollectionItem* item, double x, double y, int width, int height) {
  auto* s = new SpriteClass(parent);
  s->ImageItem = item;
  s->X = x;
  s->Y = y;
  s->Width = width;
  s->Height = height;
  return s;
}

TEST(SpritePixelOverlap, PositionTable) {
  auto corners = MakeItem(kCorners), dot = MakeItem(kDot);
  // a shows kCorners, b shows kDot; the result must not depend on who asks.
  const struct {
    double ax, ay;
    int aw, ah;
    double bx, by;
    int bw, bh;
    bool overlap;
  } cases[] = {
      {0, 0, 4, 4, 2, 2, 4, 4, true},    // b's dot on a's bottom-right corner
      {0, 0, 4, 4, -1, -1, 4, 4, true},  // on the top-left corner
      {0, 0, 4, 4, 0, 0, 4, 4, false},   // rectangles overlap, solid pixels do not
      {0, 0, 4, 4, 3, 3, 4, 4, false},
      {0, 0, 4, 4, 4, 4, 4, 4, false},  // touching
      {0, 0, 8, 8, 4, 4, 4, 4, true},   // a is centred: its corners move to (2, 2) and (5, 5)
      {0, 0, 4, 4, 4, 4, 4, 4, false},
      {0, 0, 4, 4, 3, 3, 1, 1, true},  // (1 - 4) div 2 = -1, not -2
      {0, 0, 4, 4, 2.9, 2.9, 4, 4, true},
      {0, 0, 4, 4, 1.9, 1.9, 4, 4, false},
      {0, 0, 4, 4, -0.9, -0.9, 4, 4, false},  // truncated to 0, not -1
      {10.5, 20.5, 4, 4, 12.5, 22.5, 4, 4, true},
  };
  for (const auto& c : cases) {
    TSpriteEngine engine;
    TImageSprite* a = Place(&engine, corners.get(), c.ax, c.ay, c.aw, c.ah);
    TImageSprite* b = Place(&engine, dot.get(), c.bx, c.by, c.bw, c.bh);
    EXPECT_EQ(a->PixelOverlap(*b), c.overlap) << "b at " << c.bx << "," << c.by << " " << c.bw << "x" << c.bh;
    EXPECT_EQ(b->PixelOverlap(*a), c.overlap) << "b at " << c.bx << "," << c.by << " asking";
  }
}

TEST(SpritePixelOverlap, UsesTheCurrentPattern) {
  // Two 4 x 4 patterns: the first solid at (0, 0), the second at (3, 3).
  auto strip = MakeItem({"#.......", "........", "........", ".......#"}, 4, 4);
  auto dot = MakeItem(kDot);
  const struct {
    int frameStart;
    double framePos;
    bool overlap;
  } cases[] = {{0, 0, false}, {1, 0, true}, {0, 1.5, true}, {2, 0, false}, {-1, 0, false}, {0, 0.99, false}};
  for (const auto& c : cases) {
    TSpriteEngine engine;
    TImageSprite* a = Place(&engine, strip.get(), 0, 0, 4, 4);
    TImageSprite* b = Place(&engine, dot.get(), 2, 2, 4, 4);  // its dot at (3, 3)
    a->FrameStart = c.frameStart;
    a->FramePos = c.framePos;
    EXPECT_EQ(a->PixelOverlap(*b), c.overlap) << c.frameStart << " + " << c.framePos;
  }
}

TEST(SpritePixelOverlap, WithoutPixelsTheRectanglesDecide) {
  auto unprepared = MakeItem(kCorners, 0, 0, false);
  auto dot = MakeItem(kDot);
  TSpriteEngine engine;
  TImageSprite* a = Place(&engine, unprepared.get(), 0, 0, 4, 4);
  TImageSprite* b = Place(&engine, dot.get(), 0, 0, 4, 4);
  EXPECT_TRUE(a->PixelOverlap(*b));
  EXPECT_TRUE(b->PixelOverlap(*a));
  b->X = 4;
  EXPECT_FALSE(a->PixelOverlap(*b));
  b->X = 0;
  a->FrameStart = 1;  // outside its single pattern: size 0 x 0
  EXPECT_FALSE(a->PixelOverlap(*b));
  a->FrameStart = 0;
  a->ImageItem = nullptr;
  EXPECT_FALSE(a->PixelOverlap(*b));
}

TEST(SpritePixelOverlap, TransparentColourCountsEvenWhenTheItemIsOpaque) {
  // Red is the key here, stored as 0x00BBGGRR; black is solid.
  auto redKey = MakeItem({"rrrr", "rr.r", "rrrr", "rrrr"});
  redKey->TransparentColor = 0x000000FF;
  redKey->Transparent = false;
  auto dot = MakeItem(kDot);
  TSpriteEngine engine;
  TImageSprite* a = Place(&engine, redKey.get(), 0, 0, 4, 4);
  TImageSprite* b = Place(&engine, dot.get(), 1, 0, 4, 4);  // dot at (2, 1): a's black pixel
  EXPECT_TRUE(a->PixelOverlap(*b));
  b->X = 0;  // dot at (1, 1): red
  EXPECT_FALSE(a->PixelOverlap(*b));
}

TEST(SpritePixelOverlap, ImageSpriteExUsesItsOwnRectangle) {
  auto corners = MakeItem(kCorners), dot = MakeItem(kDot);
  TSpriteEngine engine;
  Surface surface(50, 50);
  engine.AttachSurface(&surface);
  auto* a = Place<TImageSpriteEx>(&engine, corners.get(), 20, 20, 4, 4);
  auto* b = Place<TImageSpriteEx>(&engine, dot.get(), 22, 22, 4, 4);
  EXPECT_TRUE(a->PixelOverlap(*b));
  b->X = b->Y = 20;
  EXPECT_FALSE(a->PixelOverlap(*b));
}

TEST(SpritePixelOverlap, HitTestAsksForPixelsOnlyWhenPixelExact) {
  auto corners = MakeItem(kCorners), dot = MakeItem(kDot);
  // The rectangles overlap and the solid pixels do not.
  const struct {
    bool colliderExact, targetExact, plainTarget;
    int hits;
  } cases[] = {
      {false, false, false, 1}, {true, false, false, 0}, {false, true, false, 0},
      {true, true, false, 0},   {true, false, true, 1},  // a plain sprite has no pixels to compare
  };
  for (const auto& c : cases) {
    TSpriteEngine engine;
    TImageSprite* collider = Place(&engine, corners.get(), 0, 0, 4, 4);
    collider->PixelExact = c.colliderExact;
    if (c.plainTarget) {
      auto* target = new TSprite(&engine);
      target->Width = target->Height = 4;
    } else {
      Place(&engine, dot.get(), 0, 0, 4, 4)->PixelExact = c.targetExact;
    }
    EXPECT_EQ(collider->Collide(), c.hits) << c.colliderExact << c.targetExact << c.plainTarget;
  }
}

// ---- drawing ----

struct Screen {
  Screen() {
    std::fill(surface.Pixels.begin(), surface.Pixels.end(), kBackground);
    engine.AttachSurface(&surface);
  }
  Surface surface{40, 30};
  TSpriteEngine engine;
};

TEST(SpriteImageDraw, DrawsTheCurrentPatternCentredOnTheSprite) {
  auto strip = MakeItem({"##rr", "##rr"}, 2, 2);
  Screen s;
  TImageSprite* sprite = Place(&s.engine, strip.get(), 10, 10, 4, 4);
  s.engine.Draw();
  EXPECT_EQ(s.surface.At(11, 11), kWhite);
  EXPECT_EQ(s.surface.At(12, 12), kWhite);
  EXPECT_EQ(s.surface.At(10, 10), kBackground);
  EXPECT_EQ(s.surface.At(13, 13), kBackground);

  sprite->FramePos = 1;
  s.engine.Draw();
  EXPECT_EQ(s.surface.At(12, 12), kRed);

  sprite->FramePos = 2;  // no such pattern
  sprite->X = 20;
  s.engine.Draw();
  EXPECT_EQ(s.surface.At(21, 11), kBackground);
  EXPECT_EQ(s.engine.DrawnCount(), 1);  // counted, though nothing was drawn
}

TEST(SpriteImageDraw, SpriteWithoutItemDrawsNothing) {
  Screen s;
  Place(&s.engine, nullptr, 0, 0, 40, 30);
  Place<TImageSpriteEx>(&s.engine, nullptr, 0, 0, 40, 30);
  s.engine.Draw();
  for (uint32_t p : s.surface.Pixels) ASSERT_EQ(p, kBackground);
}

TEST(SpriteImageDraw, ExStretchesToItsSize) {
  auto quad = MakeItem({"rg", "b#"});
  for (int angle : {0, 256, -256}) {
    Screen s;
    Place<TImageSpriteEx>(&s.engine, quad.get(), 10, 10, 4, 4)->Angle = angle;
    s.engine.Draw();
    EXPECT_EQ(s.surface.At(10, 10), kRed) << angle;
    EXPECT_EQ(s.surface.At(11, 11), kRed) << angle;
    EXPECT_EQ(s.surface.At(13, 10), kGreen) << angle;
    EXPECT_EQ(s.surface.At(10, 13), kBlue) << angle;
    EXPECT_EQ(s.surface.At(13, 13), kWhite) << angle;
    EXPECT_EQ(s.surface.At(14, 14), kBackground) << angle;
  }
}

TEST(SpriteImageDraw, ExBlendsBelowFullAlpha) {
  auto white = MakeItem({"##", "##"});
  Screen s;
  std::fill(s.surface.Pixels.begin(), s.surface.Pixels.end(), kBlack);
  Place<TImageSpriteEx>(&s.engine, white.get(), 10, 10, 4, 4)->Alpha = 128;
  s.engine.Draw();
  const uint32_t p = s.surface.At(11, 11);
  EXPECT_NE(p, kBlack);
  EXPECT_NE(p, kWhite);
  EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
  EXPECT_EQ(s.surface.At(14, 11), kBlack);
}

TEST(SpriteImageDraw, ExRotatesAroundItsCentre) {
  auto white = MakeItem({"####", "####", "####", "####"});
  for (int alpha : {255, 128}) {
    Screen s;
    auto* sprite = Place<TImageSpriteEx>(&s.engine, white.get(), 10, 10, 8, 8);
    sprite->Angle = 64;
    sprite->Alpha = alpha;
    s.engine.Draw();
    EXPECT_NE(s.surface.At(14, 14), kBackground) << alpha;
    EXPECT_EQ(s.surface.At(30, 25), kBackground) << alpha;
    EXPECT_EQ(s.surface.At(2, 2), kBackground) << alpha;
  }
}

}  // namespace
