// The open connections, counted in all and per client address, with the idle ones in the
// order they became idle: a connection over a cap closes the oldest idle one (of its
// address, else of all) instead of being turned away, so a flood of idle connections never
// locks other clients out.
#pragma once
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace scores {

// What the table can ask a connection to do: close, from whatever thread the table runs on.
class TableConnection {
 public:
  virtual ~TableConnection() = default;
  virtual void CloseSoon() = 0;
};

class ConnectionTable {
 public:
  enum class Phase {
    Idle,     // waiting for a request to begin
    Reading,  // a request's head has begun
    Serving,  // a request is being answered
  };

  ConnectionTable(size_t maxConnections, size_t maxPerAddress, const std::vector<std::string>& uncapped);

  // Counts a new connection in; false when it is over a cap and no idle connection can make
  // room (it is then to be closed). Closes the idle connections that made room.
  bool Admit(TableConnection* connection, std::weak_ptr<TableConnection> handle, const std::string& address);
  void SetPhase(TableConnection* connection, Phase phase);
  // The connection is gone; nothing happens when the table already let it go.
  void Leave(TableConnection* connection);
  // The server stops: closes every connection that is not answering a request.
  void CloseUnserved();
  size_t Count();

 private:
  struct Entry {
    std::weak_ptr<TableConnection> Handle;
    std::string Address;
    Phase Now = Phase::Idle;
    std::list<TableConnection*>::iterator IdlePlace;
  };
  // Removes an entry and lets its connection go; the caller closes it outside the lock.
  std::weak_ptr<TableConnection> Evict(TableConnection* connection);
  // The oldest idle connection, of `address` when it is not empty; null when none.
  TableConnection* OldestIdle(const std::string& address) const;

  const size_t max_connections_;
  const size_t max_per_address_;
  const std::unordered_set<std::string> uncapped_;
  std::mutex mutex_;
  std::unordered_map<TableConnection*, Entry> entries_;
  std::unordered_map<std::string, size_t> per_address_;
  std::list<TableConnection*> idle_;  // oldest first
};

}  // namespace scores
