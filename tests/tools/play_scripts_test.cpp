// Play driven by zarovel-play scripts on the built game data: a game started from the menu,
// the soldier walked, aimed, fired and paused, read back from the state dump and screenshots.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "engine/PngFile.h"
#include "payload/Cp1251.h"
#include "support/CannedServer.h"
#include "support/GameFixture.h"
#include "support/PlayFixture.h"
#include "support/PlayScript.h"

namespace {

struct PlayScripts : ::testing::Test {
  TempFolder game;
  TempFolder work;

  void SetUp() override { CopyBuiltGameData(game.Dir()); }
  nlohmann::json Run(const std::string& script, int seed = 7) {
    const std::string path = work.Dir() + "state.json";
    const PlayRun run =
        RunPlayScript(game.Dir(), work.Dir(), "seed " + std::to_string(seed) + "\n" + script + "state " + path + "\n");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    return std::filesystem::exists(path) ? ReadStateJson(path) : nlohmann::json{};
  }
};

TEST_F(PlayScripts, StartWalkAimFireAndPause) {
  const std::string shot = work.Dir() + "play.png";
  const nlohmann::json state = Run(
      "key Enter\n"         // Start
      "frames 101\n"        // the level banner
      "down Right\nframes 200\nup Right\n"
      "down Up\nframes 20\nup Up\n"
      "down Ctrl\nframes 19\n"
      "screenshot " + shot + "\n"
      "up Ctrl\n"
      "key P\nframes 1\n");
  ASSERT_FALSE(state.is_null());
  EXPECT_EQ(state["GameState"], "Game");
  EXPECT_EQ(state["Level"], 1);
  EXPECT_EQ(state["Paused"], true);
  const nlohmann::json& player = state["Player"];
  EXPECT_EQ(player["X"].get<double>() >= 718, true);  // at the right edge: 798 less the figure's 80
  EXPECT_EQ(player["AimAngle"], 50);                  // 20 frames up from 90
  EXPECT_EQ(player["FacingRight"], true);
  EXPECT_EQ(player["Weapon"], 1);
  EXPECT_EQ(player["Lives"], 3);
  EXPECT_EQ(player["Health"], 100);
  // The sounds of the shot, and the picture: no longer the menu's.
  bool shotSound = false;
  for (const auto& s : state["sounds"]) shotSound = shotSound || s == "Shot";
  EXPECT_TRUE(shotSound);
  const auto picture = ReadPng(shot);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->Width, 800);
}

TEST_F(PlayScripts, TheJoystickWalksAndAims) {
  const nlohmann::json state = Run(
      "key Enter\nframes 101\n"
      "joy axis X -1000\njoy axis Y 1000\nframes 30\n");
  const nlohmann::json& player = state["Player"];
  EXPECT_LT(player["X"].get<double>(), 370);
  EXPECT_EQ(player["FacingRight"], false);
  EXPECT_EQ(player["AimAngle"], 105);
}

// A level from the menu to the first shot by the controller alone: A starts the game, the
// stick walks and aims, A fires; Start pauses, and pulling the pad out leaves nothing held.
TEST_F(PlayScripts, APadAlonePlaysFromTheMenuToTheFirstShot) {
  const nlohmann::json state = Run(
      "frames 5\npad add\nframes 1\n"
      "pad button a down\nframes 1\npad button a up\nframes 1\n"  // "Начать игру"
      "frames 101\n"                                                  // the level banner
      "pad axis leftx -32768\npad axis lefty 32767\nframes 30\n"
      "pad axis leftx 0\npad axis lefty 0\n"
      "pad button a down\nframes 19\n"
      "pad remove\nframes 1\n");
  ASSERT_FALSE(state.is_null());
  EXPECT_EQ(state["GameState"], "Game");
  const nlohmann::json& player = state["Player"];
  EXPECT_LT(player["X"].get<double>(), 370);
  EXPECT_EQ(player["FacingRight"], false);
  EXPECT_EQ(player["AimAngle"], 105);
  bool shotSound = false;
  for (const auto& s : state["sounds"]) shotSound = shotSound || s == "Shot";
  EXPECT_TRUE(shotSound);
  EXPECT_EQ(state["Paused"], true);  // pulled out in play
  EXPECT_EQ(state["InputStates"], 0);
  EXPECT_EQ(state["PadConnected"], false);
}

// Seeded: the first aircraft (a transport) goes down to the Alt+R burst in the fifth volley.
TEST_F(PlayScripts, LevelOneEndsWithTheFirstAircraftShotDown) {
  std::string script = "key Enter\nframes 101\n";
  for (int volley = 0; volley < 5; ++volley) script += "frames 25\ndown Alt\nkey R\nup Alt\n";
  script += "frames 3\nscreenshot " + work.Dir() + "level2.png\n";
  const nlohmann::json state = Run(script, 11);
  EXPECT_EQ(state["Level"], 2);
  EXPECT_EQ(state["Score"], 30);
  EXPECT_EQ(state["LevelGoal"], 4);
  EXPECT_EQ(state["Timer2"], true);  // the banner of level 2
  EXPECT_TRUE(ReadPng(work.Dir() + "level2.png").has_value());
}

// Seeded: standing left of the bunker, the soldier is shot by landed paratroopers until he
// goes down, and stands up again at the start two seconds later.
TEST_F(PlayScripts, ALostLifeShowsTheDeathOverlayAndTheSoldierComesBack) {
  const std::string down = work.Dir() + "down.json";
  const nlohmann::json up = Run("key Enter\nframes 101\ndown Left\nframes 60\nup Left\nframes 1870\n"
                                "screenshot " + work.Dir() + "down.png\nstate " + down + "\nframes 110\n",
                                11);
  const nlohmann::json wasDown = ReadStateJson(down);
  EXPECT_EQ(wasDown["Player"]["Lives"], 2);
  EXPECT_EQ(wasDown["Player"]["Alive"], false);
  EXPECT_EQ(wasDown["PlayerDown"], true);
  bool overlay = false, blood = false;
  for (const auto& sprite : wasDown["sprites"]) {
    overlay = overlay || (sprite["class"] == "TScrDie" && sprite["visible"] == true);
    blood = blood || sprite["class"] == "TBlood";
  }
  EXPECT_TRUE(overlay);
  EXPECT_TRUE(blood);
  EXPECT_EQ(up["Player"]["Alive"], true);
  EXPECT_EQ(up["PlayerDown"], false);
  EXPECT_EQ(up["Player"]["X"], 370);
  EXPECT_EQ(up["Player"]["Lives"], 2);
}

TEST_F(PlayScripts, LeavingIsAskedAndNoPlaysOnWhileYesEndsTheGame) {
  const std::string asked = work.Dir() + "asked.json";
  const nlohmann::json state = Run("key Enter\nframes 101\nkey Escape\nframes 1\nstate " + asked +
                                   "\nkey N\nframes 5\nkey Escape\nframes 1\nkey Y\nframes 2\n");
  EXPECT_EQ(ReadStateJson(asked)["GameState"], "ExitGame?");
  EXPECT_EQ(state["GameState"], "Menu");
  EXPECT_TRUE(state["Player"].is_null());
  bool menuMusic = false;
  for (const auto& m : state["music"]) menuMusic = menuMusic || m.get<std::string>().find("1.xm") != std::string::npos;
  EXPECT_TRUE(menuMusic);
}

// Seeded: left of the bunker the soldier is shot until his last life is gone; with no score
// the game ends in the menu.
TEST_F(PlayScripts, AGameLostOnPurposeEndsInTheMenu) {
  const nlohmann::json state = Run("key Enter\nframes 101\ndown Left\nframes 60\nup Left\nframes 7500\n", 11);
  EXPECT_EQ(state["GameState"], "Menu");
  EXPECT_EQ(state["Level"], 1);
  EXPECT_TRUE(state["Player"].is_null());
  for (const auto& sprite : state["sprites"]) EXPECT_NE(sprite["class"], "TNiz");
}

// Seeded: 30 points from the Alt+R burst beat the table's last entry; the name is typed in
// Cyrillic, stored, shown in the table and written to Config.cfg.
TEST_F(PlayScripts, ARecordTypedInCyrillicIsStoredShownAndSaved) {
  std::string script = "key Enter\nframes 101\n";
  for (int volley = 0; volley < 5; ++volley) script += "frames 25\ndown Alt\nkey R\nup Alt\n";
  script += "key Escape\nframes 1\nkey Y\nframes 1\ntype Вася\nframes 20\nscreenshot " + work.Dir() +
            "name.png\nkey Enter\nframes 2\nscreenshot " + work.Dir() + "table.png\n";
  const nlohmann::json state = Run(script, 11);
  EXPECT_EQ(state["GameState"], "HiScores");
  EXPECT_EQ(state["Scores"][8]["name"], "Вася");  // 30 ranks 9th, below the default 30
  EXPECT_EQ(state["Scores"][8]["score"], 30);
  EXPECT_EQ(platform::Cp1251ToUtf8(SavedSettings(game.Dir()).Entry(9).Name.Get()), "Вася");
  EXPECT_TRUE(state["http"].empty());  // the box was not ticked: nothing is sent
}

// The same record sent: the box ticked by a click, both requests reach a local server.
TEST_F(PlayScripts, ATickedRecordReachesTheScoreServer) {
  CannedServer server({HttpReplyText("200 OK", "OK|1|2|3|T9|"), HttpReplyText("200 OK", "")});
  std::string script = "server " + server.HostPort() + "\nkey Enter\nframes 101\n";
  for (int volley = 0; volley < 5; ++volley) script += "frames 25\ndown Alt\nkey R\nup Alt\n";
  script += "key Escape\nframes 1\nkey Y\nframes 1\ntype Vasya\nmouse 221 358\nclick\nkey Enter\nframes 2\n";
  const nlohmann::json state = Run(script, 11);
  server.Join();
  ASSERT_EQ(server.Requests.size(), 2u);
  EXPECT_EQ(server.Requests[0], "GET /cgi/version.pl?version&prg=Zarovel HTTP/1.1");
  EXPECT_EQ(server.Requests[1].rfind("GET /cgi/version.pl?hs&prg=Zarovel&inf=", 0), 0u);
  EXPECT_EQ(state["GameState"], "HiScores");
  EXPECT_EQ(state["Scores"][8]["name"], "Vasya");
  EXPECT_TRUE(state["messages"].empty());
}

// Seeded: the Alt+R burst's 30 points, the game left and the name typed, ready for Enter.
std::string ARecordBeforeItsEnter(const std::string& name) {
  std::string script = "key Enter\nframes 101\n";
  for (int volley = 0; volley < 5; ++volley) script += "frames 25\ndown Alt\nkey R\nup Alt\n";
  return script + "key Escape\nframes 1\nkey Y\nframes 1\ntype " + name + "\nframes 20\n";
}

// From the score table back to the menu, and Start (the menu comes back on "High scores").
const char* const kNewGameFromTheTable = "key Escape\nframes 1\nkey Up\nkey Up\nkey Enter\n";

// Timer2 may still run when a game starts (it paused the menu or the name entry); the banner
// and the wait under it last their full 100 ticks all the same.
TEST_F(PlayScripts, EveryGameOpensWithItsFullBannerWhateverRanBefore) {
  const struct {
    const char* what;
    std::string before;
  } cases[] = {
      {"after a focus loss in the menu", "frames 2\ndeactivate\nframes 37\nactivate\nkey Enter\n"},
      {"right after a stored record", ARecordBeforeItsEnter("Vasya") + "key Enter\nframes 2\n" + kNewGameFromTheTable},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(game.Dir() + "Config.cfg");  // the table as it was
    const std::string during = work.Dir() + "during.json";
    const nlohmann::json after = Run(c.before + "frames 99\nstate " + during + "\nframes 1\n", 11);
    const nlohmann::json banner = ReadStateJson(during);
    EXPECT_EQ(banner["GameState"], "Game") << c.what;
    EXPECT_EQ(banner["Level"], 1) << c.what;
    EXPECT_EQ(banner["Timer2"], true) << c.what;
    EXPECT_EQ(after["Timer2"], false) << c.what;
  }
}

// The left button is let go while the exchange with a stalled server holds the game: the
// release is lost, and the next game must not fire by itself.
TEST_F(PlayScripts, AReleaseLostInAStalledExchangeLeavesNothingHeld) {
  CannedServer server({CannedReply{"", 0, true}, CannedReply{"", 0, true}});
  const nlohmann::json state = Run("server " + server.HostPort() + "\n" + ARecordBeforeItsEnter("Vasya") +
                                       "mouse 221 358\nclick\n"  // tick "send"
                                       "batch\npress left\nkey Enter\nrelease left\nend\nframes 2\n" +
                                       kNewGameFromTheTable + "frames 140\n",
                                   11);
  server.Join();
  EXPECT_EQ(state["GameState"], "Game");
  EXPECT_EQ(state["Scores"][8]["name"], "Vasya");
  EXPECT_EQ(state["MouseFire"], false);
  for (const auto& s : state["sounds"]) EXPECT_NE(s, "Shot");
}

// Escape, Y and Enter within one frame: the old game's sprites have had no move or draw to
// leave by, and none of them may live on in the new game.
TEST_F(PlayScripts, AGameStartedInTheFrameTheLastEndedHasNoneOfItsSprites) {
  const std::string before = work.Dir() + "before.json";
  const nlohmann::json state =
      Run("key Enter\nframes 400\nstate " + before + "\nkey Escape\nkey Y\nkey Enter\nframes 1\n", 11);
  const auto count = [](const nlohmann::json& dump, const std::string& cls) {
    int n = 0;
    for (const auto& sprite : dump["sprites"]) n += sprite["class"] == cls;
    return n;
  };
  const nlohmann::json old = ReadStateJson(before);
  ASSERT_GT(count(old, "TETransport") + count(old, "TDTransport"), 0) << "the old game should have an aircraft";
  EXPECT_EQ(state["GameState"], "Game");
  EXPECT_EQ(state["Level"], 1);
  for (const char* cls : {"TPlayer", "TWeapon", "TVerhTela", "TLifes", "TScrDie", "TPolosa1", "TPolosa2", "TNiz",
                          "TBunker", "TBunkerVerh", "TFon", "TChk"})
    EXPECT_EQ(count(state, cls), 1) << cls;
  EXPECT_EQ(count(state, "TPanelWeaps"), 7);
  for (const char* cls : {"TETransport", "TDTransport", "TE", "TBullet1", "TBullet2", "TBullet3", "TObj", "TVzriv"})
    EXPECT_EQ(count(state, cls), 0) << cls;
}

TEST_F(PlayScripts, TheMonkeyPlaysGameAfterGameWithoutGettingStuck) {
  const PlayRun run = RunPlayScript(game.Dir(), work.Dir(), "seed 3\nmonkey 20000 3\n");
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  long frames = 0, games = 0, peak = 0;
  ASSERT_EQ(std::sscanf(run.Output.c_str(), "monkey: %ld frames, %ld games, peak %ld sprites", &frames, &games, &peak),
            3)
      << run.Output;
  EXPECT_GE(games, 3);
  EXPECT_LT(peak, 400);
}

}  // namespace
