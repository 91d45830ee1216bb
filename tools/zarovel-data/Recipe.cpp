// Reads synthesis recipes and renders them through the synthesizer.
#include "Recipe.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "DataBuild.h"

namespace fs = std::filesystem;

namespace {

// The words of one line and where it came from, for messages.
struct Line {
  std::string Where;
  std::vector<std::string> Words;

  [[noreturn]] void Fail(const std::string& why) const { throw AssetError(Where + ": " + why); }
  void Want(size_t count) const {
    if (Words.size() != count + 1) Fail(Words[0] + " takes " + std::to_string(count) + " value(s)");
  }
  double Number(size_t index) const {
    if (index >= Words.size()) Fail(Words[0] + ": missing value");
    try {
      size_t used = 0;
      const double value = std::stod(Words[index], &used);
      if (used == Words[index].size() && std::isfinite(value)) return value;
    } catch (const std::exception&) {
    }
    Fail(Words[0] + ": not a number: " + Words[index]);
  }
  int Integer(size_t index, int low, int high) const {
    const double value = Number(index);
    if (value != std::floor(value) || value < low || value > high)
      Fail(Words[0] + ": " + Words[index] + " is not a whole number in " + std::to_string(low) + ".." +
           std::to_string(high));
    return int(value);
  }
  // Hz written as a number or as a note.
  double Pitch(size_t index) const {
    if (index < Words.size() && synth::NoteNumber(Words[index]) != 0) return synth::NoteHz(Words[index]);
    const double hz = Number(index);
    if (hz < 0.0) Fail(Words[0] + ": negative pitch");
    return hz;
  }
  // "A" or "A -> B".
  std::pair<double, double> Range(bool pitch) const {
    const auto value = [&](size_t i) { return pitch ? Pitch(i) : Number(i); };
    if (Words.size() == 2) return {value(1), value(1)};
    if (Words.size() == 4 && Words[2] == "->") return {value(1), value(3)};
    Fail(Words[0] + " takes a value or 'from -> to'");
  }
};

synth::Shape ShapeNamed(const Line& line) {
  static const std::pair<const char*, synth::Shape> kShapes[] = {
      {"sine", synth::Shape::Sine}, {"square", synth::Shape::Square}, {"saw", synth::Shape::Saw},
      {"triangle", synth::Shape::Triangle}, {"noise", synth::Shape::Noise}};
  line.Want(1);
  for (const auto& [name, shape] : kShapes)
    if (line.Words[1] == name) return shape;
  line.Fail("unknown layer shape " + line.Words[1]);
}

void SetLayer(synth::Layer& layer, const Line& line) {
  const std::string& key = line.Words[0];
  if (key == "at") {
    line.Want(1), layer.Start = line.Number(1);
  } else if (key == "for") {
    line.Want(1), layer.Length = line.Number(1);
    if (layer.Length <= 0.0) line.Fail("length must be positive");
  } else if (key == "pitch") {
    std::tie(layer.PitchFrom, layer.PitchTo) = line.Range(true);
  } else if (key == "notes") {
    if (line.Words.size() < 2) line.Fail("notes needs at least one note");
    layer.Notes.clear();
    for (size_t i = 1; i < line.Words.size(); ++i) layer.Notes.push_back(line.Pitch(i));
  } else if (key == "step") {
    line.Want(1), layer.Step = line.Number(1);
    if (layer.Step <= 0.0) line.Fail("step must be positive");
  } else if (key == "cents") {
    line.Want(1), layer.Cents = line.Number(1);
  } else if (key == "duty") {
    line.Want(1), layer.Duty = line.Number(1);
    if (layer.Duty <= 0.0 || layer.Duty >= 1.0) line.Fail("duty must lie between 0 and 1");
  } else if (key == "vibrato") {
    line.Want(2), layer.VibratoRate = line.Number(1), layer.VibratoDepth = line.Number(2);
  } else if (key == "env") {
    line.Want(4);
    layer.Env = {line.Number(1), line.Number(2), line.Number(3), line.Number(4)};
    if (layer.Env.Attack < 0 || layer.Env.Decay < 0 || layer.Env.Release < 0) line.Fail("negative time");
  } else if (key == "gain") {
    line.Want(1), layer.Gain = line.Number(1);
  } else if (key == "drive") {
    line.Want(1), layer.Drive = line.Number(1);
  } else if (key == "lowpass") {
    std::tie(layer.LowFrom, layer.LowTo) = line.Range(false);
  } else if (key == "resonance") {
    line.Want(1), layer.Resonance = line.Number(1);
    if (layer.Resonance < 0.1) line.Fail("resonance below 0.1");
  } else if (key == "highpass") {
    line.Want(1), layer.High = line.Number(1);
  } else if (key == "seed") {
    line.Want(1), layer.Seed = uint32_t(line.Integer(1, 1, 1 << 30));
  } else {
    line.Fail("unknown layer setting " + key);
  }
}

void SetSound(Recipe& recipe, const Line& line) {
  const std::string& key = line.Words[0];
  if (key == "name") {
    line.Want(1), recipe.Name = line.Words[1];
  } else if (key == "rate") {
    line.Want(1), recipe.Rate = line.Integer(1, 4000, 96000);
  } else if (key == "length") {
    line.Want(1), recipe.Length = line.Number(1);
  } else if (key == "peak") {
    line.Want(1), recipe.Peak = line.Number(1);
    if (recipe.Peak <= 0.0 || recipe.Peak > 1.0) line.Fail("peak must lie in 0..1");
  } else if (key == "max") {
    line.Want(1), recipe.MaxPlayingCount = line.Integer(1, 0, 64);
  } else if (key == "looped") {
    line.Want(1);
    if (line.Words[1] != "yes" && line.Words[1] != "no") line.Fail("looped is yes or no");
    recipe.Looped = line.Words[1] == "yes";
  } else if (key == "base") {
    line.Want(1), recipe.Base = line.Words[1];
    if (synth::NoteNumber(recipe.Base) == 0) line.Fail("not a note: " + recipe.Base);
  } else if (key == "loop") {
    line.Want(2), recipe.LoopStart = line.Number(1), recipe.LoopCycles = line.Integer(2, 1, 100000);
  } else if (key == "envelope") {
    if (line.Words.size() < 3 || line.Words.size() > 13) line.Fail("envelope takes 2..12 tick:level points");
    recipe.Envelope.clear();
    for (size_t i = 1; i < line.Words.size(); ++i) {
      int tick = 0, level = 0;
      char colon = 0;
      std::istringstream point(line.Words[i]);
      if (!(point >> tick >> colon >> level) || colon != ':' || !point.eof() || level < 0 || level > 64 ||
          (!recipe.Envelope.empty() && tick <= recipe.Envelope.back().first) || (i == 1 && tick != 0))
        line.Fail("bad envelope point " + line.Words[i]);
      recipe.Envelope.emplace_back(tick, level);
    }
  } else if (key == "sustain") {
    line.Want(1), recipe.Sustain = line.Integer(1, 0, 11);
  } else if (key == "fadeout") {
    line.Want(1), recipe.Fadeout = line.Integer(1, 0, 4095);
  } else if (key == "volume") {
    line.Want(1), recipe.Volume = line.Integer(1, 0, 64);
  } else if (key == "pan") {
    line.Want(1), recipe.Pan = line.Integer(1, 0, 255);
  } else if (key == "autovibrato") {
    line.Want(4);
    recipe.VibratoType = line.Integer(1, 0, 3), recipe.VibratoSweep = line.Integer(2, 0, 255);
    recipe.VibratoDepth = line.Integer(3, 0, 15), recipe.VibratoRate = line.Integer(4, 0, 63);
  } else {
    line.Fail("unknown setting " + key + (key == "at" || key == "pitch" ? " before the first layer" : ""));
  }
}

}  // namespace

Recipe ReadRecipe(const fs::path& file) {
  std::ifstream in(file);
  if (!in) throw AssetError("cannot read " + file.string());
  Recipe recipe;
  recipe.Name = file.stem().string();
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    StripComment(text);
    Line line{file.string() + ":" + std::to_string(number), {}};
    std::istringstream words(text);
    for (std::string word; words >> word;) line.Words.push_back(word);
    if (line.Words.empty()) continue;
    if (line.Words[0] == "layer") {
      synth::Layer layer;
      layer.Wave = ShapeNamed(line);
      layer.Seed = uint32_t(recipe.Layers.size() + 1);
      recipe.Layers.push_back(layer);
    } else if (recipe.Layers.empty()) {
      SetSound(recipe, line);
    } else {
      SetLayer(recipe.Layers.back(), line);
    }
  }
  if (recipe.Layers.empty()) throw AssetError(file.string() + ": no layer");
  if (recipe.Sustain >= int(recipe.Envelope.size())) throw AssetError(file.string() + ": sustain past the envelope");
  return recipe;
}

std::vector<int16_t> RenderRecipe(const Recipe& recipe, int* loopStart, int* loopLength) {
  double length = recipe.Length;
  long start = 0, cycle = 0;
  if (recipe.LoopCycles > 0) {
    // A loop of whole cycles joins without a click only if a cycle is a whole number of samples.
    const double period = recipe.Rate / synth::NoteHz(recipe.Base);
    if (std::abs(period * recipe.LoopCycles - std::round(period * recipe.LoopCycles)) > 0.05)
      throw AssetError(recipe.Name + ": " + std::to_string(recipe.LoopCycles) + " cycles of " + recipe.Base +
                       " are not a whole number of samples at rate " + std::to_string(recipe.Rate));
    start = std::lround(std::round(recipe.LoopStart * recipe.Rate / period) * period);
    cycle = std::lround(period * recipe.LoopCycles);
    length = double(start + cycle) / recipe.Rate;
  }
  std::vector<float> samples = synth::Render(recipe.Layers, recipe.Rate, length);
  if (samples.empty()) throw AssetError(recipe.Name + ": the sound is empty");
  // A filter would still be settling inside the loop; the loop's mean is exact.
  if (recipe.LoopCycles > 0) synth::RemoveMean(samples, size_t(start));
  else synth::BlockDc(samples);
  synth::FadeEdges(samples, recipe.Rate, recipe.LoopCycles == 0);
  synth::Normalize(samples, recipe.Peak);
  if (loopStart != nullptr) *loopStart = int(start);
  if (loopLength != nullptr) *loopLength = int(cycle);
  return synth::ToInt16(samples);
}

void StripComment(std::string& line) {
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == '#' && (i == 0 || std::isspace(uint8_t(line[i - 1])))) return line.erase(i), void();
}

std::vector<fs::path> FilesIn(const fs::path& folder, const std::string& extension) {
  std::vector<fs::path> files;
  if (fs::is_directory(folder))
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().extension() == extension) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}
