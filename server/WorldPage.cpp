// The world score page. Everything it needs is inside it (no fonts, scripts or pictures from
// elsewhere), and it reads on a phone as well as on a desktop: one column, a table that fits
// the width, large enough type.
#include "WorldPage.h"

#include <ctime>

namespace scores {
namespace {

// A name breaks inside a word only when its row cannot fit it otherwise: the other columns
// never wrap and the name takes all the width they leave. On a narrow screen (a phone) each
// row is a grid of three columns, the date set small under the score, so that a name of 12
// of the widest letters (12 "Щ" at 15 px are 197 px) stays on one line 390 px wide; the rank
// column has a fixed width there so that the names of all rows line up. Ranks 1 to 3 show
// in the colours of gold, silver-blue and bronze, in bold, with a bar of that colour at the
// row's start. A blank name's dash is dim and italic, and says "без имени" to a screen
// reader and under the mouse, so that a name that is a dash reads apart from it.
constexpr const char* kHead = R"(<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Zarovel — мировая таблица рекордов</title>
<link rel="icon" href="data:,">
<style>
:root { color-scheme: dark; }
* { box-sizing: border-box; }
body { margin: 0; background: #15202b; color: #e8edf2;
  font: 16px/1.4 system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", sans-serif; }
main { max-width: 42rem; margin: 0 auto; padding: 1.25rem 0.75rem 2rem; }
h1 { margin: 0; font-size: 1.9rem; letter-spacing: 0.08em; color: #ffcc4d; text-transform: uppercase; }
.sub { margin: 0.2rem 0 1.2rem; color: #9fb3c8; }
table { width: 100%; border-collapse: collapse; font-variant-numeric: tabular-nums; }
th, td { padding: 0.45rem 0.6rem; text-align: left; }
th { font-size: 0.8rem; text-transform: uppercase; letter-spacing: 0.06em; color: #9fb3c8;
  border-bottom: 2px solid #2f4458; white-space: nowrap; }
tbody tr:nth-child(odd) { background: #1b2a38; }
td.rank { width: 3.5rem; color: #9fb3c8; white-space: nowrap; }
td.name { overflow-wrap: anywhere; }
td.score { text-align: right; font-weight: 600; white-space: nowrap; }
th.score { text-align: right; }
td.date { width: 7.5rem; color: #9fb3c8; white-space: nowrap; }
tr.top1 td.rank, tr.top1 td.score { color: #ffcc4d; }
tr.top2 td.rank, tr.top2 td.score { color: #4fc3ff; }
tr.top3 td.rank, tr.top3 td.score { color: #e0a370; }
tr.top1 td.rank, tr.top2 td.rank, tr.top3 td.rank { font-weight: 700; }
tr.top1 td.rank { box-shadow: inset 3px 0 #ffcc4d; }
tr.top2 td.rank { box-shadow: inset 3px 0 #4fc3ff; }
tr.top3 td.rank { box-shadow: inset 3px 0 #e0a370; }
td.none { color: #6f8499; font-style: italic; }
.empty { padding: 2rem 0; text-align: center; color: #9fb3c8; }
.note { margin-top: 1.2rem; font-size: 0.85rem; color: #6f8499; }
@media (max-width: 36rem) {
  body { font-size: 15px; }
  main { padding-left: 0.5rem; padding-right: 0.5rem; }
  table, thead, tbody { display: block; }
  tr { display: grid; grid-template-columns: 3rem minmax(0, 1fr) auto;
    grid-template-areas: "rank name score" "rank name date"; align-items: center; }
  thead tr { align-items: end; border-bottom: 2px solid #2f4458; }
  th, td { padding: 0 0.25rem; }
  th { font-size: 0.65rem; letter-spacing: 0; border-bottom: 0; }
  th.rank, th.name { padding-bottom: 0.35rem; }
  th.date { text-align: right; padding-bottom: 0.35rem; }
  .rank { grid-area: rank; }
  .name { grid-area: name; }
  .score { grid-area: score; }
  .date { grid-area: date; }
  td.rank, td.date { width: auto; }
  td.rank, td.name { padding-top: 0.4rem; padding-bottom: 0.4rem; }
  td.score { padding-top: 0.3rem; line-height: 1.25; }
  td.date { text-align: right; font-size: 0.75rem; line-height: 1.2; padding-bottom: 0.3rem; }
}
</style>
</head>
<body>
<main>
<h1>Zarovel</h1>
<p class="sub">Мировая таблица рекордов</p>
)";

constexpr const char* kTail = R"(<p class="note">В таблице — до 100 лучших результатов. Даты — по всемирному времени (UTC).</p>
</main>
</body>
</html>
)";

// Whether a name shows as nothing: empty, or only spaces, no-break spaces and soft hyphens
// (Windows-1251 has all three, and a browser draws none of them in a name alone).
bool ShowsAsNothing(std::string_view name) {
  for (size_t i = 0; i < name.size();) {
    if (name[i] == ' ') {
      ++i;
    } else if (name.substr(i, 2) == "\u00A0" || name.substr(i, 2) == "\u00AD") {
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// What a blank name shows as.
constexpr const char* kBlankName =
    "<td class=\"name none\"><span role=\"img\" aria-label=\"без имени\" title=\"без имени\">—</span></td>";

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string DayOf(int64_t unixSeconds) {
  const std::time_t t = std::time_t(unixSeconds);
  std::tm day{};
  gmtime_r(&t, &day);
  char text[32];
  std::strftime(text, sizeof text, "%d.%m.%Y", &day);
  return text;
}

std::string GroupedDigits(int64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += "\u00A0";
    out += digits[i];
  }
  return out;
}

std::string WorldPageHtml(const std::vector<ScoreRecord>& top) {
  std::string html = kHead;
  html.reserve(html.size() + top.size() * 160 + 512);
  if (top.empty()) {
    html += "<p class=\"empty\">Пока здесь нет ни одного рекорда. Станьте первым!</p>\n";
  } else {
    html +=
        "<table>\n<thead><tr><th class=\"rank\">Место</th><th class=\"name\">Имя</th><th class=\"score\">Очки</th>"
        "<th class=\"date\">Дата</th></tr></thead>\n"
        "<tbody>\n";
    int64_t rank = 0;
    for (size_t i = 0; i < top.size(); ++i) {
      const ScoreRecord& r = top[i];
      if (i == 0 || r.Score != top[i - 1].Score) rank = int64_t(i) + 1;  // equal scores, equal rank
      html += rank <= 3 ? "<tr class=\"top" + std::to_string(rank) + "\">" : std::string("<tr>");
      html += "<td class=\"rank\">" + std::to_string(rank) + "</td>";
      if (ShowsAsNothing(r.Name))
        html += kBlankName;
      else
        html += "<td class=\"name\">" + HtmlEscape(r.Name) + "</td>";
      html += "<td class=\"score\">" + GroupedDigits(r.Score) + "</td>";
      html += "<td class=\"date\">" + DayOf(r.Time) + "</td></tr>\n";
    }
    html += "</tbody>\n</table>\n";
  }
  html += kTail;
  return html;
}

}  // namespace scores
