// The SDL2 back end: the real window, keyboard, mouse, joystick and sound device.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "engine/platform/Platform.h"
#include "engine/platform/TextRenderer.h"

// SDL's own types, declared here so that users of this header do not see SDL.
struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct _SDL_Joystick;
struct _SDL_GameController;
union SDL_Event;

namespace platform {

class SdlPlatform final : public Platform {
 public:
  // Starts SDL's video, events, audio and joystick parts; the game goes on without sound
  // or joystick when those fail.
  SdlPlatform();
  ~SdlPlatform() override;
  SdlPlatform(const SdlPlatform&) = delete;
  SdlPlatform& operator=(const SdlPlatform&) = delete;

  // The title is Windows-1251 text, like every text of the game.
  bool OpenWindow(const std::string& title, int width, int height) override;
  bool SetFullScreen(bool fullScreen) override;
  bool IsFullScreen() const override { return fullScreen_; }
  void MinimizeWindow() override;
  void Present(const Surface& surface) override;
  bool IsForeground() const override;

  // Milliseconds of the monotonic clock since the platform was made.
  uint32_t Milliseconds() override;
  bool WaitEvent(Event& event, uint32_t timeoutMs) override;
  // Wakes within a fraction of a millisecond after the clock reaches the deadline.
  bool WaitEventUntil(Event& event, uint32_t deadline) override;
  void PostKeyUp(int key, uint32_t shift) override;

  void GetKeyboardState(std::array<uint8_t, 256>& keys) override;
  void GetCursorPos(int& x, int& y) override;
  void SetCursorPos(int x, int y) override;
  void ShowCursor(bool show) override;
  void SetRelativeMouse(bool on) override;
  bool ReadJoystick(JoystickReading& reading) override;
  bool ReadPad(PadReading& reading) override;
  void RumblePad(uint16_t low, uint16_t high, uint32_t ms) override;

  bool OpenAudio(AudioSource& source) override;
  void CloseAudio() override;
  void LockAudio() override;
  void UnlockAudio() override;

  void DrawText(Surface& surface, int x, int y, std::string_view text, const FontSpec& font) override;
  void TextExtent(std::string_view text, const FontSpec& font, int& width, int& height) override;

  void MessageBox(std::string_view text, std::string_view caption) override;
  void OpenDocument(const std::string& target) override;
  bool FileExists(const std::string& path) override;
  bool CanWriteFolder(const std::string& dir) override;
  std::string UserDataFolder() override;
  HttpReply HttpGet(const std::string& url, uint32_t timeoutMs) override;
  uint32_t ClockSeed() override;
  int64_t WallClock() override;

 private:
  // Turns one SDL event into the game's events (none, one, or one per typed byte) at the
  // end of pending_.
  void Translate(const SDL_Event& e);
  void Push(Event event) { pending_.push_back(event); }
  uint32_t ShiftState() const;
  void ClampToSurface(int& x, int& y) const;
  // Window pixel to surface pixel, by the renderer's logical size.
  void WindowToSurface(int wx, int wy, int& x, int& y) const;
  static void AudioCallback(void* self, uint8_t* stream, int bytes);
  // In a window of the picture's own size, with the software renderer, which draws into
  // the window's framebuffer (shared with the X server), the picture is copied straight
  // into that framebuffer: one copy a frame rather than two (into a texture, then from
  // the texture into the window). False when that does not apply and the renderer must
  // scale the picture.
  bool PresentIntoWindowSurface(const Surface& surface);
  // Shows the last presented frame again (the window was uncovered).
  void Repaint();
  int64_t ClockMs() const;
  // Takes the next event, waiting for one until the monotonic clock reads wakeNs.
  bool WaitUntilNs(Event& event, int64_t wakeNs);

  const int64_t originNs_;  // the monotonic clock when the platform was made

  bool videoOk_ = false, audioOk_ = false, joystickOk_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  bool softwareRenderer_ = false;
  int width_ = 800, height_ = 600;        // the surface size, also the window's client area
  int textureW_ = 0, textureH_ = 0;
  bool fullScreen_ = false;

  std::deque<Event> pending_;  // posted key releases and the rest of a multi-byte text
  uint32_t modifiers_ = 0;     // ssShift/ssCtrl/ssAlt as of the last key event
  uint32_t buttons_ = 0;       // ssLeft/ssRight/ssMiddle as of the last mouse event
  bool relative_ = false;      // SDL's relative mouse mode is on
  bool double_ = false;        // the press being translated is part of a double click
  bool inWindowSurface_ = false;  // the last frame went straight into the window's surface
  int pointerX_ = 0, pointerY_ = 0;  // the pointer's surface position while it is relative

  _SDL_Joystick* joystick_ = nullptr;
  _SDL_GameController* pad_ = nullptr;  // the player's controller
  bool devicesRead_ = false;  // ReadJoystick has read the devices since ReadPad last did
  uint32_t audioDevice_ = 0;
  AudioSource* audioSource_ = nullptr;

  TextRenderer text_;
};

}  // namespace platform
