// Writes FastTracker 2 extended modules (XM, version 0x0104): header and order list, packed
// patterns, and instruments of one sample each with volume/panning envelopes.
#pragma once
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// A module the writer cannot store; the message says what is wrong.
struct XmError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

constexpr uint8_t kXmKeyOff = 97;  // note value that releases the note

// One cell of a pattern. Zero fields are empty; Note 1..96 is C-0..B-7; Volume is the raw
// volume-column byte (0x10..0x50 sets volume 0..64).
struct XmCell {
  uint8_t Note = 0, Instrument = 0, Volume = 0, Effect = 0, Param = 0;
};

struct XmPattern {
  int Rows = 64;
  std::vector<XmCell> Cells;  // Rows x channels, row after row

  XmCell& At(int row, int channel, int channels) { return Cells.at(size_t(row * channels + channel)); }
};

struct XmEnvelope {
  std::vector<std::pair<uint16_t, uint16_t>> Points;  // tick, level 0..64; none = off
  int Sustain = -1;                                    // point index held until key-off
  int LoopStart = -1, LoopEnd = -1;                    // point indices, -1 = no loop
};

struct XmSample {
  std::string Name;
  std::vector<int16_t> Data;  // signed samples at full 16-bit scale
  bool SixteenBit = true;     // false stores the top 8 bits
  int LoopStart = 0, LoopLength = 0;  // in samples; length 0 = no loop
  bool PingPong = false;
  uint8_t Volume = 64;
  int8_t Finetune = 0;      // 1/128 semitone
  int8_t RelativeNote = 0;  // semitones; 0/0 plays C-4 at 8363 Hz
  uint8_t Panning = 128;
};

struct XmInstrument {
  std::string Name;
  XmSample Sample;
  XmEnvelope VolumeEnvelope, PanningEnvelope;
  uint16_t Fadeout = 0;
  uint8_t VibratoType = 0, VibratoSweep = 0, VibratoDepth = 0, VibratoRate = 0;
};

struct XmModule {
  std::string Name;
  int Channels = 4;
  int Speed = 6;  // ticks per row
  int Bpm = 125;
  bool LinearFrequencies = true;
  std::vector<uint8_t> Order;  // pattern numbers in play order
  int Restart = 0;             // order position played after the last
  std::vector<XmPattern> Patterns;
  std::vector<XmInstrument> Instruments;
};

// Sets the sample's relative note and finetune so that note C-4 plays it at the rate.
void TuneToRate(XmSample& sample, double rate);

// The module's bytes; XmError when it breaks a limit of the format (channels 1..32,
// 1..256 order entries naming existing patterns, 1..256 rows, at most 128 instruments,
// cells naming existing instruments, envelopes of at most 12 rising points, loops inside
// their sample ...).
std::vector<uint8_t> WriteXm(const XmModule& module);
// The same into a file; XmError also when it cannot be written.
void SaveXm(const std::filesystem::path& file, const XmModule& module);
