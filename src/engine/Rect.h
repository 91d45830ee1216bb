// Integer rectangles with exclusive right and bottom edges.
#pragma once

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;

  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr bool Empty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

constexpr TRect Bounds(int x, int y, int width, int height) { return TRect{x, y, x + width, y + height}; }

// Rectangles that only touch do not overlap, and an empty one overlaps nothing.
constexpr bool OverlapRect(const TRect& a, const TRect& b) {
  return !a.Empty() && !b.Empty() && a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}
