// Every menu transition outside play, walked by zarovel-play scripts; what Config.cfg holds
// afterwards; and screenshots showing each button lit under the pointer in both modes.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/PngFile.h"
#include "support/GameFixture.h"
#include "support/PlayScript.h"

namespace {

struct MenuScripts : ::testing::Test {
  TempFolder game;
  TempFolder work;

  void SetUp() override { WriteMinimalGameData(game.Dir()); }
  // Runs the script and returns the state it leaves behind.
  nlohmann::json RunToState(const std::string& script) {
    const std::string path = work.Dir() + "state.json";
    std::filesystem::remove(path);
    const PlayRun run = RunPlayScript(game.Dir(), work.Dir(), script + "frames 1\nstate " + path + "\n");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    return std::filesystem::exists(path) ? ReadStateJson(path) : nlohmann::json{};
  }
  static int Count(const nlohmann::json& state, const std::string& cls) {
    int n = 0;
    for (const auto& sprite : state["sprites"]) n += sprite["class"] == cls && !sprite["dead"].get<bool>();
    return n;
  }
};

TEST_F(MenuScripts, EveryTransitionOutsidePlay) {
  struct Case {
    const char* script;
    const char* state;
    int selection;
    int questions;  // question boxes on the screen
  };
  const Case cases[] = {
      {"", "Menu", 1, 0},
      {"key Down\nkey Enter\n", "Options", 5, 0},
      {"key Down\nkey Down\nkey Enter\n", "HiScores", 3, 0},
      {"key Up\nkey Up\nkey Up\nkey Enter\n", "Help", 3, 0},
      {"key Down\nkey Down\nkey Down\nkey Down\nkey Enter\n", "Menu", 5, 0},  // Visit
      {"key Escape\n", "Exit?", 1, 1},
      {"key Up\nkey Enter\n", "Exit?", 1, 1},
      {"key Escape\nkey Escape\n", "Menu", 1, 0},
      {"key Escape\nkey N\n", "Menu", 1, 0},
      {"key Escape\nkey Right\nkey Enter\n", "Menu", 1, 0},
      {"key Down\nkey Enter\nkey Escape\n", "Menu", 2, 0},
      {"key Down\nkey Enter\nkey Enter\n", "Menu", 2, 0},
      {"key Down\nkey Down\nkey Enter\nkey Escape\n", "Menu", 3, 0},
      {"key Down\nkey Down\nkey Enter\nkey Enter\n", "Menu", 3, 0},
      {"key Down\nkey Down\nkey Enter\nkey Down\nkey Enter\n", "Clear?", 1, 1},
      {"key Down\nkey Down\nkey Enter\nkey Down\nkey Enter\nkey Escape\n", "HiScores", 1, 0},
      {"key Down\nkey Down\nkey Enter\nkey Down\nkey Enter\nkey Right\nkey Enter\n", "HiScores", 1, 0},
      {"key Down\nkey Down\nkey Enter\nkey Down\nkey Enter\nkey Enter\n", "HiScores", 1, 0},
      {"key Down\nkey Down\nkey Enter\nkey Up\nkey Enter\n", "HiScores", 2, 0},  // World
      {"key Up\nkey Up\nkey Up\nkey Enter\nkey Escape\n", "Menu", 4, 0},
      {"key Up\nkey Up\nkey Up\nkey Enter\nkey Enter\n", "Menu", 4, 0},
      {"key Up\nkey Up\nkey Up\nkey Enter\nkey Up\nkey Right\nkey Enter\n", "Help", 2, 0},
      {"key Down\nkey Enter\nclose\n", "Exit?", 1, 1},
      {"key Down\nkey Down\nkey Enter\nclose\n", "Exit?", 1, 1},
      {"key Down\nkey Down\nkey Enter\nkey Down\nkey Enter\nclose\n", "Exit?", 1, 1},
      {"key Up\nkey Up\nkey Up\nkey Enter\nclose\n", "Exit?", 1, 1},
      {"key Escape\nclose\n", "Exit?", 1, 1},
      {"close\n", "Exit?", 1, 1},
      {"mouse 400 240\nclick\n", "Options", 5, 0},
      {"mouse 400 300\nclick\nmouse 300 420\nclick\n", "Clear?", 1, 1},
      {"mouse 400 360\npress right\nrelease right\n", "Help", 3, 0},
  };
  for (const Case& c : cases) {
    const nlohmann::json state = RunToState(c.script);
    EXPECT_EQ(state["GameState"], c.state) << c.script;
    EXPECT_EQ(state["Selection"], c.selection) << c.script;
    EXPECT_EQ(Count(state, "TAsk"), c.questions) << c.script;
  }
}

TEST_F(MenuScripts, SideEffectsOfTheMenuButtons) {
  const nlohmann::json world = RunToState("key Down\nkey Down\nkey Enter\nkey Up\nkey Enter\nkey Enter\n");
  EXPECT_EQ(world["opened"], nlohmann::json::array({"http://localhost/cgi/version.pl?prg=Zarovel&show&type=0",
                                                    "http://localhost/cgi/version.pl?prg=Zarovel&show&type=0"}));
  const nlohmann::json other = RunToState("server scores.example:8080\nkey Down\nkey Down\nkey Enter\nkey Up\nkey Enter\n");
  EXPECT_EQ(other["opened"], nlohmann::json::array({"http://scores.example:8080/cgi/version.pl?prg=Zarovel&show&type=0"}));
  const nlohmann::json help = RunToState("key Up\nkey Up\nkey Up\nkey Enter\nkey Up\nkey Enter\nkey Right\n"
                                         "key Enter\nkey Enter\nkey Enter\nkey Enter\nkey Enter\nkey Enter\n");
  int pages = 0;
  for (const auto& sprite : help["sprites"])
    if (sprite["class"] == "THlp") {
      ++pages;
      EXPECT_EQ(sprite["image"], "Hlp6");
    }
  EXPECT_EQ(pages, 1);
  const nlohmann::json credits = RunToState("key A\nkey B\nkey C\nkey D\nkey E\nkey T\n");
  EXPECT_EQ(credits["CreditsKeySum"], 419);
}

// What the file holds: after the back click and after "Exit?" the changed sound switch,
// after Escape the old one.
TEST_F(MenuScripts, ConfigFileAfterBackClickExitAndEscape) {
  const std::string soundOff = "mouse 400 240\nclick\nmouse 520 310\nclick\n";
  const struct {
    std::string script;
    bool terminated;
    uint8_t soundOn;
  } cases[] = {
      {soundOff + "mouse 300 450\nclick\n", false, 0},
      {soundOff + "key Escape\n", false, 1},
      {soundOff + "key Escape\nkey Escape\nkey Y\n", true, 0},
      {soundOff + "key Escape\nkey Escape\nmouse 350 310\nclick\n", true, 0},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(game.Path() / "Config.cfg");
    const PlayRun run = RunPlayScript(game.Dir(), work.Dir(), c.script);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(run.Output == "terminated\n", c.terminated) << c.script;
    EXPECT_EQ(SavedSettings(game.Dir()).SoundOn, c.soundOn) << c.script;
  }
}

// Each screen's buttons under the pointer, lit exactly where they are drawn, in the window
// and in full screen (entered by Alt+Enter), with the pointer near each button's lower edge.
TEST_F(MenuScripts, ScreenshotsShowTheButtonUnderThePointerLit) {
  struct Button {
    const char* open;  // script lines reaching the screen from the menu
    int x, y, width, height;
  };
  const Button buttons[] = {
      {"", 240, 166, 320, 46}, {"", 240, 221, 320, 46}, {"", 240, 283, 320, 46},
      {"", 240, 340, 320, 46}, {"", 240, 403, 320, 46}, {"", 240, 462, 320, 46},
      {"mouse 400 240\nclick\n", 217, 441, 212, 28},
      {"mouse 400 300\nclick\n", 216, 433, 192, 28}, {"mouse 400 300\nclick\n", 216, 481, 192, 28},
      {"mouse 400 300\nclick\n", 217, 529, 192, 28},
      {"mouse 400 360\nclick\n", 216, 433, 192, 28}, {"mouse 400 360\nclick\n", 493, 433, 192, 28},
      {"mouse 400 360\nclick\n", 217, 481, 192, 28},
  };
  for (const char* mode : {"", "down Alt\nkey Enter\nup Alt\n"}) {
    for (const Button& b : buttons) {
      const std::string shot = work.Dir() + "shot.png";
      const int px = b.x + b.width / 2, py = b.y + b.height - 3;
      const PlayRun run = RunPlayScript(game.Dir(), work.Dir(),
                                        std::string(mode) + b.open + "mouse " + std::to_string(px) + " " +
                                            std::to_string(py) + "\nframes 1\nscreenshot " + shot + "\n");
      ASSERT_EQ(run.ExitCode, 0) << run.Output;
      const auto frame = ReadPng(shot);
      ASSERT_TRUE(frame.has_value());
      const int lit = CountColour(*frame, b.x, b.y, b.x + b.width, b.y + b.height, kMinimalButton);
      EXPECT_EQ(lit, b.width * b.height) << b.open << " button at " << b.x << "," << b.y << (*mode ? " full" : "");
      EXPECT_EQ(CountColour(*frame, 0, 0, 800, 600, kMinimalButton), lit) << "only one button lit";
    }
  }
}

// The second click of a double click belongs to the screen its first click left: it cannot
// answer the question the first one opened, nor close the screen it opened.
TEST_F(MenuScripts, ADoubleClickActsOnce) {
  struct Case {
    const char* script;
    const char* state;
  };
  const Case cases[] = {
      {"mouse 300 300\nclick\nmouse 300 445\ndblclick\n", "Clear?"},  // "Очистить": the table stays
      {"mouse 300 480\ndblclick\n", "Exit?"},                           // "Выход": still running
      {"mouse 300 240\ndblclick\n", "Options"},                         // "Настройки" opens and stays
  };
  for (const Case& c : cases) {
    const nlohmann::json state = RunToState(c.script);
    EXPECT_EQ(state["GameState"], c.state) << c.script;
    EXPECT_EQ(state["Scores"][0]["score"], 100) << c.script;
  }
}

}  // namespace
