// Runs zarovel-play on a game folder with a script and reads back what it wrote.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

struct PlayRun {
  int ExitCode = -1;
  std::string Output;  // standard output and error together
};

// Runs zarovel-play with these arguments (quoted as the shell wants them).
PlayRun RunPlay(const std::string& arguments);
// Writes script to workDir/script.txt and runs zarovel-play on gameDir with it.
PlayRun RunPlayScript(const std::string& gameDir, const std::string& workDir, const std::string& script);
// A state file the script wrote.
nlohmann::json ReadStateJson(const std::string& path);
