// The open connections, counted in all and per client key. At the cap, a new connection
// evicts one that is not being answered, taken from the client key holding the most
// connections, so a crowd of connections from many addresses costs its own keys their
// connections, never a player's fresh one. Within a key, a connection that never had a 2xx or
// 3xx reply (a half-sent head, an idle socket) goes before one that served its client,
// oldest first. A connection being answered is never evicted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

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

  // `maxPerKey` binds only under pressure: while more than half of `maxConnections` are open.
  ConnectionTable(size_t maxConnections, size_t maxPerKey);

  // Counts a new connection in under its client key; false when it is over a cap and no
  // connection can make room (it is then to be closed). Closes the connection that made room.
  // An `exempt` connection (from a trusted proxy, which speaks for many clients) has no
  // per-key cap and is evicted only when no other connection can go.
  bool Admit(TableConnection* connection, std::weak_ptr<TableConnection> handle, const std::string& key,
             bool exempt = false);
  void SetPhase(TableConnection* connection, Phase phase);
  // A reply was written: a 2xx or 3xx one marks the connection as one that served a client.
  void Replied(TableConnection* connection, int status);
  // The connection is gone; nothing happens when the table already let it go.
  void Leave(TableConnection* connection);
  // The server stops: closes every connection that is not answering a request.
  void CloseUnserved();
  // The cap, lowered once the descriptor limit is known.
  void SetMaxConnections(size_t maxConnections);

  // Open connections, not counting those closed to make room that have not yet finished
  // closing; and those.
  size_t Count();
  size_t Closing();
  size_t MaxConnections();
  // Connections closed to admit others, and newcomers turned away, since the start.
  uint64_t Evictions();
  uint64_t Refusals();

 private:
  // Where a connection stands in its key's eviction order: never proven first, then oldest.
  using Rank = std::pair<bool, uint64_t>;
  struct Entry {
    std::weak_ptr<TableConnection> Handle;
    std::string Key;
    Phase Now = Phase::Idle;
    bool Proven = false;
    bool Exempt = false;
    bool Closing = false;  // closed to make room; its own loop has yet to close it
    uint64_t Order = 0;
  };
  struct KeyState {
    size_t Count = 0;
    bool Exempt = false;
    std::map<Rank, TableConnection*> Evictable;  // those not being answered
  };

  // The connection to close for a newcomer of `key` over the per-key cap, or over the total.
  TableConnection* OwnVictim(const std::string& key) const;
  TableConnection* FairShareVictim() const;
  // Takes a connection out of the counts and lets it go; the caller closes it outside the
  // lock. A retired connection stays listed as closing until it leaves.
  std::weak_ptr<TableConnection> Remove(TableConnection* connection);
  std::weak_ptr<TableConnection> Retire(TableConnection* connection);
  // Takes the entry out of its key's counts and eviction order.
  void Uncount(const Entry& entry);
  size_t Live() const { return entries_.size() - closing_; }
  void Recount(KeyState& state, const std::string& key, size_t count);

  size_t max_connections_;
  const size_t max_per_key_;
  std::mutex mutex_;
  std::unordered_map<TableConnection*, Entry> entries_;
  std::unordered_map<std::string, KeyState> keys_;
  std::set<std::pair<size_t, std::string>> by_count_;  // the keys not exempt, fewest first
  size_t closing_ = 0;
  uint64_t next_order_ = 0;
  uint64_t evictions_ = 0;
  uint64_t refusals_ = 0;
};

}  // namespace scores
