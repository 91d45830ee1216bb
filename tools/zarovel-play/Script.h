// Parsing of driver scripts: one command per line, '#' starts a comment.
#pragma once
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/platform/Platform.h"

struct ScriptError : std::runtime_error {
  ScriptError(int line, const std::string& message)
      : std::runtime_error("line " + std::to_string(line) + ": " + message), Line(line) {}
  int Line;
};

struct Command {
  int Line = 0;
  std::string Name;               // "frames", "key", "mouse", ...
  std::vector<std::string> Args;  // split on blanks, except "type" which keeps its text whole
  std::vector<long> Numbers;      // numeric arguments, already checked
  int Key = 0;                    // virtual-key code for key commands
};

// Parses and checks the whole script; a bad line throws ScriptError.
std::vector<Command> ParseScript(const std::string& text);

// A key name ("A", "Enter", "F5", "Numpad8") or a decimal code 1..255; nothing if unknown.
std::optional<int> KeyCode(const std::string& name);

// A game controller button by SDL's game-controller name ("a", "start", "dpup", ...).
std::optional<platform::PadButton> PadButtonNamed(const std::string& name);
