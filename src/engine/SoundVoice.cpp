// Sound-effect voices and the mixer channel that sums them.
#include "engine/SoundVoice.h"

#include <algorithm>
#include <cmath>

namespace {

// Holds the platform's audio lock for a scope.
class TAudioLock {
 public:
  explicit TAudioLock(platform::Platform& platform) : platform_(platform) { platform_.LockAudio(); }
  ~TAudioLock() { platform_.UnlockAudio(); }
  TAudioLock(const TAudioLock&) = delete;
  TAudioLock& operator=(const TAudioLock&) = delete;

 private:
  platform::Platform& platform_;
};

constexpr int kSilent = -10000;

// 10^(v/2000) in 16.16 fixed point; kSilent and below is 0.
int64_t Gain(int hundredthsOfDecibel) {
  if (hundredthsOfDecibel <= kSilent) return 0;
  return std::llround(65536.0 * std::pow(10.0, hundredthsOfDecibel / 2000.0));
}

}  // namespace

// --- TVoiceChannel

void TVoiceChannel::Add(TSoundVoice* voice) {
  TAudioLock lock(platform_);
  voices_.push_back(voice);
}

void TVoiceChannel::Remove(TSoundVoice* voice) {
  TAudioLock lock(platform_);
  std::erase(voices_, voice);
}

void TVoiceChannel::MixInto(int32_t* stereoAccumulator, int frames) {
  for (TSoundVoice* voice : voices_) voice->MixInto(stereoAccumulator, frames);
}

// --- TSoundVoice

TSoundVoice::TSoundVoice(TVoiceChannel& channel, std::shared_ptr<const TSoundSamples> samples)
    : channel_(channel), samples_(std::move(samples)), rate_(samples_->Rate) {
  channel_.Add(this);
}

TSoundVoice::TSoundVoice(const TSoundVoice& other)
    : channel_(other.channel_),
      samples_(other.samples_),
      frequency_(other.frequency_),
      volume_(other.volume_),
      pan_(other.pan_),
      rate_(other.rate_),
      gainLeft_(other.gainLeft_),
      gainRight_(other.gainRight_) {
  channel_.Add(this);
}

TSoundVoice::~TSoundVoice() { channel_.Remove(this); }

void TSoundVoice::Play(bool looping) {
  TAudioLock lock(channel_.Platform());
  if (samples_->FrameCount() == 0) return;
  looping_ = looping;
  if (index_ >= samples_->FrameCount()) index_ = 0, remainder_ = 0;
  playing_ = true;
}

void TSoundVoice::Stop() {
  TAudioLock lock(channel_.Platform());
  playing_ = false;
}

void TSoundVoice::Rewind() {
  TAudioLock lock(channel_.Platform());
  index_ = 0;
  remainder_ = 0;
}

bool TSoundVoice::Playing() const {
  TAudioLock lock(channel_.Platform());
  return playing_;
}

bool TSoundVoice::Looping() const {
  TAudioLock lock(channel_.Platform());
  return looping_;
}

int64_t TSoundVoice::Position() const {
  TAudioLock lock(channel_.Platform());
  return index_;
}

void TSoundVoice::SetFrequency(int hz) {
  TAudioLock lock(channel_.Platform());
  frequency_ = hz == 0 ? 0 : std::clamp(hz, kMinSoundRate, kMaxSoundRate);
  rate_ = frequency_ == 0 ? samples_->Rate : frequency_;
}

void TSoundVoice::SetVolume(int value) {
  TAudioLock lock(channel_.Platform());
  volume_ = std::clamp(value, kSilent, 0);
  UpdateGains();
}

void TSoundVoice::SetPan(int value) {
  TAudioLock lock(channel_.Platform());
  pan_ = std::clamp(value, kSilent, -kSilent);
  UpdateGains();
}

void TSoundVoice::UpdateGains() {
  const int64_t volume = Gain(volume_);
  gainLeft_ = (volume * Gain(std::min(0, -pan_)) + 32768) >> 16;
  gainRight_ = (volume * Gain(std::min(0, pan_)) + 32768) >> 16;
}

void TSoundVoice::MixInto(int32_t* stereoAccumulator, int frames) {
  if (!playing_) return;
  const int16_t* in = samples_->Frames.data();
  const int64_t count = samples_->FrameCount();
  for (int i = 0; i < frames; ++i) {
    // Between this frame and the next (the first again when looping, else this one held).
    const int64_t next = index_ + 1 < count ? index_ + 1 : looping_ ? 0 : index_;
    for (int side = 0; side < 2; ++side) {
      const int64_t a = in[2 * index_ + side], b = in[2 * next + side];
      const int64_t sample = a + (b - a) * remainder_ / platform::AudioRate;
      stereoAccumulator[2 * i + side] +=
          int32_t((sample * (side == 0 ? gainLeft_ : gainRight_) + 32768) >> 16);
    }
    remainder_ += rate_;
    index_ += remainder_ / platform::AudioRate;
    remainder_ %= platform::AudioRate;
    if (index_ >= count) {
      if (!looping_) {
        playing_ = false;
        return;
      }
      index_ %= count;
    }
  }
}
