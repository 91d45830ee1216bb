// Writes FastTracker 2 extended modules (XM, version 0x0104).
#include "XmWriter.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace {

class Bytes {
 public:
  std::vector<uint8_t> Out;

  void U8(unsigned value) { Out.push_back(uint8_t(value)); }
  void U16(unsigned value) { U8(value & 0xFF), U8(value >> 8); }
  void U32(uint32_t value) { U16(value & 0xFFFF), U16(value >> 16); }
  // Text cut or padded with zero bytes to the field's width.
  void Text(const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) U8(i < text.size() ? uint8_t(text[i]) : 0);
  }
  void Zeros(size_t count) { Out.insert(Out.end(), count, 0); }
};

void Require(bool condition, const std::string& what) {
  if (!condition) throw XmError(what);
}

void CheckEnvelope(const XmEnvelope& envelope, const std::string& where) {
  const int count = int(envelope.Points.size());
  Require(count <= 12, where + ": more than 12 envelope points");
  Require(count != 1, where + ": an envelope needs at least two points");
  for (int i = 0; i < count; ++i) {
    Require(envelope.Points[size_t(i)].second <= 64, where + ": envelope level above 64");
    Require(i == 0 ? envelope.Points[0].first == 0 : envelope.Points[size_t(i)].first > envelope.Points[size_t(i - 1)].first,
            where + ": envelope ticks must start at 0 and rise");
  }
  Require(envelope.Sustain < count, where + ": sustain point past the envelope");
  Require((envelope.LoopStart < 0) == (envelope.LoopEnd < 0) && envelope.LoopStart <= envelope.LoopEnd &&
              envelope.LoopEnd < count,
          where + ": bad envelope loop");
}

void Check(const XmModule& module) {
  Require(module.Channels >= 1 && module.Channels <= 32, "channels must number 1..32");
  Require(module.Speed >= 1 && module.Speed <= 31, "speed must lie in 1..31");
  Require(module.Bpm >= 32 && module.Bpm <= 255, "BPM must lie in 32..255");
  Require(!module.Order.empty() && module.Order.size() <= 256, "the order list must hold 1..256 entries");
  Require(!module.Patterns.empty() && module.Patterns.size() <= 256, "there must be 1..256 patterns");
  Require(module.Instruments.size() <= 128, "at most 128 instruments");
  Require(module.Restart >= 0 && size_t(module.Restart) < module.Order.size(), "restart position past the order list");
  for (uint8_t pattern : module.Order) Require(pattern < module.Patterns.size(), "order names a missing pattern");
  for (size_t p = 0; p < module.Patterns.size(); ++p) {
    const XmPattern& pattern = module.Patterns[p];
    const std::string where = "pattern " + std::to_string(p);
    Require(pattern.Rows >= 1 && pattern.Rows <= 256, where + ": rows must number 1..256");
    Require(pattern.Cells.size() == size_t(pattern.Rows * module.Channels), where + ": cells must be rows x channels");
    for (const XmCell& cell : pattern.Cells) {
      Require(cell.Note <= kXmKeyOff, where + ": note out of range");
      Require(cell.Instrument <= module.Instruments.size(), where + ": cell names a missing instrument");
      Require(cell.Effect <= 35, where + ": unknown effect");
    }
  }
  for (size_t i = 0; i < module.Instruments.size(); ++i) {
    const XmInstrument& instrument = module.Instruments[i];
    const std::string where = "instrument " + std::to_string(i + 1);
    CheckEnvelope(instrument.VolumeEnvelope, where);
    CheckEnvelope(instrument.PanningEnvelope, where);
    Require(instrument.Fadeout <= 0xFFF, where + ": fadeout above 4095");
    Require(instrument.VibratoType <= 3, where + ": vibrato type above 3");
    const XmSample& sample = instrument.Sample;
    Require(sample.Volume <= 64, where + ": sample volume above 64");
    Require(sample.Data.size() <= 0x3FFFFFFF, where + ": sample too long");
    Require(sample.LoopStart >= 0 && sample.LoopLength >= 0 &&
                size_t(sample.LoopStart) + size_t(sample.LoopLength) <= sample.Data.size(),
            where + ": loop outside the sample");
  }
}

void WritePattern(Bytes& out, const XmPattern& pattern) {
  Bytes packed;
  for (const XmCell& cell : pattern.Cells) {
    const uint8_t fields[] = {cell.Note, cell.Instrument, cell.Volume, cell.Effect, cell.Param};
    uint8_t flags = 0;
    for (int i = 0; i < 5; ++i)
      if (fields[i] != 0) flags |= uint8_t(1 << i);
    // A cell with every field is stored whole; any other starts with a byte saying which follow.
    if (flags != 0x1F) packed.U8(0x80 | flags);
    for (int i = 0; i < 5; ++i)
      if (flags & (1 << i)) packed.U8(fields[i]);
  }
  out.U32(9);
  out.U8(0);  // packing type
  out.U16(unsigned(pattern.Rows));
  out.U16(unsigned(packed.Out.size()));
  out.Out.insert(out.Out.end(), packed.Out.begin(), packed.Out.end());
}

void WriteEnvelopePoints(Bytes& out, const XmEnvelope& envelope) {
  for (size_t i = 0; i < 12; ++i) {
    const bool used = i < envelope.Points.size();
    out.U16(used ? envelope.Points[i].first : 0);
    out.U16(used ? envelope.Points[i].second : 0);
  }
}

uint8_t EnvelopeType(const XmEnvelope& envelope) {
  if (envelope.Points.empty()) return 0;
  return uint8_t(1 | (envelope.Sustain >= 0 ? 2 : 0) | (envelope.LoopStart >= 0 ? 4 : 0));
}

void WriteInstrument(Bytes& out, const XmInstrument& instrument) {
  const XmSample& sample = instrument.Sample;
  const XmEnvelope &vol = instrument.VolumeEnvelope, &pan = instrument.PanningEnvelope;
  out.U32(263);  // instrument header size, as FastTracker 2 writes it
  out.Text(instrument.Name, 22);
  out.U8(0);
  out.U16(1);   // samples
  out.U32(40);  // sample header size
  out.Zeros(96);  // every note plays sample 0
  WriteEnvelopePoints(out, vol);
  WriteEnvelopePoints(out, pan);
  out.U8(unsigned(vol.Points.size())), out.U8(unsigned(pan.Points.size()));
  out.U8(unsigned(std::max(vol.Sustain, 0))), out.U8(unsigned(std::max(vol.LoopStart, 0)));
  out.U8(unsigned(std::max(vol.LoopEnd, 0)));
  out.U8(unsigned(std::max(pan.Sustain, 0))), out.U8(unsigned(std::max(pan.LoopStart, 0)));
  out.U8(unsigned(std::max(pan.LoopEnd, 0)));
  out.U8(EnvelopeType(vol)), out.U8(EnvelopeType(pan));
  out.U8(instrument.VibratoType), out.U8(instrument.VibratoSweep);
  out.U8(instrument.VibratoDepth), out.U8(instrument.VibratoRate);
  out.U16(instrument.Fadeout);
  out.Zeros(22);  // reserved up to the header size

  const uint32_t width = sample.SixteenBit ? 2 : 1;
  out.U32(uint32_t(sample.Data.size()) * width);
  out.U32(uint32_t(sample.LoopStart) * width);
  out.U32(uint32_t(sample.LoopLength) * width);
  out.U8(sample.Volume);
  out.U8(uint8_t(sample.Finetune));
  out.U8((sample.LoopLength > 0 ? (sample.PingPong ? 2 : 1) : 0) | (sample.SixteenBit ? 0x10 : 0));
  out.U8(sample.Panning);
  out.U8(uint8_t(sample.RelativeNote));
  out.U8(0);
  out.Text(sample.Name, 22);

  // Each value is stored as its difference from the one before.
  int previous = 0;
  for (int16_t value : sample.Data) {
    const int current = sample.SixteenBit ? value : value >> 8;
    const int delta = current - previous;
    previous = current;
    if (sample.SixteenBit) out.U16(unsigned(delta) & 0xFFFF);
    else out.U8(unsigned(delta) & 0xFF);
  }
}

}  // namespace

void TuneToRate(XmSample& sample, double rate) {
  const double semitones = 12.0 * std::log2(rate / 8363.0);
  const double whole = std::round(semitones);
  Require(whole >= -96 && whole <= 95, "sample rate out of range");
  sample.RelativeNote = int8_t(whole);
  sample.Finetune = int8_t(std::lround((semitones - whole) * 128.0));
}

std::vector<uint8_t> WriteXm(const XmModule& module) {
  Check(module);
  Bytes out;
  out.Text("Extended Module: ", 17);
  out.Text(module.Name, 20);
  out.U8(0x1A);
  out.Text("zarovel-data", 20);
  out.U16(0x0104);
  out.U32(276);  // header size counted from this field
  out.U16(unsigned(module.Order.size()));
  out.U16(unsigned(module.Restart));
  out.U16(unsigned(module.Channels));
  out.U16(unsigned(module.Patterns.size()));
  out.U16(unsigned(module.Instruments.size()));
  out.U16(module.LinearFrequencies ? 1 : 0);
  out.U16(unsigned(module.Speed));
  out.U16(unsigned(module.Bpm));
  for (size_t i = 0; i < 256; ++i) out.U8(i < module.Order.size() ? module.Order[i] : 0);
  for (const XmPattern& pattern : module.Patterns) WritePattern(out, pattern);
  for (const XmInstrument& instrument : module.Instruments) WriteInstrument(out, instrument);
  return out.Out;
}

void SaveXm(const std::filesystem::path& file, const XmModule& module) {
  const std::vector<uint8_t> bytes = WriteXm(module);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw XmError("cannot write " + file.string());
}
