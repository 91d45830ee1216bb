// Script parsing with a clear message for every bad line.
#include "Script.h"

#include <charconv>
#include <map>
#include <set>
#include <sstream>

#include "engine/platform/VirtualKeys.h"

namespace {

std::optional<long> Number(const std::string& text) {
  long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// How many arguments each command takes, and which of them must be numbers.
struct Shape {
  size_t Count;
  std::vector<size_t> NumberArgs;
};
const std::map<std::string, Shape>& Shapes() {
  static const std::map<std::string, Shape> shapes = {
      {"seed", {1, {0}}},       {"frames", {1, {0}}},    {"wait", {1, {0}}},       {"down", {1, {}}},
      {"up", {1, {}}},          {"key", {1, {}}},        {"mouse", {2, {0, 1}}},   {"press", {1, {}}},
      {"release", {1, {}}},     {"click", {0, {}}},      {"wheel", {1, {0}}},      {"deactivate", {0, {}}},
      {"activate", {0, {}}},    {"close", {0, {}}},      {"maximize", {0, {}}},    {"minimize", {0, {}}},
      {"signal", {0, {}}},      {"server", {1, {}}},      {"screenshot", {1, {}}}, {"state", {1, {}}},
      {"monkey", {2, {0, 1}}},  {"dblclick", {0, {}}},    {"batch", {0, {}}},       {"end", {0, {}}},
      {"record", {0, {}}},      {"jitter", {1, {0}}},
  };
  return shapes;
}

void CheckJoy(const Command& c) {
  const auto bad = [&c](const std::string& why) { throw ScriptError(c.Line, "joy: " + why); };
  if (c.Args.size() != 3) bad("expected 'joy axis X|Y V' or 'joy button N down|up'");
  if (c.Args[0] == "axis") {
    if (c.Args[1] != "X" && c.Args[1] != "Y") bad("axis must be X or Y");
    auto v = Number(c.Args[2]);
    if (!v || *v < -1000 || *v > 1000) bad("axis value must be -1000..1000");
  } else if (c.Args[0] == "button") {
    auto n = Number(c.Args[1]);
    if (!n || *n < 1 || *n > 32) bad("button number must be 1..32");
    if (c.Args[2] != "down" && c.Args[2] != "up") bad("button state must be down or up");
  } else {
    bad("expected axis or button");
  }
}

void CheckPad(const Command& c) {
  const auto bad = [&c](const std::string& why) { throw ScriptError(c.Line, "pad: " + why); };
  const std::string shapes = "expected 'pad add', 'pad remove', 'pad button NAME down|up' or 'pad axis NAME V'";
  if (c.Args.empty()) bad(shapes);
  if (c.Args[0] == "add" || c.Args[0] == "remove") {
    if (c.Args.size() != 1) bad("'" + c.Args[0] + "' takes no more words");
  } else if (c.Args[0] == "button") {
    if (c.Args.size() != 3) bad(shapes);
    if (!PadButtonNamed(c.Args[1])) bad("unknown button '" + c.Args[1] + "'");
    if (c.Args[2] != "down" && c.Args[2] != "up") bad("button state must be down or up");
  } else if (c.Args[0] == "axis") {
    if (c.Args.size() != 3) bad(shapes);
    if (c.Args[1] != "leftx" && c.Args[1] != "lefty") bad("axis must be leftx or lefty");
    auto v = Number(c.Args[2]);
    if (!v || *v < -32768 || *v > 32767) bad("axis value must be -32768..32767");
  } else {
    bad(shapes);
  }
}

}  // namespace

std::optional<platform::PadButton> PadButtonNamed(const std::string& name) {
  static const std::map<std::string, platform::PadButton> named = {
      {"a", platform::PadA},
      {"b", platform::PadB},
      {"x", platform::PadX},
      {"y", platform::PadY},
      {"back", platform::PadBack},
      {"guide", platform::PadGuide},
      {"start", platform::PadStart},
      {"leftstick", platform::PadLeftStick},
      {"rightstick", platform::PadRightStick},
      {"leftshoulder", platform::PadLeftShoulder},
      {"rightshoulder", platform::PadRightShoulder},
      {"dpup", platform::PadDpadUp},
      {"dpdown", platform::PadDpadDown},
      {"dpleft", platform::PadDpadLeft},
      {"dpright", platform::PadDpadRight},
  };
  if (auto it = named.find(name); it != named.end()) return it->second;
  return std::nullopt;
}

std::optional<int> KeyCode(const std::string& name) {
  static const std::map<std::string, int> named = {
      {"Enter", vk::Return},   {"Escape", vk::Escape}, {"Space", vk::Space},    {"Left", vk::Left},
      {"Right", vk::Right},    {"Up", vk::Up},         {"Down", vk::Down},      {"PageUp", vk::Prior},
      {"PageDown", vk::Next},  {"Ctrl", vk::Control},  {"Alt", vk::Menu},       {"Shift", vk::Shift},
      {"Backspace", vk::Back}, {"Tab", vk::Tab},       {"Pause", vk::Pause},    {"Home", vk::Home},
      {"End", vk::End},        {"Insert", vk::Insert}, {"Delete", vk::Delete},
  };
  if (auto it = named.find(name); it != named.end()) return it->second;
  if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') return name[0];
  if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return name[0];
  if (name.size() >= 2 && name[0] == 'F') {
    auto n = Number(name.substr(1));
    if (n && *n >= 1 && *n <= 12) return vk::F1 + int(*n) - 1;
  }
  if (name.rfind("Numpad", 0) == 0 && name.size() == 7 && name[6] >= '0' && name[6] <= '9')
    return vk::Numpad0 + (name[6] - '0');
  if (auto n = Number(name); n && *n >= 1 && *n <= 255) return int(*n);
  return std::nullopt;
}

std::vector<Command> ParseScript(const std::string& text) {
  std::vector<Command> commands;
  std::istringstream lines(text);
  std::string line;
  bool inBatch = false;
  int batchLine = 0;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (auto hash = line.find('#'); hash != std::string::npos && line.rfind("type", 0) != 0) line.erase(hash);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    Command c;
    c.Line = number;
    if (!(words >> c.Name)) continue;
    // Only events can wait in a batch: time, pictures and dumps would see a half-delivered one.
    static const std::set<std::string> kEvents = {
        "down", "up", "key", "type", "mouse", "press", "release", "click",
        "dblclick", "wheel", "deactivate", "activate", "close", "maximize", "minimize", "signal"};
    if (c.Name == "batch" && inBatch) throw ScriptError(number, "'batch' inside a batch");
    if (c.Name == "end" && !inBatch) throw ScriptError(number, "'end' without 'batch'");
    if (inBatch && c.Name != "end" && !kEvents.count(c.Name))
      throw ScriptError(number, "'" + c.Name + "' cannot wait in a batch");
    if (c.Name == "batch") inBatch = true, batchLine = number;
    if (c.Name == "end") inBatch = false;
    if (c.Name == "type") {
      // The text runs from after "type " to the end of the line, blanks included.
      const size_t start = line.find("type") + 4;
      c.Args.push_back(start < line.size() ? line.substr(start + 1) : std::string());
      commands.push_back(c);
      continue;
    }
    for (std::string word; words >> word;) c.Args.push_back(word);
    if (c.Name == "joy" || c.Name == "pad") {
      c.Name == "joy" ? CheckJoy(c) : CheckPad(c);
      commands.push_back(c);
      continue;
    }
    auto shape = Shapes().find(c.Name);
    if (shape == Shapes().end()) throw ScriptError(number, "unknown command '" + c.Name + "'");
    if (c.Args.size() != shape->second.Count)
      throw ScriptError(number, "'" + c.Name + "' takes " + std::to_string(shape->second.Count) + " argument(s)");
    for (size_t i : shape->second.NumberArgs) {
      auto n = Number(c.Args[i]);
      if (!n) throw ScriptError(number, "'" + c.Args[i] + "' is not a whole number");
      c.Numbers.push_back(*n);
    }
    if ((c.Name == "frames" || c.Name == "wait") && c.Numbers[0] < 0)
      throw ScriptError(number, "'" + c.Name + "' needs a count of 0 or more");
    if (c.Name == "seed" && !commands.empty()) throw ScriptError(number, "'seed' must be the first command");
    if (c.Name == "down" || c.Name == "up" || c.Name == "key") {
      auto key = KeyCode(c.Args[0]);
      if (!key) throw ScriptError(number, "unknown key '" + c.Args[0] + "'");
      c.Key = *key;
    }
    if ((c.Name == "press" || c.Name == "release") && c.Args[0] != "left" && c.Args[0] != "right" &&
        c.Args[0] != "middle")
      throw ScriptError(number, "mouse button must be left, right or middle");
    if (c.Name == "server" && c.Args[0].find(':') == std::string::npos)
      throw ScriptError(number, "server must be HOST:PORT");
    commands.push_back(c);
  }
  if (inBatch) throw ScriptError(batchLine, "'batch' without 'end'");
  return commands;
}
