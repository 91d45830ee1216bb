// The score server's HTTP side: an event loop on a few threads that accepts connections,
// reads each request's head within its limits and before its deadline, refuses what is
// malformed, and writes exactly the replies handed to it. A connection waiting for its next
// request costs a socket and a few KiB, never a thread.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Log.h"

namespace scores {

// The longest request line (method, target, version) accepted: 414 beyond it.
inline constexpr size_t kMaxRequestLine = 4096;
// The longest request head (request line and headers) accepted: 431 beyond it.
inline constexpr size_t kMaxRequestHead = 16384;

struct HttpLimits {
  // The threads of the event loop, each with a loop of its own: connections need little, so
  // one a core, two to four.
  int Threads = int(std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
  // A new connection's first request must begin within this time.
  std::chrono::milliseconds FirstByte{10000};
  // A request's head must be complete within this time of its first byte.
  std::chrono::milliseconds Head{10000};
  // A kept-alive connection waits this long for its next request.
  std::chrono::milliseconds KeepAlive{5000};
  // A reply must be taken within ReplyBase plus its size at ReplyBytesPerSecond; a reader
  // slower than that is cut, however steadily it reads.
  std::chrono::milliseconds ReplyBase{10000};
  size_t ReplyBytesPerSecond = 16384;
  // Open connections in all (never more than the descriptor limit allows) and per client
  // key under pressure; ConnectionTable says which connection makes room at a cap.
  int MaxConnections = 4096;
  int MaxConnectionsPerAddress = 32;
  // How many leading bits of an IPv6 peer make its client key.
  int Ipv6Prefix = 64;
  // Peers exempt from the per-key cap and the fair share: the trusted proxies, which speak
  // for many clients.
  std::vector<std::string> Uncapped;
  size_t MaxRequestsPerConnection = 1000;
};

// A request that passed the HTTP checks: a GET or HEAD without a body.
struct HttpRequest {
  std::string Method;
  std::string Target;  // the path and the query (an absolute-form target without its scheme and host)
  std::string Peer;    // the connection's peer address
  std::vector<std::string> ForwardedFor;  // the X-Forwarded-For headers, in order
  LogClock::time_point Start;
};

struct HttpReply {
  int Status = 200;
  std::string ContentType = "text/plain; charset=utf-8";
  std::vector<std::pair<std::string, std::string>> Headers;
  // Shared, so one page served to many clients at once is held once.
  std::shared_ptr<const std::string> Body;
  // For the request's log line: the client the reply was made for (empty: the peer), and
  // why the request was refused or failed.
  std::string Client;
  std::string Note;
};

using HttpRespond = std::function<void(HttpReply)>;
// Called on the event loop for each request; answers by calling `respond` once, from any
// thread. Work that waits (a store) belongs on another thread, so the loop never waits.
using HttpHandler = std::function<void(HttpRequest, HttpRespond)>;

class HttpServer {
 public:
  HttpServer(HttpLimits limits, HttpHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Raises the descriptor limit, lowers the connection cap to fit it, and opens the
  // listening socket; the port it listens on (useful with port 0), or -1.
  int Bind(const std::string& host, int port);
  // The connection cap in effect (after Bind, what the descriptors allow).
  size_t MaxConnections() const;
  // Open connections now, and connections closed to admit others since the start.
  size_t Connections() const;
  uint64_t Evictions() const;
  // Runs the event loops until Stop() and the requests under way end.
  void Run();
  // From any thread: no new connections, idle ones and unfinished heads are closed, and
  // the requests being answered are finished.
  void Stop();

  // The loop's state, which the connections share.
  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace scores
