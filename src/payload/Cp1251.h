// Conversion between UTF-8 and the Windows-1251 code page in which the game keeps its texts.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Characters without a Windows-1251 code become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view cp1251);
// The Unicode code point of one Windows-1251 byte.
char32_t Cp1251CodePoint(unsigned char byte);

}  // namespace platform
