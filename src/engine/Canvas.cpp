// Canvas operations on the 32-bit back surface.
#include "engine/Canvas.h"

#include <algorithm>

void TCanvas::FillRect(int left, int top, int right, int bottom, uint32_t color) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, surface_.Width);
  bottom = std::min(bottom, surface_.Height);
  for (int y = top; y < bottom; ++y) std::fill(surface_.Row(y) + left, surface_.Row(y) + std::max(left, right), color);
}

void TCanvas::TextOut(int x, int y, std::string_view text) {
  if (Brush.Style == TBrushStyle::bsSolid) {
    int width = 0, height = 0;
    platform_.TextExtent(text, Font, width, height);
    FillRect(x, y, x + width, y + height, Brush.Color);
  }
  platform_.DrawText(surface_, x, y, text, Font);
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (Brush.Style == TBrushStyle::bsSolid) FillRect(left, top, right, bottom, Brush.Color);
  if (Pen.Style == TPenStyle::psClear || Pen.Width < 1) return;
  // The pen runs along the last pixel column and row inside the corners; a wide pen
  // spreads to both sides of that line.
  const int w = Pen.Width;
  const int before = (w - 1) / 2;
  const int lastX = right - 1, lastY = bottom - 1;
  FillRect(left - before, top - before, lastX - before + w, top - before + w, Pen.Color);          // top
  FillRect(left - before, lastY - before, lastX - before + w, lastY - before + w, Pen.Color);      // bottom
  FillRect(left - before, top - before, left - before + w, lastY - before + w, Pen.Color);         // left
  FillRect(lastX - before, top - before, lastX - before + w, lastY - before + w, Pen.Color);       // right
}
