// The world page in a real browser: headless Chromium (Debian's chromium) loads it from the
// running server at a phone's width and a desktop's, takes screenshots, and the page's DOM
// holds the rows. The screenshots stay in the test's working folder for a person to look at:
// world-page-phone.png (390 px wide) and world-page-desktop.png. How the page lays out is
// measured in the browser too: the served page in a frame of each width, read by a script of
// the test's own (the page has none).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "engine/PngFile.h"
#include "payload/Cp1251.h"
#include "WorldPage.h"
#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;

const char* const kChromium = "/usr/bin/chromium";

// One cell of the page's table as the browser laid it out.
struct Cell {
  std::string Class;      // "rank", "name", "name none", "score", "date"
  int Lines = 0;          // lines its text takes
  double Right = 0;       // where it ends, in px from the page's left edge
  double ViewWidth = 0;   // the page's width without a scroll bar
  std::string Colour;     // computed, "rgb(r, g, b)"
  std::string Style;      // "normal" or "italic"
  std::string Label;      // the accessible name its content gives itself, if any
  std::string Text;
};

// Runs in the test's own page around the frame: one line a cell, its fields split by "|"
// (the text last, so it may hold one). A cell's lines are the distinct tops of its text's
// boxes.
const char* const kMeasure = R"(
addEventListener('load', () => {
  const page = document.getElementById('page').contentDocument;
  const view = page.documentElement.clientWidth;
  const out = [];
  for (const cell of page.querySelectorAll('tbody td')) {
    const range = page.createRange();
    range.selectNodeContents(cell);
    const tops = [];
    for (const box of range.getClientRects())
      if (box.width > 0 && !tops.some(top => Math.abs(top - box.top) < 2)) tops.push(box.top);
    const style = getComputedStyle(cell);
    const labelled = cell.querySelector('[aria-label]');
    out.push([cell.className, tops.length, cell.getBoundingClientRect().right.toFixed(1), view, style.color,
              style.fontStyle, labelled ? labelled.getAttribute('aria-label') + '/' + labelled.getAttribute('title') : '',
              cell.textContent].join('|'));
  }
  document.getElementById('measured').textContent = out.join('\n');
});
)";

struct Browser : ::testing::Test {
  TempFolder work;

  // Chromium, headless, with a profile of its own and none of its own network traffic.
  int Chromium(const std::vector<std::string>& args, const std::string& output) {
    std::vector<std::string> argv = {kChromium,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--no-first-run",
                                     "--disable-dev-shm-usage",
                                     "--user-data-dir=" + work.Dir() + "profile"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, output, work.Dir() + "chromium.log");
  }

  // The page laid out `width` px wide: a frame of that width holds it (headless Chromium
  // keeps its window at least 500 px wide, and a frame's own width is what the page's media
  // queries see), tall enough for no scroll bar, and a script reads every cell of the table.
  std::vector<Cell> Layout(const std::string& page, int width) {
    const std::string file = work.Dir() + "layout-" + std::to_string(width) + ".html";
    std::ofstream(file) << "<!DOCTYPE html><html><body style=\"margin:0\"><iframe id=\"page\" width=\"" << width
                        << "\" height=\"6000\" srcdoc=\"" << scores::HtmlEscape(page) << "\"></iframe>"
                        << "<pre id=\"measured\"></pre><script>" << kMeasure << "</script></body></html>";
    const std::string dom = work.Dir() + "layout-" + std::to_string(width) + ".dom";
    EXPECT_EQ(Chromium({"--dump-dom", "file://" + file}, dom), 0) << ReadText(work.Dir() + "chromium.log");
    const std::string text = ReadText(dom);
    const size_t from = text.find("<pre id=\"measured\">"), to = text.find("</pre>", from);
    if (from == std::string::npos || to == std::string::npos) {
      ADD_FAILURE() << "no measurements: " << text;
      return {};
    }
    std::vector<Cell> cells;
    std::istringstream lines(text.substr(from + 20, to - from - 20));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> field;
      for (size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1) {
        bar = field.size() < 7 ? line.find('|', start) : std::string::npos;
        field.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
      }
      if (field.size() != 8) {
        ADD_FAILURE() << "a measurement of no cell: " << line;
        continue;
      }
      cells.push_back({field[0], std::stoi(field[1]), std::stod(field[2]), std::stod(field[3]), field[4], field[5],
                       field[6], Unescaped(field[7])});
    }
    return cells;
  }

  // The text of a dumped text node as it was.
  static std::string Unescaped(std::string text) {
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", "\u00A0"}, {"&amp;", "&"}})
      for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
  }
};

TEST_F(Browser, TheWorldPageOnAPhoneAndADesktop) {
  ASSERT_TRUE(std::filesystem::exists(kChromium)) << "Debian's chromium is not installed (scripts/setup installs it)";
  ServerProcess server(work.Path().string(), work.Dir() + "scores.sqlite", {"--rate-limit", "0"});
  const std::vector<std::pair<std::string, uint32_t>> records = {
      // Names of 12 wide letters beside the widest scores: the least room a name gets.
      {"WWWWWWWWWWWW", 99999999}, {platform::Utf8ToCp1251("ЖЖЖЖЖЖЖЖЖЖЖЖ"), 99999998},
      {platform::Utf8ToCp1251("Вася"), 12450}, {"<b>&\"", 9800},   {"", 7600},
      {platform::Utf8ToCp1251("Ёжик"), 5030},  {"Player1", 30},   {platform::Utf8ToCp1251("Щука|=|"), 30},
      // Names of the full 12 characters, which a phone shows whole.
      {platform::Utf8ToCp1251("Александрина"), 20}, {platform::Utf8ToCp1251("Вася Пупкин1"), 10},
      // Names that are a dash, which must not read as the blank name's.
      {"-", 6}, {platform::Utf8ToCp1251("—"), 5}, {platform::Utf8ToCp1251("–"), 4},
  };
  for (const auto& [name, score] : records) {
    const HttpReply reply = HttpGet(server.Port(), SubmissionTarget(EncodedRecord(name, score, FreshToken(server.Port()))));
    ASSERT_EQ(reply.Status, 200) << reply.Body;
  }
  const std::string url = "http://" + server.HostPort() + kPageTarget;

  const std::string dom = work.Dir() + "dom.html";
  ASSERT_EQ(Chromium({"--dump-dom", url}, dom), 0) << ReadText(work.Dir() + "chromium.log");
  const std::string html = ReadText(dom);
  size_t rows = 0;
  for (size_t at = html.find("<tr"); at != std::string::npos; at = html.find("<tr", at + 1)) ++rows;
  EXPECT_EQ(rows, records.size() + 1) << html;  // the heading and one row a record
  EXPECT_NE(html.find("<title>Zarovel — мировая таблица рекордов</title>"), std::string::npos);
  EXPECT_NE(html.find(">Вася</td><td class=\"score\">12&nbsp;450</td>"), std::string::npos) << html;
  EXPECT_NE(html.find(">&lt;b&gt;&amp;\"</td>"), std::string::npos) << html;  // text, not markup
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"rank\">5</td><td class=\"name none\"><span role=\"img\" aria-label=\"без имени\" "
                      "title=\"без имени\">—</span></td>"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("<td class=\"rank\">12</td><td class=\"name\">—</td>"), std::string::npos) << html;
  EXPECT_NE(html.find(">Щука|=|</td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"rank\">7</td><td class=\"name\">Player1</td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"rank\">7</td><td class=\"name\">Щука|=|</td>"), std::string::npos);

  const std::pair<std::string, std::string> sizes[] = {{"phone", "390,844"}, {"desktop", "1280,800"}};
  for (const auto& [device, size] : sizes) {
    SCOPED_TRACE(device);
    const std::string shot = "world-page-" + device + ".png";  // in the test's working folder
    std::filesystem::remove(shot);
    ASSERT_EQ(Chromium({"--hide-scrollbars", "--window-size=" + size, "--screenshot=" + std::filesystem::absolute(shot).string(), url},
                       work.Dir() + "screenshot.log"),
              0)
        << ReadText(work.Dir() + "chromium.log");
    const auto picture = ReadPng(shot);
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->Width, std::stoi(size));
    // The dark page with its gold heading and light text, not an empty or error page.
    std::set<uint32_t> colours;
    size_t background = 0, gold = 0;
    for (const uint32_t pixel : picture->Pixels) {
      colours.insert(pixel);
      background += pixel == 0x15202B;
      gold += pixel == 0xFFCC4D;
    }
    EXPECT_GT(background, picture->Pixels.size() / 3);
    EXPECT_GT(gold, 100u);
    EXPECT_GT(colours.size(), 50u);
  }
  // Laid out on a phone and on a desktop, every cell is one line (a name of 12 wide letters
  // too) inside the page's width, and the blank name's dash looks and reads apart from the
  // names that are a dash.
  const std::string page = HttpGet(server.Port(), kPageTarget).Body;
  for (const int width : {390, 1280}) {
    SCOPED_TRACE(width);
    const std::vector<Cell> cells = Layout(page, width);
    ASSERT_EQ(cells.size(), 4 * records.size());
    std::map<std::string, const Cell*> names;  // the names' cells by their text
    const Cell* blank = nullptr;
    for (const Cell& cell : cells) {
      SCOPED_TRACE(cell.Class + " " + cell.Text);
      EXPECT_EQ(cell.Lines, 1);
      EXPECT_LE(cell.Right, cell.ViewWidth + 0.5);
      if (cell.Class == "name none") blank = &cell;
      if (cell.Class == "name") names[cell.Text] = &cell;
    }
    EXPECT_EQ(cells[0].ViewWidth, width);  // no scroll bar took a part of it
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(blank->Text, "—");
    EXPECT_EQ(blank->Label, "без имени/без имени");
    EXPECT_EQ(blank->Style, "italic");
    for (const char* dash : {"-", "—", "–"}) {
      SCOPED_TRACE(dash);
      ASSERT_TRUE(names.count(dash));
      EXPECT_EQ(names[dash]->Label, "");
      EXPECT_EQ(names[dash]->Style, "normal");
      EXPECT_EQ(names[dash]->Colour, names["Вася"]->Colour);
      EXPECT_NE(names[dash]->Colour, blank->Colour);
    }
    for (const char* wide : {"WWWWWWWWWWWW", "ЖЖЖЖЖЖЖЖЖЖЖЖ", "Александрина", "Вася Пупкин1"})
      EXPECT_TRUE(names.count(wide)) << wide;
  }

  // The browser's requests reached the log like any other.
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(server.Log().find("\"GET /cgi/version.pl?prg=Zarovel&show&type=0\" 200"), std::string::npos);
}

}  // namespace
