// The XM writer's modules load in libxmp with what was written, play, and bad modules are refused.
#include <gtest/gtest.h>
#include <xmp.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>

#include "XmWriter.h"

namespace {

// A 4-channel module: two patterns of 16 and 32 rows played 0 1 0, a looped 16-bit sine
// with a volume envelope and an 8-bit noise burst.
XmModule SmallModule() {
  XmModule module;
  module.Name = "test";
  module.Channels = 4;
  module.Speed = 3;
  module.Bpm = 150;
  module.Order = {0, 1, 0};
  module.Restart = 1;
  for (int rows : {16, 32}) {
    XmPattern pattern;
    pattern.Rows = rows;
    pattern.Cells.resize(size_t(rows * module.Channels));
    module.Patterns.push_back(pattern);
  }
  module.Patterns[0].At(0, 0, 4) = {49, 1, 0x10 + 40, 0, 0};   // C-4, every field but the effect
  module.Patterns[0].At(4, 2, 4) = {61, 2, 0x50, 0x0C, 0x20};  // C-5 with all five fields
  module.Patterns[0].At(8, 0, 4) = {kXmKeyOff, 0, 0, 0, 0};
  module.Patterns[1].At(0, 3, 4) = {53, 1, 0, 0, 0};

  XmInstrument sine;
  sine.Name = "sine";
  for (int i = 0; i < 640; ++i)
    sine.Sample.Data.push_back(int16_t(std::lround(30000 * std::sin(2 * std::numbers::pi * i / 64.0))));
  sine.Sample.LoopStart = 128;
  sine.Sample.LoopLength = 512;
  TuneToRate(sine.Sample, 16744);
  sine.VolumeEnvelope.Points = {{0, 0}, {4, 64}, {20, 40}};
  sine.VolumeEnvelope.Sustain = 2;
  sine.Fadeout = 1000;
  XmInstrument noise;
  noise.Name = "noise";
  noise.Sample.SixteenBit = false;
  uint32_t state = 1;
  for (int i = 0; i < 4000; ++i) {
    state = state * 1664525u + 1013904223u;
    noise.Sample.Data.push_back(int16_t(int(state >> 16) - 32768) & int16_t(0xFF00));
  }
  module.Instruments = {sine, noise};
  return module;
}

struct Loaded {
  xmp_context Context = xmp_create_context();
  xmp_module_info Info{};
  int Result = 0;

  explicit Loaded(std::vector<uint8_t> bytes) {
    Result = xmp_load_module_from_memory(Context, bytes.data(), long(bytes.size()));
    if (Result == 0) xmp_get_module_info(Context, &Info);
  }
  ~Loaded() {
    if (Result == 0) xmp_release_module(Context);
    xmp_free_context(Context);
  }
  const xmp_event& Event(int pattern, int channel, int row) const {
    const xmp_module& mod = *Info.mod;
    return mod.xxt[mod.xxp[pattern]->index[channel]]->event[row];
  }
};

TEST(XmWriter, LibxmpReadsBackTheModule) {
  const XmModule module = SmallModule();
  Loaded loaded(WriteXm(module));
  ASSERT_EQ(loaded.Result, 0);
  const xmp_module& mod = *loaded.Info.mod;
  EXPECT_STREQ(mod.name, "test");
  EXPECT_EQ(mod.chn, 4);
  EXPECT_GE(mod.pat, 2);  // libxmp may add a blank pattern of its own
  EXPECT_EQ(mod.ins, 2);
  EXPECT_EQ(mod.smp, 2);
  EXPECT_EQ(mod.len, 3);
  EXPECT_EQ(mod.rst, 1);
  EXPECT_EQ(mod.spd, 3);
  EXPECT_EQ(mod.bpm, 150);
  EXPECT_EQ(mod.xxo[1], 1);
  EXPECT_EQ(mod.xxp[0]->rows, 16);
  EXPECT_EQ(mod.xxp[1]->rows, 32);

  // libxmp counts notes from one octave lower than XM, so every XM note reads 12 higher.
  const xmp_event& c4 = loaded.Event(0, 0, 0);
  EXPECT_EQ(c4.note, 49 + 12);
  EXPECT_EQ(c4.ins, 1);
  EXPECT_EQ(c4.vol, 41);  // volume + 1, 0 meaning none
  const xmp_event& c5 = loaded.Event(0, 2, 4);
  EXPECT_EQ(c5.note, 61 + 12);
  EXPECT_EQ(c5.ins, 2);
  EXPECT_EQ(c5.fxt, 0x0C);
  EXPECT_EQ(c5.fxp, 0x20);
  EXPECT_EQ(loaded.Event(0, 0, 8).note, XMP_KEY_OFF);
  EXPECT_EQ(loaded.Event(1, 3, 0).note, 53 + 12);
  EXPECT_EQ(loaded.Event(1, 3, 1).note, 0);

  // Delta coding and loops survive the round trip.
  const xmp_sample& sine = mod.xxs[0];
  ASSERT_EQ(sine.len, 640);
  EXPECT_TRUE(sine.flg & XMP_SAMPLE_16BIT);
  EXPECT_TRUE(sine.flg & XMP_SAMPLE_LOOP);
  EXPECT_EQ(sine.lps, 128);
  EXPECT_EQ(sine.lpe, 640);
  EXPECT_EQ(0, std::memcmp(sine.data, module.Instruments[0].Sample.Data.data(), 640 * 2));
  const xmp_sample& noise = mod.xxs[1];
  ASSERT_EQ(noise.len, 4000);
  EXPECT_FALSE(noise.flg & (XMP_SAMPLE_16BIT | XMP_SAMPLE_LOOP));
  for (int i = 0; i < 4000; ++i)
    ASSERT_EQ(int8_t(noise.data[i]), module.Instruments[1].Sample.Data[size_t(i)] >> 8) << i;

  const xmp_envelope& envelope = mod.xxi[0].aei;
  EXPECT_TRUE(envelope.flg & XMP_ENVELOPE_ON);
  EXPECT_TRUE(envelope.flg & XMP_ENVELOPE_SUS);
  EXPECT_EQ(envelope.npt, 3);
  EXPECT_EQ(envelope.sus, 2);
  EXPECT_EQ(envelope.data[2], 4);   // tick of point 1
  EXPECT_EQ(envelope.data[3], 64);  // level of point 1
}

TEST(XmWriter, ModulePlaysAudibly) {
  Loaded loaded(WriteXm(SmallModule()));
  ASSERT_EQ(loaded.Result, 0);
  ASSERT_EQ(xmp_start_player(loaded.Context, 44100, 0), 0);
  std::vector<int16_t> buffer(44100 * 2);
  ASSERT_EQ(xmp_play_buffer(loaded.Context, buffer.data(), int(buffer.size() * 2), 0), 0);
  xmp_end_player(loaded.Context);
  int peak = 0;
  for (int16_t s : buffer) peak = std::max(peak, std::abs(int(s)));
  EXPECT_GT(peak, 1000);
}

TEST(XmWriter, TuneToRateMakesCFourPlayAtTheRate) {
  const struct {
    double Rate;
    int RelativeNote, Finetune;
  } cases[] = {{8363, 0, 0}, {16726, 12, 0}, {4181.5, -12, 0}, {22050, 17, -28}, {16744, 12, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Rate);
    XmSample sample;
    TuneToRate(sample, c.Rate);
    EXPECT_EQ(sample.RelativeNote, c.RelativeNote);
    EXPECT_EQ(sample.Finetune, c.Finetune);
  }
}

TEST(XmWriter, RefusesWhatTheFormatCannotHold) {
  const std::pair<const char*, std::function<void(XmModule&)>> cases[] = {
      {"no channels", [](XmModule& m) { m.Channels = 0; }},
      {"33 channels", [](XmModule& m) { m.Channels = 33; }},
      {"empty order", [](XmModule& m) { m.Order.clear(); }},
      {"order names a missing pattern", [](XmModule& m) { m.Order.push_back(2); }},
      {"restart past the order", [](XmModule& m) { m.Restart = 3; }},
      {"257 rows", [](XmModule& m) { m.Patterns[1].Rows = 257, m.Patterns[1].Cells.resize(257 * 4); }},
      {"cells not rows x channels", [](XmModule& m) { m.Patterns[0].Cells.pop_back(); }},
      {"missing instrument", [](XmModule& m) { m.Patterns[1].At(3, 1, 4).Instrument = 3; }},
      {"note past key-off", [](XmModule& m) { m.Patterns[1].At(3, 1, 4).Note = 98; }},
      {"speed 0", [](XmModule& m) { m.Speed = 0; }},
      {"129 instruments", [](XmModule& m) { m.Instruments.resize(129); }},
      {"13 envelope points",
       [](XmModule& m) {
         auto& points = m.Instruments[0].VolumeEnvelope.Points;
         while (points.size() < 13) points.emplace_back(uint16_t(points.back().first + 1), 10);
       }},
      {"falling envelope ticks", [](XmModule& m) { m.Instruments[0].VolumeEnvelope.Points[2].first = 3; }},
      {"envelope level 65", [](XmModule& m) { m.Instruments[0].VolumeEnvelope.Points[1].second = 65; }},
      {"loop past the sample", [](XmModule& m) { m.Instruments[0].Sample.LoopLength = 513; }},
  };
  ASSERT_NO_THROW(WriteXm(SmallModule()));
  for (const auto& [what, spoil] : cases) {
    SCOPED_TRACE(what);
    XmModule module = SmallModule();
    spoil(module);
    EXPECT_THROW(WriteXm(module), XmError);
  }
}

}  // namespace
