// The PostgreSQL store. Every statement with data in it is a prepared statement. A token is
// used and its record stored by one statement, so two processes given the same token cannot
// both store a record: the second one's update finds the token used.
#include "PostgresStore.h"

#include <pqxx/pqxx>
#include <thread>

#include "ConnectionPool.h"

namespace scores {
namespace {

// The schema, one list of statements per version; a database at version v runs the lists
// after v.
const std::vector<std::vector<const char*>> kMigrations = {
    {
        // Version 1: the records and the tokens handed out by check replies.
        "CREATE TABLE scores ("
        " id BIGSERIAL PRIMARY KEY,"
        " name TEXT NOT NULL,"
        " score BIGINT NOT NULL,"
        " options_name TEXT NOT NULL,"
        " submitted BIGINT NOT NULL,"  // Unix seconds
        " address TEXT NOT NULL)",
        "CREATE INDEX scores_by_rank ON scores (score DESC, id)",
        // Unlogged: a token lives ten minutes, so it is not worth a write to the log that
        // every check would wait for. A crash empties the table, which costs the players
        // who were between their check and their submission just that one submission.
        "CREATE UNLOGGED TABLE tokens ("
        " token TEXT PRIMARY KEY,"
        " expires BIGINT NOT NULL,"  // Unix seconds; valid before this
        " used BOOLEAN NOT NULL DEFAULT false)",
        "CREATE INDEX tokens_by_expiry ON tokens (expires)",
    },
};

// Taken for the length of a migration, so processes starting together migrate one at a time.
constexpr int64_t kMigrationLock = 0x5A61726F76656CLL;  // "Zarovel"
// Expired tokens are deleted this many to a statement, each its own short transaction.
constexpr int64_t kPurgeBatch = 1000;

void PrepareAll(pqxx::connection& c) {
  c.prepare("add_tokens", "INSERT INTO tokens (token, expires) SELECT unnest($1::text[]), $2");
  c.prepare("store_record",
            "WITH used AS ("
            " UPDATE tokens SET used = true WHERE token = $1 AND NOT used AND expires > $2 RETURNING token)"
            " INSERT INTO scores (name, score, options_name, submitted, address)"
            " SELECT $3, $4, $5, $6, $7 FROM used RETURNING id");
  c.prepare("token_state", "SELECT used, expires FROM tokens WHERE token = $1");
  c.prepare("top",
            "SELECT name, score, options_name, submitted, address FROM scores ORDER BY score DESC, id LIMIT $1");
  c.prepare("count", "SELECT count(*) FROM scores");
  c.prepare("purge", "DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE expires <= $1 LIMIT $2)");
  c.prepare("count_tokens", "SELECT count(*) FROM tokens");
  // The used tokens first (they serve only to tell a second use apart), then the unused by age.
  c.prepare("trim_tokens",
            "DELETE FROM tokens WHERE token IN (SELECT token FROM tokens ORDER BY used DESC, expires LIMIT $1)");
  c.prepare("lock", "SELECT pg_advisory_xact_lock($1)");
  c.prepare("version", "SELECT version FROM schema_version");
  c.prepare("set_version", "UPDATE schema_version SET version = $1");
  c.prepare("first_version", "INSERT INTO schema_version (version) VALUES (0)");
}

// A PostgreSQL array literal of texts: {"A","B"}, each quoted and escaped.
std::string TextArray(const std::vector<std::string>& texts) {
  std::string array = "{";
  for (const std::string& text : texts) {
    if (array.size() > 1) array += ',';
    array += '"';
    for (const char c : text) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  return array + "}";
}

std::unique_ptr<pqxx::connection> Connect(const std::string& uri) {
  try {
    auto c = std::make_unique<pqxx::connection>(uri);
    PrepareAll(*c);
    return c;
  } catch (const std::exception& e) {
    throw StoreError(std::string("PostgreSQL: cannot connect: ") + e.what());
  }
}

int Migrate(pqxx::connection& c) {
  pqxx::work w(c);
  w.exec_prepared("lock", kMigrationLock);
  w.exec0("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
  pqxx::result row = w.exec_prepared("version");
  int version = 0;
  if (row.empty())
    w.exec_prepared("first_version");
  else
    version = row[0][0].as<int>();
  if (version > int(kMigrations.size()))
    throw StoreError("the database is at schema version " + std::to_string(version) +
                     ", newer than this program knows (" + std::to_string(kMigrations.size()) + ")");
  for (size_t v = size_t(version); v < kMigrations.size(); ++v) {
    for (const char* sql : kMigrations[v]) w.exec0(sql);
    w.exec_prepared("set_version", int(v + 1));
  }
  w.commit();
  return int(kMigrations.size());
}

class PostgresStore final : public ScoreStore {
 public:
  PostgresStore(const std::string& uri, int connections, int64_t maxTokens)
      : bound_(maxTokens), pool_(connections, [uri] { return Connect(uri); }) {
    Use([this](pqxx::connection& c) {
      version_ = Migrate(c);
      return 0;
    });
  }

  void AddTokens(const std::vector<std::string>& tokens, int64_t expires) override {
    Use([&](pqxx::connection& c) {
      pqxx::nontransaction w(c);
      w.exec_prepared("add_tokens", TextArray(tokens), expires);
      return 0;
    });
    // Apart from the insert, so that a connection lost while trimming does not add the tokens
    // twice when the work is tried again.
    bound_.Added(int64_t(tokens.size()), [this] {
      return Use([this](pqxx::connection& c) {
        pqxx::nontransaction w(c);
        const int64_t count = w.exec_prepared("count_tokens")[0][0].as<int64_t>();
        const int64_t excess = bound_.Excess(count);
        if (excess == 0) return count;
        return count - int64_t(w.exec_prepared("trim_tokens", excess).affected_rows());
      });
    });
  }

  // One transaction for all, so one commit (and one wait for the disk) for the batch. A
  // failure stores none of them; a retry after a lost connection begins again.
  std::vector<TokenUse> StoreRecords(const std::vector<Submitted>& submissions, int64_t now) override {
    return Use([&](pqxx::connection& c) {
      pqxx::work w(c);
      std::vector<TokenUse> uses;
      for (const Submitted& s : submissions) uses.push_back(UseTokenAndStore(w, s.Token, now, s.Record));
      w.commit();
      return uses;
    });
  }

  std::vector<ScoreRecord> Top(int count) override {
    return Use([&](pqxx::connection& c) {
      pqxx::nontransaction w(c);
      std::vector<ScoreRecord> top;
      for (const pqxx::row& row : w.exec_prepared("top", count))
        top.push_back({row[0].as<std::string>(), row[1].as<int64_t>(), row[2].as<std::string>(), row[3].as<int64_t>(),
                       row[4].as<std::string>()});
      return top;
    });
  }

  int64_t RecordCount() override {
    return Use([](pqxx::connection& c) {
      pqxx::nontransaction w(c);
      return w.exec_prepared("count")[0][0].as<int64_t>();
    });
  }

  // Between batches the connection goes back to the pool, so a purge holds up no one waiting
  // for one, and no row lock is held longer than one batch.
  int64_t PurgeTokens(int64_t now) override {
    int64_t total = 0;
    for (;;) {
      const int64_t purged = Use([&](pqxx::connection& c) {
        pqxx::nontransaction w(c);
        return int64_t(w.exec_prepared("purge", now, kPurgeBatch).affected_rows());
      });
      total += purged;
      bound_.Purged(purged);
      if (purged < kPurgeBatch) return total;
      std::this_thread::yield();
    }
  }

  int SchemaVersion() override { return version_; }

 private:
  // One statement: the token is used and the record stored together.
  static TokenUse UseTokenAndStore(pqxx::transaction_base& w, std::string_view token, int64_t now,
                                   const ScoreRecord& r) {
    const pqxx::result stored =
        w.exec_prepared("store_record", std::string(token), now, r.Name, r.Score, r.OptionsName, r.Time, r.Address);
    if (!stored.empty()) return TokenUse::Accepted;
    // Refused: why, for the reply.
    const pqxx::result state = w.exec_prepared("token_state", std::string(token));
    if (state.empty()) return TokenUse::Unknown;
    if (state[0][0].as<bool>()) return TokenUse::Used;
    return state[0][1].as<int64_t>() <= now ? TokenUse::Expired : TokenUse::Unknown;
  }

  // Runs `work` on a pooled connection. A connection that broke (the database restarted, the
  // network dropped it, its backend was ended) is closed, and so are the idle ones, which
  // likely broke the same way; the work is tried once more on a new connection. A connection
  // that failed otherwise is closed too, since what state it was left in is not known, and the
  // failure becomes StoreError.
  template <class Work>
  auto Use(Work work) -> decltype(work(std::declval<pqxx::connection&>())) {
    for (int attempt = 0;; ++attempt) {
      auto lease = pool_.Take();
      try {
        return work(*lease);
      } catch (const pqxx::broken_connection& e) {
        lease.Discard();
        pool_.DropIdle();
        if (attempt > 0) throw StoreError(std::string("PostgreSQL: connection lost: ") + e.what());
      } catch (const StoreError&) {
        lease.Discard();
        throw;
      } catch (const std::exception& e) {
        // A backend ended by the server reports its end as an error of the statement; the
        // connection is closed after it all the same.
        const bool lost = !lease->is_open();
        lease.Discard();
        if (lost) pool_.DropIdle();
        if (!lost || attempt > 0) throw StoreError(std::string("PostgreSQL: ") + e.what());
      }
    }
  }

  TokenBound bound_;
  ConnectionPool<pqxx::connection> pool_;
  int version_ = 0;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri, int connections, int64_t maxTokens) {
  return std::make_unique<PostgresStore>(uri, connections, maxTokens);
}

}  // namespace scores
