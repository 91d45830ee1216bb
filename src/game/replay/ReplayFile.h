// The replay file: what a game started from, then every input it was given, tick by tick,
// and its ending. Written as the game goes, in chunks of one second that each carry their
// own check, so a file cut short by a crash is readable up to its last whole second; the
// ending closes it with a CRC-32 over the whole file, so any changed byte is noticed.
//
//   magic "ZREPLAY\x1a", u16 format version
//   header: u32 length, bytes, u32 CRC-32 of the bytes (game version, data hashes, start)
//   chunks: 'C', u32 raw length, u32 packed length, zlib-packed records, u32 CRC-32 of them
//   ending: 'E', u32 score, u16 level, u64 state hash, u32 ticks, u32 CRC-32 of all before
//
// Numbers are little-endian. Records: a frame tick (with the devices' reading when it
// changed), a tick of Timer2 or Timer3, an event as the window gave it (with the pointer's
// position then), after every 50th frame the hash of the game's state, and once, before the
// first of these, the state the game settled in after the handler that started it.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/DXInput.h"
#include "engine/platform/Platform.h"

namespace replay {

constexpr uint16_t kFormatVersion = 1;
constexpr int kTicksPerMark = 50;  // one second of frames between state hashes

// A file that cannot be played: the message says why, in one line.
struct ReplayError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What the game starts from, taken just before the new game is set up.
struct Start {
  uint64_t RandomState = 0, RandomIncrement = 0;
  uint8_t FrameCounter = 0;
  TDXInputStates InputStates = 0, InputPrevious = 0;
  bool MouseFire = false, MouseSwitch = false, WalkRightRequest = false, WalkLeftRequest = false;
  bool Timer2 = false, Timer3 = false;
  bool PlayerDown = false;
  uint8_t Selection = 0, MenuSelection = 0;
  uint32_t CreditsKeySum = 0;
  // The mouse's memory: the screen each button went down on, the hovered answers.
  std::array<std::string, 2> PressScreen;
  uint32_t MouseOverFlags = 0;  // bit i: flag i
  bool RequireHover = false;
  // The game controller's memory of its held keys.
  bool PadConnected = false;
  uint32_t PadButtons = 0;
  int8_t PadStickX = 0, PadStickY = 0;
  std::array<uint8_t, 16> PadKeys{};
  uint8_t PadStickKeyX = 0, PadStickKeyY = 0;
  // The window's delivery memory: active, a left press awaiting release, held keys' modifiers.
  bool Active = true, LeftPressed = false;
  std::array<std::optional<uint32_t>, 256> PressShift{};
};

struct Header {
  uint16_t FormatVersion = kFormatVersion;
  std::string GameVersion;
  std::array<uint32_t, 3> DataHashes{};  // CRC-32 of MData.dxg, GData.dxg, GSnd.dxg
  int64_t StartedAt = 0;                 // seconds since 1970, for people
  Start Begin;
};

struct Ending {
  uint32_t Score = 0;  // the true score
  uint16_t Level = 0;
  uint64_t StateHash = 0;
  uint32_t Ticks = 0;
};

struct Record {
  // Settle: what the game looks like when the handler that started it has returned, taken
  // at the first input after the start (that handler may change more after starting it).
  enum class Kind : uint8_t { Frame = 1, Timer2 = 3, Timer3 = 4, Event = 5, Mark = 6, Settle = 7 };
  Kind What = Kind::Frame;
  TPolledInput Poll;        // Frame: the devices' reading at this tick
  platform::Event Input;    // Event
  int CursorX = 0, CursorY = 0;  // Event: where the pointer was
  uint64_t StateHash = 0;   // Mark
  std::shared_ptr<const Start> Settled;  // Settle
};

struct Replay {
  Header Head;
  std::vector<Record> Records;
  std::optional<Ending> End;  // none: the file was cut short
};

// Writes a replay as the game goes. Every call after a failure to write does nothing; the
// game never stops for its replay.
class Writer {
 public:
  Writer() = default;
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Creates the file and writes the header; false when it cannot be made.
  bool Open(const std::string& path, const Header& header);
  void Add(const Record& record);
  // Writes what is pending as one chunk (done at every mark).
  void Flush();
  // Writes the ending and closes the file.
  void Finish(const Ending& ending);
  bool Ok() const { return file_ != nullptr; }

 private:
  void Put(const std::vector<uint8_t>& bytes);
  void Fail();

  std::FILE* file_ = nullptr;
  std::vector<uint8_t> pending_;  // records not yet in a chunk
  TPolledInput lastPoll_;
  uint32_t crc_ = 0;  // of everything written so far
};

// Reads a whole replay. A file cut short gives what its whole chunks hold and no ending;
// anything else wrong throws ReplayError with the reason.
Replay Read(const std::string& path);
Replay Parse(const std::vector<uint8_t>& bytes);

// The CRC-32 of a file's bytes; nothing when it cannot be read.
std::optional<uint32_t> FileCrc(const std::string& path);

}  // namespace replay
