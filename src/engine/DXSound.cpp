// The sound device component and its life cycle.
#include "engine/DXSound.h"

TDXSound::TDXSound(platform::Platform& platform, TAudioMixer& mixer)
    : platform_(platform), mixer_(mixer), voices_(platform) {
  OpenDevice = [this] { return platform_.OpenAudio(mixer_); };
}

TDXSound::~TDXSound() {
  Finalize();
  Notify(TDXSoundNotifyType::Destroying);
}

void TDXSound::Notify(TDXSoundNotifyType type) {
  // A listener may unregister itself while being told; walk a copy.
  const auto current = listeners_;
  for (const auto& entry : current) entry.second(type);
}

void TDXSound::Loaded() {
  if (!AutoInitialize) return;
  try {
    Initialize();
  } catch (const EDXSoundError& e) {
    // No sound device: the game runs silently.
    if (std::string_view(e.what()) != "DirectSound cannot be initialized") throw;
  }
}

void TDXSound::Initialize() {
  Finalize();
  if (!HasParent) throw EDXSoundError("Form not found");
  if (!OpenDevice || !OpenDevice()) throw EDXSoundError("DirectSound cannot be initialized");
  mixer_.AddChannel(voices_);
  initialized_ = true;
  Notify(TDXSoundNotifyType::Initialised);
}

void TDXSound::Finalize() {
  if (!initialized_) return;
  initialized_ = false;
  Notify(TDXSoundNotifyType::Finalised);
  mixer_.RemoveChannel(voices_);
}

void TDXSound::Restore() {
  if (initialized_) Notify(TDXSoundNotifyType::Restored);
}

std::unique_ptr<TSoundVoice> TDXSound::MakeVoice(const TWave& wave) {
  if (wave.Empty()) return nullptr;
  std::optional<TSoundSamples> samples = DecodePcm(wave);
  if (!samples) throw EDXSoundError("Sound Buffer cannot be made");
  if (samples->FrameCount() == 0) return nullptr;
  return std::make_unique<TSoundVoice>(voices_, std::make_shared<const TSoundSamples>(std::move(*samples)));
}

int TDXSound::RegisterNotifyEvent(Listener listener) {
  const int id = nextId_++;
  listeners_.emplace_back(id, listener);
  if (initialized_) listener(TDXSoundNotifyType::Initialised);
  return id;
}

void TDXSound::UnRegisterNotifyEvent(int id) {
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}
