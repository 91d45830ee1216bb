// The SQLite store. Every statement with data in it is prepared once per connection and bound.
// Readers run side by side (write-ahead log); this process's writers take turns on a mutex,
// so they never wait on one another inside SQLite, and other processes on the same file are
// waited for by SQLite's busy timeout.
#include "SqliteStore.h"

#include <sqlite3.h>

#include <array>
#include <mutex>
#include <optional>

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
};

constexpr int kBusyTimeoutMs = 10000;

enum Statement {
  kBegin,
  kCommit,
  kAddToken,
  kUseToken,
  kTokenState,
  kAddRecord,
  kTop,
  kCount,
  kPurge,
  kStatementCount
};

constexpr std::array<const char*, kStatementCount> kSql = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "INSERT INTO tokens (token, expires) VALUES (?1, ?2)",
    "UPDATE tokens SET used = 1 WHERE token = ?1 AND used = 0 AND expires > ?2",
    "SELECT used, expires FROM tokens WHERE token = ?1",
    "INSERT INTO scores (name, score, options_name, submitted, address) VALUES (?1, ?2, ?3, ?4, ?5)",
    "SELECT name, score, options_name, submitted, address FROM scores ORDER BY score DESC, id LIMIT ?1",
    "SELECT count(*) FROM scores",
    "DELETE FROM tokens WHERE expires <= ?1",
};

class Connection {
 public:
  explicit Connection(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StoreError("cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // The log survives crashes of the program; only a power cut may lose the last commits.
    Exec("PRAGMA journal_mode = WAL");
    Exec("PRAGMA synchronous = NORMAL");
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

  sqlite3* Db() { return db_; }

 private:
  sqlite3* db_ = nullptr;
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
  SqliteStore(const std::string& path, int connections)
      : pool_(connections, [path] {
          auto c = std::make_unique<Connection>(path);
          c->PrepareAll();
          return c;
        }) {
    Connection first(path);
    version_ = Migrate(first);
  }

  void AddToken(std::string_view token, int64_t expires) override {
    Write([&](Connection& c) {
      Connection::Run(c, kAddToken).Bind(1, token).Bind(2, expires).Done();
      return 0;
    });
  }

  TokenUse StoreRecord(std::string_view token, int64_t now, const ScoreRecord& r) override {
    return Write([&](Connection& c) {
      Connection::Run use(c, kUseToken);
      use.Bind(1, token).Bind(2, now).Done();
      if (use.Changes() != 1) return WhyRefused(c, token, now);
      Connection::Run(c, kAddRecord)
          .Bind(1, r.Name)
          .Bind(2, r.Score)
          .Bind(3, r.OptionsName)
          .Bind(4, r.Time)
          .Bind(5, r.Address)
          .Done();
      return TokenUse::Accepted;
    });
  }

  std::vector<ScoreRecord> Top(int count) override {
    auto c = pool_.Take();
    std::vector<ScoreRecord> top;
    Connection::Run run(*c, kTop);
    run.Bind(1, int64_t(count));
    while (run.Step()) top.push_back({run.Text(0), run.Int(1), run.Text(2), run.Int(3), run.Text(4)});
    return top;
  }

  int64_t RecordCount() override {
    auto c = pool_.Take();
    Connection::Run run(*c, kCount);
    return run.Step() ? run.Int(0) : 0;
  }

  int64_t PurgeTokens(int64_t now) override {
    return Write([&](Connection& c) {
      Connection::Run purge(c, kPurge);
      purge.Bind(1, now).Done();
      return int64_t(purge.Changes());
    });
  }

  int SchemaVersion() override { return version_; }

 private:
  static TokenUse WhyRefused(Connection& c, std::string_view token, int64_t now) {
    Connection::Run state(c, kTokenState);
    state.Bind(1, token);
    if (!state.Step()) return TokenUse::Unknown;
    if (state.Int(0) != 0) return TokenUse::Used;
    return state.Int(1) <= now ? TokenUse::Expired : TokenUse::Unknown;
  }

  // Runs `work` in a write transaction, committed when it returns and rolled back when it
  // throws. A refused token changes nothing, so its transaction commits nothing.
  template <class Work>
  auto Write(Work work) -> decltype(work(std::declval<Connection&>())) {
    auto c = pool_.Take();
    std::lock_guard<std::mutex> turn(write_turn_);
    c->Begin();
    try {
      auto result = work(*c);
      c->Commit();
      return result;
    } catch (...) {
      c->Rollback();
      throw;
    }
  }

  ConnectionPool<Connection> pool_;
  std::mutex write_turn_;
  int version_ = 0;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, int connections) {
  return std::make_unique<SqliteStore>(path, connections);
}

}  // namespace scores
