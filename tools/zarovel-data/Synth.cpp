// A small additive/subtractive synthesizer: layers of oscillators or noise with envelopes,
// pitch sweeps and filters, mixed into one mono buffer.
#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace synth {

namespace {

constexpr double kPi = std::numbers::pi;

// xorshift32: the same seed always gives the same noise.
struct Noise {
  uint32_t State;
  explicit Noise(uint32_t seed) : State(seed == 0 ? 0x9E3779B9u : seed) {}
  double Next() {
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return double(State) / 2147483648.0 - 1.0;
  }
};

// Smooths the jump of a naive saw or square at phase 0 (the polyBLEP correction).
double Blep(double phase, double step) {
  if (phase < step) {
    const double t = phase / step;
    return t + t - t * t - 1.0;
  }
  if (phase > 1.0 - step) {
    const double t = (phase - 1.0) / step;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

// State-variable filter in the trapezoidal form: stable at any cutoff and while sweeping.
struct Filter {
  double Ic1 = 0.0, Ic2 = 0.0;
  // Returns the low-pass and, through high, the high-pass output.
  double Run(double input, double cutoff, double q, int rate, double& high) {
    cutoff = std::clamp(cutoff, 10.0, 0.45 * rate);
    const double g = std::tan(kPi * cutoff / rate), k = 1.0 / q;
    const double a1 = 1.0 / (1.0 + g * (g + k)), a2 = g * a1, a3 = g * a2;
    const double v3 = input - Ic2;
    const double v1 = a1 * Ic1 + a2 * v3;
    const double v2 = Ic2 + a2 * Ic1 + a3 * v3;
    Ic1 = 2.0 * v1 - Ic1;
    Ic2 = 2.0 * v2 - Ic2;
    high = input - k * v1 - v2;
    return v2;
  }
};

double EnvelopeAt(const Envelope& env, double t, double length) {
  double level;
  if (t < env.Attack) {
    level = t / env.Attack;
  } else if (env.Decay > 0.0) {
    level = env.Sustain + (1.0 - env.Sustain) * std::exp(-4.0 * (t - env.Attack) / env.Decay);
  } else {
    level = env.Sustain;
  }
  if (env.Release > 0.0 && t > length - env.Release) level *= std::max(0.0, (length - t) / env.Release);
  return level;
}

// A value swept exponentially from `from` to `to` as progress goes 0..1.
double Sweep(double from, double to, double progress) {
  if (from <= 0.0 || to <= 0.0 || from == to) return from;
  return from * std::pow(to / from, std::clamp(progress, 0.0, 1.0));
}

void RenderLayer(const Layer& layer, int rate, std::vector<float>& out) {
  Noise noise(layer.Seed);
  Filter low, highPass;
  double phase = 0.0, held = noise.Next();
  const bool stepped = !layer.Notes.empty();
  const size_t notes = stepped ? layer.Notes.size() : 1;
  const double noteLength = stepped ? layer.Step : layer.Length;
  const double total = noteLength * double(notes);
  const long first = std::lround(layer.Start * rate);
  const long count = std::lround(total * rate);
  const double detune = std::pow(2.0, layer.Cents / 1200.0);
  const double drive = 1.0 + 4.0 * layer.Drive;
  for (long i = 0; i < count; ++i) {
    const long at = first + i;
    if (at < 0 || at >= long(out.size())) continue;
    const double t = double(i) / rate;
    const size_t note = std::min(notes - 1, size_t(t / noteLength));
    const double local = t - double(note) * noteLength;
    double hz = stepped ? layer.Notes[note] : Sweep(layer.PitchFrom, layer.PitchTo, local / noteLength);
    hz *= detune;
    if (layer.VibratoDepth > 0.0)
      hz *= std::pow(2.0, layer.VibratoDepth / 12.0 * std::sin(2.0 * kPi * layer.VibratoRate * t));
    const double step = std::min(0.5, hz / rate);
    double value = 0.0;
    switch (layer.Wave) {
      case Shape::Sine: value = std::sin(2.0 * kPi * phase); break;
      case Shape::Triangle: value = 1.0 - 4.0 * std::abs(phase - 0.5); break;
      case Shape::Saw: value = 2.0 * phase - 1.0 - Blep(phase, step); break;
      case Shape::Square: {
        value = phase < layer.Duty ? 1.0 : -1.0;
        value += Blep(phase, step);
        value -= Blep(std::fmod(phase + 1.0 - layer.Duty, 1.0), step);
        break;
      }
      case Shape::Noise: value = hz > 0.0 ? held : noise.Next(); break;
    }
    phase += step;
    if (phase >= 1.0) {
      phase -= 1.0;
      if (layer.Wave == Shape::Noise) held = noise.Next();
    }
    if (layer.Drive > 0.0) value = std::tanh(drive * value) / std::tanh(drive);
    double unused = 0.0;
    if (layer.LowFrom > 0.0)
      value = low.Run(value, Sweep(layer.LowFrom, layer.LowTo > 0.0 ? layer.LowTo : layer.LowFrom, t / total),
                      layer.Resonance, rate, unused);
    if (layer.High > 0.0) {
      double high = 0.0;
      highPass.Run(value, layer.High, 0.7071, rate, high);
      value = high;
    }
    out[size_t(at)] += float(value * layer.Gain * EnvelopeAt(layer.Env, local, noteLength));
  }
}

}  // namespace

double Layer::End() const { return Start + (Notes.empty() ? Length : Step * double(Notes.size())); }

int NoteNumber(const std::string& note) {
  static const int kSemitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (note.size() < 2 || note.size() > 3 || note[0] < 'A' || note[0] > 'G') return 0;
  int semitone = kSemitone[note[0] - 'A'];
  size_t digit = 1;
  if (note.size() == 3) {
    if (note[1] == '#') semitone += 1;
    else if (note[1] == 'b') semitone -= 1;
    else if (note[1] != '-') return 0;
    digit = 2;
  }
  if (note[digit] < '0' || note[digit] > '7') return 0;
  const int number = (note[digit] - '0') * 12 + semitone + 1;
  return number >= 1 && number <= 96 ? number : 0;
}

double NoteHz(const std::string& note) {
  const int number = NoteNumber(note);
  if (number == 0) throw std::invalid_argument("not a note: " + note);
  return 440.0 * std::pow(2.0, (number - 58) / 12.0);
}

std::vector<float> Render(const std::vector<Layer>& layers, int rate, double length) {
  if (length <= 0.0)
    for (const Layer& layer : layers) length = std::max(length, layer.End());
  std::vector<float> out(size_t(std::lround(length * rate)), 0.0f);
  for (const Layer& layer : layers) RenderLayer(layer, rate, out);
  return out;
}

void BlockDc(std::vector<float>& samples) {
  // One-pole DC blocker (about 8 Hz at 44.1 kHz).
  double previousIn = 0.0, previousOut = 0.0;
  for (float& sample : samples) {
    const double y = sample - previousIn + 0.9989 * previousOut;
    previousIn = sample;
    previousOut = y;
    sample = float(y);
  }
}

void RemoveMean(std::vector<float>& samples, size_t from) {
  if (from >= samples.size()) return;
  double sum = 0.0;
  for (size_t i = from; i < samples.size(); ++i) sum += samples[i];
  const float mean = float(sum / double(samples.size() - from));
  for (float& sample : samples) sample -= mean;
}

void Normalize(std::vector<float>& samples, double peak) {
  float largest = 0.0f;
  for (float sample : samples) largest = std::max(largest, std::abs(sample));
  if (largest > 0.0f)
    for (float& sample : samples) sample = float(sample * peak / largest);
}

void FadeEdges(std::vector<float>& samples, int rate, bool atEnd, double seconds) {
  const size_t n = std::min(samples.size() / 2, size_t(seconds * rate));
  for (size_t i = 0; i < n; ++i) {
    const float gain = float(i) / float(n);
    samples[i] *= gain;
    if (atEnd) samples[samples.size() - 1 - i] *= gain;
  }
}

std::vector<int16_t> ToInt16(const std::vector<float>& samples) {
  std::vector<int16_t> out(samples.size());
  for (size_t i = 0; i < samples.size(); ++i)
    out[i] = int16_t(std::clamp(std::lround(samples[i] * 32767.0), -32768L, 32767L));
  return out;
}

}  // namespace synth
