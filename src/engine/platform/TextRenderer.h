// Canvas text for both back ends: fontconfig picks an installed face for the game's font
// names (one that has Cyrillic glyphs), SDL_ttf draws it onto a 32-bit surface.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "engine/Surface.h"
#include "engine/platform/Platform.h"

namespace platform {

class TextRenderer {
 public:
  TextRenderer();
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  // Draws Windows-1251 text, blended onto the surface, with the top-left corner of its
  // character cell at (x, y); clipped to the surface.
  void Draw(Surface& surface, int x, int y, std::string_view cp1251, const FontSpec& font);
  void Extent(std::string_view cp1251, const FontSpec& font, int& width, int& height);

  // The font file that stands in for a family name; empty when none is installed.
  std::string FontFileFor(const std::string& family, bool bold);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
