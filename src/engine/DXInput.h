// Input devices: the keyboard with its key table, the joystick and the game controller, folded once per tick
// into 36 input states (Up, Down, Left, Right, Button1..Button32).
#pragma once
#include <array>
#include <cstdint>
#include <optional>

#include "engine/platform/Platform.h"

enum TDXInputState : int { isUp, isDown, isLeft, isRight, isButton1, isButton2 /* ... isButton32 = 35 */ };
constexpr int InputStateCount = 36;
constexpr TDXInputState isButton(int n) { return TDXInputState(isButton1 + n - 1); }  // n = 1..32

// A set of input states; bit i is state i.
using TDXInputStates = uint64_t;
constexpr TDXInputStates Bit(TDXInputState state) { return TDXInputStates(1) << state; }

// Three key codes per input state; 0 means no key.
using TKeyAssign = std::array<int32_t, 3>;
using TKeyAssignList = std::array<TKeyAssign, InputStateCount>;

struct TKeyboard {
  bool Enabled = true;
  bool BindInputStates = true;
  bool Initialized = true;
  TKeyAssignList Assigns{};
  TDXInputStates States = 0;

  void Update(platform::Platform& platform, bool activeOnly);
};

struct TJoystick {
  bool Enabled = true;
  bool BindInputStates = true;
  bool Initialized = true;
  int ID = 0;
  bool AutoCenter = true;
  int DeadZoneX = 50, DeadZoneY = 50, DeadZoneZ = 50;  // percent of the half range
  int RangeX = 1000, RangeY = 1000, RangeZ = 1000;
  int X = 0, Y = 0, Z = 0;
  uint32_t Buttons = 0;
  TDXInputStates States = 0;

  void Update(platform::Platform& platform, bool activeOnly);
  // A raw position between min and max scaled to -range..range around the centre,
  // with a dead zone in percent of the half range reading 0.
  static int ScaleAxis(int position, int min, int max, int deadZone, int range);
};

// The player's game controller: its left stick past half its travel and its d-pad are the
// directions, and the buttons set the input states Assigns gives them.
struct TGamepad {
  bool Enabled = true;
  bool BindInputStates = true;
  // For each input state, the controller's buttons (bit b: platform::PadButton b) that set it.
  std::array<uint32_t, InputStateCount> Assigns{};
  bool Connected = false;        // as of the last poll
  platform::PadReading Reading;  // the last poll's (in the background too), empty when not connected
  int StickX = 0, StickY = 0;    // the left stick's direction past half its travel: -1, 0 or 1
  TDXInputStates States = 0;

  void Update(platform::Platform& platform, bool activeOnly);
};

struct TMouseDevice {
  bool Enabled = false;
  bool BindInputStates = false;
  TDXInputStates States = 0;
};

// What one poll read of the devices: the input states they set, and the game controller's
// own reading (its presses are keys off the play screen). A recorder keeps it; a replay
// hands it back instead of reading the devices.
struct TPolledInput {
  TDXInputStates Devices = 0;
  bool PadConnected = false;
  uint32_t PadButtons = 0;
  int8_t StickX = 0, StickY = 0;
  bool operator==(const TPolledInput&) const = default;
};

class TDXInput {
 public:
  explicit TDXInput(platform::Platform& platform) : platform_(platform) {}

  bool ActiveOnly = true;
  bool UseDirectInput = true;
  TJoystick Joystick;
  TGamepad Gamepad;
  TKeyboard Keyboard;
  TMouseDevice Mouse;
  // Follows the devices, except that a state the game switches off itself stays off
  // until its keys are released and pressed again.
  TDXInputStates States = 0;

  bool Has(TDXInputState state) const { return (States & Bit(state)) != 0; }
  void Remove(TDXInputState state) { States &= ~Bit(state); }
  void Add(TDXInputState state) { States |= Bit(state); }

  // Polls every device (or takes the injected reading) and updates States by edges.
  void PollInput();
  // What the last poll read.
  const TPolledInput& LastPoll() const { return lastPoll_; }
  // The next poll takes this reading instead of the devices' (a replay).
  void Inject(const TPolledInput& reading) { injected_ = reading; }
  // The edge memory of the states, for a replay's start.
  TDXInputStates Previous() const { return previous_; }
  void SetPrevious(TDXInputStates previous) { previous_ = previous; }

  // The table the window's stored form data gives the keyboard.
  static TKeyAssignList StoredAssigns();

 private:
  platform::Platform& platform_;
  TDXInputStates previous_ = 0;
  TPolledInput lastPoll_;
  std::optional<TPolledInput> injected_;
};
