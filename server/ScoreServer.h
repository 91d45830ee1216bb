// The score server: the check request, the score submission and the world score page, all
// GET requests to /cgi/version.pl told apart by their query.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Options.h"
#include "RateLimiter.h"
#include "Store.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace scores {

// How long a token of a check reply stays valid.
inline constexpr int64_t kTokenLifetimeSeconds = 600;
// How often expired tokens are deleted from the store.
inline constexpr int kPurgeEverySeconds = 60;
// How long a made world page is served again before it is made anew. A record stored by
// this process shows at once (it drops the page); one stored by another process sharing the
// store, within this time.
inline constexpr std::chrono::milliseconds kPageFreshFor{1000};

// A new random token: kTokenLength characters of the score alphabet (100 bits).
std::string NewToken();

class ScoreServer {
 public:
  ScoreServer(ScoreStore& store, const ServerOptions& options);
  ~ScoreServer();
  ScoreServer(const ScoreServer&) = delete;
  ScoreServer& operator=(const ScoreServer&) = delete;

  // Opens the listening socket; the port it listens on (useful with port 0), or -1.
  int Bind();
  // Serves until Stop() is called; requests under way are finished first.
  void Serve();
  // May be called from any thread, before or during Serve().
  void Stop();

 private:
  class Http;

  void Check(httplib::Response& res);
  void Submit(const httplib::Request& req, httplib::Response& res);
  void Page(const httplib::Request& req, httplib::Response& res);
  // The world page, made anew when the last one is older than kPageFreshFor or dropped.
  std::shared_ptr<const std::string> WorldPage();
  void PurgeLoop();

  ScoreStore& store_;
  ServerOptions options_;
  RateLimiter limiter_;
  std::unique_ptr<Http> http_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> serving_{false};
  std::mutex page_mutex_;
  std::shared_ptr<const std::string> page_;
  std::chrono::steady_clock::time_point page_made_{};     // when its records were read
  std::chrono::steady_clock::time_point page_dropped_{};  // when this process last stored a record
  std::mutex purge_mutex_;
  std::condition_variable purge_wake_;
  std::thread purger_;
};

}  // namespace scores
