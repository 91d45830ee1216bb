// A bounded set of database connections shared by the server's threads: a thread takes one
// for the length of one store operation and gives it back. Connections are opened when first
// needed; one that broke is dropped instead of given back, and a new one replaces it later.
// When one broke, the idle ones may be dropped too, since they likely broke the same way.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace scores {

template <class Connection>
class ConnectionPool {
 public:
  using Opener = std::function<std::unique_ptr<Connection>()>;

  ConnectionPool(int size, Opener open) : size_(size < 1 ? 1 : size), open_(std::move(open)) {}

  class Lease {
   public:
    Lease(ConnectionPool& pool, std::unique_ptr<Connection> connection)
        : pool_(&pool), connection_(std::move(connection)) {}
    Lease(Lease&& other) noexcept : pool_(other.pool_), connection_(std::move(other.connection_)) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Lease& operator=(Lease&&) = delete;
    ~Lease() {
      if (connection_) pool_->Return(std::move(connection_));
    }
    Connection& operator*() { return *connection_; }
    Connection* operator->() { return connection_.get(); }
    // The connection is unusable: it is closed instead of going back to the pool.
    void Discard() {
      connection_.reset();
      pool_->Forget();
    }

   private:
    ConnectionPool* pool_;
    std::unique_ptr<Connection> connection_;
  };

  // Closes the connections nobody holds, so the next operations open new ones.
  void DropIdle() {
    std::vector<std::unique_ptr<Connection>> dropped;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dropped.swap(idle_);
      open_count_ -= int(dropped.size());
    }
    // Closed outside the lock: closing a network connection may take a while.
  }

  // Waits until a connection is free (or may be opened) and lends it. Waiting threads are
  // served in the order they came, so none waits long behind others that keep coming back.
  // An opening that fails throws, and the place stays free for the next attempt.
  Lease Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    std::unique_ptr<Connection> connection;
    if (waiters_.empty() && !idle_.empty()) {
      connection = std::move(idle_.back());
      idle_.pop_back();
    } else if (waiters_.empty() && open_count_ < size_) {
      ++open_count_;
    } else {
      Waiter waiter;
      waiters_.push_back(&waiter);
      waiter.Wake.wait(lock, [&waiter] { return waiter.Handed || waiter.MayOpen; });
      connection = std::move(waiter.Handed);
    }
    lock.unlock();
    if (connection) return Lease(*this, std::move(connection));
    try {
      return Lease(*this, open_());
    } catch (...) {
      Forget();
      throw;
    }
  }

 private:
  struct Waiter {
    std::condition_variable Wake;
    std::unique_ptr<Connection> Handed;  // a connection given back, now this waiter's
    bool MayOpen = false;                // a place freed: this waiter opens a new connection
  };

  // A connection given back goes straight to the longest waiting thread.
  void Return(std::unique_ptr<Connection> connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiters_.empty()) {
      idle_.push_back(std::move(connection));
      return;
    }
    Waiter* first = waiters_.front();
    waiters_.pop_front();
    first->Handed = std::move(connection);
    first->Wake.notify_one();
  }
  // A connection closed (or never opened): its place goes to the longest waiting thread.
  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiters_.empty()) {
      --open_count_;
      return;
    }
    Waiter* first = waiters_.front();
    waiters_.pop_front();
    first->MayOpen = true;
    first->Wake.notify_one();
  }

  const int size_;
  Opener open_;
  std::mutex mutex_;
  std::deque<Waiter*> waiters_;
  std::vector<std::unique_ptr<Connection>> idle_;
  int open_count_ = 0;
};

}  // namespace scores
