// Writing and reading replay files: little-endian fields, zlib-packed chunks, CRC-32 checks.
#include "game/replay/ReplayFile.h"

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace replay {
namespace {

constexpr char kMagic[8] = {'Z', 'R', 'E', 'P', 'L', 'A', 'Y', '\x1a'};
constexpr size_t kMaxChunk = 1 << 20;  // far above a second of any game; a bigger one is damage

uint32_t Crc(const uint8_t* data, size_t size, uint32_t crc = 0) {
  return uint32_t(crc32(crc, data, uInt(size)));
}

class Out {
 public:
  void U8(uint32_t v) { bytes.push_back(uint8_t(v)); }
  void U16(uint32_t v) { Le(v, 2); }
  void U32(uint32_t v) { Le(v, 4); }
  void U64(uint64_t v) { Le(v, 8); }
  void Text(const std::string& text) {
    U8(uint32_t(std::min<size_t>(text.size(), 255)));
    bytes.insert(bytes.end(), text.begin(), text.begin() + std::min<std::ptrdiff_t>(std::ptrdiff_t(text.size()), 255));
  }
  std::vector<uint8_t> bytes;

 private:
  void Le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
  }
};

class In {
 public:
  In(const uint8_t* data, size_t size, const char* what) : data_(data), size_(size), what_(what) {}
  uint8_t U8() { return uint8_t(Le(1)); }
  uint16_t U16() { return uint16_t(Le(2)); }
  uint32_t U32() { return uint32_t(Le(4)); }
  uint64_t U64() { return Le(8); }
  std::string Text() {
    const size_t n = U8();
    Need(n);
    std::string text(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return text;
  }
  size_t Left() const { return size_ - at_; }
  size_t At() const { return at_; }
  const uint8_t* Here() const { return data_ + at_; }
  void Skip(size_t n) {
    Need(n);
    at_ += n;
  }

 private:
  void Need(size_t n) const {
    if (size_ - at_ < n) throw ReplayError(std::string("damaged replay: ") + what_ + " ends early");
  }
  uint64_t Le(int n) {
    Need(size_t(n));
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t(data_[at_ + size_t(i)]) << (8 * i);
    at_ += size_t(n);
    return v;
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  const char* what_;
};

void PutPoll(Out& out, const TPolledInput& poll) {
  out.U64(poll.Devices);
  out.U8(poll.PadConnected);
  out.U32(poll.PadButtons);
  out.U8(uint8_t(poll.StickX));
  out.U8(uint8_t(poll.StickY));
}

TPolledInput GetPoll(In& in) {
  TPolledInput poll;
  poll.Devices = in.U64();
  poll.PadConnected = in.U8() != 0;
  poll.PadButtons = in.U32();
  poll.StickX = int8_t(in.U8());
  poll.StickY = int8_t(in.U8());
  return poll;
}

void PutStart(Out& out, const Start& s) {
  out.U64(s.RandomState);
  out.U64(s.RandomIncrement);
  out.U8(s.FrameCounter);
  out.U64(s.InputStates);
  out.U64(s.InputPrevious);
  out.U8(uint32_t(s.MouseFire) | uint32_t(s.MouseSwitch) << 1 | uint32_t(s.WalkRightRequest) << 2 |
         uint32_t(s.WalkLeftRequest) << 3 | uint32_t(s.Timer2) << 4 | uint32_t(s.Timer3) << 5 |
         uint32_t(s.PlayerDown) << 6);
  out.U8(s.Selection);
  out.U8(s.MenuSelection);
  out.U32(s.CreditsKeySum);
  out.Text(s.PressScreen[0]);
  out.Text(s.PressScreen[1]);
  out.U32(s.MouseOverFlags);
  out.U8(s.RequireHover);
  out.U8(s.PadConnected);
  out.U32(s.PadButtons);
  out.U8(uint8_t(s.PadStickX));
  out.U8(uint8_t(s.PadStickY));
  for (uint8_t key : s.PadKeys) out.U8(key);
  out.U8(s.PadStickKeyX);
  out.U8(s.PadStickKeyY);
  out.U8(uint32_t(s.Active) | uint32_t(s.LeftPressed) << 1);
  uint32_t held = 0;
  for (const auto& shift : s.PressShift) held += shift.has_value();
  out.U16(held);
  for (size_t key = 0; key < s.PressShift.size(); ++key) {
    if (!s.PressShift[key]) continue;
    out.U8(uint32_t(key));
    out.U32(*s.PressShift[key]);
  }
}

Start GetStart(In& in) {
  Start s;
  s.RandomState = in.U64();
  s.RandomIncrement = in.U64();
  s.FrameCounter = in.U8();
  s.InputStates = in.U64();
  s.InputPrevious = in.U64();
  const uint8_t flags = in.U8();
  s.MouseFire = flags & 1, s.MouseSwitch = flags & 2, s.WalkRightRequest = flags & 4;
  s.WalkLeftRequest = flags & 8, s.Timer2 = flags & 16, s.Timer3 = flags & 32, s.PlayerDown = flags & 64;
  s.Selection = in.U8();
  s.MenuSelection = in.U8();
  s.CreditsKeySum = in.U32();
  s.PressScreen[0] = in.Text();
  s.PressScreen[1] = in.Text();
  s.MouseOverFlags = in.U32();
  s.RequireHover = in.U8() != 0;
  s.PadConnected = in.U8() != 0;
  s.PadButtons = in.U32();
  s.PadStickX = int8_t(in.U8());
  s.PadStickY = int8_t(in.U8());
  for (uint8_t& key : s.PadKeys) key = in.U8();
  s.PadStickKeyX = in.U8();
  s.PadStickKeyY = in.U8();
  const uint8_t window = in.U8();
  s.Active = window & 1, s.LeftPressed = window & 2;
  const uint16_t held = in.U16();
  for (uint16_t i = 0; i < held; ++i) {
    const uint8_t key = in.U8();
    s.PressShift[key] = in.U32();
  }
  return s;
}

void PutRecord(Out& out, const Record& r, TPolledInput& lastPoll) {
  switch (r.What) {
    case Record::Kind::Frame:
      if (r.Poll == lastPoll) {
        out.U8(1);
      } else {
        out.U8(2);
        PutPoll(out, r.Poll);
        lastPoll = r.Poll;
      }
      break;
    case Record::Kind::Timer2: out.U8(3); break;
    case Record::Kind::Timer3: out.U8(4); break;
    case Record::Kind::Event: {
      const platform::Event& e = r.Input;
      out.U8(5);
      out.U8(uint32_t(e.Type));
      out.U16(uint32_t(e.Key));
      out.U8(e.Char);
      out.U8(uint32_t(e.Button));
      out.U16(uint32_t(e.X));
      out.U16(uint32_t(e.Y));
      out.U32(uint32_t(e.WheelDelta));
      out.U32(e.Shift);
      out.U16(uint32_t(r.CursorX));
      out.U16(uint32_t(r.CursorY));
      break;
    }
    case Record::Kind::Mark:
      out.U8(6);
      out.U64(r.StateHash);
      break;
    case Record::Kind::Settle:
      out.U8(7);
      PutStart(out, r.Settled ? *r.Settled : Start{});
      break;
  }
}

void GetRecords(In& in, std::vector<Record>& records, TPolledInput& lastPoll) {
  while (in.Left() > 0) {
    Record r;
    const uint8_t tag = in.U8();
    switch (tag) {
      case 1:
        r.What = Record::Kind::Frame;
        r.Poll = lastPoll;
        break;
      case 2:
        r.What = Record::Kind::Frame;
        r.Poll = lastPoll = GetPoll(in);
        break;
      case 3: r.What = Record::Kind::Timer2; break;
      case 4: r.What = Record::Kind::Timer3; break;
      case 5: {
        r.What = Record::Kind::Event;
        platform::Event& e = r.Input;
        const uint8_t type = in.U8();
        if (type > uint8_t(platform::EventType::Maximize)) throw ReplayError("damaged replay: an unknown event");
        e.Type = platform::EventType(type);
        e.Key = in.U16();
        e.Char = in.U8();
        const uint8_t button = in.U8();
        if (button > uint8_t(platform::MouseButton::Middle)) throw ReplayError("damaged replay: an unknown mouse button");
        e.Button = platform::MouseButton(button);
        e.X = int16_t(in.U16());
        e.Y = int16_t(in.U16());
        e.WheelDelta = int32_t(in.U32());
        e.Shift = in.U32();
        r.CursorX = int16_t(in.U16());
        r.CursorY = int16_t(in.U16());
        break;
      }
      case 6:
        r.What = Record::Kind::Mark;
        r.StateHash = in.U64();
        break;
      case 7:
        r.What = Record::Kind::Settle;
        r.Settled = std::make_shared<const Start>(GetStart(in));
        break;
      default: throw ReplayError("damaged replay: an unknown record");
    }
    records.push_back(r);
  }
}

}  // namespace

Writer::~Writer() {
  if (file_ != nullptr) std::fclose(file_);  // unfinished: left cut short
}

bool Writer::Open(const std::string& path, const Header& header) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return false;
  Out head;
  head.Text(header.GameVersion);
  for (uint32_t hash : header.DataHashes) head.U32(hash);
  head.U64(uint64_t(header.StartedAt));
  PutStart(head, header.Begin);
  Out out;
  out.bytes.assign(std::begin(kMagic), std::end(kMagic));
  out.U16(header.FormatVersion);
  out.U32(uint32_t(head.bytes.size()));
  out.bytes.insert(out.bytes.end(), head.bytes.begin(), head.bytes.end());
  out.U32(Crc(head.bytes.data(), head.bytes.size()));
  Put(out.bytes);
  return Ok();
}

void Writer::Add(const Record& record) {
  if (!Ok()) return;
  Out out;
  PutRecord(out, record, lastPoll_);
  pending_.insert(pending_.end(), out.bytes.begin(), out.bytes.end());
  if (record.What == Record::Kind::Mark) Flush();
}

void Writer::Flush() {
  if (!Ok() || pending_.empty()) return;
  uLongf packedSize = compressBound(uLong(pending_.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, pending_.data(), uLong(pending_.size()), Z_BEST_COMPRESSION) != Z_OK) {
    Fail();
    return;
  }
  packed.resize(packedSize);
  Out out;
  out.U8('C');
  out.U32(uint32_t(pending_.size()));
  out.U32(uint32_t(packed.size()));
  out.bytes.insert(out.bytes.end(), packed.begin(), packed.end());
  out.U32(Crc(packed.data(), packed.size()));
  pending_.clear();
  Put(out.bytes);
  if (Ok() && std::fflush(file_) != 0) Fail();
}

void Writer::Finish(const Ending& ending) {
  Flush();
  if (!Ok()) return;
  Out out;
  out.U8('E');
  out.U32(ending.Score);
  out.U16(ending.Level);
  out.U64(ending.StateHash);
  out.U32(ending.Ticks);
  Put(out.bytes);
  Out check;
  check.U32(crc_);
  Put(check.bytes);
  if (Ok() && std::fclose(file_) != 0) {
    file_ = nullptr;
    return;
  }
  file_ = nullptr;
}

void Writer::Put(const std::vector<uint8_t>& bytes) {
  if (!Ok()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    Fail();
    return;
  }
  crc_ = Crc(bytes.data(), bytes.size(), crc_);
}

void Writer::Fail() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

Replay Parse(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < sizeof kMagic || !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()))
    throw ReplayError("not a Zarovel replay");
  In in(bytes.data(), bytes.size(), "the header");
  in.Skip(sizeof kMagic);
  Replay replay;
  replay.Head.FormatVersion = in.U16();
  if (replay.Head.FormatVersion > kFormatVersion)
    throw ReplayError("made by a newer Zarovel (replay format " + std::to_string(replay.Head.FormatVersion) + ")");
  if (replay.Head.FormatVersion == 0) throw ReplayError("damaged replay: format version 0");
  const uint32_t headSize = in.U32();
  if (headSize > in.Left()) throw ReplayError("damaged replay: the header ends early");
  In head(in.Here(), headSize, "the header");
  const uint32_t headCrc = Crc(in.Here(), headSize);
  in.Skip(headSize);
  if (in.U32() != headCrc) throw ReplayError("damaged replay: the header fails its check");
  replay.Head.GameVersion = head.Text();
  for (uint32_t& hash : replay.Head.DataHashes) hash = head.U32();
  replay.Head.StartedAt = int64_t(head.U64());
  replay.Head.Begin = GetStart(head);
  if (head.Left() != 0) throw ReplayError("damaged replay: the header is longer than its fields");

  // A finished file ends with its ending and the CRC-32 of all before it: checked first,
  // so that any changed byte anywhere is damage, never mistaken for a file cut short.
  constexpr size_t kEndingSize = 1 + 4 + 2 + 8 + 4 + 4;
  const bool finished = bytes.size() >= in.At() + kEndingSize && bytes[bytes.size() - kEndingSize] == 'E';
  if (finished) {
    In tail(bytes.data() + bytes.size() - 4, 4, "the ending");
    if (tail.U32() != Crc(bytes.data(), bytes.size() - 4)) throw ReplayError("damaged replay: the file fails its check");
  }
  // In a finished file a chunk that does not arrive whole is damage; otherwise it is where
  // a crash cut the file.
  const auto cut = [finished, &replay]() -> Replay {
    if (finished) throw ReplayError("damaged replay: a chunk runs past the ending");
    return replay;
  };
  TPolledInput lastPoll;
  while (in.Left() > 0) {
    const uint8_t kind = in.U8();
    if (kind == 'C') {
      if (in.Left() < 8) return cut();
      const uint32_t rawSize = in.U32(), packedSize = in.U32();
      if (rawSize > kMaxChunk || packedSize > kMaxChunk) throw ReplayError("damaged replay: a chunk too large");
      if (in.Left() < size_t(packedSize) + 4) return cut();
      const uint8_t* packed = in.Here();
      in.Skip(packedSize);
      if (in.U32() != Crc(packed, packedSize)) throw ReplayError("damaged replay: a chunk fails its check");
      std::vector<uint8_t> raw(rawSize);
      uLongf unpacked = rawSize;
      if (uncompress(raw.data(), &unpacked, packed, packedSize) != Z_OK || unpacked != rawSize)
        throw ReplayError("damaged replay: a chunk does not unpack");
      In records(raw.data(), raw.size(), "a chunk");
      GetRecords(records, replay.Records, lastPoll);
    } else if (kind == 'E') {
      if (in.Left() < kEndingSize - 1) return cut();  // cut inside the ending
      Ending end;
      end.Score = in.U32();
      end.Level = in.U16();
      end.StateHash = in.U64();
      end.Ticks = in.U32();
      const uint32_t expected = Crc(bytes.data(), in.At());
      if (in.U32() != expected) throw ReplayError("damaged replay: the file fails its check");
      if (in.Left() != 0) throw ReplayError("damaged replay: bytes after its end");
      replay.End = end;
      return replay;
    } else {
      throw ReplayError("damaged replay: an unknown block");
    }
  }
  return cut();
}

Replay Read(const std::string& path) {
  std::error_code error;
  // The callers name the file before the reason.
  if (!std::filesystem::is_regular_file(path, error))
    throw ReplayError(std::filesystem::exists(path, error) ? "cannot read: not a file" : "cannot read: no such file");
  std::ifstream file(path, std::ios::binary);
  if (!file) throw ReplayError("cannot read it");
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0 || size > (std::streamoff(64) << 20)) throw ReplayError("not a Zarovel replay (too large)");
  file.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  file.read(reinterpret_cast<char*>(bytes.data()), size);
  if (!file) throw ReplayError("cannot read it");
  return Parse(bytes);
}

std::optional<uint32_t> FileCrc(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  uint32_t crc = 0;
  std::vector<char> buffer(1 << 16);
  while (file.read(buffer.data(), std::streamsize(buffer.size())) || file.gcount() > 0) {
    crc = Crc(reinterpret_cast<const uint8_t*>(buffer.data()), size_t(file.gcount()), crc);
    if (!file) break;
  }
  return crc;
}

}  // namespace replay
