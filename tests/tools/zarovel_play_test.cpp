// The script driver end to end: a real run of zarovel-play on a fresh game folder.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "engine/PngFile.h"
#include "support/GameFixture.h"
#include "support/PlayScript.h"

namespace {

struct ZarovelPlay : ::testing::Test {
  TempFolder game;
  TempFolder work;

  void SetUp() override { WriteMinimalGameData(game.Dir()); }

  PlayRun Run(const std::string& script) { return RunPlayScript(game.Dir(), work.Dir(), script); }
  nlohmann::json State(const std::string& name) { return ReadStateJson(work.Dir() + name); }
};

TEST_F(ZarovelPlay, RunsStartUpAndDumpsStateAndScreenshots) {
  const PlayRun run = Run(
      "seed 7\n"
      "# a comment line\n"
      "frames 10\n"
      "state " + work.Dir() + "a.json\n"
      "wait 30   # one more tick at 220 ms\n"
      "screenshot " + work.Dir() + "a.png\n"
      "key A\n"
      "type Вася\n"
      "state " + work.Dir() + "b.json\n");
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  const nlohmann::json a = State("a.json");
  EXPECT_EQ(a["GameState"], "Menu");
  EXPECT_EQ(a["FrameCounter"], 10);
  EXPECT_EQ(a["Settings"]["MusicOn"], false);
  EXPECT_EQ(a["messages"], nlohmann::json::array({"Не возможно загрузить музыку."}));
  EXPECT_EQ(a["music"][0], "load " + game.Dir() + "Sound/1.xm failed");
  ASSERT_EQ(a["Scores"].size(), 10u);
  EXPECT_EQ(a["Scores"][0]["name"], "Ваня");
  EXPECT_EQ(a["Scores"][0]["score"], 100);
  EXPECT_EQ(a["Scores"][9]["score"], 10);
  for (const char* field : {"Selection", "MenuSelection", "Score", "Level", "LevelGoal", "Paused", "PlayerDown",
                            "GameEnded", "Timer2", "Timer3", "BunkerHealth", "BunkerHealthMax", "EntryName",
                            "NameEditing", "RequireHover", "CreditsKeySum", "Player", "sprites", "sounds", "opened",
                            "http"})
    EXPECT_TRUE(a.contains(field)) << field;
  const nlohmann::json b = State("b.json");
  EXPECT_EQ(b["FrameCounter"], 11);
  EXPECT_TRUE(b["messages"].empty());  // events are reported once
  const auto shot = ReadPng(work.Dir() + "a.png");
  ASSERT_TRUE(shot.has_value());
  EXPECT_EQ(shot->Width, 800);
  EXPECT_EQ(shot->Height, 600);
  EXPECT_EQ(shot->At(400, 300), kMinimalBackground);  // drawn from the menu archive
  // In drawing order: background, the seven weapon icons of play (hidden in the menus), six
  // menu buttons, check box.
  ASSERT_EQ(a["sprites"].size(), 15u);
  EXPECT_EQ(a["sprites"][0]["class"], "TFon");
  EXPECT_EQ(a["sprites"][0]["image"], "FonMenu");
  EXPECT_EQ(a["sprites"][0]["z"], -10);
  EXPECT_EQ(a["sprites"][1]["class"], "TPanelWeaps");
  EXPECT_EQ(a["sprites"][8]["class"], "TMenuB");
  EXPECT_EQ(a["sprites"][14]["class"], "TChk");
  EXPECT_EQ(a["sprites"][14]["z"], 11);
}

TEST_F(ZarovelPlay, BadLinesStopTheRunWithTheirNumber) {
  const struct {
    const char* script;
    const char* message;
  } cases[] = {
      {"frames 1\nfly away\n", "line 2: unknown command 'fly'"},
      {"frames x\n", "line 1: 'x' is not a whole number"},
      {"frames 1\nseed 3\n", "line 2: 'seed' must be the first command"},
      {"key Hyper\n", "line 1: unknown key 'Hyper'"},
      {"mouse 1\n", "line 1: 'mouse' takes 2 argument(s)"},
      {"joy axis X 5000\n", "line 1: joy: axis value must be -1000..1000"},
      {"press thumb\n", "line 1: mouse button must be left, right or middle"},
      {"pad button z down\n", "line 1: pad: unknown button 'z'"},
      {"pad axis rightx 5\n", "line 1: pad: axis must be leftx or lefty"},
      {"pad axis leftx 40000\n", "line 1: pad: axis value must be -32768..32767"},
      {"pad button a pressed\n", "line 1: pad: button state must be down or up"},
      {"pad add now\n", "line 1: pad: 'add' takes no more words"},
      {"pad\n", "line 1: pad: expected 'pad add', 'pad remove'"},
      {"frames 1\npad button a down\n", "line 2: pad: no controller is connected ('pad add' first)"},
      {"batch\nkey A\nframes 1\nend\n", "line 3: 'frames' cannot wait in a batch"},
      {"batch\nbatch\n", "line 2: 'batch' inside a batch"},
      {"key A\nend\n", "line 2: 'end' without 'batch'"},
      {"frames 1\nbatch\nkey A\n", "line 2: 'batch' without 'end'"},
  };
  for (const auto& c : cases) {
    const PlayRun run = Run(c.script);
    EXPECT_EQ(run.ExitCode, 2) << c.script;
    EXPECT_NE(run.Output.find(c.message), std::string::npos) << run.Output;
  }
}

TEST_F(ZarovelPlay, TerminatesWhenTheGameQuits) {
  // Closing the window only asks "Exit?"; Y answers it.
  const PlayRun run = Run("frames 2\nclose\nkey Y\nframes 5\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(run.Output, "terminated\n");
}

}  // namespace
