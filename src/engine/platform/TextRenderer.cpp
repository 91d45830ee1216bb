// Canvas text: fontconfig finds a Cyrillic-capable face, SDL_ttf renders, we blend it in.
#include "engine/platform/TextRenderer.h"

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "payload/Cp1251.h"

namespace platform {
namespace {

constexpr unsigned kDpi = 96;
// Letters every chosen face must have: the game writes Russian.
constexpr FcChar32 kCyrillicProbe[] = {0x0416, 0x0436};

// Free fonts that stand in for the Windows families the game names.
const std::map<std::string, std::string, std::less<>>& Substitutes() {
  static const std::map<std::string, std::string, std::less<>> table = {
      {"arial", "Liberation Sans"},
      {"comic sans ms", "Comfortaa"},
  };
  return table;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

struct Face {
  std::string File;  // empty when nothing fits
  int Index = 0;
  bool IsBold = false;  // the face itself is bold; otherwise bold is synthesised
};

bool CoversCyrillic(FcPattern* font) {
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
  for (FcChar32 c : kCyrillicProbe)
    if (!FcCharSetHasChar(charset, c)) return false;
  return true;
}

bool HasFamily(FcPattern* font, const std::string& family) {
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i)
    if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0) return true;
  return false;
}

// fontconfig's ranking of installed faces for the family; the first scalable one with
// Cyrillic wins. With exactFamily, only faces of that very family count.
Face Query(FcConfig* config, const std::string& family, bool bold, bool exactFamily) {
  Face face;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return face;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  if (FcCharSet* charset = FcCharSetCreate()) {
    for (FcChar32 c : kCyrillicProbe) FcCharSetAddChar(charset, c);
    FcPatternAddCharSet(pattern, FC_CHARSET, charset);
    FcCharSetDestroy(charset);
  }
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* fonts = FcFontSort(config, pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);
  if (!fonts) return face;
  for (int i = 0; i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    FcBool scalable = FcFalse;
    FcChar8* file = nullptr;
    if (FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) != FcResultMatch || !scalable) continue;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    if (!CoversCyrillic(font) || (exactFamily && !HasFamily(font, family))) continue;
    int index = 0, weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
    face = {reinterpret_cast<const char*>(file), index, weight >= FC_WEIGHT_DEMIBOLD};
    break;
  }
  FcFontSetDestroy(fonts);
  return face;
}

Face Resolve(FcConfig* config, const std::string& family, bool bold) {
  auto sub = Substitutes().find(Lower(family));
  if (sub != Substitutes().end()) {
    Face face = Query(config, sub->second, bold, true);
    if (!face.File.empty()) return face;
  }
  for (const std::string& name : {family, std::string("Liberation Sans"), std::string("DejaVu Sans")}) {
    Face face = Query(config, name, bold, false);
    if (!face.File.empty()) return face;
  }
  return {};
}

// The game's strings are C strings at heart: nothing after a NUL is shown.
std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

// One character's coverage, placed relative to the top-left of its cell.
struct Glyph {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Advance = 0;
  std::vector<uint8_t> Alpha;
};

Glyph RenderGlyph(TTF_Font* font, char32_t cp) {
  Glyph glyph;
  int minX, maxX, minY, maxY;
  if (TTF_GlyphMetrics32(font, cp, &minX, &maxX, &minY, &maxY, &glyph.Advance) != 0) return glyph;
  SDL_Surface* image = TTF_RenderGlyph32_Blended(font, cp, SDL_Color{255, 255, 255, 255});
  if (!image) return glyph;  // a blank such as the space
  if (image->format->BytesPerPixel == 4 && SDL_LockSurface(image) == 0) {
    // SDL_ttf's picture starts at the ascent line and the pen origin, but grows upwards
    // for a letter that rises above the ascent (Ё in Comfortaa) and leftwards for one that
    // reaches left of its origin ('j'); those parts belong above and left of the cell.
    glyph.Left = -std::max(0, -minX);
    glyph.Top = -std::max(0, maxY - TTF_FontAscent(font));
    glyph.Width = image->w;
    glyph.Height = image->h;
    glyph.Alpha.resize(size_t(image->w) * size_t(image->h));
    const SDL_PixelFormat& fmt = *image->format;
    for (int y = 0; y < image->h; ++y) {
      const auto* row =
          reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(image->pixels) + y * image->pitch);
      for (int x = 0; x < image->w; ++x)
        glyph.Alpha[size_t(y) * size_t(image->w) + size_t(x)] = uint8_t((row[x] & fmt.Amask) >> fmt.Ashift);
    }
    SDL_UnlockSurface(image);
  }
  SDL_FreeSurface(image);
  return glyph;
}

// Blends the glyph's coverage in the given colour onto the surface, clipped to it. 64-bit
// positions, so far-off text cannot overflow.
void Blend(Surface& surface, int64_t x, int64_t y, const Glyph& glyph, uint32_t color) {
  x += glyph.Left;
  y += glyph.Top;
  const int64_t left = std::max<int64_t>(0, x), right = std::min<int64_t>(surface.Width, x + glyph.Width);
  const int64_t upper = std::max<int64_t>(0, y), lower = std::min<int64_t>(surface.Height, y + glyph.Height);
  const int r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  for (int64_t dy = upper; dy < lower; ++dy) {
    const uint8_t* src = glyph.Alpha.data() + (dy - y) * glyph.Width;
    uint32_t* dst = surface.Row(int(dy));
    for (int64_t dx = left; dx < right; ++dx) {
      const int a = src[dx - x];
      if (a == 0) continue;
      const uint32_t d = dst[dx];
      auto mix = [a](int under, int over) { return uint32_t((under * 255 + (over - under) * a + 127) / 255); };
      dst[dx] = (mix(int(d >> 16) & 0xFF, r) << 16) | (mix(int(d >> 8) & 0xFF, g) << 8) | mix(int(d) & 0xFF, b);
    }
  }
}

// An opened face at one size with the glyphs of the code page drawn so far.
struct OpenFont {
  TTF_Font* Font = nullptr;
  std::array<std::unique_ptr<Glyph>, 256> Glyphs;

  const Glyph& GlyphFor(uint8_t byte) {
    if (!Glyphs[byte]) Glyphs[byte] = std::make_unique<Glyph>(RenderGlyph(Font, Cp1251CodePoint(byte)));
    return *Glyphs[byte];
  }
};

}  // namespace

struct TextRenderer::Impl {
  bool TtfReady = false;
  FcConfig* Config = nullptr;  // our own, so it is freed with the renderer
  std::map<std::pair<std::string, bool>, Face> Faces;
  // Opened fonts by file, face index, size in points (= pixel size at 96 dpi), synthetic bold.
  std::map<std::tuple<std::string, int, int, bool>, OpenFont> Fonts;

  const Face& FaceFor(const std::string& family, bool bold) {
    auto key = std::make_pair(family, bold);
    auto it = Faces.find(key);
    if (it == Faces.end()) it = Faces.emplace(key, Config ? Resolve(Config, family, bold) : Face{}).first;
    return it->second;
  }

  OpenFont* FontFor(const FontSpec& spec) {
    if (!TtfReady || spec.Size <= 0) return nullptr;
    const Face& face = FaceFor(spec.Name, spec.Bold);
    if (face.File.empty()) return nullptr;
    const bool synthBold = spec.Bold && !face.IsBold;
    auto key = std::make_tuple(face.File, face.Index, spec.Size, synthBold);
    auto it = Fonts.find(key);
    if (it == Fonts.end()) {  // a failure is remembered too, so it is not retried each frame
      it = Fonts.emplace(key, OpenFont{}).first;
      TTF_Font* font = TTF_OpenFontIndexDPI(face.File.c_str(), spec.Size, face.Index, kDpi, kDpi);
      if (font) TTF_SetFontStyle(font, synthBold ? TTF_STYLE_BOLD : TTF_STYLE_NORMAL);
      it->second.Font = font;
    }
    return it->second.Font ? &it->second : nullptr;
  }
};

TextRenderer::TextRenderer() : impl_(std::make_unique<Impl>()) {
  impl_->TtfReady = TTF_Init() == 0;
  impl_->Config = FcInitLoadConfigAndFonts();
}

TextRenderer::~TextRenderer() {
  for (auto& [key, font] : impl_->Fonts)
    if (font.Font) TTF_CloseFont(font.Font);
  if (impl_->TtfReady) TTF_Quit();
  if (impl_->Config) FcConfigDestroy(impl_->Config);
}

std::string TextRenderer::FontFileFor(const std::string& family, bool bold) {
  return impl_->FaceFor(family, bold).File;
}

// Characters are laid out one after the other by their whole-pixel advances, without
// kerning, as a canvas does; so text drawn at x + Extent continues the line seamlessly.
void TextRenderer::Extent(std::string_view cp1251, const FontSpec& font, int& width, int& height) {
  width = height = 0;
  OpenFont* open = impl_->FontFor(font);
  if (!open) return;
  height = TTF_FontHeight(open->Font);  // the cell height, whatever the letters
  for (char c : UpToNul(cp1251)) width += open->GlyphFor(uint8_t(c)).Advance;
}

void TextRenderer::Draw(Surface& surface, int x, int y, std::string_view cp1251, const FontSpec& font) {
  if (surface.Width <= 0 || surface.Height <= 0) return;
  OpenFont* open = impl_->FontFor(font);
  if (!open) return;
  int64_t pen = x;
  for (char c : UpToNul(cp1251)) {
    const Glyph& glyph = open->GlyphFor(uint8_t(c));
    Blend(surface, pen, y, glyph, font.Color);
    pen += glyph.Advance;
  }
}

}  // namespace platform
