// The game's options, asked of the built program. It runs with no display at all, so an
// option that opened the window would fail with "cannot open the game window" (exit 1).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "game/CommandLine.h"
#include "game/Version.h"
#include "support/GameFixture.h"

namespace {

struct Outcome {
  int Exit = -1;
  std::string Out, Err;
};

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Outcome Zarovel(const std::string& arguments) {
  TempFolder outputs;
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=none '" + std::string(ZAROVEL_GAME) +
                              "' " + arguments + " >'" + outputs.Dir() + "out' 2>'" + outputs.Dir() + "err'";
  const int status = std::system(command.c_str());
  Outcome run;
  run.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Out = Contents(outputs.Path() / "out");
  run.Err = Contents(outputs.Path() / "err");
  return run;
}

TEST(CommandLine, AnswersAsGnuProgramsDoWithoutAWindow) {
  struct Case {
    std::string Arguments;
    int Exit;
    std::string OutStart;  // what standard output begins with
    std::string Err;       // standard error, whole
  };
  const std::string hint = "Try 'zarovel --help' for more information.\n";
  const Case cases[] = {
      {"--help", 0, "Usage: zarovel [OPTION]...\n", ""},
      {"--no-rumble --help", 0, "Usage: zarovel [OPTION]...\n", ""},
      {"--no-rumble --bogus", 2, "", "zarovel: unrecognized option '--bogus'\n" + hint},
      {"--version", 0, "zarovel (Zarovel) " ZAROVEL_VERSION "\n", ""},
      {"--version --bogus", 0, "zarovel (Zarovel) ", ""},
      {"--bogus --help", 2, "", "zarovel: unrecognized option '--bogus'\n" + hint},
      {"-x", 2, "", "zarovel: invalid option -- 'x'\n" + hint},
      {"level7", 2, "", "zarovel: unexpected argument 'level7'\n" + hint},
      {"-- --help", 2, "", "zarovel: unexpected argument '--help'\n" + hint},
      {"--replay", 2, "", "zarovel: option '--replay' requires an argument\n" + hint},
      {"--replay=", 2, "", "zarovel: option '--replay' requires an argument\n" + hint},
  };
  for (const Case& c : cases) {
    const Outcome run = Zarovel(c.Arguments);
    EXPECT_EQ(run.Exit, c.Exit) << c.Arguments;
    EXPECT_EQ(run.Out.substr(0, c.OutStart.size()), c.OutStart) << c.Arguments;
    if (c.OutStart.empty()) {
      EXPECT_EQ(run.Out, "") << c.Arguments;
    }
    EXPECT_EQ(run.Err, c.Err) << c.Arguments;
  }
  // The help names the score server's variable and the player's folder.
  const std::string help = Zarovel("--help").Out;
  EXPECT_NE(help.find("ZAROVEL_SCORE_SERVER"), std::string::npos);
  EXPECT_NE(help.find("~/.local/share/Zarovel/"), std::string::npos);
  EXPECT_NE(help.find("--no-rumble"), std::string::npos);
  EXPECT_NE(help.find("ZAROVEL_RUMBLE"), std::string::npos);
  EXPECT_NE(Zarovel("--version").Out.find("License MIT"), std::string::npos);
  // A replay that cannot be read is refused before any window.
  const Outcome missing = Zarovel("--replay /nonexistent/game.zreplay");
  EXPECT_EQ(missing.Exit, 1);
  EXPECT_NE(missing.Err.find("zarovel: /nonexistent/game.zreplay: cannot read"), std::string::npos) << missing.Err;
  EXPECT_EQ(missing.Err.find("cannot open the game window"), std::string::npos) << missing.Err;
}

TEST(CommandLine, RumbleIsOnUnlessTheOptionOrTheEnvironmentSaysOff) {
  const CommandLine plain = ReadCommandLine({}), quiet = ReadCommandLine({"--no-rumble"});
  EXPECT_EQ(ReadCommandLine({"--replay", "a.zreplay", "--no-rumble"}).Replay, "a.zreplay");
  EXPECT_EQ(ReadCommandLine({"--replay=b.zreplay"}).Replay, "b.zreplay");
  EXPECT_TRUE(plain.Play && quiet.Play);
  EXPECT_TRUE(RumbleWanted(plain, nullptr));
  EXPECT_TRUE(RumbleWanted(plain, "1"));
  EXPECT_TRUE(RumbleWanted(plain, ""));
  EXPECT_FALSE(RumbleWanted(plain, "0"));
  EXPECT_FALSE(RumbleWanted(quiet, nullptr));
  EXPECT_FALSE(RumbleWanted(quiet, "1"));
}

}  // namespace
