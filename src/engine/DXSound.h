// The sound device component: opens the platform's sound output, owns the mixer channel
// of the sound-effect voices, makes voices, and tells its sound lists about its life cycle.
#pragma once
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/AudioMixer.h"
#include "engine/SoundVoice.h"
#include "engine/Wave.h"
#include "engine/platform/Platform.h"

// "DirectSound cannot be initialized", "Sound Buffer cannot be made", "Form not found".
class EDXSoundError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TDXSoundNotifyType { Initialised, Finalised, Restored, Destroying };

class TDXSound {
 public:
  using Listener = std::function<void(TDXSoundNotifyType)>;

  // The voices are mixed by `mixer` (which also carries the music) while initialised.
  TDXSound(platform::Platform& platform, TAudioMixer& mixer);
  ~TDXSound();
  TDXSound(const TDXSound&) = delete;
  TDXSound& operator=(const TDXSound&) = delete;

  bool AutoInitialize = true;
  uint32_t Options = 0;
  bool HasParent = true;  // a sound component without a window cannot initialise
  // Opens the sound output; false when there is no device. By default it asks the platform
  // to pull the mixer; a caller that opens the output itself, or a test that renders the
  // mixer by hand, replaces it.
  std::function<bool()> OpenDevice;

  // As when the window loads: initialises when AutoInitialize is set, and a device that
  // cannot be opened leaves the component silently uninitialised.
  void Loaded();
  // Raises "Form not found" without a parent and "DirectSound cannot be initialized" when
  // the output cannot be opened. Initialised, the voices are mixed and the lists prepare.
  void Initialize();
  // The lists drop every voice, then the voices leave the mix.
  void Finalize();
  // Asks the lists to make their voices again.
  void Restore();
  bool Initialized() const { return initialized_; }

  // A voice of the wave on this device; nullptr for a wave without samples. A format the
  // mixer does not play raises "Sound Buffer cannot be made".
  std::unique_ptr<TSoundVoice> MakeVoice(const TWave& wave);

  platform::Platform& Platform() const { return platform_; }
  TVoiceChannel& Voices() { return voices_; }

  // A listener registered while the device is initialised hears Initialised at once.
  // The returned id unregisters it.
  int RegisterNotifyEvent(Listener listener);
  void UnRegisterNotifyEvent(int id);

 private:
  void Notify(TDXSoundNotifyType type);

  platform::Platform& platform_;
  TAudioMixer& mixer_;
  TVoiceChannel voices_;
  bool initialized_ = false;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextId_ = 1;
};
