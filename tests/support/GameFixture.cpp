// Shared test set-up: temporary folders and a headless game.
#include "support/GameFixture.h"

#include <algorithm>
#include <random>

#include "engine/ImageArchiveWriter.h"
#include "engine/SoundArchiveWriter.h"
#include "state/Config.h"

TempFolder::TempFolder() {
  std::random_device entropy;
  path_ = std::filesystem::temp_directory_path() / ("zarovel-test-" + std::to_string(entropy()));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {
Surface Filled(int width, int height, uint32_t colour) {
  Surface s(width, height);
  std::fill(s.Pixels.begin(), s.Pixels.end(), colour);
  return s;
}
TImageArchiveEntry Plain(const std::string& name, int width, int height, uint32_t colour) {
  return {name, height, width, 0, 0, false, false, 0, Filled(width, height, colour)};
}
}  // namespace

std::vector<TImageArchiveEntry> MinimalMenuPictures() {
  // The check box: an unticked and a ticked 23 x 23 pattern side by side.
  Surface box(46, 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 46; ++x) box.At(x, y) = x < 23 ? kMinimalCheckOff : kMinimalCheckOn;
  std::vector<TImageArchiveEntry> pictures = {Plain("FonMenu", 800, 600, kMinimalBackground),
                                              {"Chk", 23, 23, 0, 0, false, false, 0, box}};
  for (const char* name : {"Start", "Opt", "HScores", "Help", "Visit", "Exit"})
    pictures.push_back(Plain(name, 320, 46, kMinimalButton));
  for (const char* name : {"Clear", "World", "HScrBack", "Previos", "Next", "HlpBack"})
    pictures.push_back(Plain(name, 192, 28, kMinimalButton));
  pictures.push_back(Plain("OptBack", 212, 28, kMinimalButton));
  pictures.push_back(Plain("FonOpt", 500, 380, kMinimalPanel));
  pictures.push_back(Plain("FonHScr", 500, 464, kMinimalPanel));
  pictures.push_back(Plain("FonHelp", 500, 416, kMinimalPanel));
  pictures.push_back(Plain("Qtns", 460, 280, kMinimalQuestion));
  for (int k = 1; k <= 6; ++k) pictures.push_back(Plain("Hlp" + std::to_string(k), 364, 250, MinimalHelpPage(k)));
  return pictures;
}

std::vector<TImageArchiveEntry> MinimalPlayPictures() {
  std::vector<TImageArchiveEntry> pictures;
  for (int k = 1; k <= 7; ++k) pictures.push_back(Plain("PanelWeap" + std::to_string(k), 30, 30, kMinimalButton));
  pictures.push_back(Plain("RaketaR1", 24, 8, kMinimalButton));
  pictures.push_back(Plain("RaketaL1", 24, 8, kMinimalButton));
  return pictures;
}

void WriteMinimalGameData(const std::string& gameDir) {
  std::filesystem::create_directories(gameDir + "Data");
  if (!std::filesystem::exists(gameDir + "Data/MData.dxg")) SaveImageArchive(gameDir + "Data/MData.dxg", MinimalMenuPictures());
  if (!std::filesystem::exists(gameDir + "Data/GData.dxg")) SaveImageArchive(gameDir + "Data/GData.dxg", MinimalPlayPictures());
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
  form->ConfigInPlayersFolder = installed;
  form->Load();
}

void GameFixture::Ticks(int n) {
  for (int i = 0; i < n; ++i) {
    now += 20;
    platform.SetTime(now);
    application.Idle();
  }
}

void GameFixture::Send(platform::Event event) {
  platform.Push(event);
  platform::Event next;
  while (!application.Terminated() && platform.WaitEvent(next, 0)) application.Dispatch(next);
}

void GameFixture::Press(int key) {
  platform::Event event;
  event.Type = platform::EventType::KeyDown;
  event.Key = key;
  Send(event);
}

void GameFixture::Release(int key) {
  platform::Event event;
  event.Type = platform::EventType::KeyUp;
  event.Key = key;
  Send(event);
}

void GameFixture::Type(std::string_view cp1251) {
  for (char ch : cp1251) {
    platform::Event event;
    event.Type = platform::EventType::Char;
    event.Char = uint8_t(ch);
    Send(event);
  }
}

void GameFixture::MoveMouse(int x, int y) {
  platform::Event event;
  event.Type = platform::EventType::MouseMove;
  event.X = x, event.Y = y;
  Send(event);
}

void GameFixture::Click(platform::MouseButton button) {
  platform::Event event;
  event.Button = button;
  platform.GetCursorPos(event.X, event.Y);
  event.Type = platform::EventType::MouseDown;
  Send(event);
  event.Type = platform::EventType::MouseUp;
  Send(event);
}

int GameFixture::Beeps() {
  int beeps = 0;
  for (const auto& note : platform.TakeNotes())
    if (note.Channel == "sound" && note.What == "Beep") ++beeps;
  return beeps;
}

Settings SavedSettings(const std::string& gameDir) {
  Settings settings{};
  LoadConfig(settings, gameDir);
  return settings;
}

int CountColour(const Surface& frame, int left, int top, int right, int bottom, uint32_t colour) {
  int count = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (frame.At(x, y) == colour) ++count;
  return count;
}
