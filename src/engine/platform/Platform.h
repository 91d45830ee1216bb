// The one seam between the game and the machine. The SDL2 back end drives the real
// window; the headless back end drives tests and tools with a virtual clock.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/Surface.h"

namespace platform {

// Modifier and mouse-button flags carried by input events (the shift state of a handler).
enum Shift : uint32_t {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
  ssDouble = 1u << 6,  // on a button press: the second (or later) press of a double click
};

enum class MouseButton { Left, Right, Middle };

enum class EventType {
  KeyDown,     // Key, Shift
  KeyUp,       // Key, Shift
  Char,        // Char: one typed character as a Windows-1251 byte
  MouseMove,   // X, Y, Shift
  MouseDown,   // Button, X, Y, Shift
  MouseUp,     // Button, X, Y, Shift
  MouseWheel,  // WheelDelta (120 per notch, positive away from the user), X, Y, Shift
  Activate,    // the window got the keyboard focus
  Deactivate,  // the window lost it
  Close,       // the user asks to close the window
  SessionEnd,  // the system ends the program (a termination signal, the session closing)
  Minimize,    // system commands of the window
  Maximize,
};

struct Event {
  EventType Type = EventType::KeyDown;
  int Key = 0;  // Windows virtual-key code, 1..255
  uint8_t Char = 0;
  MouseButton Button = MouseButton::Left;
  int X = 0, Y = 0;  // pointer position in 800 x 600 surface coordinates
  int WheelDelta = 0;
  uint32_t Shift = 0;
};

// One joystick read. Axes are raw positions between AxisMin and AxisMax.
struct JoystickReading {
  int X = 0, Y = 0, Z = 0;
  int AxisMin = 0, AxisMax = 65535;
  uint32_t Buttons = 0;  // bit n: button n (0-based) is down
};

// The buttons of a game controller by position in the standard layout, whatever their
// labels say: A is the south button, B the east, X the west, Y the north.
enum PadButton : int {
  PadA, PadB, PadX, PadY, PadBack, PadGuide, PadStart, PadLeftStick, PadRightStick,
  PadLeftShoulder, PadRightShoulder, PadDpadUp, PadDpadDown, PadDpadLeft, PadDpadRight,
  PadButtonCount
};

// One read of the player's game controller.
struct PadReading {
  uint32_t Buttons = 0;      // bit b: PadButton b is down
  int LeftX = 0, LeftY = 0;  // the left stick, -32768..32767, positive to the right and down
};

// Text drawn on a surface: font family as the game names it ("Arial", "Comic Sans MS"),
// size in points at 96 pixels per inch, weight, colour (0x00RRGGBB).
struct FontSpec {
  std::string Name = "Arial";
  int Size = 8;
  bool Bold = false;
  uint32_t Color = 0;
};

struct HttpReply {
  bool Ok = false;   // a reply arrived (any status)
  long Status = 0;   // HTTP status code
  std::string Body;  // reply body as received
  std::string Error; // what went wrong when Ok is false
};

// Filled on the audio device's own thread while the device is open:
// interleaved signed 16-bit stereo at AudioRate frames per second.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  virtual void Render(int16_t* stereo, int frames) = 0;
};
constexpr int AudioRate = 44100;

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Window and display ---
  // Opens the window with an 800 x 600 client area; false when no window can be made.
  virtual bool OpenWindow(const std::string& title, int width, int height) = 0;
  // Full screen shows the picture letterboxed on the whole screen; false when refused.
  virtual bool SetFullScreen(bool fullScreen) = 0;
  virtual bool IsFullScreen() const = 0;
  virtual void MinimizeWindow() = 0;
  // Shows the surface in the window (scaled and centred in full screen). A back end may
  // keep a reference to the surface rather than a copy of the frame (the headless one does,
  // for its last frame); the owner calls SurfaceGoing before it resizes or destroys it.
  virtual void Present(const Surface& surface) = 0;
  // A surface that may have been presented is about to be resized or destroyed.
  virtual void SurfaceGoing(const Surface& surface) { (void)surface; }
  // True while the game window has the keyboard focus.
  virtual bool IsForeground() const = 0;

  // --- Clock and events ---
  virtual uint32_t Milliseconds() = 0;
  // Takes the next pending event, waiting at most timeoutMs for one; false when none came.
  virtual bool WaitEvent(Event& event, uint32_t timeoutMs) = 0;
  // Takes the next pending event, waiting for one at most until Milliseconds() reads
  // `deadline` (compared modulo 2^32; a deadline up to 2^31 - 1 ms in the past has passed);
  // false when none came. A back end with a finer clock wakes when that millisecond
  // begins, so that a timer which restarts from the moment it fired keeps its period.
  virtual bool WaitEventUntil(Event& event, uint32_t deadline) {
    const int32_t left = int32_t(deadline - Milliseconds());
    return WaitEvent(event, left > 0 ? uint32_t(left) : 0);
  }
  // Puts a synthetic key release at the end of the input queue.
  virtual void PostKeyUp(int key, uint32_t shift) = 0;

  // --- Keyboard, mouse, joystick ---
  // State of all 256 virtual keys; a key is down when bit 7 of its entry is set.
  virtual void GetKeyboardState(std::array<uint8_t, 256>& keys) = 0;
  virtual void GetCursorPos(int& x, int& y) = 0;
  virtual void SetCursorPos(int x, int y) = 0;
  virtual void ShowCursor(bool show) = 0;
  // While on, the pointer is a relative device held inside the window: it is hidden, the
  // position that mouse events and GetCursorPos report moves by the device's motion, and
  // SetCursorPos places that position without moving anything on the screen. So a game can
  // measure motion from a point and put the pointer back there, and the pointer never
  // leaves the window, in a window and in full screen alike.
  virtual void SetRelativeMouse(bool on) = 0;
  // False when there is no joystick. A device that is a game controller is read by
  // ReadPad instead.
  virtual bool ReadJoystick(JoystickReading& reading) = 0;
  // The player's game controller: the first one connected, until it goes; then the next.
  // Controllers may come and go at any time. False when there is none.
  virtual bool ReadPad(PadReading& reading) = 0;
  // Shakes the player's controller for ms milliseconds with its low- and high-frequency
  // motors at strengths 0..65535; nothing happens where there is no such controller or motor.
  virtual void RumblePad(uint16_t low, uint16_t high, uint32_t ms) = 0;

  // --- Sound ---
  // Starts pulling sound from the source; false when there is no sound device.
  virtual bool OpenAudio(AudioSource& source) = 0;
  // Stops pulling sound; the source may be destroyed afterwards.
  virtual void CloseAudio() = 0;
  // Held while the game changes what the audio source reads.
  virtual void LockAudio() = 0;
  virtual void UnlockAudio() = 0;

  // --- Text ---
  // Draws Windows-1251 text with its character cell's top-left corner at (x, y),
  // on a transparent background.
  virtual void DrawText(Surface& surface, int x, int y, std::string_view text, const FontSpec& font) = 0;
  virtual void TextExtent(std::string_view text, const FontSpec& font, int& width, int& height) = 0;

  // --- Desktop and network ---
  // A modal information message box with a Windows-1251 text and a caption.
  virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
  // The desktop's "open" action for a file or URL.
  virtual void OpenDocument(const std::string& target) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Whether files can be made in the folder (tried, not guessed from its permissions).
  virtual bool CanWriteFolder(const std::string& dir) = 0;
  // The player's own folder for the game's files (under the XDG data folder), made if
  // missing; ends in '/'. Empty when there is none.
  virtual std::string UserDataFolder() = 0;
  // A plain GET as the game's old HTTP client made it (accepted types "text/html, */*",
  // its user agent), given up after timeoutMs milliseconds in all; replies above 1 MiB fail.
  virtual HttpReply HttpGet(const std::string& url, uint32_t timeoutMs) = 0;

  // --- Random numbers and records ---
  // A seed taken from the clock at start-up.
  virtual uint32_t ClockSeed() = 0;
  // The wall clock: seconds since 1970 (names of the player's files).
  virtual int64_t WallClock() = 0;
  // Notes what the game played ("sound", "Shot"; "music", "load Sound/1.xm"); the
  // headless back end keeps these for tests, the real one ignores them.
  virtual void Record(std::string_view channel, std::string_view what) { (void)channel, (void)what; }
};

}  // namespace platform
