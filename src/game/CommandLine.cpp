// --help, --version and the errors of a command line the game does not understand.
#include "game/CommandLine.h"

#include "game/Version.h"

#ifndef ZAROVEL_SCORE_SERVER
#define ZAROVEL_SCORE_SERVER "localhost"
#endif

namespace {

const std::string kHelp = std::string(
    "Usage: zarovel [OPTION]...\n"
    "Zarovel, a 2D arcade shooter: a soldier on uneven ground fires seven weapons at the\n"
    "aircraft crossing the sky. Without options the game starts in its window.\n"
    "\n"
    "      --no-rumble    never rumble the game controller (it does when the soldier\n"
    "                     is hit or loses a life)\n"
    "      --replay FILE  watch a recorded game: Space pauses, Right and Left change\n"
    "                     the speed (1x to 8x), Escape leaves\n"
    "      --help         display this help and exit\n"
    "      --version      output version information and exit\n"
    "\n"
    "Any game controller works, plugged in before or during a game. In play: left stick or\n"
    "d-pad to walk and aim, A (south) to fire, B, X or the right shoulder to switch weapons,\n"
    "Start to pause, Back to leave. In the menus: d-pad or stick to move, A or Start to\n"
    "choose, B to go back.\n"
    "\n"
    "Settings and the ten best scores are kept in Config.cfg: in a portable copy (the game\n"
    "beside its Data folder) next to the game, else in $XDG_DATA_HOME/Zarovel/ (usually\n"
    "~/.local/share/Zarovel/). Every game is recorded into replays/ beside Config.cfg: the\n"
    "last 20, and those of the score table (replays/records.txt says which is which).\n"
    "\n"
    "Environment:\n"
    "  ZAROVEL_RUMBLE=0      as --no-rumble\n"
    "  ZAROVEL_SCORE_SERVER  host[:port] of the online score server (default: ") +
    ZAROVEL_SCORE_SERVER +
    ")\n"
    "\n"
    "The keys and the mouse are described in zarovel(6) and on the game's help pages.\n";

const std::string kVersion = std::string("zarovel (Zarovel) ") + ZAROVEL_VERSION +
                             "\n"
                             "Copyright (C) " ZAROVEL_COPYRIGHT_YEAR
                             " Zarovel developers\n"
                             "License MIT: <https://opensource.org/licenses/MIT>.\n"
                             "This is free software: you are free to change and redistribute it.\n"
                             "There is NO WARRANTY, to the extent permitted by law.\n";

CommandLine Refuse(const std::string& complaint) {
  return {false, 2, "", "zarovel: " + complaint + "\nTry 'zarovel --help' for more information.\n"};
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& args) {
  // In order, as getopt reads them: the first option that ends the run decides.
  CommandLine play;
  bool options = true;  // until "--"
  bool skipNext = false;  // the argument of the option before
  for (const std::string& arg : args) {
    if (skipNext) {
      skipNext = false;
      continue;
    }
    if (options && arg == "--") {
      options = false;
      continue;
    }
    if (!options) return Refuse("unexpected argument '" + arg + "'");
    if (arg == "--help") return {false, 0, kHelp, ""};
    if (arg == "--version") return {false, 0, kVersion, ""};
    if (arg == "--no-rumble") {
      play.Rumble = false;
      continue;
    }
    if (arg.rfind("--replay=", 0) == 0) {
      play.Replay = arg.substr(9);
      if (play.Replay.empty()) return Refuse("option '--replay' requires an argument");
      continue;
    }
    if (arg == "--replay") {
      const size_t at = size_t(&arg - args.data());
      if (at + 1 >= args.size()) return Refuse("option '--replay' requires an argument");
      play.Replay = args[at + 1];
      skipNext = true;
      continue;
    }
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) return Refuse("unrecognized option '" + arg + "'");
    if (arg.size() > 1 && arg[0] == '-') return Refuse("invalid option -- '" + arg.substr(1, 1) + "'");
    return Refuse("unexpected argument '" + arg + "'");
  }
  return play;
}

bool RumbleWanted(const CommandLine& command, const char* environmentValue) {
  return command.Rumble && !(environmentValue != nullptr && std::string(environmentValue) == "0");
}

std::string ScoreServerHost(const char* environmentValue) {
  if (environmentValue != nullptr && *environmentValue != '\0') return environmentValue;
  return ZAROVEL_SCORE_SERVER;
}
