// Loading and saving Config.cfg, and the score table kept in it.
#include "state/Config.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

namespace {

using Record = std::array<uint8_t, ConfigRecordSize>;

const char ConfigName[] = "Config.cfg";

// "Ваня" in Windows-1251.
constexpr char DefaultName[] = "\xC2\xE0\xED\xFF";

int NameLength(const ShortName& name) { return std::min<int>(name.Length, ShortName::Capacity); }

void PutName(uint8_t* out, const ShortName& name) {
  out[0] = name.Length;
  std::memcpy(out + 1, name.Chars, ShortName::Capacity);
}

void GetName(const uint8_t* in, ShortName& name) {
  name.Length = in[0];
  std::memcpy(name.Chars, in + 1, ShortName::Capacity);
}

void PutU32(uint8_t* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(v >> (8 * i));
}

uint32_t GetU32(const uint8_t* in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(in[i]) << (8 * i);
  return v;
}

// Settings to file bytes, field by field, so the byte order is little-endian on any host.
Record ToRecord(const Settings& s) {
  Record r{};
  r[0] = s.MusicOn;
  r[1] = s.SoundOn;
  r[2] = s.Windowed;
  r[3] = s.SendScore;
  PutName(&r[4], s.PlayerName);
  std::memcpy(&r[17], s.Pad, 3);
  for (int k = 1; k <= Settings::ScoreCount; ++k) {
    const ScoreEntry& e = s.Entry(k);
    uint8_t* out = &r[20 * k];
    PutName(out, e.Name);
    std::memcpy(out + 13, e.Pad, 3);
    PutU32(out + 16, e.Score);
  }
  return r;
}

void FromRecord(const Record& r, Settings& s) {
  s.MusicOn = r[0];
  s.SoundOn = r[1];
  s.Windowed = r[2];
  s.SendScore = r[3];
  GetName(&r[4], s.PlayerName);
  std::memcpy(s.Pad, &r[17], 3);
  for (int k = 1; k <= Settings::ScoreCount; ++k) {
    ScoreEntry& e = s.Entry(k);
    const uint8_t* in = &r[20 * k];
    GetName(in, e.Name);
    std::memcpy(e.Pad, in + 13, 3);
    e.Score = GetU32(in + 16);
  }
}

void ShiftNames(Settings& s, int direction) {
  for (int k = 1; k <= Settings::ScoreCount; ++k) {
    ShortName& name = s.Entry(k).Name;
    for (int i = 0; i < NameLength(name); ++i)
      name.Chars[i] = char(uint8_t(uint8_t(name.Chars[i]) + direction * k));
  }
}

std::string ErrorText(const char* what, int err) {
  return std::string(what) + " Config.cfg: " + std::generic_category().message(err);
}

// Reads exactly one record from the start of the file; false if it cannot.
bool ReadRecord(const std::string& path, Record& r) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t got = 0;
  while (got < r.size()) {
    const ssize_t n = ::read(fd, r.data() + got, r.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  ::close(fd);
  return got == r.size();
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= size_t(n);
  }
  return true;
}

// The name of a save's temporary file: the settings file's name, a dot, and the six letters
// and digits that mkstemp fills in.
bool IsSaveTemporary(const std::string& name) {
  const std::string prefix = std::string(ConfigName) + ".";
  if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) return false;
  return std::all_of(name.begin() + std::ptrdiff_t(prefix.size()), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// Removes the temporary file of a save that was cut short: no process holds its lock any
// more (a save in progress, of this or another running game, holds it until it is done).
void RemoveIfAbandoned(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
  ::close(fd);
}

}  // namespace

void RemoveInterruptedSaves(const std::string& appDir) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(appDir.empty() ? "." : appDir, error))
    if (IsSaveTemporary(entry.path().filename().string())) RemoveIfAbandoned(entry.path());
}

void ScrambleNames(Settings& settings) { ShiftNames(settings, +1); }
void UnscrambleNames(Settings& settings) { ShiftNames(settings, -1); }

LoadResult LoadConfig(Settings& settings, const std::string& appDir, bool write) {
  if (write) RemoveInterruptedSaves(appDir);
  LoadResult result;
  Record r;
  if (ReadRecord(appDir + ConfigName, r)) {
    FromRecord(r, settings);
    // A length byte above 12 would let the name run into the bytes after it.
    settings.PlayerName.Length = uint8_t(NameLength(settings.PlayerName));
    for (ScoreEntry& e : settings.Scores) e.Name.Length = uint8_t(NameLength(e.Name));
    UnscrambleNames(settings);
    return result;
  }
  settings.MusicOn = 1;
  settings.SoundOn = 1;
  settings.Windowed = 1;
  settings.PlayerName.Length = 0;
  ResetScores(settings);
  result.DefaultsMade = true;
  if (write) result.WriteError = SaveConfig(settings, appDir);
  return result;
}

std::string SaveConfig(const Settings& settings, const std::string& appDir) {
  Settings scrambled = settings;
  ScrambleNames(scrambled);
  const Record r = ToRecord(scrambled);

  const std::string target = appDir + ConfigName;
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return ErrorText("Cannot create a temporary file for", errno);
  // Held until the file is closed, or the process ends: start-up removes only temporary
  // files that nobody holds (see RemoveInterruptedSaves).
  ::flock(fd, LOCK_EX);

  // mkstemp makes the file private; the settings file is an ordinary readable one.
  const char* failed = nullptr;
  if (::fchmod(fd, 0644) != 0) failed = "Cannot set permissions of";
  else if (!WriteAll(fd, r.data(), r.size())) failed = "I/O error writing";
  else if (::fsync(fd) != 0) failed = "I/O error flushing";
  int err = errno;
  if (::close(fd) != 0 && !failed) {
    failed = "I/O error closing";
    err = errno;
  }
  if (!failed && ::rename(temp.c_str(), target.c_str()) != 0) {
    failed = "Cannot replace";
    err = errno;
  }
  if (failed) {
    ::unlink(temp.c_str());
    return ErrorText(failed, err);
  }

  // Make the rename itself durable; the new file is in place already, so failures are ignored.
  const int dir = ::open(appDir.empty() ? "." : appDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

void SortScores(Settings& settings) {
  for (int i = 1; i < Settings::ScoreCount; ++i) {
    int m = i;
    for (int j = i + 1; j <= Settings::ScoreCount; ++j)
      if (DecodeScore(settings.Entry(j).Score) > DecodeScore(settings.Entry(m).Score)) m = j;
    std::swap(settings.Entry(i), settings.Entry(m));
  }
}

std::string InsertScore(Settings& settings, uint32_t encodedScore, const ShortName& entryName,
                        const std::string& appDir) {
  const uint32_t score = DecodeScore(encodedScore);
  int p = 1;
  for (int k = Settings::ScoreCount; k >= 1; --k) {
    if (DecodeScore(settings.Entry(k).Score) >= score) {
      p = k + 1;
      break;
    }
  }
  for (int k = Settings::ScoreCount - 1; k >= p; --k) settings.Entry(k + 1) = settings.Entry(k);
  if (p > Settings::ScoreCount) p = Settings::ScoreCount;
  ScoreEntry& e = settings.Entry(p);
  e.Score = encodedScore;
  e.Name.Set(entryName.View());
  return SaveConfig(settings, appDir);
}

void ResetScores(Settings& settings) {
  for (int k = 1; k <= Settings::ScoreCount; ++k) {
    ScoreEntry& e = settings.Entry(k);
    e.Name.Length = 4;
    std::memcpy(e.Name.Chars, DefaultName, 4);
    e.Score = EncodeScore(uint32_t(110 - 10 * k));
  }
}
