// Drawing one pattern of a picture onto a 32-bit surface: plain, stretched, blended and rotated.
#pragma once
#include <cstddef>  // Surface.h uses size_t
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/Rect.h"
#include "engine/Surface.h"

// Where a keyed picture has something to draw: for each row, the runs of pixels other than
// the key, left to right, as [begin, end) columns. A keyed copy that has them goes run by run
// and never reads or writes what the key leaves out.
struct TOpaqueRuns {
  std::vector<uint32_t> RowFirst;  // Height + 1 entries: row y's runs are RowFirst[y] .. RowFirst[y + 1] - 1
  std::vector<std::pair<int, int>> Runs;
};
TOpaqueRuns FindOpaqueRuns(const Surface& pixels, uint32_t key);

// A pattern: a rectangle inside a picture, with its colour key.
struct TPatternSource {
  const Surface& Pixels;
  TRect Rect;  // inside Pixels
  bool Transparent = true;  // pixels equal to Key are not drawn
  uint32_t Key = 0;  // 0x00RRGGBB
  const TOpaqueRuns* Runs = nullptr;  // of all of Pixels with Key, when known
};

// The visible part of a destination rectangle on a surface.
struct TClip {
  TRect Visible;  // inside the surface, not empty
  int CutLeft = 0, CutTop = 0;  // destination pixels cut away on the left and at the top
};

// The one clipping rule of every draw: false when nothing of `rect` lies on the surface.
bool ClipToSurface(const Surface& surface, const TRect& rect, TClip& clip);

void DrawPattern(Surface& dest, const TPatternSource& src, int x, int y);
// Nearest-pixel scaling in 16.16 fixed point.
void StretchPattern(Surface& dest, const TPatternSource& src, const TRect& destRect);
// Scaled like StretchPattern; each channel becomes dest + (src - dest) * alpha / 256, rounded
// down. Nothing for alpha <= 0, a plain copy for alpha >= 255.
void BlendPattern(Surface& dest, const TPatternSource& src, const TRect& destRect, int alpha);
// The pattern scaled to width x height, turned by angle / 256 of a full turn (clockwise on
// screen) about its point (centerX * width, centerY * height), which lands on (x, y).
void RotatePattern(Surface& dest, const TPatternSource& src, int x, int y, int width, int height, double centerX,
                   double centerY, int angle, int alpha = 255);
