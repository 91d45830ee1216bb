// Synthesis recipes: the text files under assets/sounds and assets/music/instruments that
// describe a sound as layers for the synthesizer, with what the archive or module needs.
//
// One setting a line; a word starting with '#' starts a comment (C#4 is a note).
// Settings of the whole sound come first:
//   name Shot            archive name (default: the file name without extension)
//   rate 44100           sample rate in Hz
//   length 0.5           seconds (default: until the last layer ends)
//   peak 0.8             the loudest sample, as a fraction of full scale
//   max 6                MaxPlayingCount: most copies heard at once (0 = no limit)
//   looped yes|no
// Instrument settings (tracker modules):
//   base C-4             the note the sample sounds at its own rate (default C-4)
//   loop 0.2 128         repeat, from about 0.2 s, 128 whole cycles of the base note
//   envelope 0:0 4:64 30:40   volume envelope, tick:level (0..64) points
//   sustain 2            the envelope point held until the note is released
//   fadeout 800          volume fade speed after release
//   volume 48            default volume 0..64
//   pan 128              0 left .. 255 right
//   autovibrato 0 10 3 12    type sweep depth rate
// Then one or more layers, each opened by "layer sine|square|saw|triangle|noise":
//   at 0.1               start time in seconds
//   for 0.3              length in seconds
//   pitch 880 -> 110     Hz or a note; an arrow sweeps exponentially
//   notes C-5 E-5 G-5    a phrase instead of one pitch, each note lasting `step`
//   step 0.08
//   cents 7              detune
//   duty 0.25            square pulse width
//   vibrato 6 0.3        rate in Hz, depth in semitones
//   env 0.002 0.2 0 0.01 attack, decay, sustain level, release
//   gain 0.5
//   drive 0.5            soft saturation
//   lowpass 4000 -> 300  cutoff sweep over the layer; resonance 2 sets its Q
//   highpass 200
//   seed 7               noise seed
#pragma once
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "Synth.h"

struct Recipe {
  std::string Name;
  int Rate = 44100;
  double Length = 0.0;
  double Peak = 0.8;
  int MaxPlayingCount = 0;
  bool Looped = false;

  std::string Base = "C-4";
  double LoopStart = 0.0;
  int LoopCycles = 0;  // 0: the sample does not repeat
  std::vector<std::pair<int, int>> Envelope;
  int Sustain = -1;
  int Fadeout = 0;
  int Volume = 64;
  int Pan = 128;
  int VibratoType = 0, VibratoSweep = 0, VibratoDepth = 0, VibratoRate = 0;

  std::vector<synth::Layer> Layers;
};

// Reads a recipe; AssetError names the file and line of a mistake.
Recipe ReadRecipe(const std::filesystem::path& file);

// The recipe's samples, normalized to its peak, faded in and (unless it loops) out. With a
// loop, the sound ends at the loop's end and loopStart/loopLength receive the loop in samples.
std::vector<int16_t> RenderRecipe(const Recipe& recipe, int* loopStart = nullptr, int* loopLength = nullptr);

// Cuts a comment: from a '#' that starts a word to the end of the line.
void StripComment(std::string& line);

// Every file with the extension in the folder, sorted by name.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder, const std::string& extension);
