// libFuzzer target: the sound archive reader, then playing what it read through the mixer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/AudioMixer.h"
#include "engine/ComponentStream.h"
#include "engine/DXSound.h"
#include "engine/WaveCollection.h"
#include "engine/platform/Platform.h"

namespace {

// A machine with nothing attached; the mixer is rendered by hand below.
class TNullPlatform final : public platform::Platform {
 public:
  bool OpenWindow(const std::string&, int, int) override { return false; }
  bool SetFullScreen(bool) override { return false; }
  bool IsFullScreen() const override { return false; }
  void MinimizeWindow() override {}
  void Present(const Surface&) override {}
  bool IsForeground() const override { return false; }
  uint32_t Milliseconds() override { return 0; }
  bool WaitEvent(platform::Event&, uint32_t) override { return false; }
  void PostKeyUp(int, uint32_t) override {}
  void GetKeyboardState(std::array<uint8_t, 256>& keys) override { keys.fill(0); }
  void GetCursorPos(int& x, int& y) override { x = y = 0; }
  void SetCursorPos(int, int) override {}
  void ShowCursor(bool) override {}
  void SetRelativeMouse(bool) override {}
  bool CanWriteFolder(const std::string&) override { return false; }
  std::string UserDataFolder() override { return {}; }
  bool ReadJoystick(platform::JoystickReading&) override { return false; }
  bool ReadPad(platform::PadReading&) override { return false; }
  void RumblePad(uint16_t, uint16_t, uint32_t) override {}
  int64_t WallClock() override { return 0; }
  bool OpenAudio(platform::AudioSource&) override { return false; }
  void CloseAudio() override {}
  void LockAudio() override {}
  void UnlockAudio() override {}
  void DrawText(Surface&, int, int, std::string_view, const platform::FontSpec&) override {}
  void TextExtent(std::string_view, const platform::FontSpec&, int& w, int& h) override { w = h = 0; }
  void MessageBox(std::string_view, std::string_view) override {}
  void OpenDocument(const std::string&) override {}
  bool FileExists(const std::string&) override { return false; }
  platform::HttpReply HttpGet(const std::string&, uint32_t) override { return {}; }
  uint32_t ClockSeed() override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TNullPlatform platform;
  TAudioMixer mixer(platform);
  TDXSound sound(platform, mixer);
  sound.OpenDevice = [] { return true; };
  sound.Loaded();
  TDXWaveList list;
  list.SetDXSound(&sound);
  try {
    list.Items.LoadFromMemory(std::span<const uint8_t>(data, size));
  } catch (const EArchiveError&) {
    return 0;
  } catch (const EDXSoundError&) {
    // A format the mixer does not play: that item and the ones after it stay unprepared.
  }
  int16_t out[2 * 512];
  for (int i = 0; i < list.Items.Count() && i < 16; ++i) {
    TWaveCollectionItem& item = list.Items.Items(i);
    if (list.Items.Find(item.Name) == nullptr && !item.Name.empty()) __builtin_trap();
    item.SetFrequency(i % 3 == 0 ? 0 : 7919 * i);
    item.SetPan(i * 1234 - 10000);
    item.PlaySound();
    item.PlaySound();
    mixer.Render(out, 300);
    item.SetSoundVolume(-800);
    item.PlaySound();
    item.SetMaxPlayingCount(1);
    item.PlaySound();
    mixer.Render(out, 512);
    item.StopSound();
  }
  return 0;
}
