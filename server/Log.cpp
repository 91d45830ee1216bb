#include "Log.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace scores {
namespace {

// What a log line shows of a request target at most.
constexpr size_t kLoggedTarget = 300;
// Connection lines: a burst of this many, then this many a second.
constexpr double kConnectionLinesPerSecond = 20;

}  // namespace

std::string LogSafe(std::string_view text, size_t limit) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      out += char(byte);
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  if (text.size() > limit) out += "...";
  return out;
}

std::string LogTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  char text[48];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03ldZ", now.tv_nsec / 1000000);
  return text;
}

void WriteLogLine(std::string line) {
  line += '\n';
  for (size_t written = 0; written < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += size_t(n);
  }
}

void LogRequest(std::string_view client, std::string_view method, std::string_view target, int status, size_t bytes,
                LogClock::time_point start, std::string_view note) {
  const double ms = std::chrono::duration<double, std::milli>(LogClock::now() - start).count();
  char timing[32];
  std::snprintf(timing, sizeof timing, "%.1fms", ms);
  std::string line = LogTime() + " " + LogSafe(client, 64) + " \"" + LogSafe(method, 16) + " " +
                     LogSafe(target, kLoggedTarget) + "\" " + std::to_string(status) + " " + std::to_string(bytes) +
                     " " + timing;
  if (!note.empty()) line += " \"" + LogSafe(note, 400) + "\"";
  WriteLogLine(std::move(line));
}

void LogConnection(std::string_view client, std::string_view why) {
  static std::mutex mutex;
  static double allowance = kConnectionLinesPerSecond;
  static LogClock::time_point updated = LogClock::now();
  static long skipped = 0;
  long skippedBefore = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const LogClock::time_point now = LogClock::now();
    allowance = std::min(kConnectionLinesPerSecond,
                         allowance + std::chrono::duration<double>(now - updated).count() * kConnectionLinesPerSecond);
    updated = now;
    if (allowance < 1) {
      ++skipped;
      return;
    }
    allowance -= 1;
    skippedBefore = skipped;
    skipped = 0;
  }
  std::string line = LogTime() + " " + LogSafe(client, 64) + " connection closed: \"" + LogSafe(why, 200) + "\"";
  if (skippedBefore > 0) line += " (" + std::to_string(skippedBefore) + " such lines left out before)";
  WriteLogLine(std::move(line));
}

}  // namespace scores
