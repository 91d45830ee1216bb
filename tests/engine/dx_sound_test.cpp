// The sound device and sound list: the voice choice rule, looping, volume and pan, the
// mixed samples on a buffer, silent running without a device, and records by name.
#include "engine/DXSound.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/SoundArchiveWriter.h"
#include "engine/WaveCollection.h"
#include "support/ErrorOf.h"
#include "support/SoundRig.h"

namespace {

using Samples = std::vector<int16_t>;

// A 16-bit mono wave of the given samples.
TWave Mono16(const Samples& samples, int rate = 44100) {
  std::vector<uint8_t> data;
  for (int16_t s : samples) data.push_back(uint8_t(s)), data.push_back(uint8_t(uint16_t(s) >> 8));
  return MakePcmWave(1, rate, 16, std::move(data));
}

Samples Constant(int16_t value, int frames) { return Samples(size_t(frames), value); }

Samples Ramp(int frames) {
  Samples s;
  for (int i = 0; i < frames; ++i) s.push_back(int16_t(100 * (i + 1)));
  return s;
}

// Left and right of every frame the same value.
Samples Both(const Samples& mono) {
  Samples out;
  for (int16_t s : mono) out.push_back(s), out.push_back(s);
  return out;
}

TEST(DXSound, PreparedItemHasMainVoiceThatDoesNotPlayOnce) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Constant(1000, 50))});
  ASSERT_TRUE(rig.sound.Initialized());
  EXPECT_TRUE(item.Prepared());
  ASSERT_NE(item.MainVoice(), nullptr);
  EXPECT_TRUE(item.Voices().empty());
  item.PlaySound();
  ASSERT_EQ(item.Voices().size(), 1u);
  EXPECT_FALSE(item.MainVoice()->Playing());
  EXPECT_TRUE(item.Voices()[0]->Playing());
  EXPECT_EQ(rig.Render(60), Both([] {
              Samples s = Constant(1000, 50);
              s.resize(60, 0);
              return s;
            }()));
  EXPECT_FALSE(item.Voices()[0]->Playing());  // ended by itself
}

TEST(DXSound, VoiceCountUnderTheLimit) {
  struct Case {
    int Max, Plays;
    size_t Voices;
  } cases[] = {{0, 5, 5}, {-4, 4, 4}, {1, 3, 1}, {2, 3, 2}, {2, 1, 1}, {3, 7, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.Max << ", plays " << c.Plays);
    SoundRig rig;
    TWaveCollectionItem& item = rig.Load({"Shot", false, c.Max, Mono16(Constant(1, 100))});
    for (int i = 0; i < c.Plays; ++i) item.PlaySound();
    EXPECT_EQ(item.Voices().size(), c.Voices);
    for (const auto& voice : item.Voices()) EXPECT_TRUE(voice->Playing());
  }
}

TEST(DXSound, LimitTwoRestartsTheOldestAndMovesItToTheEnd) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Shot", false, 2, Mono16(Ramp(100))});
  item.PlaySound();
  rig.Render(10);
  item.PlaySound();
  rig.Render(5);
  TSoundVoice* first = item.Voices()[0].get();
  TSoundVoice* second = item.Voices()[1].get();
  EXPECT_EQ(first->Position(), 15);
  EXPECT_EQ(second->Position(), 5);
  item.PlaySound();
  ASSERT_EQ(item.Voices().size(), 2u);
  EXPECT_EQ(item.Voices()[0].get(), second);
  EXPECT_EQ(item.Voices()[1].get(), first);
  EXPECT_EQ(first->Position(), 0);
  EXPECT_EQ(second->Position(), 5);
  // Both are heard: ramp from its start plus ramp from frame 5.
  EXPECT_EQ(rig.Render(1), Samples({100 + 600, 100 + 600}));
}

TEST(DXSound, FirstIdleVoiceIsReusedInPlace) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Ramp(20))});
  item.PlaySound();
  rig.Render(10);
  item.PlaySound();
  rig.Render(10);  // the first has ended, the second is half way
  TSoundVoice* first = item.Voices()[0].get();
  ASSERT_FALSE(first->Playing());
  item.PlaySound();
  ASSERT_EQ(item.Voices().size(), 2u);
  EXPECT_EQ(item.Voices()[0].get(), first);
  EXPECT_TRUE(first->Playing());
  EXPECT_EQ(first->Position(), 0);
}

TEST(DXSound, VolumeGain) {
  struct Case {
    int Volume;
    int16_t Heard;
  } cases[] = {{0, 10000}, {-800, 3981}, {-2000, 1000}, {-6000, 10}, {-10000, 0}, {-20000, 0}, {500, 10000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Volume);
    SoundRig rig;
    TWaveCollectionItem& item = rig.Load({"Beep", false, 0, Mono16(Constant(10000, 8))});
    item.SetSoundVolume(c.Volume);
    EXPECT_EQ(item.Volume(), c.Volume);
    item.PlaySound();
    EXPECT_EQ(rig.Render(8), Both(Constant(c.Heard, 8)));
  }
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Beep", false, 0, Mono16(Constant(-30000, 1))});
  item.SetSoundVolume(-800);
  item.PlaySound();
  EXPECT_NEAR(rig.Render(1)[0], -30000 * 0.398107, 1.0);
}

TEST(DXSound, PanLowersTheOtherSide) {
  struct Case {
    int Pan, Volume;
    int16_t Left, Right;
  } cases[] = {{2000, 0, 1000, 10000},  {-2000, 0, 10000, 1000},  {10000, 0, 0, 10000},
               {-10000, 0, 10000, 0},   {800, -800, 1585, 3981}, {30000, 0, 0, 10000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Pan);
    SoundRig rig;
    TWaveCollectionItem& item = rig.Load({"Beep", false, 0, Mono16(Constant(10000, 4))});
    item.SetPan(c.Pan);
    item.SetSoundVolume(c.Volume);
    item.PlaySound();
    const Samples heard = rig.Render(1);
    EXPECT_EQ(heard[0], c.Left);
    EXPECT_EQ(heard[1], c.Right);
  }
}

TEST(DXSound, VolumeReachesExtraVoicesAtTheirNextPlay) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Beep", false, 0, Mono16(Constant(10000, 4))});
  item.PlaySound();
  item.SetSoundVolume(-800);
  EXPECT_EQ(item.MainVoice()->Volume(), -800);
  EXPECT_EQ(item.Voices()[0]->Volume(), 0);
  EXPECT_EQ(rig.Render(4), Both(Constant(10000, 4)));  // the playing voice keeps its volume
  item.PlaySound();
  ASSERT_EQ(item.Voices().size(), 1u);
  EXPECT_EQ(item.Voices()[0]->Volume(), -800);
  EXPECT_EQ(rig.Render(4), Both(Constant(3981, 4)));
}

TEST(DXSound, StoppedVoicesAddNothing) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Constant(5000, 100))});
  item.PlaySound();
  item.PlaySound();
  rig.Render(10);
  item.StopSound();
  for (const auto& voice : item.Voices()) EXPECT_FALSE(voice->Playing());
  EXPECT_EQ(rig.Render(20), Both(Constant(0, 20)));
}

TEST(DXSound, VoicesAddUpAndClip) {
  struct Case {
    int16_t Sample;
    int Plays;
    int16_t Heard;
  } cases[] = {{10000, 2, 20000}, {30000, 2, 32767}, {-30000, 2, -32768}, {-20000, 3, -32768}, {-100, 3, -300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Sample << " x " << c.Plays);
    SoundRig rig;
    TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Constant(c.Sample, 16))});
    for (int i = 0; i < c.Plays; ++i) item.PlaySound();
    EXPECT_EQ(rig.Render(16), Both(Constant(c.Heard, 16)));
  }
}

TEST(DXSound, VoicesShareTheOutputWithOtherChannels) {
  struct Music : TAudioChannel {
    void MixInto(int32_t* acc, int frames) override {
      for (int i = 0; i < 2 * frames; ++i) acc[i] += 20000;
    }
  } music;
  SoundRig rig;
  rig.mixer.AddChannel(music);
  TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Constant(-5000, 2))});
  item.PlaySound();
  EXPECT_EQ(rig.Render(3), Samples({15000, 15000, 15000, 15000, 20000, 20000}));
  item.PlaySound();
  item.PlaySound();
  EXPECT_EQ(rig.Render(1), Samples({10000, 10000}));
  rig.mixer.RemoveChannel(music);
}

TEST(DXSound, LoopedReplayRestartsTheMainVoice) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Engine", true, 0, Mono16(Ramp(10))});
  item.PlaySound();
  TSoundVoice* main = item.MainVoice();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(main->Playing());
  EXPECT_TRUE(main->Looping());
  Samples heard = rig.Render(25);
  Samples expected;
  for (int i = 0; i < 25; ++i) expected.push_back(int16_t(100 * (i % 10 + 1)));
  EXPECT_EQ(heard, Both(expected));
  item.PlaySound();
  EXPECT_EQ(item.MainVoice(), main);
  EXPECT_TRUE(item.Voices().empty());
  EXPECT_EQ(main->Position(), 0);
  EXPECT_EQ(rig.Render(2), Both({100, 200}));
  item.StopSound();
  EXPECT_EQ(rig.Render(10), Both(Constant(0, 10)));
}

TEST(DXSound, SettingLoopedStopsEveryVoice) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Constant(1, 50))});
  item.PlaySound();
  item.PlaySound();
  item.SetLooped(false);  // not a new value
  EXPECT_TRUE(item.Voices()[0]->Playing());
  item.SetLooped(true);
  for (const auto& voice : item.Voices()) EXPECT_FALSE(voice->Playing());
  item.PlaySound();
  EXPECT_TRUE(item.MainVoice()->Playing());
  item.SetLooped(false);
  EXPECT_FALSE(item.MainVoice()->Playing());
}

TEST(DXSound, SettingMaxPlayingCountDropsExtraVoices) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Constant(1, 50))});
  item.PlaySound();
  item.PlaySound();
  item.SetMaxPlayingCount(0);  // not a new value
  EXPECT_EQ(item.Voices().size(), 2u);
  item.SetMaxPlayingCount(-1);  // becomes 0: still not new
  EXPECT_EQ(item.Voices().size(), 2u);
  item.SetMaxPlayingCount(2);
  EXPECT_TRUE(item.Voices().empty());
  EXPECT_EQ(item.MaxPlayingCount(), 2);
  EXPECT_EQ(rig.Render(1), Samples({0, 0}));
}

TEST(DXSound, EmptyDataPlaysNothing) {
  for (bool looped : {false, true}) {
    SCOPED_TRACE(looped);
    SoundRig rig;
    TWaveCollectionItem& item = rig.Load({"Nothing", looped, 0, MakePcmWave(1, 44100, 16, {})});
    EXPECT_TRUE(item.Prepared());
    EXPECT_EQ(item.MainVoice(), nullptr);
    item.PlaySound();
    item.SetSoundVolume(-800);
    item.StopSound();
    EXPECT_TRUE(item.Voices().empty());
    EXPECT_EQ(rig.Render(4), Both(Constant(0, 4)));
  }
}

TEST(DXSound, RateConversionAndFrequency) {
  struct Case {
    const char* What;
    TWave Wave;
    int Frequency;
    Samples Left, Right;
  } cases[] = {
      {"half rate interpolates", Mono16({0, 100, 200}, 22050), 0, {0, 50, 100, 150, 200, 200}, {}},
      {"frequency doubles the step", Mono16({0, 100, 200, 300, 400}), 88200, {0, 200, 400, 0, 0, 0}, {}},
      {"frequency halves it", Mono16({0, 100, 200}, 44100), 22050, {0, 50, 100, 150, 200, 200}, {}},
      {"8-bit stereo", MakePcmWave(2, 44100, 8, {129, 127, 255, 0}), 0, {256, 32512, 0, 0, 0, 0},
       {-256, -32768, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    SoundRig rig;
    TWaveCollectionItem& item = rig.Load({"Shot", false, 0, c.Wave});
    item.SetFrequency(c.Frequency);
    item.PlaySound();
    const Samples heard = rig.Render(6);
    Samples left, right;
    for (size_t i = 0; i < heard.size(); i += 2) left.push_back(heard[i]), right.push_back(heard[i + 1]);
    EXPECT_EQ(left, c.Left);
    EXPECT_EQ(right, c.Right.empty() ? c.Left : c.Right);
  }
}

TEST(DXSound, FormatTheMixerCannotPlayIsRaisedWhenPrepared) {
  SoundRig rig;
  const std::vector<uint8_t> archive = WriteSoundArchive({{"Shot", false, 0, Mono16(Constant(1, 3))},
                                                          {"Hiss", true, 0, MakePcmWave(1, 44100, 24, {1, 2, 3})}});
  EXPECT_EQ(ErrorOf([&] { rig.list.Items.LoadFromMemory(archive); }), "Sound Buffer cannot be made");
  EXPECT_TRUE(rig.list.Items.Items(0).Prepared());
  EXPECT_FALSE(rig.list.Items.Items(1).Prepared());  // left silent
  EXPECT_EQ(ErrorOf([&] { rig.list.Items.Items(1).PlaySound(); }), "");
  SoundRig silent(false);
  silent.list.Items.LoadFromMemory(archive);  // nothing is made without a device
  EXPECT_FALSE(silent.list.Items.Items(0).Prepared());
}

TEST(DXSound, PreparationFollowsTheDevice) {
  SoundRig rig;
  TWaveCollectionItem& item = rig.Load({"Shot", false, 0, Mono16(Constant(7, 30))});
  item.PlaySound();
  EXPECT_EQ(rig.sound.Voices().VoiceCount(), 2);
  rig.sound.Finalize();
  EXPECT_FALSE(item.Prepared());
  EXPECT_EQ(item.MainVoice(), nullptr);
  EXPECT_TRUE(item.Voices().empty());
  EXPECT_EQ(rig.sound.Voices().VoiceCount(), 0);
  item.PlaySound();  // unprepared: nothing
  EXPECT_EQ(rig.Render(2), Both(Constant(0, 2)));
  rig.sound.Initialize();
  EXPECT_TRUE(item.Prepared());
  item.PlaySound();
  EXPECT_EQ(rig.Render(2), Both(Constant(7, 2)));
  rig.sound.Restore();  // voices made again
  EXPECT_TRUE(item.Voices().empty());
  EXPECT_NE(item.MainVoice(), nullptr);

  TDXWaveList late;  // a list linked to an initialised device prepares at once
  late.Items.LoadFromMemory(WriteSoundArchive({{"Beep", false, 0, Mono16(Constant(1, 3))}}));
  late.SetDXSound(&rig.sound);
  EXPECT_TRUE(late.Items.Items(0).Prepared());
  late.SetDXSound(nullptr);
  EXPECT_FALSE(late.Items.Items(0).Prepared());
}

TEST(DXSound, ListOutlivingTheDeviceIsDetached) {
  platform::HeadlessPlatform platform;
  TAudioMixer mixer(platform);
  TDXWaveList list;
  {
    TDXSound sound(platform, mixer);
    sound.OpenDevice = [] { return true; };
    sound.Loaded();
    list.SetDXSound(&sound);
    list.Items.LoadFromMemory(WriteSoundArchive({{"Shot", false, 0, Mono16(Constant(1, 3))}}));
    list.Items.Items(0).PlaySound();
  }
  EXPECT_EQ(list.DXSound(), nullptr);
  EXPECT_FALSE(list.Items.Items(0).Prepared());
  list.Items.Items(0).PlaySound();
  int16_t out[2];
  mixer.Render(out, 1);
  EXPECT_EQ(out[0], 0);
}

TEST(DXSound, InitialisationFailures) {
  platform::HeadlessPlatform platform;
  TAudioMixer mixer(platform);
  TDXSound sound(platform, mixer);  // the headless back end has no device
  EXPECT_EQ(ErrorOf([&] { sound.Initialize(); }), "DirectSound cannot be initialized");
  EXPECT_EQ(ErrorOf([&] { sound.Loaded(); }), "");
  EXPECT_FALSE(sound.Initialized());
  sound.HasParent = false;
  EXPECT_EQ(ErrorOf([&] { sound.Loaded(); }), "Form not found");
  sound.HasParent = true;
  sound.AutoInitialize = false;
  sound.OpenDevice = [] { return true; };
  sound.Loaded();
  EXPECT_FALSE(sound.Initialized());
}

TEST(DXSound, SilentRunningWithoutADevice) {
  SoundRig rig(false);
  EXPECT_FALSE(rig.sound.Initialized());
  TWaveCollectionItem& item = rig.Load({"Beep", false, 2, Mono16(Constant(1000, 10))});
  EXPECT_FALSE(item.Prepared());
  EXPECT_EQ(ErrorOf([&] {
              item.SetSoundVolume(-800);
              item.PlaySound(true);  // waits for nothing
              item.StopSound();
              item.SetLooped(true);
              item.PlaySound();
              item.SetMaxPlayingCount(5);
            }),
            "");
  EXPECT_EQ(item.Volume(), -800);
  EXPECT_EQ(item.MainVoice(), nullptr);
  EXPECT_TRUE(item.Voices().empty());
  EXPECT_EQ(rig.Render(4), Both(Constant(0, 4)));
  EXPECT_EQ(ErrorOf([&] { rig.list.Items.FindItem("Shot"); }), "Wave 'Shot' not found");
}

TEST(DXSound, PlaysAndStopsAreRecordedByName) {
  // The platform's own device: none on the headless back end.
  platform::HeadlessPlatform platform;
  TAudioMixer mixer(platform);
  TDXSound sound(platform, mixer);
  sound.Loaded();
  TDXWaveList list;
  list.SetDXSound(&sound);
  list.Items.LoadFromMemory(WriteSoundArchive(
      {{"Shot", false, 0, Mono16(Constant(1, 3))}, {"Over", true, 0, TWave{}}}));
  list.Items.FindItem("shot").PlaySound();
  list.Items.FindItem("Over").PlaySound();
  for (int i = 0; i < list.Items.Count(); ++i) list.Items.Items(i).StopSound();
  std::vector<std::string> notes;
  for (const auto& note : platform.Notes()) notes.push_back(note.Channel + ":" + note.What);
  EXPECT_EQ(notes, (std::vector<std::string>{"sound:Shot", "sound:Over", "sound:stop Shot", "sound:stop Over"}));
}

}  // namespace
