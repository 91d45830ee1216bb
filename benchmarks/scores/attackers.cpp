// The attackers of the score server's attack run, from 127.0.0.2 to 127.0.0.254: connections
// that stay idle, slowloris connections that send a byte of their head every second, and
// readers that ask for the page again and again but take only 64 KiB every 8 seconds. Every
// connection the server cuts is opened again, for as long as the run lasts.
//
//   score_attackers PORT IDLE SLOWLORIS SLOW_READERS SECONDS
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum class Kind { Idle, Slowloris, SlowReader };

struct Attacker {
  Kind What;
  std::string Source;
  int Socket = -1;
  size_t Sent = 0;  // of a slowloris head
  Clock::time_point Next{};
};

const std::string kSlowHead = "GET /cgi/version.pl?version&prg=Zarovel HTTP/1.1\r\nHost: x\r\n";

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: score_attackers PORT IDLE SLOWLORIS SLOW_READERS SECONDS\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);

  std::vector<Attacker> attackers;
  const int counts[3] = {std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4])};
  for (int kind = 0; kind < 3; ++kind)
    for (int i = 0; i < counts[kind]; ++i)
      attackers.push_back({Kind(kind), "127.0.0." + std::to_string(2 + attackers.size() % 253)});
  const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[5]));
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
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::printf("attackers: %zu connections held, %ld cut by the server and opened again\n", attackers.size(), reopened);
  return 0;
}
