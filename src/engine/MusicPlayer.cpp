// Plays the game's tracker modules (XM) through libxmp as one channel of the mixer.
#include "engine/MusicPlayer.h"

#include <xmp.h>

#include <algorithm>

TMusicPlayer::TMusicPlayer(platform::Platform& platform, TAudioMixer& mixer)
    : platform_(platform), mixer_(mixer) {
  mixer_.AddChannel(*this);
}

TMusicPlayer::~TMusicPlayer() {
  mixer_.RemoveChannel(*this);
  for (const Song& song : songs_) {
    auto ctx = static_cast<xmp_context>(song.Context);
    if (xmp_get_player(ctx, XMP_PLAYER_STATE) == XMP_STATE_PLAYING) xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
  }
}

uint32_t TMusicPlayer::SongLoadFromFile(const std::string& path) {
  xmp_context ctx = xmp_create_context();
  if (ctx != nullptr && xmp_load_module(ctx, path.c_str()) == 0) {
    songs_.push_back({path, ctx});
    platform_.Record("music", "load " + path);
    return static_cast<uint32_t>(songs_.size());
  }
  if (ctx != nullptr) xmp_free_context(ctx);
  platform_.Record("music", "load " + path + " failed");
  return 0;
}

const TMusicPlayer::Song* TMusicPlayer::Find(uint32_t handle) const {
  if (handle == 0 || handle > songs_.size()) return nullptr;
  return &songs_[handle - 1];
}

void TMusicPlayer::SetCurrent(void* context) {
  platform_.LockAudio();
  void* previous = current_;
  current_ = context;
  platform_.UnlockAudio();
  // Only the module heard keeps a running player; the audio thread no longer sees this one.
  if (previous != nullptr && previous != context) xmp_end_player(static_cast<xmp_context>(previous));
}

void TMusicPlayer::SongPlay(uint32_t handle) {
  const Song* song = Find(handle);
  if (song == nullptr) return;
  platform_.Record("music", "play " + song->Path);
  auto ctx = static_cast<xmp_context>(song->Context);
  // Only the module heard has a running player: take it off the audio thread and end
  // its player, so it starts again from the beginning.
  if (current_ == ctx) SetCurrent(nullptr);
  if (xmp_start_player(ctx, platform::AudioRate, 0) != 0) {
    SetCurrent(nullptr);
    return;
  }
  SetCurrent(ctx);
}

void TMusicPlayer::SongStop(uint32_t handle) {
  const Song* song = Find(handle);
  if (song == nullptr) return;
  platform_.Record("music", "stop " + song->Path);
  if (current_ == song->Context) SetCurrent(nullptr);
}

void TMusicPlayer::MixInto(int32_t* stereoAccumulator, int frames) {
  if (current_ == nullptr) return;
  auto ctx = static_cast<xmp_context>(current_);
  const int chunkFrames = static_cast<int>(chunk_.size() / 2);
  while (frames > 0) {
    const int n = std::min(frames, chunkFrames);
    // Loop count 0: the module repeats forever from its restart position.
    if (xmp_play_buffer(ctx, chunk_.data(), n * 2 * static_cast<int>(sizeof(int16_t)), 0) != 0) return;
    for (int i = 0; i < n * 2; ++i) stereoAccumulator[i] += chunk_[i];
    stereoAccumulator += n * 2;
    frames -= n;
  }
}
