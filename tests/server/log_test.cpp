// The running server's log under floods from several client addresses at once: requests
// served, refused by a limit and refused as malformed, and connections evicted. Each kind
// writes at most 10 lines a second; every line left out is counted in a summary line a
// second that names the busiest client, written when the flood has stopped, and at the latest
// when the server does. Each flood sends from its three addresses in the proportion 4:2:1, so
// the first of them is the busiest.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <ctime>
#include <map>
#include <regex>

#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;
using Clock = std::chrono::steady_clock;

constexpr auto kFlood = 2500ms;  // ending inside a second of the log
// After the flood, the time in which the last second's summaries must come out by themselves.
constexpr auto kSummaryWait = 2500ms;
constexpr int kLinesPerSecond = 10;

// The kinds of lines, as summaries name them.
const std::string kServed = "request served";
const std::string kLimited = "refused by a limit";
const std::string kMalformed = "refused as malformed";
const std::string kConnection = "connection cut";
const std::string kStore = "store trouble";

std::string KindOfStatus(int status) {
  if (status < 400) return kServed;
  if (status == 429) return kLimited;
  if (status == 503) return kStore;
  return kMalformed;
}

// Sends a flood's requests in turn from these addresses, the first the busiest.
std::vector<std::string> Cycle(const std::string& busiest, const std::string& second, const std::string& third) {
  return {busiest, busiest, busiest, busiest, second, second, third};
}

void SetTimeouts(int s) {
  timeval timeout{10, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

// Kept-alive connections, one per client address, opened again when the server closes one.
class Clients {
 public:
  explicit Clients(int port) : port_(port) {}
  ~Clients() {
    for (const auto& [address, s] : open_) close(s);
  }

  // One GET from the address; the reply's status, 0 when none came.
  int Get(const std::string& address, const std::string& target) {
    auto it = open_.find(address);
    if (it == open_.end()) {
      const int s = ConnectFrom(address, port_);
      if (s < 0) return 0;
      SetTimeouts(s);
      it = open_.emplace(address, s).first;
    }
    const int s = it->second;
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::string reply;
    size_t headEnd = std::string::npos;
    size_t length = 0;
    bool whole = send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
    for (char buffer[16384]; whole;) {
      if (headEnd == std::string::npos) {
        headEnd = reply.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
          static const std::regex lengthHeader(R"(\r\nContent-Length: (\d+)\r\n)", std::regex::icase);
          std::smatch m;
          const std::string head = reply.substr(0, headEnd + 2);
          length = std::regex_search(head, m, lengthHeader) ? std::stoul(m[1]) : 0;
        }
      }
      if (headEnd != std::string::npos && reply.size() >= headEnd + 4 + length) break;
      const ssize_t n = recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) whole = false;
      if (n > 0) reply.append(buffer, size_t(n));
    }
    if (!whole || reply.find("\r\nConnection: close\r\n") < headEnd) {
      close(s);
      open_.erase(it);
    }
    if (!whole || reply.rfind("HTTP/1.1 ", 0) != 0) return 0;
    return std::stoi(reply.substr(9, 3));
  }

 private:
  int port_;
  std::map<std::string, int> open_;
};

// What a flood sent: the lines it caused, by kind, and how long it took.
struct Sent {
  std::map<std::string, long> Lines;
  long Failed = 0;
  Clock::duration Took{};
};

// The target again and again from the addresses in turn, for kFlood.
Sent FloodRequests(int port, const std::vector<std::string>& addresses, const std::string& target) {
  Sent sent;
  Clients clients(port);
  const auto start = Clock::now();
  while (Clock::now() - start < kFlood)
    for (const std::string& address : addresses) {
      const int status = clients.Get(address, target);
      if (status == 0)
        ++sent.Failed;
      else
        ++sent.Lines[KindOfStatus(status)];
    }
  sent.Took = Clock::now() - start;
  return sent;
}

// A new idle connection from each address in turn, on a server that holds one connection at
// most: each evicts the one before, whose address its log line names.
Sent FloodEvictions(int port, const std::vector<std::string>& addresses) {
  Sent sent;
  int before = -1;
  const auto start = Clock::now();
  while (Clock::now() - start < kFlood)
    for (const std::string& address : addresses) {
      const int s = ConnectFrom(address, port);
      if (s < 0) {
        ++sent.Failed;
        continue;
      }
      if (before >= 0) {
        pollfd p{before, POLLIN, 0};
        char byte;
        if (poll(&p, 1, 5000) == 1 && recv(before, &byte, 1, 0) <= 0)
          ++sent.Lines[kConnection];
        else
          ++sent.Failed;
        close(before);
      }
      before = s;
    }
  if (before >= 0) close(before);
  sent.Took = Clock::now() - start;
  return sent;
}

// Milliseconds since 1970 of a log line's time.
int64_t LineTime(const std::string& text) {
  std::tm utc{};
  strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &utc);
  return int64_t(timegm(&utc)) * 1000 + std::stoi(text.substr(20, 3));
}

struct Summary {
  int64_t Time = 0;
  long LeftOut = 0;
  std::vector<std::pair<std::string, long>> Busiest;
};

// The log's lines of each kind (their times), and its summaries of each kind.
struct ReadLog {
  std::map<std::string, std::vector<int64_t>> Lines;
  std::map<std::string, std::vector<Summary>> Summaries;
  size_t SummaryCount = 0;

  explicit ReadLog(const std::string& log) {
    const std::string time = R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z))";
    const std::regex request(time + R"( \S+ "[^"]*" (\d{3}) \d+ \d+\.\dms( "[^"]*")?)");
    const std::regex connection(time + R"( \S+ connection closed: "[^"]*")");
    const std::regex summary(time + R"re( left out (\d+) "([a-z ]+)" lines in the last second(; busiest: (.*))?)re");
    const std::regex busiest(R"((\S+) \((\d+)\)(, |$))");
    std::istringstream lines(log);
    std::smatch m;
    for (std::string l; std::getline(lines, l);) {
      if (l.rfind("zarovel-scores:", 0) == 0) continue;
      if (std::regex_match(l, m, request)) {
        Lines[KindOfStatus(std::stoi(m[2]))].push_back(LineTime(m[1]));
      } else if (std::regex_match(l, m, connection)) {
        Lines[kConnection].push_back(LineTime(m[1]));
      } else if (std::regex_match(l, m, summary)) {
        Summary s{LineTime(m[1]), std::stol(m[2]), {}};
        const std::string names = m[5];
        for (std::sregex_iterator b(names.begin(), names.end(), busiest), end; b != end; ++b)
          s.Busiest.emplace_back((*b)[1], std::stol((*b)[2]));
        Summaries[m[3]].push_back(std::move(s));
        ++SummaryCount;
      } else {
        EXPECT_EQ(l.find("left out"), std::string::npos) << l;
      }
    }
  }
};

// Every line the flood caused is written or counted; at most 10 a second are written, with
// one summary for each second that left lines out, naming the busiest client first.
void ExpectBounded(const ReadLog& log, const std::string& kind, long sent, Clock::duration took,
                   const std::string& busiest) {
  SCOPED_TRACE(kind);
  std::vector<int64_t> lines = log.Lines.count(kind) ? log.Lines.at(kind) : std::vector<int64_t>{};
  std::sort(lines.begin(), lines.end());  // threads may write their lines a moment out of order
  const std::vector<Summary> noSummaries;
  const auto& summaries = log.Summaries.count(kind) ? log.Summaries.at(kind) : noSummaries;
  long leftOut = 0;
  for (const Summary& s : summaries) leftOut += s.LeftOut;
  EXPECT_GE(sent, 200) << "too small a flood to judge";
  EXPECT_EQ(long(lines.size()) + leftOut, sent);

  // Each second (from a kind's first line) has at most 10 lines: a whole second holds at most
  // two of them, and the flood at most one more than its whole seconds.
  const long seconds = long(std::chrono::duration_cast<std::chrono::seconds>(took).count()) + 1;
  EXPECT_LE(long(lines.size()), kLinesPerSecond * seconds);
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto inSecond = std::lower_bound(lines.begin(), lines.end(), lines[i] + 1000) - (lines.begin() + long(i));
    EXPECT_LE(inSecond, 2 * kLinesPerSecond) << "lines in the second from line " << i;
  }
  EXPECT_GE(summaries.size(), 1u);
  EXPECT_LE(long(summaries.size()), seconds);

  int judged = 0;
  for (const Summary& s : summaries) {
    EXPECT_LE(s.Busiest.size(), 3u);
    long named = 0;
    for (const auto& [client, count] : s.Busiest) named += count;
    EXPECT_LE(named, s.LeftOut);
    if (s.LeftOut < 100) continue;  // a short second's proportions prove little
    ++judged;
    ASSERT_FALSE(s.Busiest.empty());
    EXPECT_EQ(s.Busiest[0].first, busiest);
    EXPECT_EQ(s.Busiest.size(), 3u);
  }
  EXPECT_GE(judged, 1);
}

struct Log : ::testing::Test {
  TempFolder folder;
  std::string db = folder.Dir() + "scores.sqlite";
};

TEST_F(Log, FloodsOfServedAndRefusedRequestsWriteTenLinesASecondOfEachKindAndCountTheRest) {
  ServerProcess server(folder.Path().string(), db, {"--check-rate-limit", "1"});
  const int port = server.Port();
  struct Flood {
    std::string Kind;
    std::string Target;
    std::vector<std::string> From;
    Sent Result;
  };
  // The first check of each address in the minute is served, the rest are over the limit.
  std::array<Flood, 3> floods = {{
      {kServed, kPageTarget, Cycle("127.0.0.10", "127.0.0.11", "127.0.0.12"), {}},
      {kLimited, kCheckTarget, Cycle("127.0.0.20", "127.0.0.21", "127.0.0.22"), {}},
      {kMalformed, "/cgi/version.pl?prg=Other&show", Cycle("127.0.0.30", "127.0.0.31", "127.0.0.32"), {}},
  }};
  std::vector<std::thread> threads;
  for (Flood& flood : floods)
    threads.emplace_back([&flood, port] { flood.Result = FloodRequests(port, flood.From, flood.Target); });
  for (std::thread& t : threads) t.join();
  std::this_thread::sleep_for(kSummaryWait);

  const std::string log = server.Log();
  const ReadLog read(log);
  std::map<std::string, long> sent;
  for (const Flood& flood : floods) {
    EXPECT_EQ(flood.Result.Failed, 0) << flood.Kind;
    for (const auto& [kind, count] : flood.Result.Lines) sent[kind] += count;
    std::cout << flood.Kind << " flood: " << flood.Result.Lines.at(flood.Kind) << " requests in "
              << std::chrono::duration<double>(flood.Result.Took).count() << " s\n";
  }
  EXPECT_EQ(sent[kServed], floods[0].Result.Lines[kServed] + 3);  // the three first checks
  for (const Flood& flood : floods) ExpectBounded(read, flood.Kind, sent[flood.Kind], flood.Result.Took, flood.From[0]);
  // Thousands of requests, a few KiB of log.
  EXPECT_LT(log.size(), 64u * 1024) << log;
  std::cout << "log: " << log.size() << " bytes\n";

  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(ReadLog(server.Log()).SummaryCount, read.SummaryCount) << "nothing was left to count at the stop";
}

TEST_F(Log, AFloodOfEvictedConnectionsWritesTenLinesASecondAndCountsTheRest) {
  ServerProcess server(folder.Path().string(), db, {"--max-connections", "1"});
  const std::vector<std::string> from = Cycle("127.0.0.40", "127.0.0.41", "127.0.0.42");
  const Sent sent = FloodEvictions(server.Port(), from);
  // Stopped at once: the lines of the flood's last moments are counted as the server exits.
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(sent.Failed, 0);
  std::cout << "evictions: " << sent.Lines.at(kConnection) << " in " << std::chrono::duration<double>(sent.Took).count()
            << " s\n";
  const std::string log = server.Log();
  ExpectBounded(ReadLog(log), kConnection, sent.Lines.at(kConnection), sent.Took, from[0]);
  EXPECT_LT(log.size(), 64u * 1024) << log;
}

}  // namespace
