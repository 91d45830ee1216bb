// The world score page: the best records as one self-contained HTML page in UTF-8.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Store.h"

namespace scores {

// How many records the page lists.
inline constexpr int kWorldPageRows = 100;

// The text with &, <, >, " and ' replaced by character references.
std::string HtmlEscape(std::string_view text);

// The page for `top` (best first, as ScoreStore::Top gives them). Equal scores share a rank.
std::string WorldPageHtml(const std::vector<ScoreRecord>& top);

// "31.12.2026": the day of a Unix time, in UTC.
std::string DayOf(int64_t unixSeconds);

// A score's digits in groups of three, separated by no-break spaces: "1 234 567".
std::string GroupedDigits(int64_t value);

}  // namespace scores
