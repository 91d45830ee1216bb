// zarovel-play run from tests through a pipe.
#include "support/PlayScript.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>

PlayRun RunPlayScript(const std::string& gameDir, const std::string& workDir, const std::string& script) {
  const std::string scriptPath = workDir + "script.txt";
  std::ofstream(scriptPath) << script;
  return RunPlay(gameDir + " " + scriptPath);
}

PlayRun RunPlay(const std::string& arguments) {
  const std::string command = std::string(ZAROVEL_PLAY) + " " + arguments + " 2>&1";
  PlayRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) run.Output.append(buffer, n);
  const int status = pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

nlohmann::json ReadStateJson(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}
