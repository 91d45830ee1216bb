// A running game on the headless back end in a fresh temporary game folder.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Application.h"
#include "engine/ImageArchiveWriter.h"
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
// Colours of the minimal menu pictures: every button's lit look, the panels of the
// sub-screens, the question box and help page k (1..6).
constexpr uint32_t kMinimalButton = RGB(40, 160, 220);
constexpr uint32_t kMinimalPanel = RGB(30, 40, 60);
constexpr uint32_t kMinimalQuestion = RGB(70, 20, 90);
constexpr uint32_t MinimalHelpPage(int k) { return RGB(20, 90, 10 * k); }
// The menu pictures of the minimal game data, plain rectangles at the sizes of the real
// ones: "FonMenu", "Chk", the buttons of every menu screen, "FonOpt", "FonHScr",
// "FonHelp", "Qtns" and "Hlp1".."Hlp6".
std::vector<TImageArchiveEntry> MinimalMenuPictures();
// The play pictures start-up and the menus reach: the seven weapon icons, and the two
// rockets of the Alt+R burst.
std::vector<TImageArchiveEntry> MinimalPlayPictures();
// Writes the archives start-up needs where they are missing: the menu and play pictures
// above, and only "Beep" among the sounds.
void WriteMinimalGameData(const std::string& gameDir);

struct GameFixture : ::testing::Test {
  TempFolder folder;
  platform::HeadlessPlatform platform;
  TApplication application{platform};
  std::unique_ptr<TForm1> form;
  uint32_t now = 0;
  bool installed = false;  // Start() runs the game as an installed one

  // Creates the window and runs start-up with a fixed seed.
  void Start(uint64_t seed = 1);
  // Advances n frame-timer ticks of 20 ms, running the window timers on the way.
  void Ticks(int n);
  GameGlobals& G() { return form->G; }

  // Queues an event and delivers everything queued (also what the handlers post), as the
  // window's message loop would.
  void Send(platform::Event event);
  void Press(int key);
  void Release(int key);
  void Key(int key) { Press(key), Release(key); }
  // Each byte a typed Windows-1251 character.
  void Type(std::string_view cp1251);
  void MoveMouse(int x, int y);
  void Click(platform::MouseButton button = platform::MouseButton::Left);
  // The sounds played since the previous call.
  int Beeps();
};

// Sprites of class T directly under the sprite engine that are not killed, in the order
// they were made.
template <typename T>
std::vector<T*> AliveOf(TForm1& form) {
  std::vector<T*> found;
  const TSprite& root = *form.DXSpriteEngine1.Engine();
  for (int i = 0; i < root.Count(); ++i)
    if (auto* sprite = dynamic_cast<T*>(root.Items(i)); sprite != nullptr && !sprite->IsDead) found.push_back(sprite);
  return found;
}

template <typename T>
int CountAlive(TForm1& form) {
  return int(AliveOf<T>(form).size());
}

// The settings as Config.cfg in gameDir holds them now.
Settings SavedSettings(const std::string& gameDir);

// Counts the pixels of exactly one colour inside a rectangle of the last presented frame.
int CountColour(const Surface& frame, int left, int top, int right, int bottom, uint32_t colour);
