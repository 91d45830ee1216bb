// ASCII case-insensitive text comparison, the rule names and property names are matched by.
#pragma once
#include <algorithm>
#include <string_view>

// 'A'..'Z' to 'a'..'z'; every other byte as it is.
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Equal but for the case of ASCII letters.
inline bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}
