// The running server against hostile clients on raw sockets, from 127.0.0.2 to 127.0.0.254,
// while a normal client on 127.0.0.1 asks for a token: multiplied ranges, bodies that hide
// requests, malformed heads, idle, slow and never-reading connections, floods of checks,
// crowds above the connection cap that reconnect when cut. Each attack is judged by the
// status and bytes it got and what was stored; the normal client must be answered alongside
// every one (its waits are printed, not judged).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;
using Clock = std::chrono::steady_clock;

// The n-th attacker's address, 127.0.0.2 to 127.0.0.254.
std::string Attacker(int n) { return "127.0.0." + std::to_string(2 + n % 253); }

void SendAll(int s, const std::string& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = send(s, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += size_t(n);
  }
}

// Reads until the server closes the connection or `timeout` passes.
std::string ReadUntilClosed(int s, std::chrono::milliseconds timeout) {
  std::string text;
  const auto until = Clock::now() + timeout;
  char buffer[16384];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{s, POLLIN, 0};
    if (poll(&p, 1, int(left)) <= 0) break;
    const ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    text.append(buffer, size_t(n));
  }
  return text;
}

// Whether the server has closed the connection (it reads as ended, or was reset).
bool ClosedByServer(int s, std::chrono::milliseconds wait) {
  pollfd p{s, POLLIN, 0};
  if (poll(&p, 1, int(wait.count())) <= 0) return false;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(s, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN)) return true;
    if (n < 0) return false;
  }
}

int StatusOf(const std::string& reply) {
  return reply.rfind("HTTP/1.", 0) == 0 && reply.size() > 12 ? std::stoi(reply.substr(9, 3)) : 0;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

struct Outcome {
  int Status = 0;            // of the attacker's first reply; 0: none
  std::string Reply;         // what the attacker received
  std::vector<int> Held;     // connections still open while the normal client asks
};

struct Attack {
  std::string Name;
  std::function<Outcome(int port)> Run;
  int Status;                // expected of the attacker's first reply (0: none expected)
  std::function<void(const Outcome&)> Judge = [](const Outcome&) {};
};

struct HostileClients : ::testing::Test {
  TempFolder folder;
  std::string db = NewStoreDatabase(Backend::Sqlite, folder.Path().string());

  static void SetUpTestSuite() {
    // Room for a thousand connections of the attackers in this process.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  int64_t Stored() { return scores::OpenStore(db, 1)->RecordCount(); }
  int Tokens() {
    sqlite3* handle = nullptr;
    sqlite3_open(db.c_str(), &handle);
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(handle, "SELECT count(*) FROM tokens", -1, &count, nullptr);
    const int tokens = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1;
    sqlite3_finalize(count);
    sqlite3_close(handle);
    return tokens;
  }
};

// One request from an attacker's address; everything that came back within 10 s.
Outcome Once(int port, const std::string& request, int attacker = 0) {
  Outcome outcome;
  const int s = ConnectFrom(Attacker(attacker), port);
  SendAll(s, request);
  outcome.Reply = ReadUntilClosed(s, 10s);
  outcome.Status = StatusOf(outcome.Reply);
  close(s);
  return outcome;
}

// Many connections from the attackers' addresses, each sent `bytes` and left open.
Outcome Hold(int port, int connections, const std::string& bytes, bool oneAddress = false) {
  Outcome outcome;
  for (int i = 0; i < connections; ++i) {
    const int s = ConnectFrom(oneAddress ? Attacker(0) : Attacker(i), port);
    if (s < 0) continue;
    if (!bytes.empty()) SendAll(s, bytes);
    outcome.Held.push_back(s);
  }
  return outcome;
}

TEST_F(HostileClients, NoAttackSlowsANormalCheckOrStoresARecord) {
  ServerProcess server(folder.Path().string(), db, {"--rate-limit", "0"});
  const int port = server.Port();
  const std::string page = HttpGet(port, kPageTarget).Body;
  ASSERT_FALSE(page.empty());
  const std::string pageGet = "GET " + kPageTarget + " HTTP/1.1\r\nHost: x\r\n";
  std::string ranges = "bytes=0-";
  for (int i = 1; i < 2000; ++i) ranges += ",0-";
  // A submission hidden in a GET's body, as a proxy would pass it on.
  const std::string hidden = "GET " + SubmissionTarget(EncodedRecord("Hidden", 77, FreshToken(port))) +
                             " HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: 203.0.113.9\r\n\r\n";
  auto pageSized = [&page](const Outcome& o) {
    const size_t body = o.Reply.size() - o.Reply.find("\r\n\r\n") - 4;
    EXPECT_EQ(body, page.size()) << "never more bytes than the page";
  };
  auto oneReplyThenClosed = [](const Outcome& o) {
    EXPECT_EQ(Count(o.Reply, "HTTP/1.1 "), 1u) << o.Reply;
    EXPECT_NE(o.Reply.find("Connection: close"), std::string::npos) << o.Reply;
  };

  const std::vector<Attack> attacks = {
      {"2000 ranges", [&](int p) { return Once(p, pageGet + "Range: " + ranges + "\r\nConnection: close\r\n\r\n"); },
       200, pageSized},
      {"one range", [&](int p) { return Once(p, pageGet + "Range: bytes=0-9\r\nConnection: close\r\n\r\n"); }, 200,
       pageSized},
      {"a submission in a GET's Content-Length body",
       [&](int p) { return Once(p, pageGet + "Content-Length: " + std::to_string(hidden.size()) + "\r\n\r\n" + hidden); },
       400, oneReplyThenClosed},
      {"a submission in a GET's chunked body",
       [&](int p) {
         char size[16];
         std::snprintf(size, sizeof size, "%zx", hidden.size());
         return Once(p, pageGet + "Transfer-Encoding: chunked\r\n\r\n" + size + "\r\n" + hidden + "\r\n0\r\n\r\n");
       },
       400, oneReplyThenClosed},
      {"HTTP/1.1 without Host", [&](int p) { return Once(p, "GET " + kCheckTarget + " HTTP/1.1\r\n\r\n"); }, 400},
      {"POST", [&](int p) { return Once(p, "POST " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n"); },
       405, [](const Outcome& o) { EXPECT_NE(o.Reply.find("Allow: GET, HEAD"), std::string::npos) << o.Reply; }},
      {"DELETE", [&](int p) { return Once(p, "DELETE / HTTP/1.1\r\nHost: x\r\n\r\n"); }, 405},
      {"a request line of 5 KiB",
       [&](int p) { return Once(p, "GET " + kCheckTarget + "&" + std::string(5000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"); },
       414},
      {"a head of 17 KiB",
       [&](int p) { return Once(p, pageGet + "X-Filler: " + std::string(17000, 'x') + "\r\n\r\n"); }, 431},
      {"a header line of 9 KiB, under the head's limit",
       [&](int p) { return Once(p, pageGet + "X-Filler: " + std::string(9000, 'x') + "\r\nConnection: close\r\n\r\n"); },
       200},
      {"1000 idle connections", [&](int p) { return Hold(p, 1000, ""); }, 0},
      {"100 idle connections from one address", [&](int p) { return Hold(p, 100, "", true); }, 0,
       [](const Outcome& o) {
         size_t closed = 0;
         for (const int s : o.Held) closed += ClosedByServer(s, 0ms) ? 1 : 0;
         EXPECT_EQ(closed, 0u) << "the per-client cap binds only while the server is crowded";
       }},
      {"200 slowloris connections", [&](int p) { return Hold(p, 200, "GET " + kCheckTarget + " HTTP/1.1\r\nHo"); }, 0,
       [](const Outcome& o) {
         // A head that never ends is cut at its deadline, with a 408.
         const std::string cut = ReadUntilClosed(o.Held.front(), 15s);
         EXPECT_EQ(StatusOf(cut), 408) << cut;
       }},
      {"64 readers that never read",
       [&](int p) {
         std::string burst;
         for (int i = 0; i < 200; ++i) burst += pageGet + "\r\n";
         return Hold(p, 64, burst);
       },
       0},
  };

  for (const Attack& attack : attacks) {
    SCOPED_TRACE(attack.Name);
    const Outcome outcome = attack.Run(port);
    const auto start = Clock::now();
    const HttpReply normal = HttpGet(port, kCheckTarget);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("%-48s status %3d, %8zu bytes; a normal check answered %d in %lld ms\n", attack.Name.c_str(),
                outcome.Status, outcome.Reply.size(), normal.Status, static_cast<long long>(waited.count()));
    EXPECT_EQ(normal.Status, 200) << "the normal client is answered alongside";
    EXPECT_LT(waited, 10s);
    EXPECT_EQ(outcome.Status, attack.Status) << outcome.Reply.substr(0, 300);
    attack.Judge(outcome);
    for (const int s : outcome.Held) close(s);
  }
  EXPECT_EQ(Stored(), 0) << "no record came in through a hidden request";
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(server.Log().find("connection closed: \"request head not complete in time\""), std::string::npos);
}

TEST_F(HostileClients, ChecksAreLimitedPerAddressAndEachMakesOneToken) {
  ServerProcess server(folder.Path().string(), db, {"--check-rate-limit", "5"});
  const std::string check = "GET " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  std::vector<int> statuses;
  for (int i = 0; i < 8; ++i) statuses.push_back(Once(server.Port(), check, 7).Status);
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 200, 200, 429, 429, 429}));
  const Outcome refused = Once(server.Port(), check, 7);
  const size_t retry = refused.Reply.find("Retry-After: ");
  ASSERT_NE(retry, std::string::npos) << refused.Reply;
  EXPECT_GE(std::stoi(refused.Reply.substr(retry + 13)), 1);
  EXPECT_LE(std::stoi(refused.Reply.substr(retry + 13)), 12);  // five a minute: one more every 12 s
  EXPECT_NE(refused.Reply.find("ERROR|too many checks from this address"), std::string::npos);
  // Another address has its own limit, and the refused checks made no token.
  EXPECT_EQ(Once(server.Port(), check, 8).Status, 200);
  EXPECT_EQ(Tokens(), 6);
}


// One reply read off a kept-alive connection: its head and the body its Content-Length
// gives; empty when the connection ended first or `timeout` passed.
std::string ReadOneReply(int s, std::chrono::milliseconds timeout) {
  std::string text;
  const auto until = Clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    const size_t headEnd = text.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      const size_t length = text.find("Content-Length: ");
      const size_t body = length == std::string::npos ? 0 : std::stoul(text.substr(length + 16));
      if (text.size() >= headEnd + 4 + body) return text;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    pollfd p{s, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, int(left)) <= 0) return {};
    const ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    text.append(buffer, size_t(n));
  }
}

// Connections from `addresses` attackers' addresses, `perAddress` each, that send `bytes`
// and nothing more, and connect again whenever the server cuts them, until the value goes.
class Churn {
 public:
  Churn(int port, int addresses, int perAddress, std::string bytes)
      : port_(port), addresses_(addresses), bytes_(std::move(bytes)), sockets_(size_t(addresses * perAddress), -1) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Churn() {
    stop_ = true;
    thread_.join();
    for (const int s : sockets_)
      if (s >= 0) close(s);
  }
  int Reconnects() const { return reconnects_; }
  int Open() const { return open_; }

 private:
  void Run() {
    std::vector<pollfd> polled(sockets_.size());
    char buffer[4096];
    while (!stop_) {
      int open = 0;
      for (size_t i = 0; i < sockets_.size(); ++i) {
        if (sockets_[i] < 0) {
          sockets_[i] = ConnectFrom(Attacker(int(i) % addresses_), port_);
          if (sockets_[i] >= 0 && !bytes_.empty()) SendAll(sockets_[i], bytes_);
          if (sockets_[i] >= 0) ++reconnects_;
        }
        open += sockets_[i] >= 0 ? 1 : 0;
        polled[i] = {sockets_[i], POLLIN, 0};
      }
      open_ = open;
      if (poll(polled.data(), polled.size(), 20) <= 0) continue;
      for (size_t i = 0; i < sockets_.size(); ++i) {
        if (polled[i].fd < 0 || polled[i].revents == 0) continue;
        const ssize_t n = recv(sockets_[i], buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0 || (n < 0 && errno == EAGAIN)) continue;
        close(sockets_[i]);
        sockets_[i] = -1;
      }
    }
  }

  const int port_;
  const int addresses_;
  const std::string bytes_;
  std::vector<int> sockets_;
  std::atomic<bool> stop_{false};
  std::atomic<int> reconnects_{0};
  std::atomic<int> open_{0};
  std::thread thread_;
};

// What a player's client asks of a server under attack, from 127.0.0.1: fresh checks every
// 0.1 s, checks sent 0.2 s after connecting, and requests on one kept-alive connection after
// gaps from 5 ms to 1 s. Each that is not answered 200 in time is a failure, named. The game
// waits 2.5 s for a reply; a loaded test machine is given twice that.
std::vector<std::string> ProbeAsAPlayer(int port) {
  constexpr auto kPatience = 5s;
  std::vector<std::string> failures;
  const std::string check = "GET " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\n";
  auto fresh = [&](std::chrono::milliseconds delay) {
    const int s = ConnectFrom("127.0.0.1", port);
    std::this_thread::sleep_for(delay);
    SendAll(s, check + "Connection: close\r\n\r\n");
    const int status = StatusOf(ReadUntilClosed(s, kPatience));
    if (s >= 0) close(s);
    return status;
  };
  for (int i = 0; i < 20; ++i) {
    const int status = fresh(0ms);
    if (status != 200) failures.push_back("fresh check " + std::to_string(i) + ": " + std::to_string(status));
    std::this_thread::sleep_for(100ms);
  }
  for (int i = 0; i < 5; ++i) {
    const int status = fresh(200ms);
    if (status != 200) failures.push_back("check 0.2 s after connecting: " + std::to_string(status));
  }
  int s = ConnectFrom("127.0.0.1", port);
  for (const int gap : {5, 20, 50, 100, 200, 500, 1000, 5, 1000}) {
    std::this_thread::sleep_for(std::chrono::milliseconds(gap));
    SendAll(s, check + "\r\n");
    const std::string reply = ReadOneReply(s, kPatience);
    if (StatusOf(reply) != 200) {
      failures.push_back("kept-alive request after " + std::to_string(gap) + " ms: " + std::to_string(StatusOf(reply)));
      close(s);
      s = ConnectFrom("127.0.0.1", port);
    }
  }
  if (s >= 0) close(s);
  return failures;
}

TEST_F(HostileClients, CrowdsAboveTheConnectionCapNeverCostAPlayerARequest) {
  const std::vector<std::pair<std::string, std::string>> crowds = {
      {"half-sent heads", "GET " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\n"},
      {"idle connections", ""},
  };
  for (const auto& [name, bytes] : crowds) {
    SCOPED_TRACE(name);
    ServerProcess server(folder.Path().string(), db, {"--max-connections", "256", "--check-rate-limit", "0"});
    EXPECT_NE(server.Log().find("max-connections 256"), std::string::npos) << server.Log();
    // 15 addresses with 20 connections each: 300, above the cap of 256.
    Churn churn(server.Port(), 15, 20, bytes);
    while (churn.Reconnects() < 300) std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(500ms);
    const std::vector<std::string> failures = ProbeAsAPlayer(server.Port());
    std::printf("%-18s %d connections made by the crowd, %d open; %zu of the player's requests failed\n", name.c_str(),
                churn.Reconnects(), churn.Open(), failures.size());
    EXPECT_GT(churn.Reconnects(), 300) << "the crowd was cut and came back";
    EXPECT_TRUE(failures.empty()) << failures.front();
  }
}

TEST_F(HostileClients, TheCapFitsTheDescriptorsAndACrowdBeyondThemCostsNoPlayerARequest) {
  // 300 descriptors: the cap is 300 less the 128 kept for the store and the log, whatever
  // --max-connections says, so the server never runs out of descriptors to accept with.
  ServerProcess server(folder.Path().string(), db, {"--check-rate-limit", "0"}, {"prlimit", "--nofile=300:300", "--"});
  EXPECT_NE(server.Log().find("max-connections 172,"), std::string::npos) << server.Log();
  Churn churn(server.Port(), 15, 20, "");
  while (churn.Reconnects() < 300) std::this_thread::sleep_for(20ms);
  std::this_thread::sleep_for(500ms);
  const std::vector<std::string> failures = ProbeAsAPlayer(server.Port());
  EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST_F(HostileClients, PlayersBehindOneAddressAreServedLikeAnyOther) {
  // 60 players of one school send their records within a minute, with the default limits.
  ServerProcess server(folder.Path().string(), db);
  int stored = 0;
  for (int i = 0; i < 60; ++i) {
    const HttpReply reply =
        HttpGet(server.Port(), SubmissionTarget(EncodedRecord("Pupil" + std::to_string(i), 100 + i, FreshToken(server.Port()))));
    stored += reply.Status == 200 ? 1 : 0;
  }
  EXPECT_EQ(stored, 60);
  EXPECT_EQ(Stored(), 60);

  // 40 browsers behind it keep their connections to the world page.
  const std::string page = "GET " + kPageTarget + " HTTP/1.1\r\nHost: x\r\n\r\n";
  std::vector<int> browsers;
  for (int i = 0; i < 40; ++i) browsers.push_back(ConnectFrom(Attacker(0), server.Port()));
  int served = 0;
  for (int round = 0; round < 3; ++round) {
    for (const int s : browsers) {
      SendAll(s, page);
      served += StatusOf(ReadOneReply(s, 10s)) == 200 ? 1 : 0;
    }
  }
  EXPECT_EQ(served, 120);
  for (const int s : browsers) close(s);
}

TEST_F(HostileClients, HeadsAreReadAsHttpWants) {
  ServerProcess server(folder.Path().string(), db, {"--check-rate-limit", "0"});
  const int port = server.Port();
  const std::string line = "GET " + kCheckTarget + " HTTP/1.1\r\n";
  // A head of exactly `size` bytes, request line and the empty line that ends it included.
  auto headOf = [&](size_t size) {
    std::string head = line + "Host: x\r\nConnection: close\r\nX-Filler: ";
    head += std::string(size - head.size() - 4, 'f') + "\r\n\r\n";
    return head;
  };
  std::string threeByteLines = line + "Host: x\r\n";
  while (threeByteLines.size() < 293000) threeByteLines += "a:b\r\n";
  threeByteLines += "\r\n";
  // The same bytes a few at a time, so the head arrives in many segments.
  auto trickled = [&](const std::string& bytes) {
    return [&, bytes](int p) {
      Outcome outcome;
      const int s = ConnectFrom(Attacker(1), p);
      for (size_t at = 0; at < bytes.size(); at += 7) {
        SendAll(s, bytes.substr(at, 7));
        if (at % 700 == 0) std::this_thread::sleep_for(1ms);
      }
      outcome.Reply = ReadUntilClosed(s, 10s);
      outcome.Status = StatusOf(outcome.Reply);
      close(s);
      return outcome;
    };
  };
  auto once = [](const std::string& bytes) { return [bytes](int p) { return Once(p, bytes); }; };
  const std::vector<Attack> rows = {
      {"a head of 16,384 bytes in one piece", once(headOf(16384)), 200},
      {"a head of 16,385 bytes in one piece", once(headOf(16385)), 431},
      {"a head of 16,384 bytes in pieces", trickled(headOf(16384)), 200},
      {"a head of 16,385 bytes in pieces", trickled(headOf(16385)), 431},
      {"60,000 three-byte header lines", once(threeByteLines), 431},
      {"two Host headers", once(line + "Host: x\r\nHost: y\r\nConnection: close\r\n\r\n"), 400},
      {"1,000 Host headers",
       once([&] {
         std::string head = line;
         for (int i = 0; i < 1000; ++i) head += "Host: x\r\n";
         return head + "\r\n";
       }()),
       400},
      {"a Host with a space", once(line + "Host: a b\r\nConnection: close\r\n\r\n"), 400},
      {"an absolute-form target",
       once("GET http://anyhost.example" + kCheckTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"), 200,
       [](const Outcome& o) { EXPECT_NE(o.Reply.find("OK|Zarovel|1|600|"), std::string::npos) << o.Reply; }},
      {"8 empty lines before the request", once("\r\n\r\n\r\n\r\n\n\n\r\n\r\n" + line + "Host: x\r\nConnection: close\r\n\r\n"),
       200},
      {"9 empty lines before the request", once("\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n" + line + "Host: x\r\n\r\n"), 400},
      {"2 MB of empty lines", once(std::string(2000000, '\n')), 400},
      {"a HEAD check", once("HEAD " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"), 200,
       [](const Outcome& o) {
         EXPECT_NE(o.Reply.find("Content-Length: 39"), std::string::npos) << "as long as a check's reply: " << o.Reply;
         EXPECT_EQ(o.Reply.find("OK|"), std::string::npos) << "no body";
       }},
      {"a HEAD submission",
       once("HEAD " + SubmissionTarget(EncodedRecord("Head", 5, std::string(20, 'A'))) +
            " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"),
       405},
  };
  for (const Attack& row : rows) {
    SCOPED_TRACE(row.Name);
    const Outcome outcome = row.Run(port);
    EXPECT_EQ(outcome.Status, row.Status) << outcome.Reply.substr(0, 300);
    row.Judge(outcome);
  }
  // The checks answered 200 made one token each; the HEAD check none.
  EXPECT_EQ(Tokens(), 4);
}

}  // namespace
