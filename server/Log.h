// The server's log on standard error: one line per request, one per refused or cut
// connection, and the odd line of its own. Nothing a client sent reaches it raw.
#pragma once
#include <chrono>
#include <string>
#include <string_view>

namespace scores {

using LogClock = std::chrono::steady_clock;

// The text with everything but printable ASCII (and the quote and backslash) as \xNN, cut
// at `limit` bytes, so a request cannot forge or break a log line.
std::string LogSafe(std::string_view text, size_t limit);
// "2026-11-01T12:00:00.000Z", now.
std::string LogTime();
// One line, written in one call so lines of different threads never mix.
void WriteLogLine(std::string line);

// 2026-11-01T12:00:00.000Z 203.0.113.7 "GET /cgi/version.pl?version&prg=Zarovel" 200 38 0.4ms "note"
void LogRequest(std::string_view client, std::string_view method, std::string_view target, int status, size_t bytes,
                LogClock::time_point start, std::string_view note);

// 2026-11-01T12:00:00.000Z 203.0.113.7 connection closed: "why". At most a few lines a second
// are written, so a flood cannot fill the disk; the lines left out are counted in the next.
void LogConnection(std::string_view client, std::string_view why);

}  // namespace scores
