// UTF-8 <-> Windows-1251 conversion: the Russian alphabet, the code page's extras, bad input.
#include "payload/Cp1251.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <string>

using platform::Cp1251CodePoint;
using platform::Cp1251ToUtf8;
using platform::Utf8ToCp1251;

namespace {

// glibc's own converter, as an independent reference for the table.
std::string IconvCp1251ToUtf8(const std::string& in) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  EXPECT_NE(cd, iconv_t(-1));
  std::string out(in.size() * 4, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  size_t srcLeft = in.size(), dstLeft = out.size();
  const size_t done = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  EXPECT_NE(done, size_t(-1)) << "iconv refused " << in;
  out.resize(out.size() - dstLeft);
  return out;
}

TEST(Cp1251, RussianAlphabetRoundTrips) {
  const std::string upper = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ";
  const std::string lower = "абвгдеёжзийклмнопрстуфхцчшщъыьэюя";
  std::string expectUpper, expectLower;
  for (int i = 0; i < 32; ++i) {
    expectUpper += char(0xC0 + i);
    expectLower += char(0xE0 + i);
    if (i == 5) expectUpper += '\xA8', expectLower += '\xB8';  // Ё and ё follow Е and е
  }
  EXPECT_EQ(Utf8ToCp1251(upper), expectUpper);
  EXPECT_EQ(Utf8ToCp1251(lower), expectLower);
  EXPECT_EQ(Cp1251ToUtf8(expectUpper), upper);
  EXPECT_EQ(Cp1251ToUtf8(expectLower), lower);
}

TEST(Cp1251, EveryByteMatchesTheSystemTableAndRoundTrips) {
  for (int byte = 1; byte < 256; ++byte) {
    const std::string one(1, char(byte));
    const std::string utf8 = Cp1251ToUtf8(one);
    if (byte != 0x98) {  // unassigned in the code page; we keep it as U+0098, like Windows
      EXPECT_EQ(utf8, IconvCp1251ToUtf8(one)) << "byte " << byte;
    }
    EXPECT_EQ(Utf8ToCp1251(utf8), one) << "byte " << byte;
  }
  EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xC2\x98");
  EXPECT_EQ(Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1251, CodePointOfSingleBytes) {
  struct Case {
    unsigned char Byte;
    char32_t CodePoint;
  };
  const Case cases[] = {{'A', U'A'},  {0xC0, U'А'}, {0xFF, U'я'},      {0xA8, U'Ё'},     {0xB8, U'ё'}, {0xB9, U'№'},
                        {0x88, U'€'}, {0x96, U'–'}, {0x97, U'—'},      {0xAB, U'«'},     {0xBB, U'»'}, {0x84, U'„'},
                        {0x93, U'“'}, {0x94, U'”'}, {0xA0, U'\u00A0'}, {0x98, U'\u0098'}};
  for (const Case& c : cases) EXPECT_EQ(Cp1251CodePoint(c.Byte), c.CodePoint) << int(c.Byte);
}

TEST(Cp1251, GameStringsRoundTrip) {
  const char* texts[] = {"Выйти из игры?", "ПАУЗА", "Уровень №3 — «Ёлки» …", "Очки: 12345", "Цена 5€"};
  for (const char* text : texts) {
    const std::string cp = Utf8ToCp1251(text);
    EXPECT_EQ(Cp1251ToUtf8(cp), text);
    EXPECT_EQ(std::count(cp.begin(), cp.end(), '?'), std::count(text, text + strlen(text), '?')) << text;
  }
  EXPECT_EQ(Utf8ToCp1251("Выйти из игры?"), "\xC2\xFB\xE9\xF2\xE8 \xE8\xE7 \xE8\xE3\xF0\xFB?");
  EXPECT_EQ(Utf8ToCp1251("№"), "\xB9");
}

TEST(Cp1251, UnmappableAndBrokenUtf8BecomeQuestionMarks) {
  struct Case {
    std::string Utf8;
    std::string Cp1251;
  };
  const Case cases[] = {
      {"中", "?"},                        // a character outside the code page
      {"ä", "?"},                         // Latin letters with diacritics are not in it either
      {"😀x", "?x"},                       // outside the Basic Multilingual Plane
      {"\x80", "?"},                      // stray continuation byte
      {"a\xFFz", "a?z"},                  // byte that never starts a sequence
      {"\xD0", "?"},                      // cut short at the end
      {"\xD0Z", "?Z"},                    // cut short before an ASCII letter, which survives
      {"\xE2\x84", "?"},                  // three-byte form cut short
      {"\xC0\xAF", "??"},                 // overlong lead bytes are never valid
      {"\xE0\x80\xAF", "?"},              // overlong three-byte form
      {"\xED\xA0\x80", "?"},              // a surrogate half
      {"\xF4\x90\x80\x80", "?"},          // beyond U+10FFFF
      {"\xF8\x88\x80\x80\x80", "?????"},  // five-byte forms are gone
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCp1251(c.Utf8), c.Cp1251) << c.Utf8;
}

TEST(Cp1251, AnyTwoBytesGiveOneOrTwoCharacters) {
  for (int first = 0; first < 256; ++first)
    for (int second = 0; second < 256; ++second) {
      const std::string cp = Utf8ToCp1251(std::string{char(first), char(second)});
      ASSERT_TRUE(cp.size() == 1 || cp.size() == 2) << first << " " << second;
    }
}

}  // namespace
