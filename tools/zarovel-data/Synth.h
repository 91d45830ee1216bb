// A small additive/subtractive synthesizer: layers of oscillators or noise with envelopes,
// pitch sweeps and filters, mixed into one mono buffer. Deterministic: noise is seeded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace synth {

enum class Shape { Sine, Square, Saw, Triangle, Noise };

// Attack (linear rise), decay (exponential fall towards the sustain level), release
// (linear fall to silence at the end of the note). Times in seconds.
struct Envelope {
  double Attack = 0.002, Decay = 0.0, Sustain = 1.0, Release = 0.005;
};

// One voice of a sound. With several notes, each sounds for Step seconds and the
// envelope restarts on each; otherwise one note of Length seconds sweeps PitchFrom to PitchTo.
struct Layer {
  Shape Wave = Shape::Sine;
  double Start = 0.0, Length = 0.1;
  double PitchFrom = 440.0, PitchTo = 440.0;  // Hz; a noise layer with pitch 0 is white
  std::vector<double> Notes;                  // Hz, played one after another
  double Step = 0.1;
  double Cents = 0.0;  // fixed detune
  double Duty = 0.5;   // square pulse width
  double VibratoRate = 0.0, VibratoDepth = 0.0;  // Hz, semitones
  Envelope Env;
  double Gain = 1.0;
  double Drive = 0.0;  // soft saturation amount, 0 = clean
  double LowFrom = 0.0, LowTo = 0.0;  // low-pass cutoff sweep in Hz, 0 = none
  double Resonance = 0.7;             // filter Q
  double High = 0.0;                  // high-pass cutoff in Hz, 0 = none
  uint32_t Seed = 1;

  double End() const;  // when the layer falls silent, from the sound's start
};

// Frequency of a note written as tracker notes are ("C-4", "C#4", "Db4", "A4"); C-4 is
// middle C, A-4 is 440 Hz. Throws std::invalid_argument for anything else.
double NoteHz(const std::string& note);
// The tracker note number of the same text: 1 is C-0, 49 is C-4; 0 when it is no note.
int NoteNumber(const std::string& note);

// Mixes the layers into Length seconds at the rate (Length 0: until the last layer ends).
std::vector<float> Render(const std::vector<Layer>& layers, int rate, double length = 0.0);
// Removes a DC offset with a high-pass filter at a few hertz (for one-shot sounds).
void BlockDc(std::vector<float>& samples);
// Subtracts the mean of samples[from..] from every sample (for a sound whose end repeats).
void RemoveMean(std::vector<float>& samples, size_t from);
// Scales so the largest magnitude is peak (silence stays silent).
void Normalize(std::vector<float>& samples, double peak);
// Short linear fades so the sound starts (and, with atEnd, stops) without a click.
void FadeEdges(std::vector<float>& samples, int rate, bool atEnd, double seconds = 0.002);
// Signed 16-bit, rounded and clamped.
std::vector<int16_t> ToInt16(const std::vector<float>& samples);

}  // namespace synth
