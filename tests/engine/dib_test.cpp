// Tests of bitmap decoding: one hand-made fixture per layout, the rejected headers, and encoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "engine/ComponentStream.h"
#include "engine/Dib.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) { TComponentWriter::PutU32(b, v); }
void Put16(Bytes& b, uint16_t v) { TComponentWriter::PutU16(b, v); }

Bytes Info(int32_t w, int32_t h, uint16_t bits, uint32_t compression = 0, uint32_t clrUsed = 0, uint32_t sizeImage = 0) {
  Bytes b;
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, bits);
  for (uint32_t v : {compression, sizeImage, 2835u, 2835u, clrUsed, 0u}) Put32(b, v);
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The header with one byte range overwritten (planes at 12, resolutions at 24..31).
Bytes Patched(Bytes b, size_t at, Bytes with) {
  std::copy(with.begin(), with.end(), b.begin() + std::ptrdiff_t(at));
  return b;
}

// The same DIB as a whole BMP file whose offset field is 0: pixels follow the palette.
Bytes AsFile(const Bytes& dib) {
  Bytes file = {'B', 'M'};
  Put32(file, uint32_t(14 + dib.size()));
  Put32(file, 0);
  Put32(file, 0);
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

// A full 256-entry palette: entry 1 red, entry 2 green, the rest black.
Bytes Palette256() {
  Bytes p(1024, 0);
  p[4 + 2] = 0xFF;
  p[8 + 1] = 0xFF;
  return p;
}

constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF, K = 0;
const Bytes kPalette4 = {0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};  // black, red, green, blue

struct Case {
  const char* Name;
  Bytes Dib;
  int Width, Height, BitCount;
  std::vector<uint32_t> Pixels;  // top row first
};

std::vector<Case> Cases() {
  return {
      {"1 bit, bottom-up, rows padded", Cat({Info(3, 2, 1, 0, 2), {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}}),
       3, 2, 1, {K, W, K, W, K, W}},
      {"4 bits, top-down, colours used 4", Cat({Info(3, -2, 4, 0, 4), kPalette4, {0x12, 0x30, 0, 0, 0x32, 0x10, 0, 0}}),
       3, 2, 4, {R, G, B, B, G, R}},
      {"8 bits, core header, 3-byte palette",
       Cat({{12, 0, 0, 0, 2, 0, 2, 0, 1, 0, 8, 0}, {0, 0, 0xFF, 0, 0xFF, 0}, Bytes(3 * 254, 0), {0, 1, 0, 0, 1, 0, 0, 0}}),
       2, 2, 8, {G, R, R, G}},
      {"8 bits, RLE: run, odd literal, delta, end of line, end of bitmap",
       Cat({Info(4, 3, 8, 1, 4, 18), kPalette4,
            {3, 1, 0, 0,            // row 0 (bottom): 3 red, end of line
             0, 3, 2, 3, 2, 0,      // row 1: literal green blue green, padded
             0, 2, 0, 1,            // delta down one row, x stays 3
             1, 3, 0, 1}}),         // row 2: x 3 blue, end of bitmap
       4, 3, 8, {K, K, K, B, G, B, G, K, R, R, R, K}},
      {"4 bits, RLE: run with two colours, literal",
       Cat({Info(5, 1, 4, 2, 4, 6), kPalette4, {5, 0x12, 0, 0, 0, 1}}), 5, 1, 4, {R, G, R, G, R}},
      {"4 bits, RLE literal", Cat({Info(3, 1, 4, 2, 4, 6), kPalette4, {0, 3, 0x32, 0x10, 0, 1}}), 3, 1, 4, {B, G, R}},
      {"16 bits, default 5-5-5", Cat({Info(2, 1, 16), {0x00, 0x7C, 0xFF, 0x7F}}), 2, 1, 16, {R, W}},
      {"16 bits, bit fields 5-6-5", Cat({Info(2, 1, 16, 3), {0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0}, {0xE0, 0x07, 0x10, 0x84}}),
       2, 1, 16, {G, 0x848284}},
      {"24 bits, bottom-up", Cat({Info(1, 2, 24), {0xFF, 0, 0, 0, 0x33, 0x22, 0x11, 0}}), 1, 2, 24, {0x112233, B}},
      {"32 bits, default, top byte ignored", Cat({Info(1, 1, 32), {0x56, 0x34, 0x12, 0xAB}}), 1, 1, 32, {0x123456}},
      {"32 bits, bit fields in odd order",
       Cat({Info(1, 1, 32, 3), {0, 0, 0, 0xFF, 0xF0, 0x0F, 0, 0, 0, 0, 0xFF, 0}, {0, 0x0F, 0x88, 0xCC}}),
       1, 1, 32, {0xCCF088}},
      {"24 bits with a needless palette", Cat({Info(1, 1, 24, 0, 1), {1, 2, 3, 0}, {0x33, 0x22, 0x11, 0}}), 1, 1, 24, {0x112233}},
      // Header values that bitmap writers put there and that have no bearing on the pixels.
      {"8 bits, colours used 0xFFFFFFFF with a full palette", Cat({Info(2, 1, 8, 0, 0xFFFFFFFF), Palette256(), {1, 2, 0, 0}}),
       2, 1, 8, {R, G}},
      {"planes 0", Cat({Patched(Info(1, 1, 24), 12, {0, 0}), {0x33, 0x22, 0x11, 0}}), 1, 1, 24, {0x112233}},
      {"resolutions -1", Cat({Patched(Info(1, 1, 24), 24, Bytes(8, 0xFF)), {0x33, 0x22, 0x11, 0}}), 1, 1, 24, {0x112233}},
      {"image size beyond the data", Cat({Info(1, 1, 24, 0, 0, 1000), {0x33, 0x22, 0x11, 0}}), 1, 1, 24, {0x112233}},
      {"17000 x 36, 24 bits, every pixel present",
       [] { Bytes b = Info(17000, 36, 24); for (int i = 0; i < 17000 * 36; ++i) b.insert(b.end(), {0x33, 0x22, 0x11}); return b; }(),
       17000, 36, 24, std::vector<uint32_t>(17000 * 36, 0x112233)},
      {"width 0: a picture without pixels", Info(0, 5, 24), 0, 0, 24, {}},
      {"height 0: a picture without pixels", Info(3, 0, 24), 0, 0, 24, {}},
      {"8 bits, RLE top-down", Cat({Info(2, -2, 8, 1, 4, 8), kPalette4, {2, 1, 0, 0, 2, 2, 0, 1}}), 2, 2, 8, {R, R, G, G}},
      {"16 bits, bit fields without blue", Cat({Info(1, 1, 16, 3), {0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0, 0, 0, 0}, {0x1F, 0xF8, 0, 0}}),
       1, 1, 16, {R}},
      {"16 bits, red mask with a gap", Cat({Info(1, 1, 16, 3), {5, 0, 0, 0, 0xE0, 7, 0, 0, 0x18, 0, 0, 0}, {5, 0, 0, 0}}),
       1, 1, 16, {R}},
      {"24 bits, bit fields ignored", Cat({Info(1, 1, 24, 3), Bytes(12, 0xAA), {0x33, 0x22, 0x11, 0}}), 1, 1, 24, {0x112233}},
  };
}

TEST(Dib, DecodesEachLayoutAsPictureAndAsFile) {
  for (const Case& c : Cases()) {
    for (const bool file : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (file ? ", as a BMP file" : ", as a picture"));
      TDib dib;
      ASSERT_NO_THROW(dib = file ? DecodeBmpFile(AsFile(c.Dib)) : DecodeDib(c.Dib));
      EXPECT_EQ(dib.Pixels.Width, c.Width);
      EXPECT_EQ(dib.Pixels.Height, c.Height);
      EXPECT_EQ(dib.BitCount, c.BitCount);
      EXPECT_TRUE(dib.Pixels.Pixels == c.Pixels);  // a mismatch of 612,000 pixels is not worth printing
    }
  }
}

TEST(Dib, PaletteIsColoursUsedOrTwoToTheBits) {
  EXPECT_EQ(DecodeDib(Cases()[0].Dib).Palette, (std::vector<uint32_t>{K, W}));
  EXPECT_EQ(DecodeDib(Cases()[1].Dib).Palette, (std::vector<uint32_t>{K, R, G, B}));
  EXPECT_EQ(DecodeDib(Cases()[2].Dib).Palette.size(), 256u);
  EXPECT_EQ(DecodeDib(Cases()[12].Dib).Palette.size(), 256u);  // colours used 0xFFFFFFFF
}

TEST(Dib, WholeBmpFileUsesItsPixelOffset) {
  const Bytes dib = Cases()[1].Dib;
  Bytes file = {'B', 'M'};
  Put32(file, uint32_t(14 + dib.size() + 6));
  Put32(file, 0);
  Put32(file, uint32_t(14 + 40 + kPalette4.size() + 6));  // six spare bytes before the pixels
  file.insert(file.end(), dib.begin(), dib.begin() + 40 + std::ptrdiff_t(kPalette4.size()));
  file.insert(file.end(), 6, 0xEE);
  file.insert(file.end(), dib.begin() + 40 + std::ptrdiff_t(kPalette4.size()), dib.end());
  EXPECT_EQ(DecodeBmpFile(file).Pixels.Pixels, Cases()[1].Pixels);
}

TEST(Dib, BadDataIsInvalidAsPictureAndAsFile) {
  Bytes bigPalette = Info(1, 1, 8, 0, 0x10000000);
  Bytes truncated = Cases()[8].Dib;
  const Bytes first = Cases()[0].Dib;
  const Bytes cutHeader(first.begin(), first.begin() + 30);
  truncated.pop_back();
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"fewer than 4 bytes", {40, 0, 0}},
      {"header size 41", Cat({{41, 0, 0, 0}, Bytes(60, 0)})},
      {"truncated header", cutHeader},
      {"negative width", Cat({Info(-1, 1, 24), Bytes(4, 0)})},
      {"3 bits", Cat({Info(1, 1, 3), Bytes(40, 0)})},
      {"compression 4", Cat({Info(1, 1, 24, 4), Bytes(4, 0)})},
      {"huge picture", Cat({Info(100000, 100000, 1), Bytes(16, 0)})},
      {"more rows than the data holds", Cat({Info(16384, 2048, 1), Bytes(16, 0)})},
      {"17000 x 36 with the last row missing", Cat({Info(17000, 36, 24), Bytes(17000 * 3 * 35, 0)})},
      {"lowest height, no pixels", Cat({Info(1, INT32_MIN, 24), Bytes(4, 0)})},
      {"run-length picture wider than the limit", Cat({Info(kMaxDibSide + 1, 1, 8, 1, 1, 2), Bytes(4, 0), {0, 1}})},
      {"run-length picture with more pixels than the limit", Cat({Info(8192, 8192, 8, 1, 1, 2), Bytes(4, 0), {0, 1}})},
      {"palette beyond the data", Cat({bigPalette, Bytes(64, 0)})},
      {"colours used 0xFFFFFFFF, palette cut short", Cat({Info(1, 1, 8, 0, 0xFFFFFFFF), Bytes(1000, 0)})},
      {"truncated pixels", truncated},
      {"index past the palette", Cat({Info(1, 1, 8, 0, 2), Bytes(8, 0), {5, 0, 0, 0}})},
      {"RLE run past the row", Cat({Info(2, 1, 8, 1, 1, 4), Bytes(4, 0), {3, 0, 0, 1}})},
      {"RLE delta out of the picture", Cat({Info(2, 1, 8, 1, 1, 4), Bytes(4, 0), {0, 2, 5, 0}})},
      {"RLE write below the last row", Cat({Info(2, 1, 8, 1, 1, 6), Bytes(4, 0), {0, 0, 1, 0, 0, 1}})},
      {"RLE size beyond the data", Cat({Info(2, 1, 8, 1, 1, 100), Bytes(4, 0), {0, 1}})},
  };
  for (const auto& [name, bytes] : cases) {
    for (const bool file : {false, true}) {
      SCOPED_TRACE(std::string(name) + (file ? ", as a BMP file" : ", as a picture"));
      try {
        file ? DecodeBmpFile(AsFile(bytes)) : DecodeDib(bytes);
        ADD_FAILURE() << "decoded";
      } catch (const EArchiveError& e) {
        EXPECT_STREQ(e.what(), "DIB is invalid");
      }
    }
  }
  // A V4 header is a BMP file's; as a bare picture payload only 40 and 12 are read.
  EXPECT_THROW(DecodeDib(Cat({{108, 0, 0, 0}, Bytes(200, 0)})), EArchiveError);
}

TEST(Dib, BadBmpFileHeadersAreInvalid) {
  const Bytes dib = Cases()[8].Dib;
  auto file = [&](char m, uint32_t size, uint32_t offset) {
    Bytes f = {uint8_t('B'), uint8_t(m)};
    Put32(f, size);
    Put32(f, 0);
    Put32(f, offset);
    f.insert(f.end(), dib.begin(), dib.end());
    return f;
  };
  const uint32_t n = uint32_t(14 + dib.size());
  EXPECT_NO_THROW(DecodeBmpFile(file('M', n, 54)));
  for (const Bytes& f : {file('A', n, 54), file('M', n + 1, 54), file('M', n, 20), file('M', n, n + 1)}) {
    EXPECT_THROW(DecodeBmpFile(f), EArchiveError);
  }
}

TEST(Dib, Encode24RoundTripsWithRowPadding) {
  for (int width : {1, 2, 3, 4, 5}) {
    Surface s(width, 3);
    for (size_t i = 0; i < s.Pixels.size(); ++i) s.Pixels[i] = uint32_t(i * 0x010203 + 0x0A0B0C) & 0xFFFFFF;
    const Bytes dib = EncodeDib24(s);
    EXPECT_EQ(dib.size(), 40 + size_t((width * 3 + 3) / 4 * 4) * 3);
    const TDib back = DecodeDib(dib);
    EXPECT_EQ(back.BitCount, 24);
    EXPECT_EQ(back.Pixels.Pixels, s.Pixels) << width;
  }
}

}  // namespace
