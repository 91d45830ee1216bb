// Plays the game's tracker modules (XM) through libxmp as one channel of the mixer.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/AudioMixer.h"
#include "engine/platform/Platform.h"

class TMusicPlayer : public TAudioChannel {
 public:
  // Registers itself with the mixer for its whole life.
  TMusicPlayer(platform::Platform& platform, TAudioMixer& mixer);
  ~TMusicPlayer() override;
  TMusicPlayer(const TMusicPlayer&) = delete;
  TMusicPlayer& operator=(const TMusicPlayer&) = delete;

  // Loads a module file; its handle stays valid for the player's life. 0 when the file
  // is missing or not a module libxmp accepts.
  uint32_t SongLoadFromFile(const std::string& path);
  // Makes the module the one heard, from its start, repeating at its end, replacing any
  // other. Handle 0 or an unknown handle does nothing.
  void SongPlay(uint32_t handle);
  // Silences the module if it is the one heard.
  void SongStop(uint32_t handle);

  // Audio thread: adds the module heard, rendered at platform::AudioRate.
  void MixInto(int32_t* stereoAccumulator, int frames) override;

 private:
  struct Song {
    std::string Path;
    void* Context;  // xmp_context, one per module, kept loaded until destruction
  };
  const Song* Find(uint32_t handle) const;
  // Switches what MixInto reads (under the audio lock) and ends the player of the
  // module heard before, if another.
  void SetCurrent(void* context);

  platform::Platform& platform_;
  TAudioMixer& mixer_;
  std::vector<Song> songs_;        // handle n is songs_[n - 1]
  void* current_ = nullptr;        // the context MixInto renders; null when silent
  std::array<int16_t, 2048> chunk_{};  // audio-thread render buffer (1024 frames)
};
