// A drawing context on a surface with a brush, a font and a pen: what the game paints
// its texts and outlines with.
#pragma once
#include <string>
#include <string_view>

#include "engine/Surface.h"
#include "engine/platform/Platform.h"

enum class TBrushStyle { bsSolid, bsClear };
enum class TPenStyle { psSolid, psClear };

struct TBrush {
  TBrushStyle Style = TBrushStyle::bsSolid;
  uint32_t Color = RGB(255, 255, 255);
};

struct TPen {
  TPenStyle Style = TPenStyle::psSolid;
  uint32_t Color = 0;
  int Width = 1;
};

class TCanvas {
 public:
  TCanvas(platform::Platform& platform, Surface& surface) : platform_(platform), surface_(surface) {}

  TBrush Brush;
  platform::FontSpec Font;  // Name, Size (points), Bold, Color
  TPen Pen;

  // Text (Windows-1251) with the top-left of its character cell at (x, y).
  void TextOut(int x, int y, std::string_view text);
  // The same text drawn no wider than maxWidth: a longer one is condensed to fit, at the
  // font's own height (the brush is not drawn).
  void TextOutFitted(int x, int y, std::string_view text, int maxWidth);
  // The width of the text in the current font.
  int TextWidth(std::string_view text);
  // Rectangle with corners (left, top) and (right, bottom), right and bottom excluded:
  // filled with the brush unless it is clear, outlined with the pen centred on the edge.
  void Rectangle(int left, int top, int right, int bottom);
  void FillRect(int left, int top, int right, int bottom, uint32_t color);

 private:
  platform::Platform& platform_;
  Surface& surface_;
};
