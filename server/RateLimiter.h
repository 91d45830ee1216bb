// A limit on how often one client address may submit scores: a bucket per address that
// holds up to `perMinute` submissions and refills at that many a minute.
#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace scores {

class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;

  // perMinute 0: every request is allowed.
  explicit RateLimiter(int perMinute) : per_minute_(perMinute) {}

  // Takes one submission from the address's bucket; false when it is empty. `retryAfter` is
  // then set to the seconds until the next one is allowed.
  bool Allow(const std::string& address, Clock::time_point now, int& retryAfter);
  bool Allow(const std::string& address, int& retryAfter) { return Allow(address, Clock::now(), retryAfter); }

 private:
  struct Bucket {
    double Tokens;
    Clock::time_point Updated;
  };
  // Forgets buckets that have filled up again, which hold nothing worth keeping.
  void Prune(Clock::time_point now);

  // The addresses kept before full buckets are dropped, so a flood of addresses cannot grow
  // the table without bound.
  static constexpr size_t kPruneAt = 65536;

  const int per_minute_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace scores
