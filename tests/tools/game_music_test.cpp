// The built tunes load and play in an independent player (openmpt123), last over a minute,
// loop back to their restart position, and play in the game's own music player.
#include <gtest/gtest.h>
#include <xmp.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/AudioMixer.h"
#include "engine/MusicPlayer.h"
#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

const std::string kTunes[] = {ZAROVEL_GAME_DATA "/Sound/1.xm", ZAROVEL_GAME_DATA "/Sound/2.xm"};

// Standard output of a command.
std::string Output(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  if (pipe == nullptr) return out;
  char buffer[65536];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
  return out;
}

TEST(GameMusic, OpenmptReadsBothTunesAsLongXmModules) {
  for (const std::string& tune : kTunes) {
    SCOPED_TRACE(tune);
    const std::string info = Output("openmpt123 --info '" + tune + "' 2>/dev/null");
    EXPECT_NE(info.find("Type.......: xm"), std::string::npos) << info;
    // "Duration...: MM:SS.mmm"
    const size_t label = info.find("Duration");
    ASSERT_NE(label, std::string::npos) << info;
    int minutes = 0, seconds = 0;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find(':', label) + 1, " %d:%d", &minutes, &seconds), 2) << info;
    EXPECT_GE(minutes * 60 + seconds, 60);
  }
}

TEST(GameMusic, OpenmptRendersOverAMinuteOfSound) {
  for (const std::string& tune : kTunes) {
    SCOPED_TRACE(tune);
    // One pass, mono 16-bit at 22050 Hz, on standard output.
    const std::string raw = Output("openmpt123 --batch --quiet --stdout --no-float --channels 1 --samplerate 22050 '" +
                                tune + "' 2>/dev/null");
    const size_t count = raw.size() / 2;
    EXPECT_GE(double(count) / 22050, 60.0);
    double sum = 0.0;
    int peak = 0;
    for (size_t i = 0; i < count; ++i) {
      const int16_t s = int16_t(uint8_t(raw[2 * i]) | uint8_t(raw[2 * i + 1]) << 8);
      sum += double(s) * s;
      peak = std::max(peak, std::abs(int(s)));
    }
    EXPECT_GT(std::sqrt(sum / double(std::max<size_t>(count, 1))), 1000.0) << "not silent";
    EXPECT_LT(peak, 32767) << "not clipped";
  }
}

TEST(GameMusic, EachTuneLoopsToItsRestartPosition) {
  for (const std::string& tune : kTunes) {
    SCOPED_TRACE(tune);
    xmp_context context = xmp_create_context();
    ASSERT_EQ(xmp_load_module(context, tune.c_str()), 0);
    xmp_module_info info{};
    xmp_get_module_info(context, &info);
    ASSERT_EQ(xmp_start_player(context, 22050, 0), 0);
    xmp_frame_info frame{};
    int end = 0;  // the time of the last frame before the loop
    while (xmp_play_frame(context) == 0) {
      xmp_get_frame_info(context, &frame);
      if (frame.loop_count > 0) break;
      end = frame.time;
    }
    EXPECT_EQ(frame.loop_count, 1);
    EXPECT_GE(end, 60000) << "one pass lasts a minute";
    EXPECT_EQ(frame.pos, info.mod->rst) << "continues from the restart position";
    EXPECT_GT(info.mod->rst, 0) << "the opening is not repeated";
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
  }
}

TEST(GameMusic, TheGamesPlayerPlaysBoth) {
  platform::HeadlessPlatform platform;
  TAudioMixer mixer(platform);
  TMusicPlayer music(platform, mixer);
  for (const std::string& tune : kTunes) {
    SCOPED_TRACE(tune);
    const uint32_t song = music.SongLoadFromFile(tune);
    ASSERT_NE(song, 0u);
    music.SongPlay(song);
    std::vector<int16_t> out(size_t(platform::AudioRate) * 2 * 3);
    mixer.Render(out.data(), platform::AudioRate * 3);
    int peak = 0;
    for (int16_t s : out) peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(peak, 2000);
    EXPECT_LT(peak, 32767);
    music.SongStop(song);
  }
}

}  // namespace
