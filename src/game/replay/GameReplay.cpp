// The replay hooks, the start of a game taken and restored, and the player's replays folder.
#include "game/replay/GameReplay.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "game/Form1.h"
#include "game/Version.h"
#include "game/replay/StateHash.h"
#include "state/Config.h"

namespace fs = std::filesystem;

void TGameReplay::Settle() {
  if (settled_) return;
  settled_ = true;
  replay::Record r;
  r.What = replay::Record::Kind::Settle;
  r.Settled = std::make_shared<const replay::Start>(TakeStart(form_));
  Put(r);
}

void TGameReplay::Frame() {
  Settle();
  replay::Record r;
  r.What = replay::Record::Kind::Frame;
  r.Poll = form_.DXInput1.LastPoll();
  Put(r);
}

void TGameReplay::EndOfTick() {
  if (++ticks_ % replay::kTicksPerMark != 0) return;
  replay::Record r;
  r.What = replay::Record::Kind::Mark;
  r.StateHash = StateHash(form_);
  Put(r);
}

void TGameReplay::TimerTick(int timer) {
  Settle();
  replay::Record r;
  r.What = timer == 2 ? replay::Record::Kind::Timer2 : replay::Record::Kind::Timer3;
  Put(r);
}

void TGameReplay::Event(const platform::Event& event) {
  Settle();
  replay::Record r;
  r.What = replay::Record::Kind::Event;
  r.Input = event;
  form_.Platform.GetCursorPos(r.CursorX, r.CursorY);
  Put(r);
}

void TGameReplay::GameOver() {
  if (over_) return;
  over_ = true;
  replay::Ending ending;
  ending.Score = DecodeScore(form_.G.Score);
  ending.Level = form_.G.Level;
  ending.StateHash = StateHash(form_);
  ending.Ticks = ticks_;
  Close(ending);
}

replay::Start TakeStart(TForm1& form) {
  const GameGlobals& g = form.G;
  replay::Start s;
  const TRandom::Snapshot random = form.Random.Save();
  s.RandomState = random.State, s.RandomIncrement = random.Increment;
  s.FrameCounter = g.FrameCounter;
  s.InputStates = form.DXInput1.States;
  s.InputPrevious = form.DXInput1.Previous();
  s.MouseFire = g.MouseFire, s.MouseSwitch = g.MouseSwitch;
  s.WalkRightRequest = g.WalkRightRequest, s.WalkLeftRequest = g.WalkLeftRequest;
  s.Timer2 = form.Timer2.Enabled(), s.Timer3 = form.Timer3.Enabled();
  s.PlayerDown = g.PlayerDown;
  s.Selection = g.Selection, s.MenuSelection = g.MenuSelection;
  s.CreditsKeySum = uint32_t(g.CreditsKeySum);
  s.PressScreen = g.PressScreen;
  for (size_t i = 0; i < g.MouseOverFlags.size(); ++i) s.MouseOverFlags |= uint32_t(g.MouseOverFlags[i]) << i;
  s.RequireHover = g.RequireHover;
  s.PadConnected = g.PadConnected, s.PadButtons = g.PadButtons;
  s.PadStickX = int8_t(g.PadStickX), s.PadStickY = int8_t(g.PadStickY);
  for (size_t i = 0; i < s.PadKeys.size(); ++i) s.PadKeys[i] = uint8_t(g.PadKeys[i]);
  s.PadStickKeyX = uint8_t(g.PadStickKeyX), s.PadStickKeyY = uint8_t(g.PadStickKeyY);
  const TApplication::DeliveryMemory memory = form.Application.Memory();
  s.Active = memory.Active, s.LeftPressed = memory.LeftPressed, s.PressShift = memory.PressShift;
  return s;
}

void RestoreStart(TForm1& form, const replay::Start& s) {
  GameGlobals& g = form.G;
  form.Random.Restore({s.RandomState, s.RandomIncrement});
  g.FrameCounter = s.FrameCounter;
  form.DXInput1.States = s.InputStates;
  form.DXInput1.SetPrevious(s.InputPrevious);
  g.MouseFire = s.MouseFire, g.MouseSwitch = s.MouseSwitch;
  g.WalkRightRequest = s.WalkRightRequest, g.WalkLeftRequest = s.WalkLeftRequest;
  form.Timer2.SetEnabled(s.Timer2);
  form.Timer3.SetEnabled(s.Timer3);
  g.PlayerDown = s.PlayerDown;
  g.Selection = s.Selection, g.MenuSelection = s.MenuSelection;
  g.CreditsKeySum = decltype(g.CreditsKeySum)(s.CreditsKeySum);
  g.PressScreen = s.PressScreen;
  for (size_t i = 0; i < g.MouseOverFlags.size(); ++i) g.MouseOverFlags[i] = (s.MouseOverFlags >> i) & 1;
  g.RequireHover = s.RequireHover;
  g.PadConnected = s.PadConnected, g.PadButtons = s.PadButtons;
  g.PadStickX = s.PadStickX, g.PadStickY = s.PadStickY;
  for (size_t i = 0; i < s.PadKeys.size(); ++i) g.PadKeys[i] = s.PadKeys[i];
  g.PadStickKeyX = s.PadStickKeyX, g.PadStickKeyY = s.PadStickKeyY;
  form.Application.SetMemory({s.Active, s.LeftPressed, s.PressShift});
}

std::array<uint32_t, 3> DataHashes(const std::string& gameDir) {
  std::array<uint32_t, 3> hashes{};
  const char* files[3] = {"Data/MData.dxg", "Data/GData.dxg", "Sound/GSnd.dxg"};
  for (size_t i = 0; i < 3; ++i) hashes[i] = replay::FileCrc(gameDir + files[i]).value_or(0);
  return hashes;
}

namespace {

constexpr size_t kKeptGames = 20;
constexpr const char* kIndexName = "records.txt";

// Writes the game to a file as it goes.
class TRecording : public TGameReplay {
 public:
  TRecording(TForm1& form, std::string path) : TGameReplay(form), path_(std::move(path)) {}
  bool Open(const replay::Header& header) { return writer_.Open(path_, header); }
  const std::string& Path() const { return path_; }
  std::string FinalPath;

 protected:
  void Put(const replay::Record& record) override { writer_.Add(record); }
  void Close(const replay::Ending& ending) override {
    writer_.Finish(ending);
    // Named by its score now that it is known.
    std::string final = path_;
    const size_t dash = final.rfind('-');
    if (dash != std::string::npos) final = final.substr(0, dash + 1) + std::to_string(ending.Score) + ".zreplay";
    std::error_code error;
    fs::rename(path_, final, error);
    FinalPath = error ? path_ : final;
  }

 private:
  std::string path_;
  replay::Writer writer_;
};

std::string ReplayFolder(const TForm1& form) { return form.G.ConfigDir + "replays/"; }

// The index: one line per score table entry, "<score> <file or -> <name>", in table order.
struct IndexLine {
  uint32_t Score = 0;
  std::string File, Name;
};

std::vector<IndexLine> ReadIndex(const std::string& folder) {
  std::vector<IndexLine> lines;
  std::ifstream in(folder + kIndexName);
  std::string text;
  while (std::getline(in, text) && lines.size() < 100) {
    std::istringstream words(text);
    IndexLine line;
    if (!(words >> line.Score >> line.File)) continue;
    std::getline(words, line.Name);
    if (!line.Name.empty() && line.Name.front() == ' ') line.Name.erase(0, 1);
    lines.push_back(line);
  }
  return lines;
}

// The files to keep: the newest games and those of the index.
void Prune(const std::string& folder, const std::vector<IndexLine>& index) {
  std::error_code error;
  std::vector<std::string> games;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".zreplay") games.push_back(name);
  }
  std::sort(games.begin(), games.end());  // named by their start: oldest first
  for (size_t i = 0; i + kKeptGames < games.size(); ++i) {
    const bool recorded = std::any_of(index.begin(), index.end(), [&](const IndexLine& l) { return l.File == games[i]; });
    if (!recorded) fs::remove(folder + games[i], error);
  }
}

// "YYYYMMDD-HHMMSS-" of the local time.
std::string Stamp(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S-", &local);
  return stamp;
}

// Whether a replay in the folder already bears the stamp.
bool StampTaken(const std::string& folder, const std::string& stamp) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().filename().string().rfind(stamp, 0) == 0) return true;
  return false;
}

}  // namespace

void BeginRecording(TForm1& form) {
  const std::string folder = ReplayFolder(form);
  std::error_code error;
  fs::create_directories(folder, error);
  std::time_t now = std::time_t(form.Platform.WallClock());
  // A game started in the second another did (or the clock was set back) takes the next
  // free second for its name, so no file is ever written over.
  std::string stamp = Stamp(now);
  for (int tries = 0; tries < 3600 && StampTaken(folder, stamp); ++tries) stamp = Stamp(++now);
  replay::Header header;
  header.GameVersion = ZAROVEL_VERSION;
  if (!form.ReplayDataHashes) form.ReplayDataHashes = DataHashes(form.G.AppDir);
  header.DataHashes = *form.ReplayDataHashes;
  header.StartedAt = int64_t(now);
  header.Begin = TakeStart(form);
  auto recording = std::make_unique<TRecording>(form, folder + stamp + "0.zreplay");
  if (!recording->Open(header)) return;  // the game goes on unrecorded
  form.Replay = std::move(recording);
}

void EndRecording(TForm1& form) {
  if (!form.Replay) return;
  form.Replay->GameOver();
  if (auto* recording = dynamic_cast<TRecording*>(form.Replay.get())) {
    form.LastReplay = fs::path(recording->FinalPath).filename().string();
    form.Replay.reset();
    Prune(ReplayFolder(form), ReadIndex(ReplayFolder(form)));
    return;
  }
  form.Replay.reset();
}

void ScoreTableChanged(TForm1& form, bool newRecord) {
  if (!form.RecordReplays) return;
  const std::string folder = ReplayFolder(form);
  std::vector<IndexLine> old = ReadIndex(folder);
  const Settings& s = form.G.Settings;
  std::vector<IndexLine> index;
  bool placed = !newRecord;
  for (int k = 1; k <= Settings::ScoreCount; ++k) {
    IndexLine line;
    line.Score = DecodeScore(s.Entry(k).Score);
    line.Name = std::string(s.Entry(k).Name.View());
    line.File = "-";
    // The entry just stored is the last game's; the others keep the file they had.
    if (!placed && line.Score == DecodeScore(form.G.Score) && line.Name == std::string(form.G.EntryName.View())) {
      line.File = form.LastReplay.empty() ? "-" : form.LastReplay;
      placed = true;
    } else {
      const auto match = std::find_if(old.begin(), old.end(), [&](const IndexLine& l) {
        return l.Score == line.Score && l.Name == line.Name;
      });
      if (match != old.end()) {
        line.File = match->File;
        old.erase(match);
      }
    }
    index.push_back(line);
  }
  std::error_code error;
  fs::create_directories(folder, error);
  {
    std::ofstream out(folder + kIndexName + std::string(".new"), std::ios::trunc);
    for (const IndexLine& line : index) out << line.Score << ' ' << line.File << ' ' << line.Name << '\n';
  }
  fs::rename(folder + kIndexName + std::string(".new"), folder + kIndexName, error);
  Prune(folder, index);
}
