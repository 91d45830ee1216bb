// The program's options. Without any, the game starts in its window as it always has;
// the options answer as GNU programs do.
#pragma once
#include <string>
#include <vector>

struct CommandLine {
  bool Play = true;    // false: print Out or Err and exit with ExitCode, no window
  int ExitCode = 0;    // 0 for --help and --version, 2 for a bad command line
  std::string Out;     // for standard output
  std::string Err;     // for standard error
  bool Rumble = true;  // false with --no-rumble
  std::string Replay;  // --replay FILE: the replay to watch instead of playing
};

// args are the arguments after the program's name.
CommandLine ReadCommandLine(const std::vector<std::string>& args);

// Whether the controller may rumble: the command line allows it and ZAROVEL_RUMBLE is not "0".
bool RumbleWanted(const CommandLine& command, const char* environmentValue);

// The score server's host: ZAROVEL_SCORE_SERVER when set and not empty, else the build's.
std::string ScoreServerHost(const char* environmentValue);
