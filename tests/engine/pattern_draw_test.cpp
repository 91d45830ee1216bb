// Tests of the pattern draws: clipping at every edge, colour key, stretch, blend, rotation,
// and the draws that must do nothing.
#include <gtest/gtest.h>

#include <vector>

#include "engine/PatternDraw.h"
#include "engine/PictureCollection.h"

namespace {

constexpr uint32_t kBack = 0x101010, kKey = 0xFF00FF;

// A 2-pattern item: each pattern w x h with distinct pixels; pixel (1, 1) of each is the key.
TPictureCollectionItem MakeItem(int w, int h) {
  Surface s(2 * w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 2 * w; ++x) s.At(x, y) = (x % w == 1 && y == 1) ? kKey : uint32_t(0x010000 * (x + 1) + 0x100 * (y + 1) + 7);
  TPictureCollectionItem item;
  item.PatternWidth = w;
  item.PatternHeight = h;
  item.TransparentColor = 0xFF00FF;  // the same in both byte orders
  item.Picture.Graphic = TDib{s, 24, {}};
  item.Prepare();
  return item;
}

Surface Back(int w, int h) {
  Surface s(w, h);
  std::fill(s.Pixels.begin(), s.Pixels.end(), kBack);
  return s;
}

// What drawing pattern 1 at its own size at (x, y) must give, computed pixel by pixel.
Surface Expected(const TPictureCollectionItem& item, int w, int h, int x, int y, bool transparent) {
  Surface out = Back(w, h);
  const TRect r = item.PatternRect(1);
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      const int u = px - x, v = py - y;
      if (u < 0 || v < 0 || u >= r.Width() || v >= r.Height()) continue;
      const uint32_t p = item.PatternSurface()->At(r.Left + u, r.Top + v);
      if (!transparent || p != kKey) out.At(px, py) = p;
    }
  return out;
}

TEST(PatternDraw, ClipsAtEveryEdge) {
  struct Case { int X, Y; };
  const std::vector<Case> cases = {{0, 0}, {3, 2}, {-10, 1}, {-31, 0}, {-32, 0}, {8, 1}, {9, 0}, {10, 0},
                                   {2, -3}, {2, -5}, {2, 6}, {2, 7}, {2, 8}, {-40, -40}, {100, 100}, {-5, -2}};
  TPictureCollectionItem item = MakeItem(32, 5);
  for (bool transparent : {true, false}) {
    item.Transparent = transparent;
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.X << "," << c.Y << " transparent " << transparent);
      Surface dest = Back(10, 8);
      item.DrawPattern(dest, c.X, c.Y, 1);
      EXPECT_EQ(dest.Pixels, Expected(item, 10, 8, c.X, c.Y, transparent).Pixels);
    }
  }
}

TEST(PatternDraw, MinusTenCopiesColumnsTenOn) {
  TPictureCollectionItem item = MakeItem(32, 5);
  Surface dest = Back(40, 5);
  item.DrawPattern(dest, -10, 0, 0);
  for (int x = 0; x < 22; ++x) EXPECT_EQ(dest.At(x, 0), item.PatternSurface()->At(x + 10, 0));
  EXPECT_EQ(dest.At(22, 0), kBack);
}

TEST(PatternDraw, NothingForBadPatternsEmptyRectsOrUnpreparedItems) {
  TPictureCollectionItem item = MakeItem(4, 3);
  const Surface untouched = Back(8, 8);
  Surface dest = untouched;
  for (int pattern : {-1, 2, 1000}) {
    item.DrawPattern(dest, 0, 0, pattern);
    item.StretchPattern(dest, Bounds(0, 0, 8, 8), pattern);
    item.BlendPattern(dest, Bounds(0, 0, 8, 8), pattern, 128);
    item.RotatePattern(dest, 4, 4, 4, 3, pattern, 0.5, 0.5, 10);
  }
  for (const TRect& empty : {TRect{2, 2, 2, 6}, TRect{2, 2, 6, 2}, TRect{6, 6, 2, 2}}) {
    item.StretchPattern(dest, empty, 0);
    item.BlendPattern(dest, empty, 0, 255);
  }
  item.RotatePattern(dest, 4, 4, 0, 3, 0, 0, 0, 0);
  item.RotatePattern(dest, 4, 4, 4, 0, 0, 0, 0, 0);
  item.BlendPattern(dest, Bounds(0, 0, 8, 8), 0, 0);
  item.BlendPattern(dest, Bounds(0, 0, 8, 8), 0, -5);
  item.RotateBlendPattern(dest, 4, 4, 4, 3, 0, 0, 0, 0, 0);
  item.Unprepare();
  item.DrawPattern(dest, 0, 0, 0);
  item.StretchPattern(dest, Bounds(0, 0, 8, 8), 0);
  EXPECT_EQ(dest.Pixels, untouched.Pixels);
}

TEST(PatternDraw, ClipHelper) {
  const Surface s(10, 8);
  struct Case { TRect In; bool Visible; TRect Out; int CutLeft, CutTop; };
  const std::vector<Case> cases = {
      {{0, 0, 10, 8}, true, {0, 0, 10, 8}, 0, 0},
      {{-3, -2, 4, 3}, true, {0, 0, 4, 3}, 3, 2},
      {{5, 6, 20, 20}, true, {5, 6, 10, 8}, 0, 0},
      {{10, 0, 12, 8}, false, {}, 0, 0},
      {{0, -5, 10, 0}, false, {}, 0, 0},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, true, {0, 0, 10, 8}, INT32_MAX, INT32_MAX},
  };
  for (const Case& c : cases) {
    TClip clip;
    ASSERT_EQ(ClipToSurface(s, c.In, clip), c.Visible);
    if (!c.Visible) continue;
    EXPECT_EQ(clip.Visible, c.Out);
    if (c.CutLeft != INT32_MAX) {
      EXPECT_EQ(clip.CutLeft, c.CutLeft);
      EXPECT_EQ(clip.CutTop, c.CutTop);
    }
  }
}

// Keyed rows of every width from 1 to 40, with the key at every position within the
// blocks the row is copied in, and rows that start at every offset.
// Row by row, or run by run where the picture's runs are known; placed whole or cut by the
// destination's edges.
TEST(PatternDraw, KeyedRowsOfEveryWidthSkipExactlyTheKeyPixels) {
  Surface picture(48, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 48; ++x) picture.At(x, y) = (x * 7 + y * 3) % 5 == 0 ? kKey : uint32_t(0x030201 * (x + 1) + y);
  picture.At(20, 1) = picture.At(21, 1) = picture.At(22, 1) = kKey;  // a longer gap
  const TOpaqueRuns runs = FindOpaqueRuns(picture, kKey);
  for (const TOpaqueRuns* known : {static_cast<const TOpaqueRuns*>(nullptr), &runs}) {
    for (int width = 1; width <= 40; ++width) {
      for (int left = 0; left < 8; ++left) {
        for (int at : {3, -2, 45}) {
          const TPatternSource src{picture, Bounds(left, 0, width, 3), true, kKey, known};
          Surface dest = Back(50, 5);
          DrawPattern(dest, src, at, 1);
          Surface expected = Back(50, 5);
          for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
              if (at + x >= 0 && at + x < 50 && picture.At(left + x, y) != kKey)
                expected.At(at + x, 1 + y) = picture.At(left + x, y);
          ASSERT_EQ(dest.Pixels, expected.Pixels)
              << "width " << width << " from " << left << " at " << at << (known ? " by runs" : "");
        }
      }
    }
  }
}

// A picture drawn onto itself, two pixels to the right of where it lies: a plain draw
// copies the row as it stood (like memmove); a keyed draw goes pixel by pixel from the left.
TEST(PatternDraw, DrawingOntoTheSameSurfaceIsWellDefined) {
  for (bool transparent : {false, true}) {
    Surface s(20, 2);
    for (int x = 0; x < 20; ++x) s.At(x, 0) = x % 3 == 0 ? kKey : uint32_t(x + 1), s.At(x, 1) = kBack;
    Surface expected = s;
    for (int x = 0; x < 16; ++x) {
      const uint32_t p = transparent ? expected.At(x, 0) : s.At(x, 0);
      if (!transparent || p != kKey) expected.At(x + 2, 0) = p;
    }
    DrawPattern(s, TPatternSource{s, Bounds(0, 0, 16, 1), transparent, kKey}, 2, 0);
    EXPECT_EQ(s.Pixels, expected.Pixels) << "transparent " << transparent;
  }
}

// Nearest pixel in 16.16 steps: destination pixel i samples source (i * step) >> 16.
uint32_t Sample(const TPictureCollectionItem& item, int pattern, const TRect& dest, int i, int j) {
  const TRect r = item.PatternRect(pattern);
  const int64_t stepX = int64_t(r.Width()) * 65536 / dest.Width(), stepY = int64_t(r.Height()) * 65536 / dest.Height();
  return item.PatternSurface()->At(r.Left + int((i * stepX) >> 16), r.Top + int((j * stepY) >> 16));
}

TEST(PatternDraw, StretchSamplesNearestPixelAndClips) {
  TPictureCollectionItem item = MakeItem(4, 3);
  item.Transparent = false;
  for (const TRect& rect : {Bounds(0, 0, 8, 6), Bounds(1, 1, 3, 2), Bounds(-5, -4, 13, 11), Bounds(2, 3, 4, 3)}) {
    Surface dest = Back(8, 6);
    item.StretchPattern(dest, rect, 1);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool inside = x >= rect.Left && x < rect.Right && y >= rect.Top && y < rect.Bottom;
        EXPECT_EQ(dest.At(x, y), inside ? Sample(item, 1, rect, x - rect.Left, y - rect.Top) : kBack) << x << "," << y;
      }
  }
  // With the key on, the keyed pixel leaves the destination unchanged.
  item.Transparent = true;
  Surface dest = Back(8, 6);
  item.StretchPattern(dest, Bounds(0, 0, 8, 6), 0);
  EXPECT_EQ(dest.At(2, 2), kBack);
  EXPECT_EQ(dest.At(3, 3), kBack);
  EXPECT_NE(dest.At(0, 0), kBack);
}

TEST(PatternDraw, BlendWeightsAreAlphaOver256) {
  TPictureCollectionItem item = MakeItem(4, 3);
  struct Case { int Alpha; uint32_t Src, Dst, Want; };
  const std::vector<Case> cases = {
      {128, 0xFF0000, 0x000000, 0x7F0000},  // 255 * 128 / 256
      {128, 0x000000, 0xFFFFFF, 0x7F7F7F},  // 255 - 255 * 128 / 256 rounded down: 127
      {1, 0xFFFFFF, 0x000000, 0x000000},
      {254, 0xFFFFFF, 0x000000, 0xFDFDFD},
      {64, 0x102030, 0x506070, 0x405060},
      {255, 0x123456, 0xABCDEF, 0x123456},
      {1000, 0x123456, 0xABCDEF, 0x123456},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Alpha);
    TPictureCollectionItem one;
    one.Transparent = false;
    Surface src(1, 1);
    src.At(0, 0) = c.Src;
    one.Picture.Graphic = TDib{src, 24, {}};
    one.Prepare();
    Surface dest(2, 1);
    dest.At(0, 0) = dest.At(1, 0) = c.Dst;
    one.BlendPattern(dest, Bounds(0, 0, 1, 1), 0, c.Alpha);
    EXPECT_EQ(dest.At(0, 0), c.Want);
    EXPECT_EQ(dest.At(1, 0), c.Dst);
    // The rotated blend weighs the same way.
    dest.At(0, 0) = c.Dst;
    one.RotateBlendPattern(dest, 0, 0, 1, 1, 0, 0, 0, 0, c.Alpha);
    EXPECT_EQ(dest.At(0, 0), c.Want);
  }
  // Alpha 255 copies exactly like the stretch, key included.
  Surface a = Back(9, 7), b = Back(9, 7);
  item.BlendPattern(a, Bounds(-1, 1, 9, 5), 1, 255);
  item.StretchPattern(b, Bounds(-1, 1, 9, 5), 1);
  EXPECT_EQ(a.Pixels, b.Pixels);
}

TEST(PatternDraw, RotationMapsCornersAsDefined) {
  TPictureCollectionItem item = MakeItem(5, 3);
  item.Transparent = false;
  const TRect r = item.PatternRect(1);
  auto src = [&](int u, int v) { return item.PatternSurface()->At(r.Left + u, r.Top + v); };
  struct Case {
    int Angle;
    double CenterX, CenterY;
    int (*Px)(int u, int v);  // where pattern pixel (u, v) lands, relative to (x, y)
    int (*Py)(int u, int v);
  };
  const std::vector<Case> cases = {
      {0, 0, 0, [](int u, int) { return u; }, [](int, int v) { return v; }},
      {256, 0, 0, [](int u, int) { return u; }, [](int, int v) { return v; }},
      {64, 0, 0, [](int, int v) { return -1 - v; }, [](int u, int) { return u; }},  // a quarter turn clockwise
      {-192, 0, 0, [](int, int v) { return -1 - v; }, [](int u, int) { return u; }},
      {128, 0, 0, [](int u, int) { return -1 - u; }, [](int, int v) { return -1 - v; }},
      {192, 0, 0, [](int, int v) { return v; }, [](int u, int) { return -1 - u; }},
      {0, 0.5, 0.5, [](int u, int) { return u - 2; }, [](int, int v) { return v - 1; }},  // centre 2.5, 1.5 truncated
      {128, 1, 1, [](int u, int) { return 4 - u; }, [](int, int v) { return 2 - v; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Angle << " " << c.CenterX);
    Surface dest = Back(20, 20);
    item.RotatePattern(dest, 10, 10, 5, 3, 1, c.CenterX, c.CenterY, c.Angle);
    Surface want = Back(20, 20);
    for (int v = 0; v < 3; ++v)
      for (int u = 0; u < 5; ++u) want.At(10 + c.Px(u, v), 10 + c.Py(u, v)) = src(u, v);
    EXPECT_EQ(dest.Pixels, want.Pixels);
  }
}

TEST(PatternDraw, RotationScalesAndClips) {
  TPictureCollectionItem item = MakeItem(5, 3);
  item.Transparent = false;
  // Angle 0 at double size equals the stretch into the same rectangle.
  Surface a = Back(20, 20), b = Back(20, 20);
  item.RotatePattern(a, 3, 4, 10, 6, 1, 0, 0, 0);
  item.StretchPattern(b, Bounds(3, 4, 10, 6), 1);
  EXPECT_EQ(a.Pixels, b.Pixels);
  // Partly and wholly off the surface at any angle: no fault, only on-surface pixels change.
  for (int angle = 0; angle < 256; angle += 7) {
    Surface small = Back(4, 4);
    item.RotatePattern(small, -3, 2, 40, 30, 0, 0.5, 0.5, angle);
    item.RotatePattern(small, 1000000, -1000000, 40, 30, 0, 0.5, 0.5, angle);
  }
}

}  // namespace
