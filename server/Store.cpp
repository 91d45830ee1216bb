// Picks the store a --db value names, and the bound on the token table both stores keep:
// how often it is counted, and which keys lose tokens when it is full.
#include "Store.h"

#include <algorithm>
#include <thread>

#include "PostgresStore.h"
#include "SqliteStore.h"

namespace scores {

bool IsPostgresUri(std::string_view db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ScoreStore> OpenStore(const std::string& db, const StoreLimits& limits) {
  if (IsPostgresUri(db)) return OpenPostgresStore(db, limits);
  return OpenSqliteStore(db, limits);
}

std::unique_ptr<ScoreStore> OpenStore(const std::string& db, int connections, int64_t maxTokens) {
  StoreLimits limits;
  limits.Connections = connections;
  limits.MaxTokens = maxTokens;
  return OpenStore(db, limits);
}

// A batch of a hundredth of the bound keeps the table within 1 % of it; at most 500, so one
// trim is a short delete. The table is taken as full at first, so the first token added
// counts it.
TokenBound::TokenBound(int64_t maxTokens)
    : max_(std::max<int64_t>(maxTokens, 0)), batch_(std::clamp<int64_t>(max_ / 100, 1, 500)), counted_(max_) {}

void TokenBound::Added(int64_t tokens, const std::function<int64_t()>& countAndTrim) {
  if (max_ == 0) return;
  const int64_t added = added_.fetch_add(tokens) + tokens;
  if (counted_.load() + added <= max_ && added < batch_) return;
  if (busy_.exchange(true)) return;  // another caller is counting
  int64_t remaining = 0;
  try {
    remaining = countAndTrim();
  } catch (...) {
    busy_ = false;
    throw;
  }
  counted_ = remaining;
  added_ = 0;
  counted_once_ = true;
  busy_ = false;
}

int64_t TokenBound::Estimate() const {
  if (!counted_once_) return -1;
  return std::max<int64_t>(counted_.load() + added_.load(), 0);
}

std::vector<KeyTokens> TokenBound::KeysToTrim(int64_t needed,
                                              const std::function<std::vector<KeyTokens>(int64_t)>& heldOver) {
  std::vector<KeyTokens> trims;
  int64_t level = 0;
  for (int64_t floor = last_level_ / 2;; floor = 0) {
    trims = KeyTrims(heldOver(floor), floor, needed, &level);
    if (!trims.empty() || floor == 0) break;
  }
  last_level_ = level;
  return trims;
}

int64_t TokenBound::Excess(int64_t count) const {
  if (max_ == 0 || count <= max_) return 0;
  return std::min(count, count - max_ + batch_);
}

void TokenBound::Purged(int64_t count) { counted_ -= count; }

int64_t DeleteInBatches(int64_t wanted, int64_t batch, const std::function<int64_t(int64_t)>& deleteSome) {
  int64_t total = 0;
  while (total < wanted) {
    const int64_t deleted = deleteSome(std::min(batch, wanted - total));
    if (deleted == 0) break;
    total += deleted;
    std::this_thread::yield();
  }
  return total;
}

std::vector<KeyTokens> KeyTrims(std::vector<KeyTokens> held, int64_t floor, int64_t needed, int64_t* level) {
  if (needed <= 0) return {};
  std::sort(held.begin(), held.end(), [](const KeyTokens& a, const KeyTokens& b) { return a.Count > b.Count; });
  // What deleting every key's tokens beyond `level` frees; it shrinks as the level rises.
  auto freed = [&held](int64_t at) {
    int64_t total = 0;
    for (const KeyTokens& k : held) {
      if (k.Count <= at) break;
      total += k.Count - at;
    }
    return total;
  };
  if (freed(floor) < needed) {
    if (floor > 0) return {};
    needed = freed(0);  // everything there is
    if (needed == 0) return {};
  }
  // The highest level that frees enough: freed(level) >= needed > freed(level + 1).
  int64_t low = floor, high = held.empty() ? floor : held.front().Count;
  while (low < high) {
    const int64_t middle = low + (high - low + 1) / 2;
    if (freed(middle) >= needed)
      low = middle;
    else
      high = middle - 1;
  }
  if (level) *level = low;
  // Each key down to level + 1, and then the rest of what is needed one token each from
  // the keys left at level + 1, those that held the most first.
  int64_t rest = needed - freed(low + 1);
  std::vector<KeyTokens> trims;
  for (const KeyTokens& k : held) {
    if (k.Count <= low) break;
    int64_t lose = std::max<int64_t>(k.Count - (low + 1), 0);
    if (rest > 0) {
      ++lose;
      --rest;
    }
    trims.push_back({k.Key, lose});
  }
  return trims;
}

}  // namespace scores
