// Sums the game's sound channels into the one stream the platform's audio device pulls.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/platform/Platform.h"

// One source of sound in the mix (the music, the sound-effect voices). MixInto runs on
// the audio thread and adds `frames` interleaved stereo frames into the accumulator.
class TAudioChannel {
 public:
  virtual ~TAudioChannel() = default;
  virtual void MixInto(int32_t* stereoAccumulator, int frames) = 0;
};

// The owner opens it once with platform.OpenAudio(mixer); without a device it is simply
// never pulled. Channels are added and removed on the game thread under the audio lock.
class TAudioMixer : public platform::AudioSource {
 public:
  explicit TAudioMixer(platform::Platform& platform);

  // A channel already present is not added twice; removing an absent one does nothing.
  void AddChannel(TAudioChannel& channel);
  void RemoveChannel(TAudioChannel& channel);

  // Audio thread: zeroes the accumulator, lets every channel add, clamps to 16 bits.
  void Render(int16_t* stereo, int frames) override;

 private:
  platform::Platform& platform_;
  std::vector<TAudioChannel*> channels_;
  std::vector<int32_t> accumulator_;  // grows to the largest request, then reused
};
