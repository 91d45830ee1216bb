// The real game against the real server: zarovel-play runs the game headless from a seeded
// script to a new record, ticks "send the result", confirms the name, and opens the world
// page from the score screen; the server has stored the record and its page lists it.
#include <gtest/gtest.h>

#include "server/ServerHarness.h"
#include "support/GameFixture.h"
#include "support/PlayFixture.h"
#include "support/PlayScript.h"

namespace {

using namespace server_test;

TEST(EndToEnd, ARecordSentFromTheNameEntryIsOnTheWorldPageTheGameOpens) {
  TempFolder game;
  TempFolder work;
  CopyBuiltGameData(game.Dir());
  const std::string db = work.Dir() + "scores.sqlite";
  ServerProcess server(work.Path().string(), db);

  // Seed 11: the Alt+R bursts of five volleys bring down enough for a record of 30; the run
  // is then left, the name typed, the send box ticked by a click, the name confirmed, and
  // "World" chosen on the score screen that follows.
  const std::string state = work.Dir() + "state.json";
  std::string script = "seed 11\nserver " + server.HostPort() + "\nkey Enter\nframes 101\n";
  for (int volley = 0; volley < 5; ++volley) script += "frames 25\ndown Alt\nkey R\nup Alt\n";
  script += "key Escape\nframes 1\nkey Y\nframes 1\ntype Вася\nmouse 221 358\nclick\nkey Enter\nframes 2\n";
  script += "key Up\nkey Enter\nframes 1\nstate " + state + "\n";
  const PlayRun run = RunPlayScript(game.Dir(), work.Dir(), script);
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  const nlohmann::json dump = ReadStateJson(state);
  EXPECT_EQ(dump["GameState"], "HiScores");
  EXPECT_TRUE(dump["messages"].empty()) << dump["messages"];  // the check reply began with OK

  // Stored: the name as typed (now UTF-8), the score, the client.
  const auto top = scores::OpenStore(db, 1)->Top(10);
  ASSERT_EQ(top.size(), 1u) << server.Log();
  EXPECT_EQ(top[0].Name, "Вася");
  EXPECT_EQ(top[0].Score, 30);
  EXPECT_EQ(top[0].Address, "127.0.0.1");

  // The "World" button opened this server's page, which lists the record.
  const std::string pageUrl = "http://" + server.HostPort() + kPageTarget;
  ASSERT_EQ(dump["opened"], nlohmann::json::array({pageUrl}));
  const HttpReply page = HttpGet(server.Port(), kPageTarget);
  EXPECT_EQ(page.Status, 200);
  EXPECT_NE(page.Body.find("<td class=\"rank\">1</td><td class=\"name\">Вася</td><td class=\"score\">30</td>"),
            std::string::npos);

  // The server saw the game's two requests and the page's.
  EXPECT_EQ(server.Stop(), 0);
  const std::string log = server.Log();
  EXPECT_NE(log.find("\"GET /cgi/version.pl?version&prg=Zarovel\" 200"), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /cgi/version.pl?hs&prg=Zarovel&inf="), std::string::npos) << log;
  EXPECT_EQ(log.find("\" 400 "), std::string::npos) << log;
}

}  // namespace
