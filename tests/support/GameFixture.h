// A running game on the headless back end in a fresh temporary game folder.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/Application.h"
#include "engine/platform/headless/HeadlessPlatform.h"
#include "game/Form1.h"

// A fresh, empty folder removed again when the value goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // The folder with a trailing '/', as the game wants its folder.
  std::string Dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// Colours of the minimal game data: the menu background, the check box unticked and ticked.
constexpr uint32_t kMinimalBackground = RGB(10, 20, 40);
constexpr uint32_t kMinimalCheckOff = RGB(200, 200, 200);
constexpr uint32_t kMinimalCheckOn = RGB(0, 200, 0);
// Writes the archives start-up needs where they are missing: the menu pictures hold a
// plain "FonMenu" background and the "Chk" box, the play pictures are empty, the sounds
// only "Beep".
void WriteMinimalGameData(const std::string& gameDir);

struct GameFixture : ::testing::Test {
  TempFolder folder;
  platform::HeadlessPlatform platform;
  TApplication application{platform};
  std::unique_ptr<TForm1> form;
  uint32_t now = 0;

  // Creates the window and runs start-up with a fixed seed.
  void Start(uint64_t seed = 1);
  // Advances n frame-timer ticks of 20 ms, running the window timers on the way.
  void Ticks(int n);
  GameGlobals& G() { return form->G; }
};

// Counts the pixels of exactly one colour inside a rectangle of the last presented frame.
int CountColour(const Surface& frame, int left, int top, int right, int bottom, uint32_t colour);
