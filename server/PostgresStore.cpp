// The PostgreSQL store. Every statement with data in it is a prepared statement. A token is
// used and its record stored by one statement, so two processes given the same token cannot
// both store a record: the second one's update finds the token used. Every statement of a
// request waits at most the store's timeout, for locks and for itself.
#include "PostgresStore.h"

#include <algorithm>
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
    {
        // Version 2: a record keeps the token that made it (NULL for the older ones), so a
        // submission sent again (its reply lost with the connection, or its token row with a
        // crash) is told apart from a second record; a token keeps the client key that asked
        // for it. Both have defaults: version 1 processes still running keep storing.
        "ALTER TABLE scores ADD COLUMN token TEXT",
        "CREATE UNIQUE INDEX scores_by_token ON scores (token) WHERE token IS NOT NULL",
        "ALTER TABLE tokens ADD COLUMN client_key TEXT NOT NULL DEFAULT ''",
        // Counts per key, and a key's oldest tokens, for trimming the table when it is full.
        "CREATE INDEX tokens_by_key ON tokens (client_key, expires)",
        "CREATE INDEX tokens_used_by_expiry ON tokens (expires) WHERE used",
        // Every token row is deleted within ten minutes: the table is vacuumed after a small
        // share of it changed, without pauses, so its dead rows are reused rather than piled.
        "ALTER TABLE tokens SET (autovacuum_vacuum_scale_factor = 0.02, autovacuum_vacuum_threshold = 1000,"
        " autovacuum_vacuum_cost_delay = 0, autovacuum_analyze_scale_factor = 0.05)",
    },
};

// Taken for the length of a migration, so processes starting together migrate one at a time.
constexpr int64_t kMigrationLock = 0x5A61726F76656CLL;  // "Zarovel"
// Expired tokens (and records beyond the bound) are deleted this many to a statement, each
// its own short transaction.
constexpr int64_t kPurgeBatch = 1000;

void PrepareAll(pqxx::connection& c) {
  // A token added twice is a retry after the connection was lost with the first insert's
  // reply: the token is there already.
  c.prepare("add_tokens",
            "INSERT INTO tokens (token, client_key, expires) SELECT unnest($1::text[]), unnest($2::text[]), $3"
            " ON CONFLICT (token) DO NOTHING");
  c.prepare("store_record",
            "WITH used AS ("
            " UPDATE tokens SET used = true WHERE token = $1 AND NOT used AND expires > $2 RETURNING token)"
            " INSERT INTO scores (name, score, options_name, submitted, address, token)"
            " SELECT $3, $4, $5, $6, $7, token FROM used RETURNING id");
  c.prepare("token_state", "SELECT used, expires FROM tokens WHERE token = $1");
  c.prepare("stored_under", "SELECT name, score, options_name FROM scores WHERE token = $1");
  c.prepare("top",
            "SELECT name, score, options_name, submitted, address FROM scores ORDER BY score DESC, id LIMIT $1");
  c.prepare("count", "SELECT count(*) FROM scores");
  c.prepare("purge", "DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE expires <= $1 LIMIT $2)");
  c.prepare("count_tokens", "SELECT count(*) FROM tokens");
  // The used tokens go first when the table is full (they serve only to tell a second use
  // apart), the oldest of them first; then each key named loses its oldest, as many as given.
  c.prepare("trim_used",
            "DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE used ORDER BY expires LIMIT $1)");
  c.prepare("heavy_keys", "SELECT client_key, count(*) FROM tokens GROUP BY client_key HAVING count(*) > $1");
  c.prepare("trim_keys",
            "DELETE FROM tokens WHERE token IN (SELECT oldest.token FROM unnest($1::text[], $2::bigint[]) AS k(key, n)"
            " CROSS JOIN LATERAL (SELECT token FROM tokens WHERE client_key = k.key ORDER BY expires, token LIMIT k.n)"
            " AS oldest)");
  // The lowest records, the latest stored among equals.
  c.prepare("trim_records",
            "DELETE FROM scores WHERE id IN (SELECT id FROM scores ORDER BY score, id DESC LIMIT $1)");
  c.prepare("lock", "SELECT pg_advisory_xact_lock($1)");
  c.prepare("version", "SELECT version FROM schema_version");
  c.prepare("set_version", "UPDATE schema_version SET version = $1");
  c.prepare("first_version", "INSERT INTO schema_version (version) VALUES (0)");
}

// A PostgreSQL array literal of texts: {"A","B"}, each quoted and escaped; of one field of
// each item.
template <class Item, class Field>
std::string TextArray(const std::vector<Item>& items, Field field) {
  std::string array = "{";
  for (const Item& item : items) {
    if (array.size() > 1) array += ',';
    array += '"';
    for (const char c : field(item)) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  return array + "}";
}

// `timeout`: how long each statement waits, for locks and in all (0: no limit).
std::unique_ptr<pqxx::connection> Connect(const std::string& uri, std::chrono::milliseconds timeout) {
  try {
    auto c = std::make_unique<pqxx::connection>(uri);
    PrepareAll(*c);
    pqxx::nontransaction w(*c);
    const std::string ms = std::to_string(timeout.count());
    w.exec0("SET statement_timeout = " + ms);
    w.exec0("SET lock_timeout = " + ms);
    return c;
  } catch (const std::exception& e) {
    throw StoreError(std::string("PostgreSQL: cannot connect: ") + e.what());
  }
}

// In one transaction, which waits as long as it needs: another process may be migrating,
// and a version 1 process may be writing the tables the migration alters.
int Migrate(pqxx::connection& c) {
  pqxx::work w(c);
  w.exec0("SET LOCAL statement_timeout = 0");
  w.exec0("SET LOCAL lock_timeout = 0");
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
  PostgresStore(const std::string& uri, const StoreLimits& limits)
      : max_records_(std::max<int64_t>(limits.MaxRecords, 0)),
        // Dead rows are vacuumed away after about a quarter of the bound was deleted.
        vacuum_after_(std::max<int64_t>(limits.MaxTokens > 0 ? limits.MaxTokens / 4 : kDefaultMaxTokens / 4, 1000)),
        bound_(limits.MaxTokens),
        pool_(limits.Connections, [uri, timeout = limits.Timeout] { return Connect(uri, timeout); }) {
    Use([this](pqxx::connection& c) {
      version_ = Migrate(c);
      return 0;
    });
  }

  void AddTokens(const std::vector<NewToken>& tokens, int64_t expires) override {
    Use([&](pqxx::connection& c) {
      pqxx::nontransaction w(c);
      w.exec_prepared("add_tokens", TextArray(tokens, [](const NewToken& t) -> const std::string& { return t.Text; }),
                      TextArray(tokens, [](const NewToken& t) -> const std::string& { return t.Key; }), expires);
      return 0;
    });
    // Apart from the insert, so that a connection lost while trimming does not add the tokens
    // twice when the work is tried again.
    bound_.Added(int64_t(tokens.size()), [this] { return TrimTokens(); });
  }

  // One transaction for all, so one commit (and one wait for the disk) for the batch. A
  // failure stores none of them; a retry after a lost connection begins again, and finds
  // the records of a commit whose reply was lost stored under their tokens.
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
      Deleted(purged);
      if (purged < kPurgeBatch) return total;
      std::this_thread::yield();
    }
  }

  int64_t TrimRecords() override {
    if (max_records_ == 0) return 0;
    return DeleteInBatches(RecordCount() - max_records_, kPurgeBatch, [this](int64_t n) {
      return Use([n](pqxx::connection& c) {
        pqxx::nontransaction w(c);
        return int64_t(w.exec_prepared("trim_records", n).affected_rows());
      });
    });
  }

  // The database's log and disk are the database server's: not known here.
  StoreStats Stats() override {
    StoreStats stats;
    stats.Tokens = bound_.Estimate();
    if (stats.Tokens < 0) stats.Tokens = CountTokens();
    return stats;
  }

  int SchemaVersion() override { return version_; }

 private:
  // One statement: the token used and the record stored together.
  static TokenUse UseTokenAndStore(pqxx::transaction_base& w, std::string_view token, int64_t now,
                                   const ScoreRecord& r) {
    const std::string text(token);
    const pqxx::result stored = w.exec_prepared("store_record", text, now, r.Name, r.Score, r.OptionsName, r.Time, r.Address);
    if (!stored.empty()) return TokenUse::Accepted;
    // Refused: why, for the reply.
    TokenUse use = TokenUse::Unknown;
    const pqxx::result state = w.exec_prepared("token_state", text);
    if (!state.empty())
      use = state[0][0].as<bool>() ? TokenUse::Used
                                   : state[0][1].as<int64_t>() <= now ? TokenUse::Expired : TokenUse::Unknown;
    if (use == TokenUse::Expired) return use;
    // This very record, sent again: it was stored under this token already.
    const pqxx::result under = w.exec_prepared("stored_under", text);
    if (!under.empty() && under[0][0].as<std::string>() == r.Name && under[0][1].as<int64_t>() == r.Score &&
        under[0][2].as<std::string>() == r.OptionsName)
      return TokenUse::Accepted;
    return use;
  }

  int64_t CountTokens() {
    return Use([](pqxx::connection& c) {
      pqxx::nontransaction w(c);
      return w.exec_prepared("count_tokens")[0][0].as<int64_t>();
    });
  }

  // Counts the tokens and, beyond the bound, deletes the used ones and then the oldest of the
  // keys holding the most (KeyTrims); how many are left. Each step is a statement of its own.
  int64_t TrimTokens() {
    const int64_t count = CountTokens();
    const int64_t excess = bound_.Excess(count);
    if (excess == 0) return count;
    const int64_t used = Use([&](pqxx::connection& c) {
      pqxx::nontransaction w(c);
      return int64_t(w.exec_prepared("trim_used", excess).affected_rows());
    });
    int64_t deleted = 0;
    if (used < excess) {
      const std::vector<KeyTokens> trims = bound_.KeysToTrim(excess - used, [this](int64_t floor) {
        return Use([floor](pqxx::connection& c) {
          pqxx::nontransaction w(c);
          std::vector<KeyTokens> held;
          for (const pqxx::row& row : w.exec_prepared("heavy_keys", floor))
            held.push_back({row[0].as<std::string>(), row[1].as<int64_t>()});
          return held;
        });
      });
      if (!trims.empty()) {
        std::string counts = "{";
        for (const KeyTokens& trim : trims) counts += (counts.size() > 1 ? "," : "") + std::to_string(trim.Count);
        counts += "}";
        deleted = Use([&](pqxx::connection& c) {
          pqxx::nontransaction w(c);
          return int64_t(
              w.exec_prepared("trim_keys", TextArray(trims, [](const KeyTokens& k) -> const std::string& { return k.Key; }),
                              counts)
                  .affected_rows());
        });
      }
    }
    Deleted(used + deleted);
    return count - used - deleted;
  }

  // Tokens were deleted: after enough of them, the table is vacuumed here rather than left
  // to autovacuum, which looks at a database only once a minute by default, while a flood of
  // checks can turn the whole table over in seconds. A failed vacuum is tried again later.
  void Deleted(int64_t count) {
    if ((deleted_since_vacuum_ += count) < vacuum_after_) return;
    deleted_since_vacuum_ = 0;
    try {
      Use([](pqxx::connection& c) {
        pqxx::nontransaction w(c);
        w.exec0("VACUUM (SKIP_LOCKED) tokens");
        return 0;
      });
    } catch (const StoreError&) {
    }
  }

  // Runs `work` on a pooled connection. A connection that broke (the database restarted, the
  // network dropped it, its backend was ended, or it went while a commit was under way) is
  // closed, and so are the idle ones, which likely broke the same way; the work is tried once
  // more on a new connection. A connection that failed otherwise (a statement that waited
  // past the timeout among others) is closed too, since what state it was left in is not
  // known, and the failure becomes StoreError.
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
      } catch (const pqxx::in_doubt_error& e) {
        lease.Discard();
        pool_.DropIdle();
        if (attempt > 0) throw StoreError(std::string("PostgreSQL: connection lost during a commit: ") + e.what());
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

  const int64_t max_records_;
  const int64_t vacuum_after_;
  std::atomic<int64_t> deleted_since_vacuum_{0};
  TokenBound bound_;
  ConnectionPool<pqxx::connection> pool_;
  int version_ = 0;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri, const StoreLimits& limits) {
  return std::make_unique<PostgresStore>(uri, limits);
}

}  // namespace scores
