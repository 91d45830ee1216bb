// The SQLite store. Every statement with data in it is prepared once per connection and bound.
// Readers run side by side (write-ahead log); this process's writes wait in one queue, first
// come first served, and those waiting go together in one transaction, so they never wait on
// one another inside SQLite; other processes on the same file are waited for by SQLite's
// busy timeout. The store fails closed: a record is acknowledged only once it is committed
// to the file the path names, which the server opens the next time it starts. The log is
// copied into the file and cut short on a thread of the store's own, so it stays small
// under a flood of checks, and a full disk fails requests until room is made.
#include "SqliteStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "ConnectionPool.h"

namespace scores {
namespace {

// The schema, one list of statements per version; a store at version v runs the lists after v.
const std::vector<std::vector<const char*>> kMigrations = {
    {
        // Version 1: the records and the tokens handed out by check replies.
        "CREATE TABLE scores ("
        " id INTEGER PRIMARY KEY,"
        " name TEXT NOT NULL,"
        " score INTEGER NOT NULL,"
        " options_name TEXT NOT NULL,"
        " submitted INTEGER NOT NULL,"  // Unix seconds
        " address TEXT NOT NULL)",
        "CREATE INDEX scores_by_rank ON scores (score DESC, id)",
        "CREATE TABLE tokens ("
        " token TEXT PRIMARY KEY,"
        " expires INTEGER NOT NULL,"  // Unix seconds; valid before this
        " used INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID",
        "CREATE INDEX tokens_by_expiry ON tokens (expires)",
    },
    {
        // Version 2: a record keeps the token that made it (NULL for the older ones), so a
        // submission sent again is told apart from a second record; a token keeps the client
        // key that asked for it. Both have defaults: a version 1 process still running on the
        // file keeps storing.
        "ALTER TABLE scores ADD COLUMN token TEXT",
        "CREATE UNIQUE INDEX scores_by_token ON scores (token) WHERE token IS NOT NULL",
        "ALTER TABLE tokens ADD COLUMN client_key TEXT NOT NULL DEFAULT ''",
        // Counts per key, and a key's oldest tokens, for trimming the table when it is full.
        "CREATE INDEX tokens_by_key ON tokens (client_key, expires)",
        // In place of the index by expiry, which every check would pay for as well: the table
        // is in the order of its tokens, whose first characters count seconds, so the minute's
        // purge finds the expired ones first as it reads the table.
        "DROP INDEX tokens_by_expiry",
        "CREATE INDEX tokens_used_by_expiry ON tokens (expires) WHERE used = 1",
    },
};

// Expired tokens (and records beyond the bound) are deleted this many to a transaction, so
// that one batch holds up the writes waiting behind it for about 10 ms at most.
constexpr int64_t kPurgeBatch = 500;
// The log is copied into the file and cut to nothing when it grows past this (passive
// copies never finish while reads go on without a pause), and when no write came for
// kIdleBeforeTruncate. What a log reset by a writer keeps of its length.
constexpr int64_t kLogTruncateBytes = 16 << 20;
constexpr std::chrono::milliseconds kIdleBeforeTruncate{1000};
constexpr int64_t kLogKeptBytes = 2 << 20;
// How long cutting the log waits for the readers of the older log to finish; it holds up this
// process's writes meanwhile. It is tried again at the next occasion.
constexpr int kTruncateWaitMs = 250;
// After a write found the disk full, the room writes wait for: the longest log the store
// lets grow before it cuts it.
constexpr int64_t kRoomToWrite = kLogTruncateBytes;

enum Statement {
  kBegin,
  kCommit,
  kAddToken,
  kUseToken,
  kTokenState,
  kAddRecord,
  kStoredUnder,
  kTop,
  kCount,
  kPurgeBatchEnd,
  kPurge,
  kCountTokens,
  kTrimUsed,
  kHeavyKeys,
  kTrimKey,
  kTrimRecords,
  kStatementCount
};

constexpr std::array<const char*, kStatementCount> kSql = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "INSERT INTO tokens (token, expires, client_key) VALUES (?1, ?2, ?3)",
    "UPDATE tokens SET used = 1 WHERE token = ?1 AND used = 0 AND expires > ?2",
    "SELECT used, expires FROM tokens WHERE token = ?1",
    "INSERT INTO scores (name, score, options_name, submitted, address, token) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
    "SELECT name, score, options_name FROM scores WHERE token = ?1",
    "SELECT name, score, options_name, submitted, address FROM scores ORDER BY score DESC, id LIMIT ?1",
    "SELECT count(*) FROM scores",
    // The purge walks the table in the order of its tokens, a batch at a time from where the
    // last one ended, so it reads the table once however many batches it takes.
    "SELECT max(token) FROM (SELECT token FROM tokens WHERE token > ?3 AND expires <= ?1 ORDER BY token LIMIT ?2)",
    "DELETE FROM tokens WHERE token > ?2 AND token <= ?3 AND expires <= ?1",
    "SELECT count(*) FROM tokens",
    // The used tokens go first when the table is full (they serve only to tell a second use
    // apart), the oldest of them first.
    "DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE used = 1 ORDER BY expires LIMIT ?1)",
    "SELECT client_key, count(*) FROM tokens GROUP BY client_key HAVING count(*) > ?1",
    "DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE client_key = ?1 ORDER BY expires, token LIMIT ?2)",
    // The lowest records, the latest stored among equals.
    "DELETE FROM scores WHERE id IN (SELECT id FROM scores ORDER BY score, id DESC LIMIT ?1)",
};

class Connection {
 public:
  // Only the store's first connection may create the file: a later one that found no file
  // would make an empty one without tables. `busyTimeoutMs`: how long a statement waits for
  // a lock another connection holds.
  Connection(const std::string& path, bool create, int busyTimeoutMs) : busy_timeout_ms_(busyTimeoutMs) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StoreError("cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, busy_timeout_ms_);
    sqlite3_extended_result_codes(db_, 1);
    // The log survives crashes of the program; only a power cut may lose the last commits.
    Exec("PRAGMA journal_mode = WAL");
    Exec("PRAGMA synchronous = NORMAL");
    Exec(("PRAGMA journal_size_limit = " + std::to_string(kLogKeptBytes)).c_str());
    // SQLite would copy the log into the file right after the commit that grew it past its
    // limit, in the request that committed and with the writes waiting behind it; the store
    // does it on a thread of its own instead, so no request waits for the copy and its
    // sync. The hook notes the log's length after each commit, in place of SQLite's own.
    sqlite3_wal_hook(
        db_,
        [](void* self, sqlite3*, const char*, int pages) {
          static_cast<Connection*>(self)->log_pages_ = pages;
          return SQLITE_OK;
        },
        this);
  }
  ~Connection() {
    for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
    sqlite3_close(db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // A statement without data (pragmas and the schema's definitions).
  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw StoreError(std::string("SQLite: ") + message + " in: " + sql);
    }
  }

  void PrepareAll() {
    for (size_t i = 0; i < kSql.size(); ++i)
      if (sqlite3_prepare_v3(db_, kSql[i], -1, SQLITE_PREPARE_PERSISTENT, &statements_[i], nullptr) != SQLITE_OK)
        Fail(kSql[i]);
  }

  // A prepared statement, reset and bound, for one run.
  class Run {
   public:
    Run(Connection& connection, Statement which) : c_(connection), s_(connection.statements_[which]) {}
    ~Run() {
      sqlite3_reset(s_);
      sqlite3_clear_bindings(s_);
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    Run& Bind(int index, std::string_view text) {
      Check(sqlite3_bind_text(s_, index, text.data(), int(text.size()), SQLITE_TRANSIENT));
      return *this;
    }
    Run& Bind(int index, int64_t value) {
      Check(sqlite3_bind_int64(s_, index, value));
      return *this;
    }
    // Steps once: true while a row is there.
    bool Step() {
      const int result = sqlite3_step(s_);
      if (result == SQLITE_ROW) return true;
      if (result == SQLITE_DONE) return false;
      c_.Fail(sqlite3_sql(s_));
    }
    void Done() {
      while (Step()) {
      }
    }
    int64_t Int(int column) const { return sqlite3_column_int64(s_, column); }
    std::string Text(int column) const {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s_, column));
      return text ? std::string(text, size_t(sqlite3_column_bytes(s_, column))) : std::string();
    }
    int Changes() const { return sqlite3_changes(c_.db_); }

   private:
    void Check(int result) {
      if (result != SQLITE_OK) c_.Fail(sqlite3_sql(s_));
    }
    Connection& c_;
    sqlite3_stmt* s_;
  };

  [[noreturn]] void Fail(const char* sql) {
    throw StoreError(std::string("SQLite: ") + sqlite3_errmsg(db_) + " in: " + (sql ? sql : "?"));
  }

  void Begin() { Run(*this, kBegin).Done(); }
  void Commit() { Run(*this, kCommit).Done(); }
  void Rollback() noexcept {
    if (sqlite3_get_autocommit(db_)) return;
    // Also on the connection that migrates, which has no prepared statements; a failure
    // leaves nothing to do, since SQLite ends the transaction itself then.
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  // Whether this connection's last failure was a write that found no room on the disk.
  bool FoundDiskFull() const {
    return (sqlite3_extended_errcode(db_) & 0xff) == SQLITE_FULL || sqlite3_system_errno(db_) == ENOSPC;
  }

  // Whether the write-ahead log grew past SQLite's usual limit with this connection's commit.
  bool LogIsLong() {
    const bool due = log_pages_ >= kCheckpointPages;
    log_pages_ = 0;
    return due;
  }
  // Copies the write-ahead log into the file. Passive: it never waits for, nor holds up,
  // readers and writers, and what it cannot copy yet is copied the next time.
  void Checkpoint() noexcept { sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr); }
  // Copies all of the log into the file and cuts the log to nothing, which needs the readers
  // of the log to finish (new ones read the file); waits for them a short while only, and
  // holds up the writers meanwhile. Whether it was cut.
  bool Truncate() noexcept {
    sqlite3_busy_timeout(db_, kTruncateWaitMs);
    const int result = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db_, busy_timeout_ms_);
    return result == SQLITE_OK;
  }
  // For a migration, which may wait as long as it needs.
  void WaitForever() { sqlite3_busy_timeout(db_, INT_MAX); }

  sqlite3* Db() { return db_; }

 private:
  static constexpr int kCheckpointPages = 1000;
  const int busy_timeout_ms_;
  sqlite3* db_ = nullptr;
  int log_pages_ = 0;  // the log's length after this connection's last commit
  std::array<sqlite3_stmt*, kStatementCount> statements_{};
};

// Runs one statement of the migration with an optional number bound to ?1; the first
// column of its row, when it returns one.
std::optional<int> MigrationStep(Connection& c, const char* sql, std::optional<int> value = std::nullopt) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(c.Db(), sql, -1, &statement, nullptr) != SQLITE_OK) c.Fail(sql);
  if (value) sqlite3_bind_int(statement, 1, *value);
  const int result = sqlite3_step(statement);
  std::optional<int> column;
  if (result == SQLITE_ROW) column = sqlite3_column_int(statement, 0);
  sqlite3_finalize(statement);
  if (result != SQLITE_ROW && result != SQLITE_DONE) c.Fail(sql);
  return column;
}

// Brings the file's schema to the latest version in one write transaction, so two programs
// starting on a new file at once do not both create it.
int Migrate(Connection& c) {
  c.WaitForever();
  c.Exec("BEGIN IMMEDIATE");
  try {
    c.Exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    std::optional<int> version = MigrationStep(c, "SELECT version FROM schema_version");
    if (!version) {
      MigrationStep(c, "INSERT INTO schema_version (version) VALUES (0)");
      version = 0;
    }
    if (*version > int(kMigrations.size()))
      throw StoreError("the database is at schema version " + std::to_string(*version) +
                       ", newer than this program knows (" + std::to_string(kMigrations.size()) + ")");
    for (size_t v = size_t(*version); v < kMigrations.size(); ++v) {
      for (const char* sql : kMigrations[v]) c.Exec(sql);
      MigrationStep(c, "UPDATE schema_version SET version = ?1", int(v + 1));
    }
    c.Exec("COMMIT");
    return int(kMigrations.size());
  } catch (...) {
    c.Rollback();
    throw;
  }
}

class SqliteStore final : public ScoreStore {
 public:
  SqliteStore(const std::string& path, const StoreLimits& limits)
      : path_(path),
        timeout_ms_(int(std::clamp<int64_t>(limits.Timeout.count(), 1, INT_MAX))),
        max_records_(std::max<int64_t>(limits.MaxRecords, 0)),
        bound_(limits.MaxTokens),
        pool_(limits.Connections, [this] {
          // Checked before opening, for a clear message when the file is gone, and after,
          // in case it was replaced in between.
          CheckFile(false);
          auto c = std::make_unique<Connection>(path_, false, timeout_ms_);
          CheckFile(false);
          c->PrepareAll();
          return c;
        }) {
    Connection first(path, true, timeout_ms_);
    struct stat opened {};
    if (stat(path.c_str(), &opened) != 0)
      throw StoreError("SQLite: cannot find " + path + " after opening it: " + std::strerror(errno));
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    version_ = Migrate(first);
    checkpointer_ = std::thread([this] { CheckpointLoop(); });
  }
  ~SqliteStore() override {
    {
      std::lock_guard<std::mutex> lock(checkpoint_mutex_);
      stopping_ = true;
    }
    checkpoint_wake_.notify_one();
    checkpointer_.join();
  }

  void AddTokens(const std::vector<NewToken>& tokens, int64_t expires) override {
    Write([&](Connection& c) {
      for (const NewToken& token : tokens)
        Connection::Run(c, kAddToken).Bind(1, token.Text).Bind(2, expires).Bind(3, token.Key).Done();
      return 0;
    });
    bound_.Added(int64_t(tokens.size()), [this] { return TrimTokens(); });
  }

  std::vector<TokenUse> StoreRecords(const std::vector<Submitted>& submissions, int64_t now) override {
    return Write([&](Connection& c) {
      std::vector<TokenUse> uses;
      for (const Submitted& s : submissions) uses.push_back(UseTokenAndStore(c, s.Token, now, s.Record));
      return uses;
    });
  }

  std::vector<ScoreRecord> Top(int count) override {
    return Use([&](Connection& c) {
      std::vector<ScoreRecord> top;
      Connection::Run run(c, kTop);
      run.Bind(1, int64_t(count));
      while (run.Step()) top.push_back({run.Text(0), run.Int(1), run.Text(2), run.Int(3), run.Text(4)});
      return top;
    });
  }

  int64_t RecordCount() override {
    return Use([](Connection& c) {
      Connection::Run run(c, kCount);
      return run.Step() ? run.Int(0) : int64_t(0);
    });
  }

  // A batch to a write, and between batches the checks and submissions that came meanwhile
  // are committed before the next batch, or with it.
  int64_t PurgeTokens(int64_t now) override {
    int64_t total = 0;
    std::string after;  // the last token the previous batch reached
    for (;;) {
      std::string end;
      const int64_t purged = Write([&](Connection& c) {
        Connection::Run last(c, kPurgeBatchEnd);
        last.Bind(1, now).Bind(2, kPurgeBatch).Bind(3, after);
        end = last.Step() ? last.Text(0) : std::string();
        if (end.empty()) return int64_t(0);
        Connection::Run purge(c, kPurge);
        purge.Bind(1, now).Bind(2, after).Bind(3, end).Done();
        return int64_t(purge.Changes());
      });
      total += purged;
      bound_.Purged(purged);
      if (end.empty() || purged < kPurgeBatch) return total;
      after = end;
      std::this_thread::yield();
    }
  }

  int64_t TrimRecords() override {
    if (max_records_ == 0) return 0;
    return DeleteInBatches(RecordCount() - max_records_, kPurgeBatch, [this](int64_t n) {
      return Write([n](Connection& c) {
        Connection::Run trim(c, kTrimRecords);
        trim.Bind(1, n).Done();
        return int64_t(trim.Changes());
      });
    });
  }

  StoreStats Stats() override {
    StoreStats stats;
    stats.Tokens = bound_.Estimate();
    if (stats.Tokens < 0)
      stats.Tokens = Use([](Connection& c) {
        Connection::Run counted(c, kCountTokens);
        return counted.Step() ? counted.Int(0) : int64_t(0);
      });
    stats.LogBytes = LogBytes();
    stats.FreeDiskBytes = FreeDiskBytes();
    return stats;
  }

  int SchemaVersion() override { return version_; }

 private:
  // Inside a write: the token used and the record stored, or why not.
  static TokenUse UseTokenAndStore(Connection& c, std::string_view token, int64_t now, const ScoreRecord& r) {
    Connection::Run use(c, kUseToken);
    use.Bind(1, token).Bind(2, now).Done();
    if (use.Changes() != 1) return WhyRefused(c, token, now, r);
    Connection::Run(c, kAddRecord)
        .Bind(1, r.Name)
        .Bind(2, r.Score)
        .Bind(3, r.OptionsName)
        .Bind(4, r.Time)
        .Bind(5, r.Address)
        .Bind(6, token)
        .Done();
    return TokenUse::Accepted;
  }

  static TokenUse WhyRefused(Connection& c, std::string_view token, int64_t now, const ScoreRecord& r) {
    TokenUse use = TokenUse::Unknown;
    {
      Connection::Run state(c, kTokenState);
      state.Bind(1, token);
      if (state.Step()) use = state.Int(0) != 0 ? TokenUse::Used : state.Int(1) <= now ? TokenUse::Expired : TokenUse::Unknown;
    }
    if (use == TokenUse::Expired) return use;
    // This very record, sent again: it was stored under this token already.
    Connection::Run stored(c, kStoredUnder);
    stored.Bind(1, token);
    if (stored.Step() && stored.Text(0) == r.Name && stored.Int(1) == r.Score && stored.Text(2) == r.OptionsName)
      return TokenUse::Accepted;
    return use;
  }

  // Counts the tokens and, beyond the bound, deletes the used ones and then the oldest of the
  // keys holding the most (KeyTrims); how many are left. Counting and reading the keys'
  // counts are reads (each a walk through an index), so only the deletes wait for a write.
  int64_t TrimTokens() {
    const int64_t count = Use([](Connection& c) {
      Connection::Run counted(c, kCountTokens);
      return counted.Step() ? counted.Int(0) : int64_t(0);
    });
    const int64_t excess = bound_.Excess(count);
    if (excess == 0) return count;
    const int64_t used = Write([&](Connection& c) {
      Connection::Run run(c, kTrimUsed);
      run.Bind(1, excess).Done();
      return int64_t(run.Changes());
    });
    if (used >= excess) return count - used;
    const std::vector<KeyTokens> trims = bound_.KeysToTrim(excess - used, [this](int64_t floor) {
      return Use([floor](Connection& c) {
        std::vector<KeyTokens> held;
        Connection::Run run(c, kHeavyKeys);
        run.Bind(1, floor);
        while (run.Step()) held.push_back({run.Text(0), run.Int(1)});
        return held;
      });
    });
    const int64_t deleted = Write([&](Connection& c) {
      int64_t n = 0;
      for (const KeyTokens& trim : trims) {
        Connection::Run run(c, kTrimKey);
        run.Bind(1, trim.Key).Bind(2, trim.Count).Done();
        n += run.Changes();
      }
      return n;
    });
    return count - used - deleted;
  }

  // Once a write found the disk full, writes fail at once until kRoomToWrite is free again:
  // otherwise every small write that still fits into room freed meanwhile (a log deleted or
  // cut) would go through and the next one fail, and the log could not be cut for want of
  // room to copy it into the file.
  void WaitForRoom() {
    if (!disk_full_) return;
    const int64_t free = FreeDiskBytes();
    if (free >= kRoomToWrite) {
      disk_full_ = false;
      return;
    }
    throw StoreError("SQLite: the disk is full (" + std::to_string(free >> 10) + " KiB free); writes resume at " +
                     std::to_string(kRoomToWrite >> 20) + " MiB free: " + path_);
  }

  int64_t FreeDiskBytes() const {
    struct statvfs disk {};
    if (statvfs(path_.c_str(), &disk) != 0) return -1;
    return int64_t(disk.f_bavail) * int64_t(disk.f_frsize);
  }

  int64_t LogBytes() const {
    struct stat log {};
    if (stat((path_ + "-wal").c_str(), &log) != 0) return errno == ENOENT ? 0 : -1;
    return int64_t(log.st_size);
  }

  // Throws unless the path still names the file the store opened at the start. A file that
  // was removed or replaced stays so for good: a record written into it would be gone the
  // next time the server starts, so from then on every operation fails. When `writing`, a
  // file this process may no longer write (made read-only by its owner) fails the write too,
  // though the connections already open could still write it: a connection opened now would
  // be read-only, and all of them should answer alike. That ends when it is writable again.
  void CheckFile(bool writing) {
    if (lost_) throw StoreError(kLost + path_);
    struct stat now {};
    if (stat(path_.c_str(), &now) != 0) {
      if (errno != ENOENT && errno != ENOTDIR)
        throw StoreError("SQLite: cannot look at " + path_ + ": " + std::strerror(errno));
      lost_ = true;
    } else if (now.st_dev != device_ || now.st_ino != inode_) {
      lost_ = true;
    }
    if (lost_) throw StoreError(kLost + path_);
    if (writing && access(path_.c_str(), W_OK) != 0)
      throw StoreError("SQLite: the database file is read-only: " + path_ + ": " + std::strerror(errno));
  }

  // Runs `work` on a pooled connection. A connection that failed is closed instead of going
  // back to the pool, and so are the idle ones: the failure may be the file's rather than the
  // connection's (a connection opened while the file was read-only stays read-only), and the
  // next operation opens fresh ones that see the file as it is then.
  template <class Work>
  auto Use(Work work) -> decltype(work(std::declval<Connection&>())) {
    if (lost_) throw StoreError(kLost + path_);
    auto c = pool_.Take();
    try {
      return work(*c);
    } catch (...) {
      c.Discard();
      pool_.DropIdle();
      throw;
    }
  }

  // One write waiting for the transaction that carries it.
  struct QueuedWrite {
    std::function<void(Connection&)> Run;
    std::exception_ptr Error;
    bool Done = false;
  };

  // Runs `work` in a write transaction, committed when it returns and rolled back when it
  // throws. A refused token changes nothing, so its transaction commits nothing. The file is
  // checked before the commit, so a write into a file that was replaced is rolled back
  // instead of acknowledged. Writes that come while a transaction runs wait, in the order
  // they came, and go together in the next one: one commit for many, where one commit each
  // would make every check wait in line for this process's single writer.
  template <class Work>
  auto Write(Work work) -> decltype(work(std::declval<Connection&>())) {
    std::optional<decltype(work(std::declval<Connection&>()))> result;
    QueuedWrite mine{[&](Connection& c) { result.emplace(work(c)); }, nullptr, false};
    std::unique_lock<std::mutex> lock(queue_mutex_);
    queue_.push_back(&mine);
    while (!mine.Done) {
      if (writing_ || truncate_waiting_) {
        written_.wait(lock);
        continue;
      }
      writing_ = true;
      const size_t taken = std::min(queue_.size(), kMostWritesInOneCommit);
      const std::vector<QueuedWrite*> batch(queue_.begin(), queue_.begin() + long(taken));
      queue_.erase(queue_.begin(), queue_.begin() + long(taken));
      lock.unlock();
      CommitTogether(batch);
      lock.lock();
      for (QueuedWrite* write : batch) write->Done = true;
      writing_ = false;
      written_.notify_all();
    }
    if (mine.Error) std::rethrow_exception(mine.Error);
    return std::move(*result);
  }

  // Cuts the log in this process's writers' turn: SQLite's lock for writing is taken again
  // by the next batch within microseconds of its release, which a checkpoint waiting for it
  // with pauses in between would never see free. The turn first, then a connection, as the
  // writers take them.
  void TruncateInTurn() {
    std::unique_lock<std::mutex> lock(queue_mutex_);
    truncate_waiting_ = true;
    written_.wait(lock, [this] { return !writing_; });
    truncate_waiting_ = false;
    writing_ = true;
    lock.unlock();
    try {
      Use([](Connection& c) { return c.Truncate(); });
    } catch (const std::exception&) {
      // The store fails; the operations that come say so.
    }
    lock.lock();
    writing_ = false;
    written_.notify_all();
  }

  // One transaction for the writes; when it fails, each of them fails with its error.
  void CommitTogether(const std::vector<QueuedWrite*>& batch) {
    try {
      WaitForRoom();
      Use([&](Connection& c) {
        c.Begin();
        try {
          for (QueuedWrite* write : batch) write->Run(c);
          CheckFile(true);
          c.Commit();
        } catch (...) {
          if (c.FoundDiskFull()) disk_full_ = true;
          c.Rollback();
          throw;
        }
        last_write_ = Clock::now().time_since_epoch().count();
        if (c.LogIsLong()) {
          std::lock_guard<std::mutex> lock(checkpoint_mutex_);
          checkpoint_due_ = true;
          checkpoint_wake_.notify_one();
        }
        return 0;
      });
    } catch (...) {
      for (QueuedWrite* write : batch) write->Error = std::current_exception();
    }
  }

  // Copies the write-ahead log into the file whenever a commit found it long, on a pooled
  // connection like any other operation; and cuts the log to nothing when it grew past
  // kLogTruncateBytes (a flood of checks with reads between them, which never let a passive
  // copy finish), or when it is not empty and neither this process nor another wrote to it
  // for a while.
  void CheckpointLoop() {
    std::unique_lock<std::mutex> lock(checkpoint_mutex_);
    int64_t seen = -1;  // the log's length when last looked at, and since when
    Clock::time_point seenSince = Clock::now();
    for (;;) {
      checkpoint_wake_.wait_for(lock, kIdleBeforeTruncate / 4, [this] { return checkpoint_due_ || stopping_; });
      if (stopping_) return;
      const bool due = checkpoint_due_;
      checkpoint_due_ = false;
      lock.unlock();
      const Clock::time_point now = Clock::now();
      const int64_t log = LogBytes();
      if (log != seen) {
        seen = log;
        seenSince = now;
      }
      const bool idle = now - seenSince >= kIdleBeforeTruncate &&
                        now.time_since_epoch().count() - last_write_ >=
                            std::chrono::duration_cast<Clock::duration>(kIdleBeforeTruncate).count();
      const bool truncate = log >= kLogTruncateBytes || (idle && log > 0);
      if (truncate) {
        TruncateInTurn();
      } else if (due) {
        try {
          Use([](Connection& c) {
            c.Checkpoint();
            return 0;
          });
        } catch (const std::exception&) {
          // The store fails; the operations that come say so.
        }
      }
      lock.lock();
    }
  }

  using Clock = std::chrono::steady_clock;
  static constexpr const char* kLost = "SQLite: the database file was removed or replaced while the server ran: ";

  const std::string path_;
  const int timeout_ms_;
  const int64_t max_records_;
  std::atomic<Clock::rep> last_write_{0};  // when this process last committed
  std::atomic<bool> disk_full_{false};     // a write found the disk full, and no room was made since
  dev_t device_ = 0;  // the file opened at the start
  ino_t inode_ = 0;
  std::atomic<bool> lost_{false};
  TokenBound bound_;
  ConnectionPool<Connection> pool_;
  // The writes waiting for a transaction, and whether one runs.
  static constexpr size_t kMostWritesInOneCommit = 256;
  std::mutex queue_mutex_;
  std::condition_variable written_;
  std::vector<QueuedWrite*> queue_;
  bool writing_ = false;
  bool truncate_waiting_ = false;  // the log is to be cut before the next batch
  int version_ = 0;
  std::mutex checkpoint_mutex_;
  std::condition_variable checkpoint_wake_;
  bool checkpoint_due_ = false;
  bool stopping_ = false;
  std::thread checkpointer_;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, const StoreLimits& limits) {
  return std::make_unique<SqliteStore>(path, limits);
}

}  // namespace scores
