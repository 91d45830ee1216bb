// The shared fixture of the tests of play.
#include "support/PlayFixture.h"

#include <filesystem>

#include "game/PlayScreen.h"

void CopyBuiltGameData(const std::string& gameDir) {
  namespace fs = std::filesystem;
  for (const char* dir : {"Data", "Sound"})
    fs::copy(fs::path(ZAROVEL_GAME_DATA) / dir, fs::path(gameDir) / dir, fs::copy_options::recursive);
}

void PlayFixture::StartPlay(bool waitBanner) {
  CopyBuiltGameData(folder.Dir());
  Start();
  StartGame(*form);
  if (waitBanner) Ticks(101);  // Timer2's 2 s at 20 ms a frame
  Sounds();
}

void PlayFixture::Arm(int w, int ammo) {
  Player().Weapon = uint8_t(w);
  Player().NextWeapon = uint8_t(w);
  Player().Ammo[size_t(w)] = ammo;
  Gun().Load(w);
  Gun().Ready = false;
  Gun().FireTicks = 0;
}

std::vector<std::string> PlayFixture::Sounds() {
  std::vector<std::string> sounds;
  for (const auto& note : platform.TakeNotes())
    if (note.Channel == "sound") sounds.push_back(note.What);
  return sounds;
}

std::vector<TBullet1*> PlayFixture::TakeShots() {
  std::vector<TBullet1*> shots = AliveOf<TBullet1>(*form);
  for (TBullet1* shot : shots) shot->Kill();
  return shots;
}
