// Loading and saving Config.cfg, and the score table kept in it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "state/Settings.h"

// Scores are XOR-masked with this value both in memory and in the file.
constexpr uint32_t ScoreMask = 27182;
constexpr uint32_t DecodeScore(uint32_t encoded) { return encoded ^ ScoreMask; }
constexpr uint32_t EncodeScore(uint32_t score) { return score ^ ScoreMask; }

// Size of the one record in Config.cfg.
constexpr size_t ConfigRecordSize = 220;

struct LoadResult {
  bool DefaultsMade = false;  // the file was missing or short, defaults were set and written
  std::string WriteError;     // why writing the defaults failed; empty when it worked
};

// On disk, the first n name characters of score entry k are stored as (code + k) mod 256.
// n is the entry's length byte, never more than 12.
void ScrambleNames(Settings& settings);
void UnscrambleNames(Settings& settings);

// Reads appDir + "Config.cfg" (appDir ends in '/'), after removing what interrupted saves left
// there (RemoveInterruptedSaves). Only the first 220 bytes count; a length
// byte above 12 is clamped to 12 so no name runs past its field; padding is kept as read.
// If the file cannot be opened or holds fewer than 220 bytes, nothing of it is used: music,
// sound and window mode are switched on, the player name emptied, the default table set (other
// fields keep what memory holds), and the file is written anew.
// With write false (a replay is watched) nothing is created or cleaned up: a missing file
// gives the defaults only.
LoadResult LoadConfig(Settings& settings, const std::string& appDir, bool write = true);
// Removes the temporary files that saves cut short (a crash, a kill, a power cut) left in
// appDir: only files named as a save names them ("Config.cfg." and six letters or digits),
// and only those no running save holds.
void RemoveInterruptedSaves(const std::string& appDir);

// Writes the record with names scrambled, replacing Config.cfg atomically (temporary file,
// fsync, rename); the new file gets mode 0644. Returns an error text, empty on success;
// Config.cfg is untouched on error and no temporary file is left behind.
std::string SaveConfig(const Settings& settings, const std::string& appDir);

// Sorts the table by true score, best first. A selection sort swapping whole entries, so two
// equal scores may change their order.
void SortScores(Settings& settings);

// Puts an XOR-encoded score with its name into the table (the last entry drops out; a score
// below every entry still replaces entry 10) and saves. Returns SaveConfig's error text.
std::string InsertScore(Settings& settings, uint32_t encodedScore, const ShortName& entryName,
                        const std::string& appDir);

// The default table: every entry "Ваня" with true scores 100, 90, ..., 10. Only the name length,
// its four characters and the score are set. Does not write the file.
void ResetScores(Settings& settings);
