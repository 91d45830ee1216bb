#include "RateLimiter.h"

#include <algorithm>
#include <cmath>

namespace scores {

bool RateLimiter::Allow(const std::string& address, Clock::time_point now, int& retryAfter) {
  retryAfter = 0;
  if (per_minute_ <= 0) return true;
  const double perSecond = per_minute_ / 60.0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (buckets_.size() >= kPruneAt) Prune(now);
  auto [it, added] = buckets_.try_emplace(address, Bucket{double(per_minute_), now});
  Bucket& bucket = it->second;
  if (!added) {
    const double elapsed = std::chrono::duration<double>(now - bucket.Updated).count();
    bucket.Tokens = std::min(double(per_minute_), bucket.Tokens + elapsed * perSecond);
    bucket.Updated = now;
  }
  if (bucket.Tokens >= 1.0) {
    bucket.Tokens -= 1.0;
    return true;
  }
  retryAfter = int(std::ceil((1.0 - bucket.Tokens) / perSecond));
  return false;
}

void RateLimiter::Prune(Clock::time_point now) {
  const double perSecond = per_minute_ / 60.0;
  for (auto it = buckets_.begin(); it != buckets_.end();) {
    const double elapsed = std::chrono::duration<double>(now - it->second.Updated).count();
    if (it->second.Tokens + elapsed * perSecond >= per_minute_)
      it = buckets_.erase(it);
    else
      ++it;
  }
}

}  // namespace scores
