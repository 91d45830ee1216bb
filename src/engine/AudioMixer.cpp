// Sums the game's sound channels into the one stream the platform's audio device pulls.
#include "engine/AudioMixer.h"

#include <algorithm>

TAudioMixer::TAudioMixer(platform::Platform& platform) : platform_(platform) {
  channels_.reserve(8);
}

void TAudioMixer::AddChannel(TAudioChannel& channel) {
  platform_.LockAudio();
  if (std::find(channels_.begin(), channels_.end(), &channel) == channels_.end())
    channels_.push_back(&channel);
  platform_.UnlockAudio();
}

void TAudioMixer::RemoveChannel(TAudioChannel& channel) {
  platform_.LockAudio();
  std::erase(channels_, &channel);
  platform_.UnlockAudio();
}

void TAudioMixer::Render(int16_t* stereo, int frames) {
  if (frames <= 0) return;
  const size_t samples = static_cast<size_t>(frames) * 2;
  if (accumulator_.size() < samples) accumulator_.resize(samples);
  std::fill_n(accumulator_.begin(), samples, 0);
  for (TAudioChannel* channel : channels_) channel->MixInto(accumulator_.data(), frames);
  for (size_t i = 0; i < samples; ++i)
    stereo[i] = static_cast<int16_t>(std::clamp<int32_t>(accumulator_[i], INT16_MIN, INT16_MAX));
}
