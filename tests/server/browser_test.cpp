// The world page in a real browser: headless Chromium (Debian's chromium) loads it from the
// running server at a phone's width and a desktop's, takes screenshots, and the page's DOM
// holds the rows. The screenshots stay in the test's working folder for a person to look at:
// world-page-phone.png (390 px wide) and world-page-desktop.png.
#include <gtest/gtest.h>

#include <set>

#include "engine/PngFile.h"
#include "payload/Cp1251.h"
#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;

const char* const kChromium = "/usr/bin/chromium";

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
};

TEST_F(Browser, TheWorldPageOnAPhoneAndADesktop) {
  ASSERT_TRUE(std::filesystem::exists(kChromium)) << "Debian's chromium is not installed (scripts/setup installs it)";
  ServerProcess server(work.Path().string(), work.Dir() + "scores.sqlite", {"--rate-limit", "0"});
  const std::vector<std::pair<std::string, uint32_t>> records = {
      {platform::Utf8ToCp1251("Вася"), 12450}, {"<b>&\"", 9800},   {"", 7600},
      {platform::Utf8ToCp1251("Ёжик"), 5030},  {"Player1", 30},   {platform::Utf8ToCp1251("Щука|=|"), 30},
      // Names of the full 12 characters, which a phone shows whole.
      {platform::Utf8ToCp1251("Александрина"), 20}, {platform::Utf8ToCp1251("Вася Пупкин1"), 10},
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
  EXPECT_NE(html.find("<td class=\"rank\">3</td><td class=\"name none\">—</td>"), std::string::npos);
  EXPECT_NE(html.find(">Щука|=|</td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"rank\">5</td><td class=\"name\">Player1</td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"rank\">5</td><td class=\"name\">Щука|=|</td>"), std::string::npos);

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
  // The browser's requests reached the log like any other.
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(server.Log().find("\"GET /cgi/version.pl?prg=Zarovel&show&type=0\" 200"), std::string::npos);
}

}  // namespace
