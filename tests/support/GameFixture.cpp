// Shared test set-up: temporary folders and a headless game.
#include "support/GameFixture.h"

#include <algorithm>
#include <random>

#include "engine/ImageArchiveWriter.h"
#include "engine/SoundArchiveWriter.h"

TempFolder::TempFolder() {
  std::random_device entropy;
  path_ = std::filesystem::temp_directory_path() / ("zarovel-test-" + std::to_string(entropy()));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteMinimalGameData(const std::string& gameDir) {
  std::filesystem::create_directories(gameDir + "Data");
  if (!std::filesystem::exists(gameDir + "Data/MData.dxg")) {
    Surface background(800, 600);
    std::fill(background.Pixels.begin(), background.Pixels.end(), kMinimalBackground);
    // The check box: an unticked and a ticked 23 x 23 pattern side by side.
    Surface box(46, 23);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 46; ++x) box.At(x, y) = x < 23 ? kMinimalCheckOff : kMinimalCheckOn;
    SaveImageArchive(gameDir + "Data/MData.dxg", {{"FonMenu", 600, 800, 0, 0, false, false, 0, background},
                                                  {"Chk", 23, 23, 0, 0, false, false, 0, box}});
  }
  if (!std::filesystem::exists(gameDir + "Data/GData.dxg")) SaveImageArchive(gameDir + "Data/GData.dxg", {});
  std::filesystem::create_directories(gameDir + "Sound");
  if (!std::filesystem::exists(gameDir + "Sound/GSnd.dxg")) {
    // A short click for the menus' "Beep", 8-bit mono.
    SaveSoundArchive(gameDir + "Sound/GSnd.dxg", {{"Beep", false, 1, MakePcmWave(1, 22050, 8, {128, 200, 56, 128})}});
  }
}

void GameFixture::Start(uint64_t seed) {
  WriteMinimalGameData(folder.Dir());
  platform.OpenWindow("Zarovel", 800, 600);
  form = std::make_unique<TForm1>(application, folder.Dir(), seed);
  form->Load();
}

void GameFixture::Ticks(int n) {
  for (int i = 0; i < n; ++i) {
    now += 20;
    platform.SetTime(now);
    application.Idle();
  }
}

int CountColour(const Surface& frame, int left, int top, int right, int bottom, uint32_t colour) {
  int count = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (frame.At(x, y) == colour) ++count;
  return count;
}
