// Sound-effect voices, each playing shared samples with its own position, rate, volume
// and pan, and the mixer channel that adds every playing voice to the output.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/AudioMixer.h"
#include "engine/Wave.h"
#include "engine/platform/Platform.h"

class TSoundVoice;

// One channel of the audio mixer holding every voice alive; voices join it when made and
// leave it when destroyed, under the platform's audio lock.
class TVoiceChannel : public TAudioChannel {
 public:
  explicit TVoiceChannel(platform::Platform& platform) : platform_(platform) {}
  TVoiceChannel(const TVoiceChannel&) = delete;
  TVoiceChannel& operator=(const TVoiceChannel&) = delete;

  platform::Platform& Platform() const { return platform_; }
  int VoiceCount() const { return int(voices_.size()); }

  // Audio thread: adds every playing voice.
  void MixInto(int32_t* stereoAccumulator, int frames) override;

 private:
  friend class TSoundVoice;
  void Add(TSoundVoice* voice);
  void Remove(TSoundVoice* voice);

  platform::Platform& platform_;
  std::vector<TSoundVoice*> voices_;
};

// Volume and pan are in hundredths of a decibel: the gain of a value v is 10^(v/2000), and
// -10000 is silence. A pan above 0 lowers the left side by that much, below 0 the right.
class TSoundVoice {
 public:
  TSoundVoice(TVoiceChannel& channel, std::shared_ptr<const TSoundSamples> samples);
  // Plays the same samples with the same frequency, volume and pan; starts stopped at the start.
  TSoundVoice(const TSoundVoice& other);
  TSoundVoice& operator=(const TSoundVoice&) = delete;
  ~TSoundVoice();

  // Starts from the current position; looping plays on from the start at the end.
  void Play(bool looping);
  void Stop();
  void Rewind();
  bool Playing() const;
  bool Looping() const;
  // The frame of the samples heard next.
  int64_t Position() const;
  int FrameCount() const { return samples_->FrameCount(); }

  // 0 plays at the samples' own rate; other values are kept within kMinSoundRate..kMaxSoundRate.
  void SetFrequency(int hz);
  int Frequency() const { return frequency_; }
  // Kept within -10000..0.
  void SetVolume(int value);
  int Volume() const { return volume_; }
  // Kept within -10000..10000.
  void SetPan(int value);
  int Pan() const { return pan_; }

  // Audio thread, under the lock: adds the next frames when playing, converted from the
  // samples' rate to the output rate by linear interpolation.
  void MixInto(int32_t* stereoAccumulator, int frames);

 private:
  void UpdateGains();  // under the lock

  TVoiceChannel& channel_;
  std::shared_ptr<const TSoundSamples> samples_;
  int frequency_ = 0, volume_ = 0, pan_ = 0;
  // Read by the audio thread; changed on either thread under the lock.
  bool playing_ = false, looping_ = false;
  int64_t index_ = 0;      // frame of the samples
  int64_t remainder_ = 0;  // fraction of a frame, in 1/AudioRate units
  int64_t rate_ = 0;       // frames of the samples per second
  int64_t gainLeft_ = 65536, gainRight_ = 65536;  // 16.16 fixed point
};
