// Canvas text: which faces stand in for the game's fonts, where and how the text lands.
#include <SDL_ttf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/platform/TextRenderer.h"
#include "payload/Cp1251.h"

namespace {

using platform::FontSpec;
using platform::TextRenderer;
using platform::Utf8ToCp1251;

FontSpec Font(const char* name, int size, bool bold = false, uint32_t color = 0xFFFFFF) {
  FontSpec font;
  font.Name = name;
  font.Size = size;
  font.Bold = bold;
  font.Color = color;
  return font;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Bounding box of the pixels that differ from the background.
struct Box {
  int Left = INT_MAX, Top = INT_MAX, Right = -1, Bottom = -1;  // inclusive
  bool Empty() const { return Right < 0; }
  int Width() const { return Right - Left + 1; }
  int Height() const { return Bottom - Top + 1; }
};

Box Ink(const Surface& surface, uint32_t background = 0) {
  Box box;
  for (int y = 0; y < surface.Height; ++y)
    for (int x = 0; x < surface.Width; ++x)
      if (surface.At(x, y) != background) {
        box.Left = std::min(box.Left, x), box.Right = std::max(box.Right, x);
        box.Top = std::min(box.Top, y), box.Bottom = std::max(box.Bottom, y);
      }
  return box;
}

Surface Drawn(TextRenderer& text, const std::string& utf8, const FontSpec& font, int x = 10, int y = 10,
              int width = 400, int height = 100) {
  Surface surface(width, height);
  text.Draw(surface, x, y, Utf8ToCp1251(utf8), font);
  return surface;
}

const char* const kGameFonts[] = {"Arial", "Comic Sans MS"};

class TextRendererTest : public ::testing::Test {
 protected:
  TextRenderer text_;
};

TEST_F(TextRendererTest, GameFamiliesResolveToFreeLookAlikes) {
  struct Case {
    const char* Family;
    bool Bold;
    const char* File;
  };
  const Case cases[] = {
      {"Arial", false, "LiberationSans-Regular.ttf"}, {"Arial", true, "LiberationSans-Bold.ttf"},
      {"arial", false, "LiberationSans-Regular.ttf"}, {"Comic Sans MS", false, "Comfortaa-Regular.ttf"},
      {"Comic Sans MS", true, "Comfortaa-Bold.ttf"},  {"COMIC SANS MS", false, "Comfortaa-Regular.ttf"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BaseName(text_.FontFileFor(c.Family, c.Bold)), c.File) << c.Family << " bold " << c.Bold;
}

TEST_F(TextRendererTest, AnyOtherNameGetsAFaceWithCyrillic) {
  ASSERT_EQ(TTF_Init(), 0);
  for (const char* family : {"Comic Neue", "Times New Roman", "Courier New", "No Such Family", ""}) {
    const std::string file = text_.FontFileFor(family, false);
    ASSERT_FALSE(file.empty()) << family;
    EXPECT_EQ(BaseName(file).find("ComicNeue"), std::string::npos) << family;  // it has no Cyrillic
    TTF_Font* font = TTF_OpenFont(file.c_str(), 12);
    ASSERT_NE(font, nullptr) << file;
    EXPECT_TRUE(TTF_GlyphIsProvided32(font, U'Ж') && TTF_GlyphIsProvided32(font, U'ж')) << file;
    TTF_CloseFont(font);
  }
  TTF_Quit();
}

TEST_F(TextRendererTest, EveryRussianLetterIsARealGlyph) {
  std::u32string letters = U"Ёё№";
  for (char32_t c = U'А'; c <= U'я'; ++c) letters += c;
  ASSERT_EQ(TTF_Init(), 0);
  for (const char* family : kGameFonts)
    for (bool bold : {false, true}) {
      const std::string file = text_.FontFileFor(family, bold);
      TTF_Font* font = TTF_OpenFont(file.c_str(), 12);
      ASSERT_NE(font, nullptr) << file;
      for (char32_t c : letters)
        EXPECT_TRUE(TTF_GlyphIsProvided32(font, c)) << file << " U+" << std::hex << uint32_t(c);
      TTF_CloseFont(font);
    }
  TTF_Quit();

  // Through the whole path too: a letter never comes out as the missing-glyph box (0x98
  // has no glyph) nor as the '?' of a failed conversion.
  for (const char* family : kGameFonts) {
    const FontSpec font = Font(family, 14);
    Surface missing(60, 60), question(60, 60);
    text_.Draw(missing, 5, 5, "\x98", font);
    text_.Draw(question, 5, 5, "?", font);
    ASSERT_FALSE(Ink(missing).Empty());
    for (int byte = 0xC0; byte <= 0xFF; ++byte)
      for (int letter : {byte, 0xA8, 0xB8}) {
        Surface surface(60, 60);
        text_.Draw(surface, 5, 5, std::string(1, char(letter)), font);
        EXPECT_NE(surface.Pixels, missing.Pixels) << family << " byte " << letter;
        EXPECT_NE(surface.Pixels, question.Pixels) << family << " byte " << letter;
      }
  }
}

TEST_F(TextRendererTest, PauseLandsInItsCharacterCell) {
  for (const char* family : kGameFonts)
    for (int size : {8, 12, 20, 36}) {
      SCOPED_TRACE(std::string(family) + " size " + std::to_string(size));
      const FontSpec font = Font(family, size);
      const double em = size * 96.0 / 72.0;
      const int x = 100, y = 200;
      Surface surface(800, 600);
      text_.Draw(surface, x, y, Utf8ToCp1251("ПАУЗА"), font);
      int width = 0, height = 0;
      text_.Extent(Utf8ToCp1251("ПАУЗА"), font, width, height);
      const Box ink = Ink(surface);
      ASSERT_FALSE(ink.Empty());
      // Capitals start just right of x and sit below the ascent line, inside the cell.
      EXPECT_GE(ink.Left, x);
      EXPECT_LE(ink.Left, x + 0.15 * em + 1);
      EXPECT_GE(ink.Top, y);
      EXPECT_LE(ink.Top, y + 0.35 * em);
      EXPECT_LE(ink.Right, x + width);  // a last letter may overhang its advance a little
      EXPECT_LT(ink.Bottom, y + height);
      // Capital height is most of the em; the cell a little more than the em.
      EXPECT_GE(ink.Height(), 0.6 * em);
      EXPECT_LE(ink.Height(), 0.85 * em + 1);
      EXPECT_GE(height, em);
      EXPECT_LE(height, 1.3 * em + 1);
      EXPECT_GE(width, 2.5 * em);
    }
}

TEST_F(TextRendererTest, LettersSitWhereTheirMetricsPutThem) {
  // Relative to the cell's corner, a letter's ink starts at its left bearing (left of x for
  // 'j') and its top at ascent - top bearing (above y for Ё in Comfortaa).
  ASSERT_EQ(TTF_Init(), 0);
  for (const char* family : kGameFonts)
    for (int size : {10, 20, 30}) {
      TTF_Font* font = TTF_OpenFontDPI(text_.FontFileFor(family, false).c_str(), size, 96, 96);
      ASSERT_NE(font, nullptr);
      for (const char* letter : {"j", "Ё", "Й", "Ж", "А", "ф", "у"}) {
        const std::string cp = Utf8ToCp1251(letter);
        int minX, maxX, minY, maxY, advance;
        ASSERT_EQ(
            TTF_GlyphMetrics32(font, platform::Cp1251CodePoint(uint8_t(cp[0])), &minX, &maxX, &minY, &maxY, &advance),
            0);
        const Box ink = Ink(Drawn(text_, letter, Font(family, size), 20, 20));
        EXPECT_EQ(ink.Left, 20 + minX) << family << " " << size << " " << letter;
        EXPECT_EQ(ink.Top, 20 + TTF_FontAscent(font) - maxY) << family << " " << size << " " << letter;
      }
      TTF_CloseFont(font);
    }
  TTF_Quit();
}

TEST_F(TextRendererTest, TextContinuesWhereItsExtentEnds) {
  // Drawing a word then a letter at the word's width looks like drawing both at once, also
  // when the first letter reaches left of its origin ('j') or the last beyond its advance.
  const char* const words[] = {"j", "jj", "ПАУЗА ", "Выйти из игры", "w", "№1", "Ёлки"};
  for (const char* family : kGameFonts)
    for (bool bold : {false, true})
      for (int size : {9, 16, 27}) {
        const FontSpec font = Font(family, size, bold);
        for (const char* word : words) {
          SCOPED_TRACE(std::string(family) + " " + std::to_string(size) + (bold ? " bold " : " ") + word);
          int width = 0, height = 0;
          text_.Extent(Utf8ToCp1251(word), font, width, height);
          const Box whole = Ink(Drawn(text_, std::string(word) + "Ж", font, 20, 10, 600));
          const Box head = Ink(Drawn(text_, word, font, 20, 10, 600));
          const Box tail = Ink(Drawn(text_, "Ж", font, 20 + width, 10, 600));
          EXPECT_EQ(whole.Left, std::min(head.Left, tail.Left));
          EXPECT_EQ(whole.Right, tail.Right);
        }
      }
}

TEST_F(TextRendererTest, ClippedAtEveryEdgeLikeOnALargerCanvas) {
  // Comfortaa's Ё reaches above the cell and Arial's j left of its origin: both clip too.
  const std::string word = Utf8ToCp1251("jПАУЗА Ёё");
  const int margin = 300;
  const int positions[][2] = {{-30, -10},         {760, 585},         {-5, 300},     {400, -20},
                              {790, 100},         {100, 590},         {-1000, 50},   {50, 5000},
                              {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, 10}, {10, INT_MAX}};
  bool anyPartial = false;
  for (const char* family : kGameFonts)
    for (const auto& p : positions) {
      const FontSpec font = Font(family, 20, false, 0xFFCC00);
      Surface surface(800, 600);
      text_.Draw(surface, p[0], p[1], word, font);
      Surface reference(800 + 2 * margin, 600 + 2 * margin);
      if (std::abs(double(p[0])) < margin + 800 && std::abs(double(p[1])) < margin + 600)
        text_.Draw(reference, p[0] + margin, p[1] + margin, word, font);
      bool same = true, lit = false;
      for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
          same = same && surface.At(x, y) == reference.At(x + margin, y + margin);
          lit = lit || surface.At(x, y) != 0;
        }
      EXPECT_TRUE(same) << family << " at " << p[0] << ", " << p[1];
      anyPartial = anyPartial || lit;
    }
  EXPECT_TRUE(anyPartial);
  Surface empty;
  text_.Draw(empty, 0, 0, word, Font("Arial", 20));  // a surface without pixels
}

TEST_F(TextRendererTest, BlendsTheColourOverWhatIsThere) {
  const uint32_t blue = 0x0000FF;
  Surface surface(300, 80);
  std::fill(surface.Pixels.begin(), surface.Pixels.end(), blue);
  const FontSpec font = Font("Comic Sans MS", 24, true, 0xFF0000);
  text_.Draw(surface, 10, 10, Utf8ToCp1251("Выйти из игры?"), font);
  int width = 0, height = 0;
  text_.Extent(Utf8ToCp1251("Выйти из игры?"), font, width, height);
  int solid = 0, partial = 0;
  for (int y = 0; y < surface.Height; ++y)
    for (int x = 0; x < surface.Width; ++x) {
      const uint32_t p = surface.At(x, y);
      if (p == blue) continue;
      // Inside the cell, but for descenders that may reach a little below it.
      EXPECT_TRUE(x >= 10 && x < 10 + width && y >= 10 && y < 10 + height + 4) << x << ", " << y;
      const int r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
      EXPECT_EQ(g, 0);
      EXPECT_NEAR(r + b, 255, 1) << std::hex << p;
      (p == 0xFF0000 ? solid : partial)++;
    }
  EXPECT_GT(solid, 0);
  EXPECT_GT(partial, 0);  // anti-aliased edges
}

TEST_F(TextRendererTest, BoldIsWider) {
  const std::string word = Utf8ToCp1251("Выйти из игры?");
  for (const char* family : kGameFonts) {
    int regular = 0, bold = 0, height = 0;
    text_.Extent(word, Font(family, 16), regular, height);
    text_.Extent(word, Font(family, 16, true), bold, height);
    EXPECT_GT(bold, regular) << family;
    EXPECT_GT(Ink(Drawn(text_, "Выйти из игры?", Font(family, 16, true))).Width(),
              Ink(Drawn(text_, "Выйти из игры?", Font(family, 16))).Width())
        << family;
  }
}

TEST_F(TextRendererTest, EmptyOddAndImpossibleInputsAreHarmless) {
  const FontSpec arial = Font("Arial", 12);
  int width = -1, height = -1;
  text_.Extent("", arial, width, height);
  EXPECT_EQ(width, 0);
  EXPECT_GT(height, 0);  // an empty line still has its height
  text_.Extent("A", Font("Arial", 0), width, height);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);

  Surface surface(200, 50);
  text_.Draw(surface, 5, 5, "", arial);
  text_.Draw(surface, 5, 5, "A", Font("Arial", 0));
  text_.Draw(surface, 5, 5, "A", Font("Arial", -12));
  EXPECT_TRUE(Ink(surface).Empty());

  std::string odd;
  for (int byte = 1; byte < 256; ++byte) odd += char(byte);
  text_.Draw(surface, 5, 5, odd, arial);
  text_.Extent(odd, arial, width, height);
  EXPECT_GT(width, 0);
  // Nothing after a NUL is shown, as with a C string.
  Surface withNul(200, 50), plain(200, 50);
  text_.Draw(withNul, 5, 5, std::string("AB\0CD", 5), arial);
  text_.Draw(plain, 5, 5, "AB", arial);
  EXPECT_EQ(withNul.Pixels, plain.Pixels);
}

// The choices of an option and the answers of a question stand at fixed positions either side
// of a "/". The face must keep at least one blank column between the slash and each word; in
// the display-mode row the positions leave only five pixels for the slash itself.
TEST_F(TextRendererTest, SlashesStandClearOfTheWordsBesideThem) {
  struct Row {
    const char* left;
    int leftX;
    int slashX;
    const char* right;
    int rightX;
    int y;
    int size;
  };
  const Row rows[] = {
      {"ОКОННЫЙ", 450, 535, "ПОЛНЫЙ ЭКРАН", 540, 214, 11},
      {"ВКЛ", 450, 485, "ВЫКЛ", 495, 261, 11},
      {"ДА", 335, 383, "НЕТ", 413, 300, 20},
  };
  for (const Row& row : rows) {
    const FontSpec font = Font("Arial", row.size, true);
    const auto inkAt = [&](const char* text, int x) { return Ink(Drawn(text_, text, font, x, row.y, 800, 600)); };
    const Box left = inkAt(row.left, row.leftX), slash = inkAt("/", row.slashX), right = inkAt(row.right, row.rightX);
    SCOPED_TRACE(std::string(row.left) + " / " + row.right);
    EXPECT_GE(slash.Left - left.Right - 1, 1);
    EXPECT_GE(right.Left - slash.Right - 1, 1);
  }
}

// Runs in a child process with a fontconfig that knows no fonts; exits 0 when all is blank.
[[noreturn]] void DrawWithoutAnyFont() {
  char config[] = "/tmp/zarovel-nofonts-XXXXXX";
  const int fd = mkstemp(config);
  const char empty[] = "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n";
  if (fd < 0 || write(fd, empty, sizeof empty - 1) < 0) std::exit(2);
  close(fd);
  setenv("FONTCONFIG_FILE", config, 1);
  TextRenderer text;
  Surface surface(100, 40);
  text.Draw(surface, 5, 5, "Test", Font("Arial", 12));
  int width = -1, height = -1;
  text.Extent("Test", Font("Arial", 12), width, height);
  unlink(config);
  const bool blank = text.FontFileFor("Arial", false).empty() && Ink(surface).Empty() && width == 0 && height == 0;
  std::exit(blank ? 0 : 1);
}

TEST(TextRendererWithoutFonts, DrawsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process with its own environment
  EXPECT_EXIT(DrawWithoutAnyFont(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
