// The running server on 127.0.0.1, asked as the game and a browser ask it, on a store of its
// own (an SQLite file, and a database of a PostgreSQL cluster the test starts itself): the
// check reply's token, records that reach the page, every malformed submission refused with
// its reason and nothing stored, the page's escaping and Cyrillic, the limits, the log and
// the stop.
#include <gtest/gtest.h>

#include <regex>

#include "payload/Cp1251.h"
#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;

struct Protocol : ::testing::TestWithParam<Backend> {
  TempFolder folder;
  std::string db = NewStoreDatabase(GetParam(), folder.Path().string());
  std::unique_ptr<ServerProcess> server;

  // Starts the server; without a limit on submissions unless the test sets one.
  void Start(const std::vector<std::string>& extra = {"--rate-limit", "0"}) {
    server = std::make_unique<ServerProcess>(folder.Path().string(), db, extra);
  }
  int Port() const { return server->Port(); }
  int64_t Stored() { return scores::OpenStore(db, 1)->RecordCount(); }
  HttpReply Submit(const std::string& nameCp1251, uint32_t score, const std::string& optionsName = "") {
    return HttpGet(Port(), SubmissionTarget(EncodedRecord(nameCp1251, score, FreshToken(Port()), optionsName)));
  }
  std::string Page() {
    const HttpReply page = HttpGet(Port(), kPageTarget);
    EXPECT_EQ(page.Status, 200);
    return page.Body;
  }
};

TEST_P(Protocol, TheCheckReplyCarriesAFreshTokenWhereTheGameReadsIt) {
  Start();
  const HttpReply first = HttpGet(Port(), kCheckTarget);
  const HttpReply second = HttpGet(Port(), kCheckTarget);
  ASSERT_EQ(first.Status, 200);
  EXPECT_EQ(first.Body.substr(0, 3), "OK|");
  const std::string token = ServerToken(first.Body);  // the game's own reading
  EXPECT_EQ(token.size(), 20u);
  EXPECT_EQ(token.find_first_not_of(ScoreAlphabet), std::string::npos);
  EXPECT_NE(ServerToken(second.Body), token);
  EXPECT_NE(first.Head.find("Cache-Control: no-store"), std::string::npos);
}

TEST_P(Protocol, AGoodSubmissionIsStoredAndShownOnThePage) {
  Start();
  EXPECT_EQ(Page().find(">Vasya<"), std::string::npos);  // the page made before is not shown again
  const HttpReply reply = Submit("Vasya", 30, "Player1");
  EXPECT_EQ(reply.Status, 200) << reply.Body;
  EXPECT_EQ(reply.Body, "OK|stored\n");
  const auto top = scores::OpenStore(db, 1)->Top(10);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].Name, "Vasya");
  EXPECT_EQ(top[0].Score, 30);
  EXPECT_EQ(top[0].OptionsName, "Player1");
  EXPECT_EQ(top[0].Address, "127.0.0.1");
  EXPECT_NEAR(double(top[0].Time), double(std::time(nullptr)), 120);
  const std::string page = Page();
  EXPECT_NE(page.find("<td class=\"rank\">1</td><td class=\"name\">Vasya</td><td class=\"score\">30</td>"),
            std::string::npos);
}

TEST_P(Protocol, MalformedSubmissionsAreRefusedAndStoreNothing) {
  Start();
  auto target = [](const std::string& encoded) { return SubmissionTarget(encoded); };
  const std::string token = FreshToken(Port());
  const std::string good = EncodedRecord("Vasya", 30, token);
  const std::string t = FreshToken(Port());
  struct Case {
    std::string Name;
    std::string Target;
    std::string Reason;
    int Status = 400;
  };
  std::vector<Case> cases = {
      {"bad alphabet", target(good.substr(0, 8) + "I" + good.substr(9)), "is not in the score alphabet"},
      {"lower case", target(good.substr(0, 8) + "a" + good.substr(9)), "is not in the score alphabet"},
      {"truncated", target(good.substr(0, good.size() - 5)), "is not a multiple of 8"},
      {"truncated to whole bytes", target(good.substr(0, good.size() - 8)), "fields out of order"},
      {"wrong field order", target(Encoded(Padded("type=0|score=30|name=Vasya|key=Q|p=" + t + "|add=|z="))),
       "fields out of order: name must follow type"},
      {"name of 13 bytes", target(EncodedRecord("ABCDEFGHIJKLM", 30, t)), "name is longer than 12 bytes"},
      {"negative score", target(Encoded(Padded("type=0|name=Vasya|score=-30|key=Q|p=" + t + "|add=|z="))), "score is negative"},
      {"huge score", target(EncodedRecord("Vasya", 4000000000u, t)), "score is above 99999999"},
      {"key other than Q", target(Encoded(Padded("type=0|name=Vasya|score=30|key=R|p=" + t + "|add=|z="))), "key is not Q"},
      {"type other than 0", target(Encoded(Padded("type=1|name=Vasya|score=30|key=Q|p=" + t + "|add=|z="))), "type is not 0"},
      {"unknown token", target(EncodedRecord("Vasya", 30, "ABCDEFGHJKLMNPQRSTUV")), "unknown token"},
      {"no token", target(EncodedRecord("Vasya", 30, "")), "no token: p is empty"},
      {"no payload", "/cgi/version.pl?hs&prg=Zarovel", "no payload: inf is missing"},
      {"empty payload", "/cgi/version.pl?hs&prg=Zarovel&inf=", "no payload: inf is empty"},
      {"two payloads", target(good) + "&inf=" + EncodedRecord("Other", 31, t), "more than one inf"},
      {"another program", "/cgi/version.pl?hs&prg=Other&inf=" + good, "unknown program"},
      {"a 1 MB query", target(good + std::string(1 << 20, 'A')), "request line longer than 4096 bytes", 414},
      {"a 1 MB header", "/cgi/version.pl?version&prg=Zarovel", "request head longer than 16384 bytes", 431},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string extra = c.Name == "a 1 MB header" ? "X-Filler: " + std::string(1 << 20, 'x') + "\r\n" : "";
    const HttpReply reply = HttpGet(Port(), c.Target, extra);
    EXPECT_EQ(reply.Status, c.Status) << reply.Body;
    EXPECT_EQ(reply.Body.rfind("ERROR|", 0), 0u) << reply.Body;
    EXPECT_NE(reply.Body.find(c.Reason), std::string::npos) << reply.Body;
  }
  EXPECT_EQ(Stored(), 0);

  // An expired token: its lifetime ended behind the server's back.
  const std::string late = FreshToken(Port());
  ExecSql(db, "UPDATE tokens SET expires = 1000 WHERE token = '" + late + "'");
  HttpReply reply = HttpGet(Port(), target(EncodedRecord("Vasya", 30, late)));
  EXPECT_EQ(reply.Status, 400);
  EXPECT_EQ(reply.Body, "ERROR|token expired\n");
  EXPECT_EQ(Stored(), 0);

  // A token used twice: the same record sent again (its reply was lost) is acknowledged and
  // stored once; another record under it stores nothing.
  EXPECT_EQ(HttpGet(Port(), target(good)).Status, 200);
  reply = HttpGet(Port(), target(good));
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, "OK|stored\n");
  reply = HttpGet(Port(), target(EncodedRecord("Other", 31, token)));
  EXPECT_EQ(reply.Status, 400);
  EXPECT_EQ(reply.Body, "ERROR|token already used\n");
  EXPECT_EQ(Stored(), 1);
  // The server still serves after all of it.
  EXPECT_EQ(HttpGet(Port(), kCheckTarget).Status, 200);
}

TEST_P(Protocol, NamesAreEscapedOnThePage) {
  Start();
  ASSERT_EQ(Submit("<b>&\"", 500, "<i>").Status, 200);
  ASSERT_EQ(Submit("'x'</td>", 400).Status, 200);
  const std::string page = Page();
  EXPECT_NE(page.find("<td class=\"name\">&lt;b&gt;&amp;&quot;</td>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"name\">&#39;x&#39;&lt;/td&gt;</td>"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_EQ(page.find("'x'"), std::string::npos);
  EXPECT_EQ(scores::OpenStore(db, 1)->Top(1)[0].Name, "<b>&\"");  // stored as sent, escaped when shown
}

TEST_P(Protocol, CyrillicNamesAreShownInUtf8AndAnEmptyNameAsADash) {
  Start();
  ASSERT_EQ(Submit(platform::Utf8ToCp1251("Вася"), 95, platform::Utf8ToCp1251("Ёжик")).Status, 200);
  ASSERT_EQ(Submit(platform::Utf8ToCp1251("ЖЩЪЫЬЭЮЯ ёЁ"), 90).Status, 200);
  ASSERT_EQ(Submit("", 80).Status, 200);
  const HttpReply page = HttpGet(Port(), kPageTarget);
  EXPECT_NE(page.Head.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
  EXPECT_NE(page.Body.find("<td class=\"name\">Вася</td><td class=\"score\">95</td>"), std::string::npos);
  EXPECT_NE(page.Body.find("<td class=\"name\">ЖЩЪЫЬЭЮЯ ёЁ</td>"), std::string::npos);
  EXPECT_NE(page.Body.find("<td class=\"rank\">3</td><td class=\"name none\"><span role=\"img\" "
                            "aria-label=\"без имени\" title=\"без имени\">—</span></td><td class=\"score\">80</td>"),
            std::string::npos)
      << page.Body;
  EXPECT_EQ(scores::OpenStore(db, 1)->Top(1)[0].OptionsName, "Ёжик");
}

TEST_P(Protocol, ThePageListsTheBestHundred) {
  {
    auto store = scores::OpenStore(db, 1);
    for (int i = 1; i <= 150; ++i) {
      const std::string token = "PAGE" + std::string(13, 'A') + std::to_string(100 + i);
      store->AddToken(token, std::time(nullptr) + 600);
      store->StoreRecord(token, std::time(nullptr), {"p" + std::to_string(i), i * 10, "", 1793491200, "192.0.2.1"});
    }
  }
  Start();
  const std::string page = Page();
  size_t rows = 0;
  for (size_t at = page.find("<td class=\"rank\">"); at != std::string::npos; at = page.find("<td class=\"rank\">", at + 1))
    ++rows;
  EXPECT_EQ(rows, 100u);
  EXPECT_NE(page.find("<td class=\"rank\">1</td><td class=\"name\">p150</td><td class=\"score\">1\u00A0500</td>"
                      "<td class=\"date\">01.11.2026</td>"),
            std::string::npos);
  EXPECT_NE(page.find("<td class=\"rank\">100</td><td class=\"name\">p51</td>"), std::string::npos);
  EXPECT_EQ(page.find(">p50<"), std::string::npos);
}

TEST_P(Protocol, SubmissionsAreLimitedPerAddress) {
  Start({"--rate-limit", "3", "--trust-proxy", "127.0.0.1"});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Submit("Vasya", 30 + i).Status, 200) << i;
  HttpReply reply = Submit("Vasya", 40);
  EXPECT_EQ(reply.Status, 429);
  EXPECT_EQ(reply.Body.rfind("ERROR|too many submissions from this address", 0), 0u) << reply.Body;
  // Three a minute: the next one in at most 20 s.
  const size_t retry = reply.Head.find("Retry-After: ");
  ASSERT_NE(retry, std::string::npos) << reply.Head;
  const int seconds = std::stoi(reply.Head.substr(retry + 13));
  EXPECT_GE(seconds, 1);
  EXPECT_LE(seconds, 20);
  // Malformed ones count too, and the check stays open.
  EXPECT_EQ(HttpGet(Port(), SubmissionTarget("AAAA")).Status, 429);
  EXPECT_EQ(HttpGet(Port(), kCheckTarget).Status, 200);
  // Behind a proxy, the address the proxy adds last is the client's.
  const std::string token = FreshToken(Port());
  reply = HttpGet(Port(), SubmissionTarget(EncodedRecord("Proxied", 50, token)),
                  "X-Forwarded-For: 127.0.0.1, 198.51.100.7\r\n");
  EXPECT_EQ(reply.Status, 200) << reply.Body;
  EXPECT_EQ(Stored(), 4);
  EXPECT_EQ(scores::OpenStore(db, 1)->Top(1)[0].Address, "198.51.100.7");
}

TEST_P(Protocol, AnotherServerOnTheSameStoreAcceptsTheToken) {
  Start();
  ServerProcess other(folder.Path().string(), db, {"--rate-limit", "0"});
  EXPECT_NE(Page().find("Пока здесь нет ни одного рекорда"), std::string::npos);
  const std::string token = FreshToken(Port());
  HttpReply reply = HttpGet(other.Port(), SubmissionTarget(EncodedRecord("Elsewhere", 70, token)));
  EXPECT_EQ(reply.Status, 200) << reply.Body;
  reply = HttpGet(Port(), SubmissionTarget(EncodedRecord("Here", 71, token)));
  EXPECT_EQ(reply.Body, "ERROR|token already used\n");
  // This server made its page before the other stored the record; it shows the record once
  // its page is a second old.
  bool shown = false;
  for (int attempt = 0; attempt < 600 && !shown; ++attempt) {
    shown = Page().find(">Elsewhere<") != std::string::npos;
    if (!shown) std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(shown);
  EXPECT_EQ(other.Stop(), 0);
}

TEST_P(Protocol, OtherRequestsAndSeveralOnOneConnection) {
  Start();
  EXPECT_EQ(HttpGet(Port(), "/cgi/version.pl?version").Status, 400);
  EXPECT_EQ(HttpGet(Port(), "/cgi/version.pl?prg=Zarovel").Body,
            "ERROR|unknown request: the query names none of version, hs and show\n");
  EXPECT_EQ(HttpGet(Port(), "/cgi/version.pl?prg=Zarovel&show&type=1").Body, "ERROR|unknown table: type is not 0\n");
  EXPECT_EQ(HttpGet(Port(), "/cgi/other.pl").Status, 404);
  const HttpReply root = HttpGet(Port(), "/");
  EXPECT_EQ(root.Status, 302);
  EXPECT_NE(root.Head.find("Location: " + kPageTarget), std::string::npos);

  // Three requests sent at once on one connection get three replies in order (empty lines
  // before a request are passed over).
  const std::string one = "GET " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\n\r\n";
  const std::string last = "\r\nGET " + kPageTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  const std::string text = Exchange(Port(), one + one + last);
  size_t replies = 0;
  for (size_t at = text.find("HTTP/1.1 200 OK"); at != std::string::npos; at = text.find("HTTP/1.1 200 OK", at + 1))
    ++replies;
  EXPECT_EQ(replies, 3u);
  EXPECT_NE(text.find("</html>"), std::string::npos);

  // A request the HTTP library cannot read ends its connection after the refusal, whatever
  // followed it.
  const std::string refused = Exchange(Port(), "GARBAGE\r\n\r\n" + one);
  EXPECT_EQ(refused.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << refused;
  EXPECT_NE(refused.find("Connection: close"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("200 OK"), std::string::npos) << refused;
}

// Well under the log's limit of 10 lines a second of each kind, every request has its line.
TEST_P(Protocol, AFewRequestsGetALogLineEachAndACleanStopOnSigterm) {
  Start();
  ASSERT_EQ(Submit("Logged", 12).Status, 200);  // a check and a submission
  EXPECT_EQ(HttpGet(Port(), SubmissionTarget("AAAA")).Status, 400);
  EXPECT_EQ(HttpGet(Port(), kPageTarget).Status, 200);
  // A control byte in the target is refused, and logged escaped.
  EXPECT_EQ(HttpGet(Port(), "/cgi/version.pl?prg=Zarovel&show&type=0&\x01\"evil").Status, 400);
  EXPECT_EQ(server->Stop(), 0);
  const std::string log = server->Log();
  const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 "GET [^"]*" \d{3} \d+ \d+\.\dms( "[^"]*")?)");
  std::vector<std::string> requests;
  std::istringstream lines(log);
  for (std::string l; std::getline(lines, l);)
    if (l.rfind("zarovel-scores:", 0) != 0) requests.push_back(l);
  ASSERT_EQ(requests.size(), 5u) << log;
  for (const std::string& l : requests) EXPECT_TRUE(std::regex_match(l, line)) << l;
  EXPECT_NE(requests[0].find("\"GET /cgi/version.pl?version&prg=Zarovel\" 200 "), std::string::npos);
  EXPECT_NE(requests[2].find(" 400 "), std::string::npos);
  EXPECT_NE(requests[2].find("\"payload length 4 is not a multiple of 8\""), std::string::npos);
  EXPECT_NE(requests[4].find("&\\x01\\x22evil"), std::string::npos);  // nothing raw from the request
  EXPECT_NE(log.find("zarovel-scores: stopping on signal 15"), std::string::npos);
  EXPECT_NE(log.find("zarovel-scores: stopped"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothStores, Protocol, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         BackendName);

}  // namespace
