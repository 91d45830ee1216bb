// The headless back end: a virtual clock, scripted input, an in-memory picture, no sound
// device, and every side effect (sounds, music, message boxes, "open") recorded for tests.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "engine/platform/Desktop.h"
#include "engine/platform/Platform.h"
#include "engine/platform/TextRenderer.h"

namespace platform {

class HeadlessPlatform final : public Platform {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform() override;

  // --- What a script does ---
  void SetTime(uint32_t ms) { now_ = ms; }
  // Queues an event; key, button and pointer events also update the state read by polls,
  // and carry the shift state that results.
  void Push(const Event& event);
  void SetJoystick(bool present, const JoystickReading& reading);
  // Game controllers in the order they were connected; the first is the player's.
  void AddPad() { pads_.emplace_back(); }
  void RemovePad() {
    if (!pads_.empty()) pads_.pop_front();
  }
  // The player's controller, to press its buttons and move its stick; null when none.
  PadReading* Pad() { return pads_.empty() ? nullptr : &pads_.front(); }
  void SetForeground(bool foreground) { foreground_ = foreground; }
  // Modifier keys and mouse buttons held now.
  uint32_t CurrentShift() const;

  // --- What a test reads back ---
  // The last presented frame. Present keeps a reference to the surface, not a copy: the
  // game draws only inside a frame tick, which ends in Present, so between ticks the
  // surface still holds that frame, and the many frames nobody looks at cost no copy.
  // Before the first Present, a black picture of the window's size.
  const Surface& LastFrame() const { return presented_ != nullptr ? *presented_ : lastFrame_; }
  int PresentCount() const { return presentCount_; }
  struct Note {
    std::string Channel;  // "sound", "music", "message", "open", "http"
    std::string What;     // UTF-8
  };
  const std::vector<Note>& Notes() const { return notes_; }
  // Notes since the previous call, then forgotten by the next one.
  std::vector<Note> TakeNotes();

  // --- Platform ---
  bool OpenWindow(const std::string& title, int width, int height) override;
  bool SetFullScreen(bool fullScreen) override;
  bool IsFullScreen() const override { return fullScreen_; }
  void MinimizeWindow() override { minimized_ = true; }
  void Present(const Surface& surface) override;
  // Keeps a copy of the frame when the surface it is read from goes.
  void SurfaceGoing(const Surface& surface) override;
  bool IsForeground() const override { return foreground_; }
  uint32_t Milliseconds() override { return now_; }
  bool WaitEvent(Event& event, uint32_t timeoutMs) override;
  // With nothing queued, the virtual clock jumps to the deadline (when it lies ahead): a
  // loop that sleeps until its next timer then wakes exactly on time.
  bool WaitEventUntil(Event& event, uint32_t deadline) override;
  void PostKeyUp(int key, uint32_t shift) override;
  void GetKeyboardState(std::array<uint8_t, 256>& keys) override { keys = keys_; }
  void GetCursorPos(int& x, int& y) override { x = mouseX_, y = mouseY_; }
  void SetCursorPos(int x, int y) override { mouseX_ = x, mouseY_ = y; }
  void ShowCursor(bool show) override { cursorShown_ = show; }
  // The scripted pointer is a position already: nothing changes but the record.
  void SetRelativeMouse(bool on) override { relativeMouse_ = on; }
  bool ReadJoystick(JoystickReading& reading) override;
  bool ReadPad(PadReading& reading) override;
  // Noted as "rumble", "LOW HIGH MS".
  void RumblePad(uint16_t low, uint16_t high, uint32_t ms) override;
  bool OpenAudio(AudioSource&) override { return false; }
  void CloseAudio() override {}
  void LockAudio() override {}
  void UnlockAudio() override {}
  void DrawText(Surface& surface, int x, int y, std::string_view text, const FontSpec& font) override;
  void TextExtent(std::string_view text, const FontSpec& font, int& width, int& height) override;
  void MessageBox(std::string_view text, std::string_view caption) override;
  void OpenDocument(const std::string& target) override;
  bool FileExists(const std::string& path) override;
  // Real folders, except the one a test says may not be written; the player's folder is
  // the one the test gives, else the real one ($XDG_DATA_HOME/Zarovel/).
  bool CanWriteFolder(const std::string& dir) override { return dir != unwritable_ && FolderWritable(dir); }
  std::string UserDataFolder() override { return userData_.empty() ? XdgDataFolder("Zarovel") : userData_; }
  void SetUnwritableFolder(std::string dir) { unwritable_ = std::move(dir); }
  void SetUserDataFolder(std::string dir) { userData_ = std::move(dir); }
  HttpReply HttpGet(const std::string& url, uint32_t timeoutMs) override;
  uint32_t ClockSeed() override { return now_; }
  // A fixed day (2026-12-11, 08:00 UTC) moved on by the virtual clock.
  int64_t WallClock() override { return 1796976000 + now_ / 1000; }
  void Record(std::string_view channel, std::string_view what) override;

  bool CursorShown() const { return cursorShown_; }
  bool RelativeMouse() const { return relativeMouse_; }
  bool Minimized() const { return minimized_; }

 private:
  uint32_t now_ = 0;
  std::deque<Event> queue_;
  std::array<uint8_t, 256> keys_{};
  uint32_t mouseButtons_ = 0;  // ssLeft, ssRight, ssMiddle
  int mouseX_ = 0, mouseY_ = 0;
  bool cursorShown_ = true;
  bool relativeMouse_ = false;
  std::string unwritable_, userData_;
  bool foreground_ = true;
  bool fullScreen_ = false;
  bool minimized_ = false;
  bool joystickPresent_ = false;
  std::deque<PadReading> pads_;
  JoystickReading joystick_;
  Surface lastFrame_;                   // shown while presented_ is null
  const Surface* presented_ = nullptr;  // the surface last presented, while it lives
  int presentCount_ = 0;
  std::vector<Note> notes_;
  size_t notesTaken_ = 0;
  TextRenderer text_;
};

}  // namespace platform
