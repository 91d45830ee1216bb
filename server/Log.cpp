#include "Log.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace scores {
namespace {

// What a log line shows of a request target at most.
constexpr size_t kLoggedTarget = 300;

// The kinds of limited lines, each with its own limit and summary.
enum Kind { kServed, kLimited, kMalformed, kConnection, kStore, kKinds };
constexpr const char* kKindNames[kKinds] = {"request served", "refused by a limit", "refused as malformed",
                                            "connection cut", "store trouble"};
// Lines of one kind written in a second at most.
constexpr int kLinesPerSecond = 10;
constexpr auto kWindow = std::chrono::seconds(1);
// Clients counted by name in a second's left-out lines; the rest only in the total, so a
// flood from a million addresses costs no more memory than one from a few hundred.
constexpr size_t kCountedClients = 256;
// What a count keeps of a client's text, and how many clients a summary names.
constexpr size_t kClientKey = 64;
constexpr size_t kBusiestShown = 3;

Kind KindOf(int status) {
  if (status < 400) return kServed;
  if (status == 429) return kLimited;
  if (status == 503) return kStore;
  return kMalformed;
}

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// One kind's current second, from its first line on: the lines written, those left out and
// who caused them.
struct Window {
  bool open = false;
  LogClock::time_point start;
  int written = 0;
  long leftOut = 0;
  std::unordered_map<std::string, long, TextHash, std::equal_to<>> clients;
};

// Decides which lines are written and writes the summaries of the rest: with the kind's first
// line after its second, or, when none comes, from a thread of its own as the second ends.
class LineLimiter {
 public:
  // Made once and never destroyed: the server's threads and the flusher may still log while
  // the process exits.
  static LineLimiter& Get() {
    static LineLimiter* const limiter = new LineLimiter;
    return *limiter;
  }

  // True when a line of the kind is to be written now; otherwise it is counted for `client`.
  bool Admit(Kind kind, std::string_view client) {
    std::string summary;
    bool admitted = true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const LogClock::time_point now = LogClock::now();
      Window& window = windows_[kind];
      if (window.open && now - window.start >= kWindow) summary = Close(kind);
      if (!window.open) {
        window.open = true;
        window.start = now;
      }
      if (window.written < kLinesPerSecond) {
        ++window.written;
      } else {
        admitted = false;
        if (window.leftOut++ == 0) WakeFlusher();
        Count(window, client);
      }
    }
    if (!summary.empty()) WriteLogLine(std::move(summary));
    return admitted;
  }

  // The summaries of every kind that left lines out, written now, however short its second.
  void FlushAll() {
    std::vector<std::string> summaries;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int kind = 0; kind < kKinds; ++kind)
        if (windows_[kind].leftOut > 0) summaries.push_back(Close(kind));
    }
    for (std::string& summary : summaries) WriteLogLine(std::move(summary));
  }

 private:
  LineLimiter() = default;

  static void Count(Window& window, std::string_view client) {
    if (client.empty()) return;
    client = client.substr(0, kClientKey);
    const auto it = window.clients.find(client);
    if (it != window.clients.end())
      ++it->second;
    else if (window.clients.size() < kCountedClients)
      window.clients.emplace(std::string(client), 1);
  }

  // Ends the kind's second; its summary line, or nothing when it left nothing out.
  std::string Close(int kind) {
    Window& window = windows_[kind];
    std::string summary;
    if (window.leftOut > 0) {
      summary = LogTime() + " left out " + std::to_string(window.leftOut) + " \"" + kKindNames[kind] +
                "\" lines in the last second";
      std::vector<std::pair<long, const std::string*>> busiest;
      busiest.reserve(window.clients.size());
      for (const auto& [client, count] : window.clients) busiest.emplace_back(count, &client);
      const size_t shown = std::min(kBusiestShown, busiest.size());
      std::partial_sort(
          busiest.begin(), busiest.begin() + long(shown), busiest.end(),
          [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : *a.second < *b.second; });
      for (size_t i = 0; i < shown; ++i)
        summary += (i == 0 ? "; busiest: " : ", ") + LogSafe(*busiest[i].second, kClientKey) + " (" +
                   std::to_string(busiest[i].first) + ")";
    }
    window.open = false;
    window.written = 0;
    window.leftOut = 0;
    window.clients.clear();
    return summary;
  }

  // Called with the mutex held, at a kind's first line left out in its second.
  void WakeFlusher() {
    if (!flusher_started_) {
      try {
        std::thread([this] { FlushLoop(); }).detach();
        flusher_started_ = true;
      } catch (const std::system_error&) {
        // No thread: the summary comes with the kind's next line instead.
      }
    }
    wake_.notify_one();
  }

  // Writes each summary when its second is over, whether or not more lines come.
  void FlushLoop() {
    // Signals are for the threads that wait for them.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      bool pending = false;
      LogClock::time_point due = LogClock::time_point::max();
      for (const Window& window : windows_)
        if (window.open && window.leftOut > 0) {
          pending = true;
          due = std::min(due, window.start + kWindow);
        }
      if (!pending) {
        wake_.wait(lock);
        continue;
      }
      const LogClock::time_point now = LogClock::now();
      if (now < due) {
        wake_.wait_until(lock, due);
        continue;
      }
      std::vector<std::string> summaries;
      for (int kind = 0; kind < kKinds; ++kind)
        if (windows_[kind].open && windows_[kind].leftOut > 0 && now - windows_[kind].start >= kWindow)
          summaries.push_back(Close(kind));
      lock.unlock();
      for (std::string& summary : summaries) WriteLogLine(std::move(summary));
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  Window windows_[kKinds];
  bool flusher_started_ = false;
};

// At exit, the lines left out in the last moments are counted too.
struct FlushAtExit {
  ~FlushAtExit() { LineLimiter::Get().FlushAll(); }
} flushAtExit;

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
  if (!LineLimiter::Get().Admit(KindOf(status), client)) return;
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
  if (!LineLimiter::Get().Admit(kConnection, client)) return;
  WriteLogLine(LogTime() + " " + LogSafe(client, 64) + " connection closed: \"" + LogSafe(why, 200) + "\"");
}

void LogStore(std::string_view what) {
  if (!LineLimiter::Get().Admit(kStore, {})) return;
  WriteLogLine(LogTime() + " " + LogSafe(what, 500));
}

}  // namespace scores
