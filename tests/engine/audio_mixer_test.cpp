// The mixer sums its channels and clamps the sum to 16 bits.
#include "engine/AudioMixer.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

// Adds the same left/right values to every frame.
class ConstantChannel : public TAudioChannel {
 public:
  ConstantChannel(int32_t left, int32_t right) : left_(left), right_(right) {}
  void MixInto(int32_t* acc, int frames) override {
    for (int i = 0; i < frames; ++i) acc[2 * i] += left_, acc[2 * i + 1] += right_;
  }

 private:
  int32_t left_, right_;
};

std::vector<int16_t> Render(TAudioMixer& mixer, int frames) {
  std::vector<int16_t> out(static_cast<size_t>(frames) * 2, 12345);  // garbage to overwrite
  mixer.Render(out.data(), frames);
  return out;
}

std::vector<int16_t> Frames(int frames, int16_t left, int16_t right) {
  std::vector<int16_t> out;
  for (int i = 0; i < frames; ++i) out.push_back(left), out.push_back(right);
  return out;
}

TEST(AudioMixer, WithoutChannelsRendersSilence) {
  platform::HeadlessPlatform platform;
  TAudioMixer mixer(platform);
  EXPECT_EQ(Render(mixer, 300), Frames(300, 0, 0));
}

TEST(AudioMixer, SumsChannelsAndClampsTo16Bits) {
  struct Case {
    int32_t a, b;
    int16_t sum;
  } cases[] = {
      {1000, -3000, -2000},   {20000, 12767, 32767},   {20000, 20000, 32767},
      {-20000, -12768, -32768}, {-20000, -20000, -32768}, {40000, -30000, 10000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " + " << c.b);
    platform::HeadlessPlatform platform;
    TAudioMixer mixer(platform);
    ConstantChannel a(c.a, 7), b(c.b, -7);
    mixer.AddChannel(a);
    mixer.AddChannel(b);
    EXPECT_EQ(Render(mixer, 64), Frames(64, c.sum, 0));
  }
}

TEST(AudioMixer, ChannelIsMixedOnceAndStopsWhenRemoved) {
  platform::HeadlessPlatform platform;
  TAudioMixer mixer(platform);
  ConstantChannel a(100, 200), b(1, 2);
  mixer.AddChannel(a);
  mixer.AddChannel(a);
  mixer.AddChannel(b);
  EXPECT_EQ(Render(mixer, 10), Frames(10, 101, 202));
  mixer.RemoveChannel(a);
  mixer.RemoveChannel(a);
  EXPECT_EQ(Render(mixer, 10), Frames(10, 1, 2));
}

TEST(AudioMixer, RequestsOfChangingSizeAreFullyRendered) {
  platform::HeadlessPlatform platform;
  TAudioMixer mixer(platform);
  ConstantChannel a(-5, 5);
  mixer.AddChannel(a);
  for (int frames : {16, 4096, 1, 700, 8192})
    EXPECT_EQ(Render(mixer, frames), Frames(frames, -5, 5)) << frames;
}

}  // namespace
