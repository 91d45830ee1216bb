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

int TCanvas::TextWidth(std::string_view text) {
  int width = 0, height = 0;
  platform_.TextExtent(text, Font, width, height);
  return width;
}

void TCanvas::TextOutFitted(int x, int y, std::string_view text, int maxWidth) {
  int width = 0, height = 0;
  platform_.TextExtent(text, Font, width, height);
  if (width <= maxWidth || maxWidth <= 0 || height <= 0) {
    TextOut(x, y, text);
    return;
  }
  // White on black gives each pixel's coverage; each column of the narrower text averages
  // the columns it stands for, and the font's colour is laid on with that coverage.
  Surface coverage(width, height);
  platform::FontSpec white = Font;
  white.Color = RGB(255, 255, 255);
  platform_.DrawText(coverage, 0, 0, text, white);
  const uint32_t c = Font.Color;
  for (int row = 0; row < height; ++row) {
    const int dy = y + row;
    if (dy < 0 || dy >= surface_.Height) continue;
    for (int col = 0; col < maxWidth; ++col) {
      const int dx = x + col;
      if (dx < 0 || dx >= surface_.Width) continue;
      const int from = col * width / maxWidth, to = std::max(from + 1, (col + 1) * width / maxWidth);
      int sum = 0;
      for (int k = from; k < to; ++k) sum += int(coverage.At(k, row) & 0xFF);
      const int a = sum / (to - from);
      if (a == 0) continue;
      uint32_t& d = surface_.At(dx, dy);
      const auto mix = [a](uint32_t dst, uint32_t src, int shift) {
        const int dv = int((dst >> shift) & 0xFF), sv = int((src >> shift) & 0xFF);
        return uint32_t(dv + (sv - dv) * a / 255) << shift;
      };
      d = mix(d, c, 16) | mix(d, c, 8) | mix(d, c, 0);
    }
  }
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
