#include "ConnectionTable.h"

#include <vector>

#include "Log.h"

namespace scores {

ConnectionTable::ConnectionTable(size_t maxConnections, size_t maxPerKey)
    : max_connections_(maxConnections < 1 ? 1 : maxConnections), max_per_key_(maxPerKey < 1 ? 1 : maxPerKey) {}

bool ConnectionTable::Admit(TableConnection* connection, std::weak_ptr<TableConnection> handle, const std::string& key,
                            bool exempt) {
  std::vector<std::pair<std::weak_ptr<TableConnection>, std::string>> closing;
  bool admitted = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto evict = [&](TableConnection* victim) {
      if (victim == nullptr) return false;
      std::string victimKey = entries_.at(victim).Key;
      closing.emplace_back(Retire(victim), std::move(victimKey));
      ++evictions_;
      return true;
    };
    const auto own = keys_.find(key);
    const bool pressure = Live() > max_connections_ / 2;
    if (!exempt && pressure && own != keys_.end() && own->second.Count >= max_per_key_)
      admitted = evict(OwnVictim(key));
    if (admitted && Live() >= max_connections_) admitted = evict(FairShareVictim());
    if (admitted) {
      Entry& entry = entries_[connection];
      entry.Handle = std::move(handle);
      entry.Key = key;
      entry.Exempt = exempt;
      entry.Order = next_order_++;
      KeyState& state = keys_[key];
      state.Exempt = exempt;
      state.Evictable.emplace(Rank{false, entry.Order}, connection);
      Recount(state, key, state.Count + 1);
    } else {
      ++refusals_;
    }
  }
  for (const auto& [weak, victimKey] : closing) {
    LogConnection(victimKey, "closed to admit a new connection");
    if (const auto victim = weak.lock()) victim->CloseSoon();
  }
  return admitted;
}

void ConnectionTable::SetPhase(TableConnection* connection, Phase phase) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = entries_.find(connection);
  if (it == entries_.end() || it->second.Closing || it->second.Now == phase) return;
  Entry& entry = it->second;
  KeyState& state = keys_.at(entry.Key);
  const Rank rank{entry.Proven, entry.Order};
  if (phase == Phase::Serving)
    state.Evictable.erase(rank);
  else
    state.Evictable.emplace(rank, connection);
  entry.Now = phase;
}

void ConnectionTable::Replied(TableConnection* connection, int status) {
  if (status < 200 || status >= 400) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = entries_.find(connection);
  if (it == entries_.end() || it->second.Closing || it->second.Proven) return;
  Entry& entry = it->second;
  KeyState& state = keys_.at(entry.Key);
  if (state.Evictable.erase(Rank{false, entry.Order}) != 0) state.Evictable.emplace(Rank{true, entry.Order}, connection);
  entry.Proven = true;
}

void ConnectionTable::Leave(TableConnection* connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = entries_.find(connection);
  if (it == entries_.end()) return;
  if (!it->second.Closing) {
    Remove(connection);
    return;
  }
  --closing_;
  entries_.erase(it);
}

void ConnectionTable::CloseUnserved() {
  std::vector<std::weak_ptr<TableConnection>> closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [connection, entry] : entries_)
      if (!entry.Closing && entry.Now != Phase::Serving) closing.push_back(entry.Handle);
  }
  for (const auto& weak : closing)
    if (const auto connection = weak.lock()) connection->CloseSoon();
}

void ConnectionTable::SetMaxConnections(size_t maxConnections) {
  std::lock_guard<std::mutex> lock(mutex_);
  max_connections_ = maxConnections < 1 ? 1 : maxConnections;
}

size_t ConnectionTable::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return Live();
}

size_t ConnectionTable::Closing() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closing_;
}

size_t ConnectionTable::MaxConnections() {
  std::lock_guard<std::mutex> lock(mutex_);
  return max_connections_;
}

uint64_t ConnectionTable::Evictions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return evictions_;
}

uint64_t ConnectionTable::Refusals() {
  std::lock_guard<std::mutex> lock(mutex_);
  return refusals_;
}

TableConnection* ConnectionTable::OwnVictim(const std::string& key) const {
  const auto it = keys_.find(key);
  if (it == keys_.end() || it->second.Evictable.empty()) return nullptr;
  return it->second.Evictable.begin()->second;
}

TableConnection* ConnectionTable::FairShareVictim() const {
  for (auto it = by_count_.rbegin(); it != by_count_.rend(); ++it)
    if (TableConnection* victim = OwnVictim(it->second)) return victim;
  // Only the trusted proxies' connections are left to make room: their oldest that waits.
  TableConnection* oldest = nullptr;
  uint64_t oldestOrder = UINT64_MAX;
  for (const auto& [key, state] : keys_) {
    if (!state.Exempt || state.Evictable.empty()) continue;
    const auto& [rank, connection] = *state.Evictable.begin();
    if (rank.second < oldestOrder) {
      oldest = connection;
      oldestOrder = rank.second;
    }
  }
  return oldest;
}

std::weak_ptr<TableConnection> ConnectionTable::Retire(TableConnection* connection) {
  Entry& entry = entries_.at(connection);
  Uncount(entry);
  entry.Closing = true;
  ++closing_;
  return entry.Handle;
}

std::weak_ptr<TableConnection> ConnectionTable::Remove(TableConnection* connection) {
  const auto it = entries_.find(connection);
  std::weak_ptr<TableConnection> handle = std::move(it->second.Handle);
  Uncount(it->second);
  entries_.erase(it);
  return handle;
}

void ConnectionTable::Uncount(const Entry& entry) {
  const auto state = keys_.find(entry.Key);
  state->second.Evictable.erase(Rank{entry.Proven, entry.Order});
  if (state->second.Count == 1) {
    if (!state->second.Exempt) by_count_.erase({1, entry.Key});
    keys_.erase(state);
  } else {
    Recount(state->second, entry.Key, state->second.Count - 1);
  }
}

void ConnectionTable::Recount(KeyState& state, const std::string& key, size_t count) {
  if (!state.Exempt) {
    if (state.Count > 0) by_count_.erase({state.Count, key});
    by_count_.emplace(count, key);
  }
  state.Count = count;
}

}  // namespace scores
