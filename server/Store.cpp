// Picks the store a --db value names, and the bound on the token table both stores keep.
#include "Store.h"

#include <algorithm>

#include "PostgresStore.h"
#include "SqliteStore.h"

namespace scores {

bool IsPostgresUri(std::string_view db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ScoreStore> OpenStore(const std::string& db, int connections, int64_t maxTokens) {
  if (IsPostgresUri(db)) return OpenPostgresStore(db, connections, maxTokens);
  return OpenSqliteStore(db, connections, maxTokens);
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
  busy_ = false;
}

int64_t TokenBound::Excess(int64_t count) const {
  if (max_ == 0 || count <= max_) return 0;
  return std::min(count, count - max_ + batch_);
}

void TokenBound::Purged(int64_t count) { counted_ -= count; }

}  // namespace scores
