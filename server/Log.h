// The server's log on standard error: one line per request, one per refused or cut
// connection, and the odd line of its own. Nothing a client sent reaches it raw.
//
// Lines of the same kind (request served, refused by a limit, refused as malformed,
// connection cut, store trouble) are written at most 10 a second; the lines left out in a
// second are counted, with the clients that caused most of them, and a summary line says
// so about a second later:
//   2026-11-01T12:00:01.000Z left out 4480 "request served" lines in the last second; busiest: 203.0.113.7 (1800), ...
// So a flood of any kind writes a few KiB a second, never more.
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
// One line, written in one call so lines of different threads never mix. Never limited:
// for the server's own lines (start, stop, statistics).
void WriteLogLine(std::string line);

// 2026-11-01T12:00:00.000Z 203.0.113.7 "GET /cgi/version.pl?version&prg=Zarovel" 200 38 0.4ms "note"
// Its kind comes from the status: served (1xx-3xx), refused by a limit (429), store trouble
// (503), refused as malformed (any other).
void LogRequest(std::string_view client, std::string_view method, std::string_view target, int status, size_t bytes,
                LogClock::time_point start, std::string_view note);

// 2026-11-01T12:00:00.000Z 203.0.113.7 connection closed: "why"
void LogConnection(std::string_view client, std::string_view why);

// 2026-11-01T12:00:00.000Z what: a line about the store, such as a failed purge.
void LogStore(std::string_view what);

}  // namespace scores
