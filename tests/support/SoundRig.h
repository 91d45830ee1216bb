// A sound device on the headless platform whose mix a test renders by hand.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/AudioMixer.h"
#include "engine/DXSound.h"
#include "engine/SoundArchiveWriter.h"
#include "engine/WaveCollection.h"
#include "engine/platform/headless/HeadlessPlatform.h"

struct SoundRig {
  // device: whether the output "opens"; without it every item stays silent.
  explicit SoundRig(bool device = true) {
    sound.OpenDevice = [device] { return device; };
    sound.Loaded();
    list.SetDXSound(&sound);
  }
  // A wave list holding just this entry; returns its item.
  TWaveCollectionItem& Load(TSoundArchiveEntry entry) {
    list.Items.LoadFromMemory(WriteSoundArchive({std::move(entry)}));
    return list.Items.Items(0);
  }
  // The next frames of the mix, interleaved left and right. The buffer starts out filled
  // with a value the mixer must overwrite.
  std::vector<int16_t> Render(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2, 12345);
    mixer.Render(out.data(), frames);
    return out;
  }

  platform::HeadlessPlatform platform;
  TAudioMixer mixer{platform};
  TDXSound sound{platform, mixer};
  TDXWaveList list;
};
