#include "ConnectionTable.h"

#include "Log.h"

namespace scores {

ConnectionTable::ConnectionTable(size_t maxConnections, size_t maxPerAddress, const std::vector<std::string>& uncapped)
    : max_connections_(maxConnections), max_per_address_(maxPerAddress), uncapped_(uncapped.begin(), uncapped.end()) {}

bool ConnectionTable::Admit(TableConnection* connection, std::weak_ptr<TableConnection> handle,
                            const std::string& address) {
  std::vector<std::weak_ptr<TableConnection>> closing;
  std::vector<std::string> closingAddresses;
  bool admitted = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool capped = uncapped_.count(address) == 0;
    const auto count = per_address_.find(address);
    if (capped && count != per_address_.end() && count->second >= max_per_address_) {
      TableConnection* oldest = OldestIdle(address);
      if (oldest != nullptr) {
        closingAddresses.push_back(address);
        closing.push_back(Evict(oldest));
      } else {
        admitted = false;
      }
    }
    if (admitted && entries_.size() >= max_connections_) {
      TableConnection* oldest = OldestIdle({});
      if (oldest != nullptr) {
        closingAddresses.push_back(entries_.at(oldest).Address);
        closing.push_back(Evict(oldest));
      } else {
        admitted = false;
      }
    }
    if (admitted) {
      Entry& entry = entries_[connection];
      entry.Handle = std::move(handle);
      entry.Address = address;
      entry.Now = Phase::Idle;
      entry.IdlePlace = idle_.insert(idle_.end(), connection);
      ++per_address_[address];
    }
  }
  for (size_t i = 0; i < closing.size(); ++i) {
    LogConnection(closingAddresses[i], "idle, closed to admit a new connection");
    if (const auto victim = closing[i].lock()) victim->CloseSoon();
  }
  return admitted;
}

void ConnectionTable::SetPhase(TableConnection* connection, Phase phase) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = entries_.find(connection);
  if (it == entries_.end() || it->second.Now == phase) return;
  Entry& entry = it->second;
  if (entry.Now == Phase::Idle) idle_.erase(entry.IdlePlace);
  if (phase == Phase::Idle) entry.IdlePlace = idle_.insert(idle_.end(), connection);
  entry.Now = phase;
}

void ConnectionTable::Leave(TableConnection* connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (entries_.count(connection) != 0) Evict(connection);
}

void ConnectionTable::CloseUnserved() {
  std::vector<std::weak_ptr<TableConnection>> closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [connection, entry] : entries_)
      if (entry.Now != Phase::Serving) closing.push_back(entry.Handle);
  }
  for (const auto& weak : closing)
    if (const auto connection = weak.lock()) connection->CloseSoon();
}

size_t ConnectionTable::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::weak_ptr<TableConnection> ConnectionTable::Evict(TableConnection* connection) {
  const auto it = entries_.find(connection);
  std::weak_ptr<TableConnection> handle = std::move(it->second.Handle);
  if (it->second.Now == Phase::Idle) idle_.erase(it->second.IdlePlace);
  const auto count = per_address_.find(it->second.Address);
  if (--count->second == 0) per_address_.erase(count);
  entries_.erase(it);
  return handle;
}

TableConnection* ConnectionTable::OldestIdle(const std::string& address) const {
  for (TableConnection* connection : idle_)
    if (address.empty() || entries_.at(connection).Address == address) return connection;
  return nullptr;
}

}  // namespace scores
