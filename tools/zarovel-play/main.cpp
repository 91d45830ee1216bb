// zarovel-play GAME_DIR SCRIPT: runs the game headless under a script (see the README).
// zarovel-play --verify FILE [GAME_DIR]: plays a replay again and checks its ending.
#include <cstdio>
#include <string>
#include <exception>
#include <fstream>
#include <sstream>

#include "Driver.h"
#include "Script.h"
#include "Verify.h"

#ifndef ZAROVEL_BUILT_DATA
#define ZAROVEL_BUILT_DATA "."
#endif

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--verify" && (argc == 3 || argc == 4))
    return VerifyReplay(argv[2], argc == 4 ? argv[3] : ZAROVEL_BUILT_DATA);
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: zarovel-play GAME_DIR SCRIPT\n"
                 "       zarovel-play --verify FILE [GAME_DIR]\n");
    return 2;
  }
  std::ifstream file(argv[2]);
  if (!file) {
    std::fprintf(stderr, "zarovel-play: cannot read %s\n", argv[2]);
    return 2;
  }
  std::stringstream text;
  text << file.rdbuf();
  try {
    const std::vector<Command> script = ParseScript(text.str());
    Driver driver(argv[1]);
    for (const Command& command : script) {
      if (!driver.Run(command)) {
        driver.Finish();
        std::printf("terminated\n");
        return 0;
      }
    }
    driver.Start();
  } catch (const ScriptError& error) {
    std::fprintf(stderr, "zarovel-play: %s: %s\n", argv[2], error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zarovel-play: %s\n", error.what());
    return 1;
  }
  return 0;
}
