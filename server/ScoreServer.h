// The score server: the check request, the score submission and the world score page, all
// GET requests to /cgi/version.pl told apart by their query.
#pragma once
#include <atomic>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>

#include "HttpServer.h"
#include "Options.h"
#include "Query.h"
#include "RateLimiter.h"
#include "Store.h"
#include "WriteBatcher.h"

namespace scores {

// How long a token of a check reply stays valid.
inline constexpr int64_t kTokenLifetimeSeconds = 600;
// How often expired tokens are deleted from the store.
inline constexpr int kPurgeEverySeconds = 60;
// How long a made world page is served again before it is made anew. A record stored by
// this process shows at once (it drops the page); one stored by another process sharing the
// store, within this time.
inline constexpr std::chrono::milliseconds kPageFreshFor{1000};

// The characters of a token that tell when it was made; the rest are random.
inline constexpr size_t kTokenTimeChars = 4;
// A new token: kTokenLength characters of the score alphabet, the first kTokenTimeChars
// counting seconds and the others random (80 bits, past any guessing).
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
  // The limits in effect, for the start line: "max-connections 4096, ...".
  std::string Limits() const;
  // May be called from any thread, before or during Serve().
  void Stop();

 private:
  using Clock = std::chrono::steady_clock;

  // On the event loop: what needs no store is answered at once; checks and submissions go
  // to the write batches, and a page to be made to the threads that read the store.
  void Handle(HttpRequest request, HttpRespond respond);
  // A HEAD check is answered as a GET would be, but makes no token.
  void Check(const std::string& key, bool head, HttpRespond respond);
  void Submit(const Query& query, const std::string& client, const std::string& key, HttpRespond respond);
  void Page(const Query& query, HttpRespond respond);
  // The reply to a submission the store took.
  HttpReply Stored(TokenUse use);
  // Runs a read of the store on its threads; a store failure is answered 503.
  void OnStore(HttpRespond respond, std::function<HttpReply()> work);
  std::string ClientAddress(const HttpRequest& request) const;
  // The minute's line of figures: connections, evictions, refusals and the store's state.
  void LogStats();

  // The world page when it may be served without the store: fresh, or the last one while
  // another request makes the next.
  std::shared_ptr<const std::string> ReadyPage();
  // The world page, made anew by one request at a time when it is stale or dropped. While
  // the store cannot be read, the last page made is served, however old.
  std::shared_ptr<const std::string> WorldPage();
  void PurgeLoop();

  ScoreStore& store_;
  ServerOptions options_;
  std::unordered_set<std::string> trusted_proxies_;  // as NormalAddress writes them
  RateLimiter submissions_;
  RateLimiter checks_;
  HttpServer http_;
  // Page rebuilds wait on the store here; checks and submissions go to it in batches.
  boost::asio::thread_pool store_threads_;
  WriteBatcher writes_;
  std::atomic<bool> stopping_{false};

  std::mutex page_mutex_;
  std::condition_variable page_made_wake_;
  std::shared_ptr<const std::string> page_;
  Clock::time_point page_made_{};     // when its records were read
  Clock::time_point page_dropped_{};  // when this process last stored a record
  Clock::time_point store_failed_until_{};  // the store failed to make the page: until then, the last one
  bool page_making_ = false;

  // Replies refused by a limit and for a failing store, since the start; and what the last
  // stats line counted.
  std::atomic<uint64_t> limited_{0};
  std::atomic<uint64_t> unavailable_{0};
  struct Counted {
    uint64_t Evictions = 0, Limited = 0, Unavailable = 0;
  } counted_;

  std::mutex purge_mutex_;
  std::condition_variable purge_wake_;
  std::thread purger_;
};

}  // namespace scores
