// The settings record kept in Config.cfg: sound switches, window mode, player name and score table.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A name of at most 12 Windows-1251 characters: a length byte and a fixed 12-byte field.
// Bytes past the length are not significant and are left alone by Set.
struct ShortName {
  static constexpr int Capacity = 12;

  uint8_t Length = 0;
  char Chars[Capacity] = {};

  // The significant characters; a length byte above 12 counts as 12.
  std::string_view View() const { return {Chars, std::min<size_t>(Length, Capacity)}; }
  std::string Get() const { return std::string(View()); }

  // Keeps at most the first 12 characters.
  void Set(std::string_view text) {
    const size_t n = std::min<size_t>(text.size(), Capacity);
    std::copy_n(text.data(), n, Chars);
    Length = uint8_t(n);
  }
};
static_assert(sizeof(ShortName) == 13);

// One line of the score table. The score is held XOR-masked (see ScoreMask in Config.h).
struct ScoreEntry {
  ShortName Name;
  uint8_t Pad[3] = {};
  uint32_t Score = 0;
};
static_assert(sizeof(ScoreEntry) == 20);
static_assert(offsetof(ScoreEntry, Score) == 16);

struct Settings {
  static constexpr int ScoreCount = 10;

  uint8_t MusicOn = 0;
  uint8_t SoundOn = 0;
  uint8_t Windowed = 0;
  uint8_t SendScore = 0;
  ShortName PlayerName;
  uint8_t Pad[3] = {};
  ScoreEntry Scores[ScoreCount];  // Scores[0] is entry 1, the best

  // Entry k of the table, k = 1..10.
  ScoreEntry& Entry(int k) { return Scores[k - 1]; }
  const ScoreEntry& Entry(int k) const { return Scores[k - 1]; }
};
static_assert(sizeof(Settings) == 220);
static_assert(offsetof(Settings, PlayerName) == 4);
static_assert(offsetof(Settings, Scores) == 20);
