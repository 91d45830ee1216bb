// Tracker modules from the tunes in assets/music: NAME.tune becomes Sound/NAME.xm, its
// instruments synthesized from the recipes in assets/music/instruments.
//
// A tune, one statement a line, a word starting with '#' starts a comment:
//   title Menu theme
//   speed 6                      ticks per row
//   bpm 96                       tempo (a row lasts speed * 2.5 / bpm seconds)
//   restart 2                    order position (from 1) played after the last
//   instrument pad pad.snd       an instrument and its recipe
//   channel lead lead 40         channels in order: name, instrument, default volume 0..64
//   alias K C-4/kick:48          a name for a cell, used like a note
//   pattern verse [rows 64] [like intro]   starts a pattern (like: copies that one's tracks)
//   lead | E-5 . . . D-5 . C-5 . |         a channel's cells, one a row; more lines append
//   order intro verse verse chorus
// A cell: "." nothing, "==" release, or a note (C-4, C#4) or alias, followed by optional
// "/instrument", ":volume" and "!Exx" (an effect: type 0-9/A-Z and a hex parameter); ".:20"
// or ".!A04" change volume or add an effect without a new note. "|" is ignored;
// "[ ... ]x4" repeats cells. A track shorter than its pattern repeats to fill it.
#include <cctype>
#include <cmath>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "DataBuild.h"
#include "Recipe.h"
#include "XmWriter.h"

namespace fs = std::filesystem;

namespace {

struct Channel {
  std::string Name;
  int Instrument = 0;
  int Volume = -1;  // -1: the sample's own
};

struct PatternSource {
  std::string Name;
  int Rows = 64;
  std::map<int, std::vector<XmCell>> Tracks;  // channel -> cells as written
};

class TuneReader {
 public:
  TuneReader(fs::path file, fs::path instruments) : file_(std::move(file)), instruments_(std::move(instruments)) {}

  XmModule Read() {
    std::ifstream in(file_);
    if (!in) throw AssetError("cannot read " + file_.string());
    std::string text;
    for (line_ = 1; std::getline(in, text); ++line_) {
      StripComment(text);
      std::istringstream stream(text);
      std::vector<std::string> words;
      for (std::string word; stream >> word;) words.push_back(word);
      if (!words.empty()) Statement(words);
    }
    FinishPattern();
    if (module_.Order.empty()) Fail("no order");
    if (restart_ > int(module_.Order.size())) Fail("restart past the order list");
    module_.Restart = restart_ - 1;
    module_.Channels = int(channels_.size());
    try {
      WriteXm(module_);  // checks every limit now, so the message names the tune
    } catch (const XmError& error) {
      throw AssetError(file_.string() + ": " + error.what());
    }
    return module_;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw AssetError(file_.string() + ":" + std::to_string(line_) + ": " + why);
  }

  int Number(const std::string& text, int low, int high) const {
    size_t used = 0;
    int value = 0;
    try {
      value = std::stoi(text, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != text.size() || value < low || value > high)
      Fail(text + " is not a number in " + std::to_string(low) + ".." + std::to_string(high));
    return value;
  }

  int InstrumentNamed(const std::string& name) const {
    auto found = instrumentIds_.find(name);
    if (found == instrumentIds_.end()) Fail("unknown instrument " + name);
    return found->second;
  }

  void Statement(const std::vector<std::string>& words) {
    const std::string& key = words[0];
    const auto want = [&](size_t low, size_t high) {
      if (words.size() < low + 1 || words.size() > high + 1) Fail("wrong number of values for " + key);
    };
    if (key == "title") {
      module_.Name.clear();
      for (size_t i = 1; i < words.size(); ++i) module_.Name += (i > 1 ? " " : "") + words[i];
    } else if (key == "speed") {
      want(1, 1), module_.Speed = Number(words[1], 1, 31);
    } else if (key == "bpm") {
      want(1, 1), module_.Bpm = Number(words[1], 32, 255);
    } else if (key == "restart") {
      want(1, 1), restart_ = Number(words[1], 1, 256);
    } else if (key == "instrument") {
      want(2, 2), AddInstrument(words[1], words[2]);
    } else if (key == "channel") {
      want(2, 3);
      if (!sources_.empty()) Fail("channels come before the patterns");
      if (channelIds_.count(words[1]) || aliases_.count(words[1])) Fail("name used twice: " + words[1]);
      channelIds_[words[1]] = int(channels_.size());
      channels_.push_back({words[1], InstrumentNamed(words[2]), words.size() > 3 ? Number(words[3], 0, 64) : -1});
    } else if (key == "alias") {
      want(2, 2);
      if (synth::NoteNumber(words[1]) != 0 || words[1] == "." || channelIds_.count(words[1]))
        Fail("alias name taken: " + words[1]);
      aliases_[words[1]] = Cell(words[2], nullptr);
    } else if (key == "pattern") {
      StartPattern(words);
    } else if (key == "order") {
      FinishPattern();
      for (size_t i = 1; i < words.size(); ++i) {
        auto found = patternIds_.find(words[i]);
        if (found == patternIds_.end()) Fail("unknown pattern " + words[i]);
        module_.Order.push_back(uint8_t(found->second));
      }
    } else if (channelIds_.count(key)) {
      if (current_ == nullptr) Fail("cells outside a pattern");
      const int channel = channelIds_[key];
      std::vector<XmCell>& track = current_->Tracks[channel];
      if (mentioned_.insert(channel).second) track.clear();  // replaces a copied track
      Cells(words, channels_[size_t(channel)], track);
    } else {
      Fail("unknown statement " + key);
    }
  }

  void AddInstrument(const std::string& id, const std::string& recipeFile) {
    if (instrumentIds_.count(id)) Fail("instrument named twice: " + id);
    const Recipe recipe = ReadRecipe(instruments_ / recipeFile);
    XmInstrument instrument;
    instrument.Name = recipe.Name;
    XmSample& sample = instrument.Sample;
    sample.Name = recipe.Name;
    sample.Data = RenderRecipe(recipe, &sample.LoopStart, &sample.LoopLength);
    // The recipe sounds its base note at its own rate; C-4 plays it that many semitones lower.
    TuneToRate(sample, recipe.Rate * std::pow(2.0, (49 - synth::NoteNumber(recipe.Base)) / 12.0));
    sample.Volume = uint8_t(recipe.Volume);
    sample.Panning = uint8_t(recipe.Pan);
    for (const auto& [tick, level] : recipe.Envelope)
      instrument.VolumeEnvelope.Points.emplace_back(uint16_t(tick), uint16_t(level));
    instrument.VolumeEnvelope.Sustain = recipe.Sustain;
    instrument.Fadeout = uint16_t(recipe.Fadeout);
    instrument.VibratoType = uint8_t(recipe.VibratoType), instrument.VibratoSweep = uint8_t(recipe.VibratoSweep);
    instrument.VibratoDepth = uint8_t(recipe.VibratoDepth), instrument.VibratoRate = uint8_t(recipe.VibratoRate);
    module_.Instruments.push_back(std::move(instrument));
    instrumentIds_[id] = int(module_.Instruments.size());
  }

  void StartPattern(const std::vector<std::string>& words) {
    FinishPattern();
    if (words.size() < 2) Fail("pattern needs a name");
    if (patternIds_.count(words[1])) Fail("pattern named twice: " + words[1]);
    sources_.push_back({words[1], 64, {}});
    current_ = &sources_.back();
    for (size_t i = 2; i < words.size(); i += 2) {
      if (i + 1 >= words.size()) Fail("missing value after " + words[i]);
      if (words[i] == "rows") {
        current_->Rows = Number(words[i + 1], 1, 256);
      } else if (words[i] == "like") {
        auto found = patternIds_.find(words[i + 1]);
        if (found == patternIds_.end()) Fail("unknown pattern " + words[i + 1]);
        current_->Tracks = sources_[size_t(found->second)].Tracks;
      } else {
        Fail("unknown pattern option " + words[i]);
      }
    }
    patternIds_[words[1]] = int(sources_.size() - 1);
    mentioned_.clear();
  }

  // Lays the pattern's tracks into rows, repeating short tracks.
  void FinishPattern() {
    if (current_ == nullptr) return;
    const int channels = int(channels_.size());
    XmPattern pattern;
    pattern.Rows = current_->Rows;
    pattern.Cells.assign(size_t(pattern.Rows * channels), XmCell{});
    for (const auto& [channel, cells] : current_->Tracks) {
      if (cells.empty()) continue;
      if (pattern.Rows % int(cells.size()) != 0)
        Fail("pattern " + current_->Name + ", channel " + channels_[size_t(channel)].Name + ": " +
             std::to_string(cells.size()) + " cells do not fill " + std::to_string(pattern.Rows) + " rows");
      for (int row = 0; row < pattern.Rows; ++row)
        pattern.At(row, channel, channels) = cells[size_t(row) % cells.size()];
    }
    module_.Patterns.push_back(std::move(pattern));
    current_ = nullptr;
  }

  void Cells(const std::vector<std::string>& words, const Channel& channel, std::vector<XmCell>& track) {
    std::vector<std::vector<XmCell>> groups(1);
    for (size_t i = 1; i < words.size(); ++i) {
      const std::string& word = words[i];
      if (word == "|") continue;
      if (word == "[") {
        groups.emplace_back();
      } else if (word.size() > 2 && word.rfind("]x", 0) == 0) {
        if (groups.size() < 2) Fail("']' without '['");
        const int times = Number(word.substr(2), 1, 256);
        std::vector<XmCell> group = std::move(groups.back());
        groups.pop_back();
        for (int t = 0; t < times; ++t) groups.back().insert(groups.back().end(), group.begin(), group.end());
      } else {
        groups.back().push_back(Cell(word, &channel));
      }
    }
    if (groups.size() != 1) Fail("'[' without ']xN'");
    track.insert(track.end(), groups[0].begin(), groups[0].end());
  }

  // One cell; channel is null for an alias, whose note takes no channel defaults.
  XmCell Cell(const std::string& word, const Channel* channel) const {
    const size_t end = word.find_first_of("/:!");
    const std::string head = word.substr(0, end);
    XmCell cell;
    bool isNote = false;
    if (auto alias = aliases_.find(head); alias != aliases_.end()) {
      cell = alias->second;
    } else if (head == "==") {
      cell.Note = kXmKeyOff;
    } else if (int note = synth::NoteNumber(head); note != 0) {
      cell.Note = uint8_t(note);
      isNote = true;
    } else if (head != ".") {
      Fail("not a note, alias or '.': " + word);
    }
    if (isNote && channel != nullptr) {
      cell.Instrument = uint8_t(channel->Instrument);
      if (channel->Volume >= 0) cell.Volume = uint8_t(0x10 + channel->Volume);
    }
    for (size_t at = end; at < word.size();) {
      const size_t next = word.find_first_of("/:!", at + 1);
      const std::string value = word.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
      switch (word[at]) {
        case '/': cell.Instrument = uint8_t(InstrumentNamed(value)); break;
        case ':': cell.Volume = uint8_t(0x10 + Number(value, 0, 64)); break;
        default: {
          const std::string digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
          const size_t type = value.empty() ? std::string::npos : digits.find(value[0]);
          if (value.size() != 3 || type == std::string::npos || !std::isxdigit(uint8_t(value[1])) ||
              !std::isxdigit(uint8_t(value[2])))
            Fail("bad effect !" + value);
          cell.Effect = uint8_t(type);
          cell.Param = uint8_t(std::stoi(value.substr(1), nullptr, 16));
        }
      }
      at = next == std::string::npos ? word.size() : next;
    }
    return cell;
  }

  fs::path file_, instruments_;
  int line_ = 0;
  int restart_ = 1;
  XmModule module_;
  std::vector<Channel> channels_;
  std::map<std::string, int> channelIds_, instrumentIds_, patternIds_;
  std::map<std::string, XmCell> aliases_;
  std::deque<PatternSource> sources_;  // a deque keeps current_ valid as patterns are added
  PatternSource* current_ = nullptr;
  std::set<int> mentioned_;
};

}  // namespace

void BuildMusic(const fs::path& assets, const fs::path& out) {
  for (const fs::path& tune : FilesIn(assets / "music", ".tune")) {
    XmModule module = TuneReader(tune, assets / "music" / "instruments").Read();
    SaveXm(out / "Sound" / (tune.stem().string() + ".xm"), module);
  }
}
