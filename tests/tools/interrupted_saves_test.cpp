// A real process of the game killed hard (SIGKILL, as a crash or a power cut would) at random
// moments while it saves the settings over and over: Config.cfg is always whole, and the next
// start leaves none of the temporary files that the cut-short saves left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "support/GameFixture.h"
#include "support/PlayScript.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("Config.cfg.", 0) == 0) names.push_back(name);
  }
  return names;
}

TEST(InterruptedSaves, AKilledGameNeverTearsConfigAndTheNextStartCleansUp) {
  TempFolder game, work;
  WriteMinimalGameData(game.Dir());
  // Alt+Enter switches the display mode and saves, again and again.
  std::string saving = "frames 1\n";
  for (int i = 0; i < 5000; ++i) saving += "down Alt\nkey Enter\nup Alt\n";
  const std::string script = work.Dir() + "saving.txt";
  std::ofstream(script) << saving;

  // A first start makes Config.cfg, so every kill below finds one to keep whole.
  ASSERT_EQ(RunPlayScript(game.Dir(), work.Dir(), "frames 1\n").ExitCode, 0);
  std::mt19937 rng(12345);
  int leftBehind = 0;
  for (int kill = 0; kill < 30; ++kill) {
    SCOPED_TRACE(kill);
    pid_t pid = 0;
    std::string play = ZAROVEL_PLAY, dir = game.Dir();
    char* argv[] = {play.data(), dir.data(), const_cast<char*>(script.c_str()), nullptr};
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 120));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(fs::file_size(game.Dir() + "Config.cfg"), 220u);
    leftBehind += !Leftovers(game.Dir()).empty();
    const PlayRun start = RunPlayScript(game.Dir(), work.Dir(), "frames 1\n");
    ASSERT_EQ(start.ExitCode, 0) << start.Output;
    EXPECT_TRUE(Leftovers(game.Dir()).empty());
  }
  RecordProperty("kills that left a temporary file", leftBehind);
}

}  // namespace
