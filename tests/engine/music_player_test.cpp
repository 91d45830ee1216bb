// The music player loads XM modules, plays one at a time in a loop, and tolerates bad files.
#include "engine/MusicPlayer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/AudioMixer.h"
#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

namespace fs = std::filesystem;
using Samples = std::vector<int16_t>;
using Notes = std::vector<std::pair<std::string, std::string>>;

const std::string kCorpus = ZAROVEL_SHARED_DIR "/corpora/xm/";
const std::string kEnvLoops = kCorpus + "play/EnvLoops.xm";
const std::string kTremolo = kCorpus + "play/TremoloWaveforms.xm";  // the shortest: 7.68 s
const std::string kKxx = kCorpus + "play/ft2_kxx.xm";

std::vector<std::string> CorpusFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(kCorpus + folder))
    if (entry.path().extension() == ".xm") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

int Frames(double seconds) { return static_cast<int>(seconds * platform::AudioRate); }

// Pulls the mixer in device-sized blocks, as the audio thread would.
Samples Render(TAudioMixer& mixer, int frames) {
  constexpr int kBlock = 3000;
  Samples out(static_cast<size_t>(frames) * 2);
  for (int done = 0; done < frames; done += kBlock)
    mixer.Render(out.data() + static_cast<size_t>(done) * 2, std::min(kBlock, frames - done));
  return out;
}

bool Audible(const Samples& samples) {
  return std::any_of(samples.begin(), samples.end(), [](int16_t s) { return s != 0; });
}

struct Player {
  platform::HeadlessPlatform platform;
  TAudioMixer mixer{platform};
  TMusicPlayer music{platform, mixer};

  Samples Render(double seconds) { return ::Render(mixer, Frames(seconds)); }
  Notes TakeNotes() {
    Notes notes;
    for (const auto& note : platform.TakeNotes()) notes.emplace_back(note.Channel, note.What);
    return notes;
  }
};

// What a module sounds like over its first seconds, played alone by a fresh player.
Samples Reference(const std::string& path, double seconds) {
  Player p;
  p.music.SongPlay(p.music.SongLoadFromFile(path));
  return p.Render(seconds);
}

TEST(MusicPlayer, EveryPlayableModuleLoadsAndIsHeard) {
  const auto files = CorpusFiles("play");
  ASSERT_FALSE(files.empty());
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    Player p;
    const uint32_t song = p.music.SongLoadFromFile(path);
    ASSERT_NE(song, 0u);
    EXPECT_FALSE(Audible(p.Render(0.1))) << "heard before SongPlay";
    p.music.SongPlay(song);
    EXPECT_TRUE(Audible(p.Render(2)));
    EXPECT_EQ(p.TakeNotes(), (Notes{{"music", "load " + path}, {"music", "play " + path}}));
  }
}

TEST(MusicPlayer, BadFilesGiveHandleZeroAndStaySilent) {
  const fs::path empty = fs::temp_directory_path() / ("zarovel_music_empty_" + std::to_string(getpid()) + ".xm");
  std::ofstream(empty).close();
  std::vector<std::string> files = CorpusFiles("malformed");
  ASSERT_FALSE(files.empty());
  files.push_back(kCorpus + "play/no_such_module.xm");
  files.push_back(kCorpus + "play");  // a folder
  files.push_back(kCorpus + "INDEX.md");
  files.push_back(empty.string());
  files.push_back("");
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    Player p;
    EXPECT_EQ(p.music.SongLoadFromFile(path), 0u);
    p.music.SongPlay(0);
    p.music.SongPlay(1);
    EXPECT_FALSE(Audible(p.Render(0.1)));
    EXPECT_EQ(p.TakeNotes(), (Notes{{"music", "load " + path + " failed"}}));
  }
  fs::remove(empty);
}

// openmpt_test.xm renders silent in libxmp and libopenmpt alike; what it tests here is
// its header: orders 2 with restart position 1, so looping must jump back into the song.
TEST(MusicPlayer, StructureModuleLoadsAndLoopsToItsRestartPosition) {
  Player p;
  const uint32_t song = p.music.SongLoadFromFile(kCorpus + "structure/openmpt_test.xm");
  ASSERT_NE(song, 0u);
  p.music.SongPlay(song);
  p.Render(10);  // past its 8.6 s end and round the loop
  p.music.SongStop(song);
  EXPECT_FALSE(Audible(p.Render(0.1)));
}

TEST(MusicPlayer, RepeatsAtItsEnd) {
  Player p;
  p.music.SongPlay(p.music.SongLoadFromFile(kTremolo));
  p.Render(8);
  EXPECT_TRUE(Audible(p.Render(1))) << "silent after the end of the module";
}

TEST(MusicPlayer, HandleZeroAndUnknownHandlesDoNothing) {
  Player p;
  p.music.SongStop(0);
  p.music.SongPlay(0);
  p.music.SongPlay(1);
  p.music.SongStop(1);
  EXPECT_FALSE(Audible(p.Render(0.1)));
  EXPECT_TRUE(p.TakeNotes().empty());

  const uint32_t song = p.music.SongLoadFromFile(kKxx);
  p.music.SongPlay(song);
  p.music.SongPlay(song + 1);
  p.music.SongStop(song + 1);
  p.music.SongStop(0);
  EXPECT_EQ(p.Render(1), Reference(kKxx, 1));
  EXPECT_EQ(p.TakeNotes(), (Notes{{"music", "load " + kKxx}, {"music", "play " + kKxx}}));
}

TEST(MusicPlayer, PlayingAnotherModuleReplacesTheOneHeard) {
  Player p;
  const uint32_t a = p.music.SongLoadFromFile(kEnvLoops);
  const uint32_t b = p.music.SongLoadFromFile(kKxx);
  p.music.SongPlay(a);
  p.Render(0.5);
  p.music.SongPlay(b);
  // Only b, from its start: a adds nothing any more.
  EXPECT_EQ(p.Render(1.5), Reference(kKxx, 1.5));
}

TEST(MusicPlayer, PlayingAgainStartsFromTheBeginning) {
  Player p;
  const uint32_t a = p.music.SongLoadFromFile(kEnvLoops);
  const uint32_t b = p.music.SongLoadFromFile(kKxx);
  p.music.SongPlay(a);
  p.Render(1);
  p.music.SongPlay(a);
  EXPECT_EQ(p.Render(1), Reference(kEnvLoops, 1));
  p.music.SongPlay(b);
  p.Render(0.5);
  p.music.SongPlay(a);  // back to one that was replaced
  EXPECT_EQ(p.Render(1), Reference(kEnvLoops, 1));
}

TEST(MusicPlayer, StopSilencesOnlyTheModuleHeard) {
  Player p;
  const uint32_t a = p.music.SongLoadFromFile(kEnvLoops);
  const uint32_t b = p.music.SongLoadFromFile(kKxx);
  p.music.SongPlay(a);
  const Samples first = p.Render(0.5);
  p.music.SongStop(b);  // not the one heard: a plays on undisturbed
  Samples heard = first;
  const Samples rest = p.Render(0.5);
  heard.insert(heard.end(), rest.begin(), rest.end());
  EXPECT_EQ(heard, Reference(kEnvLoops, 1));

  p.TakeNotes();
  p.music.SongStop(a);
  EXPECT_FALSE(Audible(p.Render(0.5)));
  p.music.SongStop(a);
  EXPECT_EQ(p.TakeNotes(), (Notes{{"music", "stop " + kEnvLoops}, {"music", "stop " + kEnvLoops}}));

  p.music.SongPlay(a);  // a stopped module plays again from its start
  EXPECT_EQ(p.Render(1), Reference(kEnvLoops, 1));
}

TEST(MusicPlayer, HandlesStayValidAsMoreModulesLoad) {
  Player p;
  const uint32_t first = p.music.SongLoadFromFile(kKxx);
  std::vector<uint32_t> handles{first};
  for (const std::string& path : CorpusFiles("play")) handles.push_back(p.music.SongLoadFromFile(path));
  handles.push_back(p.music.SongLoadFromFile(kKxx));  // the same file again: a module of its own
  std::vector<uint32_t> sorted = handles;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "handles repeat";
  EXPECT_EQ(std::count(handles.begin(), handles.end(), 0u), 0);

  p.music.SongPlay(first);
  EXPECT_EQ(p.Render(1), Reference(kKxx, 1));
  p.music.SongPlay(handles.back());
  EXPECT_EQ(p.Render(1), Reference(kKxx, 1));
}

TEST(MusicPlayer, MusicAddsToTheOtherChannels) {
  // A constant channel beside the music: the mix is their sum (clamped).
  struct Offset : TAudioChannel {
    void MixInto(int32_t* acc, int frames) override {
      for (int i = 0; i < frames * 2; ++i) acc[i] += 100;
    }
  } offset;
  Player p;
  p.mixer.AddChannel(offset);
  p.music.SongPlay(p.music.SongLoadFromFile(kKxx));
  const Samples mixed = p.Render(1);
  const Samples alone = Reference(kKxx, 1);
  ASSERT_EQ(mixed.size(), alone.size());
  for (size_t i = 0; i < mixed.size(); ++i)
    ASSERT_EQ(mixed[i], std::min(alone[i] + 100, 32767)) << i;
  p.mixer.RemoveChannel(offset);
}

}  // namespace
