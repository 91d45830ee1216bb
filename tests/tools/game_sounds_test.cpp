// The built sound archive holds every sound the game plays, as clean 16-bit PCM.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/Wave.h"
#include "engine/WaveCollection.h"

namespace {

struct Expected {
  const char* Name;
  double ShortestSeconds, LongestSeconds;
};

// Every name the game plays, with how long such a sound may fairly last.
const Expected kSounds[] = {
    {"Shot", 0.05, 0.5},  {"Roket", 0.2, 1.5}, {"Explod", 0.4, 2.5}, {"Die", 0.3, 2.0},
    {"Over", 0.8, 4.0},   {"Level", 0.2, 1.5}, {"Bonus", 0.1, 1.0},  {"Beep", 0.02, 0.2},
};

class GameSounds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sounds_.LoadArchive(ZAROVEL_GAME_DATA "/Sound/GSnd.dxg"); }
  static TWaveCollection sounds_;
};
TWaveCollection GameSounds::sounds_;

TEST_F(GameSounds, EverySoundIsCleanSixteenBitPcm) {
  EXPECT_EQ(sounds_.Count(), int(std::size(kSounds)));
  for (const Expected& expected : kSounds) {
    SCOPED_TRACE(expected.Name);
    const TWaveCollectionItem* item = sounds_.Find(expected.Name);
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->Looped());
    EXPECT_GE(item->MaxPlayingCount(), 1) << "every sound has a limit on copies";

    const TWaveFormat format = TWaveFormat::Parse(item->Wave.Format);
    EXPECT_EQ(format.FormatTag, 1);
    EXPECT_EQ(format.Channels, 1);
    EXPECT_EQ(format.BitsPerSample, 16);
    EXPECT_TRUE(format.SamplesPerSec == 22050 || format.SamplesPerSec == 44100);
    ASSERT_EQ(item->Wave.Data.size() % 2, 0u);

    const size_t count = item->Wave.Data.size() / 2;
    const double seconds = double(count) / format.SamplesPerSec;
    EXPECT_GE(seconds, expected.ShortestSeconds);
    EXPECT_LE(seconds, expected.LongestSeconds);
    int peak = 0;
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
      const int16_t s = int16_t(item->Wave.Data[2 * i] | item->Wave.Data[2 * i + 1] << 8);
      peak = std::max(peak, std::abs(int(s)));
      sum += s;
    }
    EXPECT_GT(peak, 32768 / 4) << "audible";
    EXPECT_LT(peak, 32000) << "not clipped";
    EXPECT_LT(std::abs(sum / double(count)), 300.0) << "no DC offset";
    ASSERT_TRUE(DecodePcm(item->Wave).has_value());
  }
}

TEST_F(GameSounds, BeepIsTheSoftestAndShortest) {
  const auto peakOf = [](const TWave& wave) {
    int peak = 0;
    for (size_t i = 0; i + 1 < wave.Data.size(); i += 2)
      peak = std::max(peak, std::abs(int(int16_t(wave.Data[i] | wave.Data[i + 1] << 8))));
    return peak;
  };
  const TWave& beep = sounds_.FindItem("Beep").Wave;
  for (const Expected& other : kSounds) {
    if (std::string(other.Name) == "Beep") continue;
    SCOPED_TRACE(other.Name);
    const TWave& wave = sounds_.FindItem(other.Name).Wave;
    EXPECT_LE(peakOf(beep), peakOf(wave));
    EXPECT_LT(beep.Data.size(), wave.Data.size());
  }
}

}  // namespace
