// The world score page as HTML, and the parts of the server that need no network: its
// command line and its limit on submissions.
#include <gtest/gtest.h>

#include "Options.h"
#include "RateLimiter.h"
#include "Store.h"
#include "WorldPage.h"

namespace {

using scores::ScoreRecord;

// A blank name's cell.
const char* const kBlank =
    "<td class=\"name none\"><span role=\"img\" aria-label=\"без имени\" title=\"без имени\">—</span></td>";

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(WorldPage, EscapesEveryMarkupCharacter) {
  EXPECT_EQ(scores::HtmlEscape("<b>&\"'"), "&lt;b&gt;&amp;&quot;&#39;");
  EXPECT_EQ(scores::HtmlEscape("Вася"), "Вася");
}

TEST(WorldPage, ListsRankNameScoreAndDay) {
  const std::vector<ScoreRecord> top = {
      {"<b>&\"", 12345, "", 1793491200, "10.0.0.1"},  // 2026-11-01
      {"Вася", 12345, "", 1793577600, "10.0.0.2"},
      {"", 980, "", 1793577600, "10.0.0.3"},
      {"Zed", 5, "", 0, "10.0.0.4"},
  };
  const std::string html = scores::WorldPageHtml(top);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(html.find("name=\"viewport\""), std::string::npos);
  EXPECT_NE(html.find("Мировая таблица рекордов"), std::string::npos);
  EXPECT_EQ(Count(html, "<tr"), 5u);  // the heading and four records
  EXPECT_NE(html.find("<td class=\"rank\">1</td><td class=\"name\">&lt;b&gt;&amp;&quot;</td>"
                      "<td class=\"score\">12\u00A0345</td><td class=\"date\">01.11.2026</td>"),
            std::string::npos);
  // Equal scores share a rank; the next rank counts the records before it.
  EXPECT_NE(html.find("<td class=\"rank\">1</td><td class=\"name\">Вася</td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"rank\">3</td>" + std::string(kBlank) + "<td class=\"score\">980</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<td class=\"rank\">4</td><td class=\"name\">Zed</td><td class=\"score\">5</td>"
                      "<td class=\"date\">01.01.1970</td>"),
            std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  // Self-contained: nothing is fetched from elsewhere.
  EXPECT_EQ(html.find("http"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("src="), std::string::npos);
}

// Names a browser draws as nothing show as a dim dash that says it stands for no name; a
// name that is a dash shows as written, and never as that.
TEST(WorldPage, BlankNamesShowAsTheDashThatSaysNoName) {
  const char* const blank[] = {
      "",
      " ",
      "     ",
      "\u00A0",  // no-break space
      "\u00AD",  // soft hyphen
      "\u00A0\u00A0\u00A0",
      "\u00AD\u00AD",
      " \u00A0 \u00AD ",
      "\u00AD \u00A0",
  };
  for (const char* name : blank) {
    SCOPED_TRACE(::testing::PrintToString(std::string(name)));
    const std::string html = scores::WorldPageHtml({{name, 500, "", 1793491200, "10.0.0.1"}});
    EXPECT_NE(html.find("<td class=\"rank\">1</td>" + std::string(kBlank) + "<td class=\"score\">500</td>"),
              std::string::npos);
  }
  for (const char* name : {"-", "—", "–", "--", " - "}) {
    SCOPED_TRACE(name);
    const std::string html = scores::WorldPageHtml({{name, 500, "", 1793491200, "10.0.0.1"}});
    EXPECT_NE(html.find("<td class=\"rank\">1</td><td class=\"name\">" + std::string(name) + "</td>"),
              std::string::npos);
    EXPECT_EQ(html.find("name none"), std::string::npos);
    EXPECT_EQ(html.find("без имени"), std::string::npos);
  }
  // A letter among them is a name, shown as written.
  const std::string html = scores::WorldPageHtml({{" \u00A0<a>\u00AD ", 500, "", 1793491200, "10.0.0.1"}});
  EXPECT_NE(html.find("<td class=\"name\"> \u00A0&lt;a&gt;\u00AD </td>"), std::string::npos);
  EXPECT_EQ(html.find("name none"), std::string::npos);
}

// Rank 2 stands apart from the rows below the first three: its colour is not near the text's
// nor the ordinary rank's (each channel of at least one differs by 64 or more).
TEST(WorldPage, RankTwoHasAColourOfItsOwn) {
  const std::string html = scores::WorldPageHtml({});
  const auto colourAfter = [&html](const std::string& rule) {
    const size_t at = html.find(rule);
    EXPECT_NE(at, std::string::npos) << rule;
    const size_t colour = html.find("color: #", at);
    return at == std::string::npos ? 0 : std::stoi(html.substr(colour + 8, 6), nullptr, 16);
  };
  const int second = colourAfter("tr.top2 td.rank, tr.top2 td.score {");
  const auto far = [second](int other) {
    for (int shift : {16, 8, 0})
      if (std::abs(((second >> shift) & 255) - ((other >> shift) & 255)) >= 64) return true;
    return false;
  };
  EXPECT_TRUE(far(colourAfter("body {")));     // the text, and the score of ordinary rows
  EXPECT_TRUE(far(colourAfter("td.rank {")));  // the rank of ordinary rows
  EXPECT_TRUE(far(colourAfter("tr.top1 td.rank, tr.top1 td.score {")));
  EXPECT_TRUE(far(colourAfter("tr.top3 td.rank, tr.top3 td.score {")));
}

TEST(WorldPage, SaysSoWhenEmpty) {
  const std::string html = scores::WorldPageHtml({});
  EXPECT_EQ(Count(html, "<tr"), 0u);
  EXPECT_NE(html.find("Пока здесь нет ни одного рекорда"), std::string::npos);
}

TEST(WorldPage, GroupsDigitsAndShowsDaysInUtc) {
  EXPECT_EQ(scores::GroupedDigits(0), "0");
  EXPECT_EQ(scores::GroupedDigits(999), "999");
  EXPECT_EQ(scores::GroupedDigits(1000), "1\u00A0000");
  EXPECT_EQ(scores::GroupedDigits(99999999), "99\u00A0999\u00A0999");
  EXPECT_EQ(scores::DayOf(1793577599), "01.11.2026");  // 23:59:59 UTC
  EXPECT_EQ(scores::DayOf(1793577600), "02.11.2026");
}

TEST(ServerOptions, ListenDatabaseAndLimits) {
  const auto parsed = scores::ParseOptions({"--listen", "0.0.0.0:9000", "--db", "x.sqlite", "--rate-limit", "0",
                                            "--threads", "4", "--db-connections", "2", "--trust-proxy", "127.0.0.1,::1"});
  ASSERT_TRUE(parsed.Options) << parsed.Message;
  EXPECT_EQ(parsed.Options->Host, "0.0.0.0");
  EXPECT_EQ(parsed.Options->Port, 9000);
  EXPECT_EQ(parsed.Options->Db, "x.sqlite");
  EXPECT_EQ(parsed.Options->RateLimit, 0);
  EXPECT_EQ(parsed.Options->Threads, 4);
  EXPECT_EQ(parsed.Options->DbConnections, 2);
  EXPECT_EQ(parsed.Options->TrustedProxies, (std::vector<std::string>{"127.0.0.1", "::1"}));

  const auto defaults = scores::ParseOptions({});
  ASSERT_TRUE(defaults.Options);
  EXPECT_EQ(defaults.Options->Host, "127.0.0.1");
  EXPECT_EQ(defaults.Options->Port, 8080);
  EXPECT_EQ(defaults.Options->Db, "");
  EXPECT_EQ(defaults.Options->RateLimit, 60);  // 60 players behind one address in a minute
  EXPECT_EQ(defaults.Options->MaxRecords, 1000000);
  EXPECT_EQ(defaults.Options->Ipv6Prefix, 64);
  EXPECT_EQ(defaults.Options->DbTimeout, std::chrono::milliseconds(2000));

  std::string host;
  int port = 0;
  EXPECT_TRUE(scores::ParseListen("[::1]:8081", host, port));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 8081);
  EXPECT_TRUE(scores::ParseListen(":80", host, port));
  EXPECT_EQ(host, "0.0.0.0");
  EXPECT_FALSE(scores::ParseListen("::1:80", host, port));
  EXPECT_FALSE(scores::ParseListen("localhost", host, port));
  EXPECT_FALSE(scores::ParseListen("localhost:65536", host, port));

  const auto limits = scores::ParseOptions({"--check-rate-limit", "0", "--max-tokens", "500", "--max-connections", "64",
                                           "--max-connections-per-address", "4", "--max-records", "0",
                                           "--ipv6-prefix", "48", "--db-timeout", "0.25"});
  ASSERT_TRUE(limits.Options) << limits.Message;
  EXPECT_EQ(limits.Options->CheckRateLimit, 0);
  EXPECT_EQ(limits.Options->MaxTokens, 500);
  EXPECT_EQ(limits.Options->MaxConnections, 64);
  EXPECT_EQ(limits.Options->MaxConnectionsPerAddress, 4);
  EXPECT_EQ(limits.Options->MaxRecords, 0);
  EXPECT_EQ(limits.Options->Ipv6Prefix, 48);
  EXPECT_EQ(limits.Options->DbTimeout, std::chrono::milliseconds(250));
  EXPECT_EQ(scores::ParseOptions({"--db-timeout", "3"}).Options->DbTimeout, std::chrono::seconds(3));
  EXPECT_TRUE(defaults.Options->TrustedProxies.empty());
  EXPECT_EQ(defaults.Options->CheckRateLimit, 60);
  EXPECT_EQ(defaults.Options->MaxTokens, scores::kDefaultMaxTokens);
  // The proxies must be named: a bare --trust-proxy would trust any client's header.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--trust-proxy"}, {"--trust-proxy", "--rate-limit", "3"}, {"--trust-proxy", "proxy.example.org"},
           {"--trust-proxy", "127.0.0.1,"}, {"--max-connections", "0"}, {"--ipv6-prefix", "0"},
           {"--ipv6-prefix", "129"}, {"--db-timeout", "0"}, {"--db-timeout", "2s"}, {"--db-timeout", "1.2345"},
           {"--db-timeout", ".5"}, {"--max-records", "-1"}}) {
    const auto refused = scores::ParseOptions(args);
    EXPECT_EQ(refused.ExitCode, 2) << args[0];
    if (args[0] == "--trust-proxy") {
      EXPECT_NE(refused.Message.find("--trust-proxy wants the addresses"), std::string::npos);
    }
  }

  EXPECT_EQ(scores::ParseOptions({"--help"}).ExitCode, 0);
  EXPECT_EQ(scores::ParseOptions({"--listen"}).ExitCode, 2);
  EXPECT_EQ(scores::ParseOptions({"--threads", "0"}).ExitCode, 2);
  EXPECT_EQ(scores::ParseOptions({"--bogus"}).ExitCode, 2);
}

TEST(RateLimit, ABurstThenOneEveryFewSecondsPerAddress) {
  scores::RateLimiter limiter(6);  // 6 a minute: one more every 10 s
  const auto start = scores::RateLimiter::Clock::now();
  int retry = 0;
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(limiter.Allow("10.0.0.1", start, retry)) << i;
  EXPECT_FALSE(limiter.Allow("10.0.0.1", start, retry));
  EXPECT_EQ(retry, 10);
  EXPECT_TRUE(limiter.Allow("10.0.0.2", start, retry));  // another address has its own
  EXPECT_FALSE(limiter.Allow("10.0.0.1", start + std::chrono::seconds(9), retry));
  EXPECT_TRUE(limiter.Allow("10.0.0.1", start + std::chrono::seconds(10), retry));
  EXPECT_FALSE(limiter.Allow("10.0.0.1", start + std::chrono::seconds(10), retry));

  scores::RateLimiter unlimited(0);
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(unlimited.Allow("10.0.0.1", start, retry));
}

}  // namespace
