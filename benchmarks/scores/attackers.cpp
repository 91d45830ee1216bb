// The attackers of the score server's attack run, from 127.0.0.2 to 127.0.0.254: connections
// that stay idle, slowloris connections that send a byte of their head every second, readers
// that ask for the page again and again but take only 64 KiB every 8 seconds, and half heads:
// connections that send a request's head but for its last empty line, once, and nothing more.
// Every connection the server cuts is opened again, for as long as the run lasts.
//
// The probe does, from 127.0.0.1, what a player's game does, and counts what failed (anything
// but a 200 within the 2.5 s the game waits): a check on a fresh connection every 0.1 s, a check
// sent 0.2 s after its connection was opened every 0.1 s, and checks on one kept-alive
// connection after idle gaps of 5 ms to 1 s.
//
//   score_attackers PORT IDLE SLOWLORIS SLOW_READERS SECONDS [HALF_HEADS]
//   score_attackers probe PORT SECONDS
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

enum class Kind { Idle, Slowloris, SlowReader, HalfHead };

struct Attacker {
  Kind What;
  std::string Source;
  int Socket = -1;
  size_t Sent = 0;  // of a slowloris head or a half head
  Clock::time_point Next{};
};

const std::string kSlowHead = "GET /cgi/version.pl?version&prg=Zarovel HTTP/1.1\r\nHost: x\r\n";
const std::string kCheck = "GET /cgi/version.pl?version&prg=Zarovel HTTP/1.1\r\nHost: x\r\n\r\n";

int Open(const std::string& source, int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, source.c_str(), &from.sin_addr);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Small receive buffers, so a slow reader's replies wait in the server, not in the kernel.
  const int small = 4096;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  if (bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
    close(s);
    return -1;
  }
  connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);  // completes in the background
  return s;
}

void RaiseDescriptorLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

int Attack(int port, const int (&counts)[4], int seconds) {
  std::vector<Attacker> attackers;
  for (int kind = 0; kind < 4; ++kind)
    for (int i = 0; i < counts[kind]; ++i)
      attackers.push_back({Kind(kind), "127.0.0." + std::to_string(2 + attackers.size() % 253)});
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  long reopened = 0;
  std::vector<char> sink(64 * 1024);
  std::string burst;
  for (int i = 0; i < 100; ++i) burst += "GET /cgi/version.pl?prg=Zarovel&show&type=0 HTTP/1.1\r\nHost: x\r\n\r\n";

  while (Clock::now() < end) {
    const Clock::time_point now = Clock::now();
    for (Attacker& a : attackers) {
      // A connection the server closed reads as ended (or fails), after what the server
      // said last (a 408): it is opened again.
      if (a.Socket >= 0 && a.What != Kind::SlowReader) {
        ssize_t n;
        while ((n = recv(a.Socket, sink.data(), sink.size(), MSG_DONTWAIT)) > 0) {
        }
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN)) {
          close(a.Socket);
          a.Socket = -1;
          ++reopened;
        }
      }
      if (a.Socket < 0) {
        a.Socket = Open(a.Source, port);
        a.Sent = 0;
        a.Next = now;
        continue;
      }
      if (now < a.Next) continue;
      switch (a.What) {
        case Kind::Idle: break;
        case Kind::Slowloris:
          if (a.Sent < kSlowHead.size() && send(a.Socket, kSlowHead.data() + a.Sent, 1, MSG_NOSIGNAL) == 1) ++a.Sent;
          a.Next = now + std::chrono::seconds(1);
          break;
        case Kind::HalfHead:
          // Sent as soon as the connection is up (a send before fails), then never again.
          if (a.Sent < kSlowHead.size()) {
            const ssize_t n =
                send(a.Socket, kSlowHead.data() + a.Sent, kSlowHead.size() - a.Sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) a.Sent += size_t(n);
          }
          break;
        case Kind::SlowReader: {
          send(a.Socket, burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
          const ssize_t n = recv(a.Socket, sink.data(), sink.size(), MSG_DONTWAIT);
          if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN)) {
            close(a.Socket);
            a.Socket = -1;
            ++reopened;
          }
          a.Next = now + std::chrono::seconds(8);
          break;
        }
      }
    }
    std::this_thread::sleep_for(milliseconds(100));
  }
  std::printf("attackers: %zu connections held, %ld cut by the server and opened again\n", attackers.size(), reopened);
  return 0;
}

// --- The probe ---

// How long the game waits for a reply.
constexpr milliseconds kReplyWait{2500};

// Waits until the socket is ready for `events` or the deadline passes.
bool WaitFor(int s, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{s, events, 0};
    const int n = poll(&p, 1, int(left));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

// A connection to the server from 127.0.0.1, or -1 with the reason in `why`.
int ConnectProbe(int port, Clock::time_point deadline, std::string& why) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
    why = "connect failed";
    close(s);
    return -1;
  }
  int error = 0;
  socklen_t size = sizeof error;
  if (!WaitFor(s, POLLOUT, deadline)) {
    why = "connect timed out";
  } else if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
    why = "connect failed";
  } else {
    return s;
  }
  close(s);
  return -1;
}

// Sends a check and reads its reply; the status, or 0 with the reason in `why`. What follows
// the reply stays in `buffer`; `closing` says the server will close the connection after it.
int Exchange(int s, std::string& buffer, Clock::time_point deadline, std::string& why, bool& closing) {
  size_t sent = 0;
  while (sent < kCheck.size()) {
    const ssize_t n = send(s, kCheck.data() + sent, kCheck.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(s, POLLOUT, deadline)) return why = "send timed out", 0;
    } else {
      return why = "closed before the request", 0;
    }
  }
  size_t headEnd = std::string::npos;
  size_t bodyLength = 0;
  int status = 0;
  char chunk[4096];
  for (;;) {
    if (headEnd == std::string::npos && (headEnd = buffer.find("\r\n\r\n")) != std::string::npos) {
      std::string head = buffer.substr(0, headEnd);
      std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return char(std::tolower(c)); });
      status = head.compare(0, 9, "http/1.1 ") == 0 ? std::atoi(head.c_str() + 9) : -1;
      const size_t length = head.find("\r\ncontent-length:");
      bodyLength = length == std::string::npos ? 0 : size_t(std::atol(head.c_str() + length + 17));
      closing = head.find("\r\nconnection: close") != std::string::npos;
      headEnd += 4;
    }
    if (headEnd != std::string::npos && buffer.size() >= headEnd + bodyLength) {
      buffer.erase(0, headEnd + bodyLength);
      if (status < 0) why = "not an HTTP/1.1 reply";
      return std::max(status, 0);
    }
    if (!WaitFor(s, POLLIN, deadline)) return why = "no reply in time", 0;
    const ssize_t n = recv(s, chunk, sizeof chunk, 0);
    if (n > 0) {
      buffer.append(chunk, size_t(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      return why = headEnd == std::string::npos && buffer.empty() ? "closed without a reply" : "reply cut short", 0;
    }
  }
}

class Tally {
 public:
  explicit Tally(const char* name) : name_(name) {}
  void Count(int status, const std::string& why, Clock::duration took) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_;
    slowest_ = std::max(slowest_, took);
    if (status == 200) return;
    ++failures_[status != 0 ? "status " + std::to_string(status) : why];
  }
  void Print() const {
    long failed = 0;
    std::string reasons;
    for (const auto& [why, count] : failures_) {
      failed += count;
      reasons += (reasons.empty() ? " (" : ", ") + std::to_string(count) + " " + why;
    }
    if (!reasons.empty()) reasons += ")";
    std::printf("probe %s: %ld requests, %ld failed, slowest %.1f ms%s\n", name_, requests_, failed,
                std::chrono::duration<double, std::milli>(slowest_).count(), reasons.c_str());
  }

 private:
  const char* name_;
  std::mutex mutex_;
  long requests_ = 0;
  Clock::duration slowest_{};
  std::map<std::string, long> failures_;
};

// A check on a connection of its own every `period`, sent `delay` after the connection is
// opened; the reply is waited for kReplyWait from the send. Workers take the slots in turn,
// enough of them that a slot never waits for a worker.
void FreshChecks(int port, milliseconds period, milliseconds delay, Clock::time_point end, Tally& tally) {
  const int workers = int((delay + kReplyWait) / period) + 2;
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w)
    threads.emplace_back([&, w] {
      for (long slot = w;; slot += workers) {
        const Clock::time_point at = start + period * slot;
        if (at >= end) return;
        std::this_thread::sleep_until(at);
        std::string why;
        int status = 0;
        const int s = ConnectProbe(port, at + delay + kReplyWait, why);
        Clock::time_point sent = at + delay;
        if (s >= 0) {
          std::this_thread::sleep_until(sent);
          sent = std::max(sent, Clock::now());
          std::string buffer;
          bool closing = false;
          status = Exchange(s, buffer, sent + kReplyWait, why, closing);
          close(s);
        }
        tally.Count(status, why, Clock::now() - sent);
      }
    });
  for (std::thread& t : threads) t.join();
}

// Checks on one kept-alive connection after idle gaps from 5 ms to 1 s, in turn. A
// connection the server said it would close is opened again; one it closed unannounced is a
// failure.
void KeptAliveChecks(int port, Clock::time_point end, Tally& tally) {
  const int gaps[] = {5, 10, 20, 50, 100, 200, 500, 1000};
  int s = -1;
  std::string buffer;
  for (size_t i = 0; Clock::now() < end; ++i) {
    std::string why;
    int status = 0;
    const Clock::time_point sent = Clock::now();
    if (s < 0) {
      s = ConnectProbe(port, sent + kReplyWait, why);
      buffer.clear();
    }
    bool closing = false;
    if (s >= 0) status = Exchange(s, buffer, sent + kReplyWait, why, closing);
    tally.Count(status, why, Clock::now() - sent);
    if (s >= 0 && (status == 0 || closing)) {
      close(s);
      s = -1;
    }
    std::this_thread::sleep_for(milliseconds(gaps[i % std::size(gaps)]));
  }
  if (s >= 0) close(s);
}

int Probe(int port, int seconds) {
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  Tally fresh("fresh"), delayed("delayed"), kept("kept-alive");
  std::thread a([&] { FreshChecks(port, milliseconds(100), milliseconds(0), end, fresh); });
  std::thread b([&] { FreshChecks(port, milliseconds(100), milliseconds(200), end, delayed); });
  KeptAliveChecks(port, end, kept);
  a.join();
  b.join();
  fresh.Print();
  delayed.Print();
  kept.Print();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  RaiseDescriptorLimit();
  if (argc == 4 && std::string(argv[1]) == "probe") return Probe(std::atoi(argv[2]), std::atoi(argv[3]));
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr,
                 "usage: score_attackers PORT IDLE SLOWLORIS SLOW_READERS SECONDS [HALF_HEADS]\n"
                 "       score_attackers probe PORT SECONDS\n");
    return 2;
  }
  const int counts[4] = {std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argc == 7 ? std::atoi(argv[6]) : 0};
  return Attack(std::atoi(argv[1]), counts, std::atoi(argv[5]));
}
