// The two stores behind one interface, each test run on an SQLite file and on a real
// PostgreSQL server (a cluster the test starts itself): tokens that are used once and
// expire, records in rank order, the versioned schema, several users of one database, the
// bound on the token table, purges in batches, and failures the stores recover from or
// refuse to hide.
#include "Store.h"

#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "server/EndSessions.h"
#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using scores::ScoreRecord;
using scores::TokenUse;
using server_test::Backend;
using namespace std::chrono_literals;

constexpr int64_t kNow = 1793491200;

ScoreRecord Record(const std::string& name, int64_t score, int64_t time = kNow) {
  return {name, score, "opt", time, "192.0.2.1"};
}

// A token of 20 characters: the prefix and the number.
std::string Token(const std::string& prefix, int number) {
  const std::string digits = std::to_string(number);
  return prefix + std::string(20 - prefix.size() - digits.size(), '0') + digits;
}

// How many tokens the database holds, read behind the store's back.
int64_t TokenCount(const std::string& db) {
  if (scores::IsPostgresUri(db)) {
    pqxx::connection c(db);
    pqxx::nontransaction w(c);
    return w.exec1("SELECT count(*) FROM tokens")[0].as<int64_t>();
  }
  sqlite3* handle = nullptr;
  sqlite3_stmt* statement = nullptr;
  int64_t count = -1;
  if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(handle, "SELECT count(*) FROM tokens", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    count = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return count;
}

// A spell in which the database takes no writes, while the store has connections open. An
// SQLite file is made read-only: immutable for root, whom file permissions do not bind. A
// PostgreSQL database makes its new sessions read-only, and its sessions are ended, so the
// store's connections are opened anew during the spell.
class ReadOnlySpell {
 public:
  explicit ReadOnlySpell(const std::string& db) : db_(db) {
    if (scores::IsPostgresUri(db_)) {
      const size_t name = db_.find("///") + 3;
      database_ = db_.substr(name, db_.find('?') - name);
      server_test::ExecSql(Maintenance(), "ALTER DATABASE " + database_ + " SET default_transaction_read_only = on");
      server_test::EndSessions(db_);
      began_ = true;
    } else {
      began_ = SetFileWritable(false);
    }
  }
  ~ReadOnlySpell() { End(); }
  ReadOnlySpell(const ReadOnlySpell&) = delete;
  ReadOnlySpell& operator=(const ReadOnlySpell&) = delete;

  bool Began() const { return began_; }
  void End() {
    if (!began_) return;
    began_ = false;
    if (scores::IsPostgresUri(db_))
      server_test::ExecSql(Maintenance(), "ALTER DATABASE " + database_ + " RESET default_transaction_read_only");
    else
      SetFileWritable(true);
  }

 private:
  // The cluster's own database, which the spell leaves writable.
  std::string Maintenance() const { return "postgresql:///postgres" + db_.substr(db_.find('?')); }
  bool SetFileWritable(bool writable) {
    if (geteuid() != 0) return chmod(db_.c_str(), writable ? 0644 : 0444) == 0;
    const int fd = open(db_.c_str(), O_RDONLY);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = writable ? flags & ~FS_IMMUTABLE_FL : flags | FS_IMMUTABLE_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) close(fd);
    return done;
  }

  std::string db_;
  std::string database_;
  bool began_ = false;
};

struct Stores : ::testing::TestWithParam<Backend> {
  TempFolder folder;
  std::string db = server_test::NewStoreDatabase(GetParam(), folder.Path().string());
  std::unique_ptr<scores::ScoreStore> store = scores::OpenStore(db, 4);
};

TEST_P(Stores, ATokenIsUsedOnceAndOnlyBeforeItExpires) {
  store->AddToken("TOKENAAAAAAAAAAAAAAA", kNow + 600);
  store->AddToken("TOKENBBBBBBBBBBBBBBB", kNow + 600);
  EXPECT_EQ(store->StoreRecord("TOKENCCCCCCCCCCCCCCC", kNow, Record("a", 1)), TokenUse::Unknown);
  EXPECT_EQ(store->StoreRecord("TOKENAAAAAAAAAAAAAAA", kNow, Record("a", 1)), TokenUse::Accepted);
  EXPECT_EQ(store->StoreRecord("TOKENAAAAAAAAAAAAAAA", kNow, Record("b", 2)), TokenUse::Used);
  EXPECT_EQ(store->StoreRecord("TOKENBBBBBBBBBBBBBBB", kNow + 600, Record("c", 3)), TokenUse::Expired);
  EXPECT_EQ(store->StoreRecord("TOKENBBBBBBBBBBBBBBB", kNow + 599, Record("c", 3)), TokenUse::Accepted);
  ASSERT_EQ(store->RecordCount(), 2);
  const auto top = store->Top(10);
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0].Name, "c");
  EXPECT_EQ(top[1].Name, "a");
}

TEST_P(Stores, TokensAndSubmissionsGoTogetherEachWithItsOwnOutcome) {
  store->AddTokens({{"BATCHAAAAAAAAAAAAAAA", "k"}, {"BATCHBBBBBBBBBBBBBBB", "k"}, {"BATCHCCCCCCCCCCCCCCC", "k"}},
                   kNow + 600);
  store->AddTokens({{"LATEAAAAAAAAAAAAAAAA", "k"}}, kNow);
  const std::vector<scores::ScoreStore::Submitted> batch = {
      {"BATCHAAAAAAAAAAAAAAA", Record("a", 10)},
      {"BATCHAAAAAAAAAAAAAAA", Record("again", 11)},  // the same token, later in the same batch
      {"NEVERGIVENAAAAAAAAAA", Record("bogus", 12)},
      {"LATEAAAAAAAAAAAAAAAA", Record("late", 13)},
      {"BATCHCCCCCCCCCCCCCCC", Record("c", 14)},
  };
  EXPECT_EQ(store->StoreRecords(batch, kNow),
            (std::vector<TokenUse>{TokenUse::Accepted, TokenUse::Used, TokenUse::Unknown, TokenUse::Expired,
                                   TokenUse::Accepted}));
  const auto top = store->Top(10);
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0].Name, "c");
  EXPECT_EQ(top[1].Name, "a");
  EXPECT_EQ(store->StoreRecord("BATCHBBBBBBBBBBBBBBB", kNow, Record("b", 15)), TokenUse::Accepted);
}

TEST_P(Stores, ARefusedTokenStoresNothing) {
  store->AddToken("EXPIREDAAAAAAAAAAAAA", kNow);
  EXPECT_EQ(store->StoreRecord("EXPIREDAAAAAAAAAAAAA", kNow, Record("late", 5)), TokenUse::Expired);
  EXPECT_EQ(store->StoreRecord("NEVERGIVENAAAAAAAAAA", kNow, Record("bogus", 5)), TokenUse::Unknown);
  EXPECT_EQ(store->RecordCount(), 0);
  EXPECT_TRUE(store->Top(100).empty());
}

TEST_P(Stores, RecordsKeepEveryFieldInUtf8) {
  store->AddToken("TOKENAAAAAAAAAAAAAAA", kNow + 600);
  const ScoreRecord sent{"Вася <b>&\"", 99999999, "Ёжик|z=", kNow + 5, "2001:db8::1"};
  ASSERT_EQ(store->StoreRecord("TOKENAAAAAAAAAAAAAAA", kNow, sent), TokenUse::Accepted);
  const auto top = store->Top(1);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].Name, sent.Name);
  EXPECT_EQ(top[0].Score, sent.Score);
  EXPECT_EQ(top[0].OptionsName, sent.OptionsName);
  EXPECT_EQ(top[0].Time, sent.Time);
  EXPECT_EQ(top[0].Address, sent.Address);
}

TEST_P(Stores, TheBestFirstAndTheEarlierAmongEquals) {
  const int64_t scores[] = {50, 70, 50, 10, 70, 90};
  for (size_t i = 0; i < std::size(scores); ++i) {
    const std::string token = "TOKEN" + std::string(15 - std::to_string(i).size(), 'A') + std::to_string(i);
    store->AddToken(token, kNow + 600);
    ASSERT_EQ(store->StoreRecord(token, kNow, Record("r" + std::to_string(i), scores[i])), TokenUse::Accepted);
  }
  const auto top = store->Top(4);
  ASSERT_EQ(top.size(), 4u);
  EXPECT_EQ(top[0].Name, "r5");
  EXPECT_EQ(top[1].Name, "r1");
  EXPECT_EQ(top[2].Name, "r4");
  EXPECT_EQ(top[3].Name, "r0");
  EXPECT_EQ(store->Top(100).size(), 6u);
}

TEST_P(Stores, ExpiredTokensArePurged) {
  store->AddToken("OLDAAAAAAAAAAAAAAAAA", kNow - 1);
  store->AddToken("OLDBBBBBBBBBBBBBBBBB", kNow);
  store->AddToken("NEWAAAAAAAAAAAAAAAAA", kNow + 1);
  ASSERT_EQ(store->StoreRecord("NEWAAAAAAAAAAAAAAAAA", kNow, Record("a", 1)), TokenUse::Accepted);
  EXPECT_EQ(store->PurgeTokens(kNow), 2);
  EXPECT_EQ(store->PurgeTokens(kNow), 0);
  // A used token is kept until it expires, so that a second use is told apart.
  EXPECT_EQ(store->StoreRecord("NEWAAAAAAAAAAAAAAAAA", kNow, Record("b", 1)), TokenUse::Used);
  EXPECT_EQ(store->PurgeTokens(kNow + 1), 1);
  EXPECT_EQ(store->StoreRecord("NEWAAAAAAAAAAAAAAAAA", kNow, Record("b", 1)), TokenUse::Unknown);
  EXPECT_EQ(store->RecordCount(), 1);
}

TEST_P(Stores, TheSchemaIsVersionedAndKeptOnReopening) {
  EXPECT_EQ(store->SchemaVersion(), scores::kSchemaVersion);
  store->AddToken("TOKENAAAAAAAAAAAAAAA", kNow + 600);
  ASSERT_EQ(store->StoreRecord("TOKENAAAAAAAAAAAAAAA", kNow, Record("kept", 7)), TokenUse::Accepted);
  store.reset();
  store = scores::OpenStore(db, 2);
  EXPECT_EQ(store->SchemaVersion(), scores::kSchemaVersion);
  ASSERT_EQ(store->RecordCount(), 1);
  EXPECT_EQ(store->Top(1)[0].Name, "kept");
}

TEST_P(Stores, ASchemaNewerThanTheProgramIsRefused) {
  store.reset();
  server_test::ExecSql(db, "UPDATE schema_version SET version = " + std::to_string(scores::kSchemaVersion + 1));
  try {
    scores::OpenStore(db, 1);
    FAIL() << "opened a store of a newer schema";
  } catch (const scores::StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("newer than this program knows"), std::string::npos) << e.what();
  }
}

TEST_P(Stores, StoresSharingADatabaseAcceptEachOthersTokens) {
  auto other = scores::OpenStore(db, 2);
  store->AddToken("SHAREDAAAAAAAAAAAAAA", kNow + 600);
  EXPECT_EQ(other->StoreRecord("SHAREDAAAAAAAAAAAAAA", kNow, Record("there", 1)), TokenUse::Accepted);
  EXPECT_EQ(store->StoreRecord("SHAREDAAAAAAAAAAAAAA", kNow, Record("here", 1)), TokenUse::Used);
  EXPECT_EQ(store->RecordCount(), 1);
}

TEST_P(Stores, OneTokenRacedByManyThreadsStoresOneRecord) {
  auto other = scores::OpenStore(db, 4);
  for (int round = 0; round < 10; ++round) {
    const std::string token = "RACE" + std::string(14, 'A') + char('A' + round / 9) + char('B' + round % 9);
    store->AddToken(token, kNow + 600);
    std::atomic<int> accepted{0}, used{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        scores::ScoreStore& s = t % 2 == 0 ? *store : *other;
        const TokenUse use = s.StoreRecord(token, kNow, Record("t" + std::to_string(t), t));
        if (use == TokenUse::Accepted) ++accepted;
        if (use == TokenUse::Used) ++used;
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(used, 7);
  }
  EXPECT_EQ(store->RecordCount(), 10);
}

TEST_P(Stores, TheTokenTableKeepsToItsBound) {
  struct Case {
    int64_t bound;
    int added;
    int64_t most;  // tokens the table may hold
  };
  const Case cases[] = {
      {50, 300, 50 + scores::TokenBound(50).Batch()},
      {1000, 1300, 1000 + scores::TokenBound(1000).Batch()},
      {0, 300, 300},  // no bound
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("bound " + std::to_string(c.bound));
    const std::string bounded = server_test::NewStoreDatabase(GetParam(), folder.Path().string());
    auto s = scores::OpenStore(bounded, 4, c.bound);
    for (int i = 0; i < c.added; ++i) {
      s->AddToken(Token("BOUND", i), kNow + 600 + i);
      if (i % 50 == 49) {
        ASSERT_LE(TokenCount(bounded), c.most) << i + 1 << " added";
      }
    }
    // A trim takes the excess and a batch more, not the whole table.
    EXPECT_GE(TokenCount(bounded), c.bound == 0 ? c.added : c.bound - scores::TokenBound(c.bound).Batch());
    // The newest work; the oldest went to make room.
    for (int i = c.added - 10; i < c.added; ++i)
      EXPECT_EQ(s->StoreRecord(Token("BOUND", i), kNow, Record("new", i)), TokenUse::Accepted) << i;
    EXPECT_EQ(s->StoreRecord(Token("BOUND", 0), kNow, Record("old", 0)),
              c.bound == 0 ? TokenUse::Accepted : TokenUse::Unknown);
  }
}

TEST_P(Stores, UsedTokensAreTrimmedBeforeUnusedOnes) {
  store = scores::OpenStore(db, 2, 50);
  for (int i = 0; i < 50; ++i) store->AddToken(Token("TRIM", i), kNow + 600 + i);
  for (int i = 40; i < 50; ++i)
    ASSERT_EQ(store->StoreRecord(Token("TRIM", i), kNow, Record("u", i)), TokenUse::Accepted);
  store->AddToken(Token("TRIM", 50), kNow + 650);
  EXPECT_LE(TokenCount(db), 50);
  EXPECT_EQ(store->StoreRecord(Token("TRIM", 40), kNow, Record("again", 1)), TokenUse::Unknown);  // the oldest used
  EXPECT_EQ(store->StoreRecord(Token("TRIM", 49), kNow, Record("again", 1)), TokenUse::Used);
  EXPECT_EQ(store->StoreRecord(Token("TRIM", 0), kNow, Record("oldest unused", 1)), TokenUse::Accepted);
  EXPECT_EQ(store->StoreRecord(Token("TRIM", 50), kNow, Record("newest", 1)), TokenUse::Accepted);
}

TEST_P(Stores, APurgeOfThousandsTakesEveryExpiredTokenAndNoOther) {
  for (int i = 0; i < 2500; ++i) store->AddToken(Token("OLD", i), kNow - i);  // expired at kNow
  for (int i = 0; i < 300; ++i) store->AddToken(Token("NEW", i), kNow + 1 + i);
  EXPECT_EQ(store->PurgeTokens(kNow), 2500);
  EXPECT_EQ(TokenCount(db), 300);
  EXPECT_EQ(store->PurgeTokens(kNow), 0);
  EXPECT_EQ(store->StoreRecord(Token("OLD", 0), kNow - 1, Record("old", 1)), TokenUse::Unknown);
  EXPECT_EQ(store->StoreRecord(Token("NEW", 0), kNow, Record("new", 1)), TokenUse::Accepted);
  EXPECT_EQ(store->StoreRecord(Token("NEW", 299), kNow, Record("new", 2)), TokenUse::Accepted);
}

// A store error closes the connection that hit it, so a connection opened while the database
// took no writes does not outlive the spell: the first write after it succeeds.
TEST_P(Stores, AReadOnlySpellEndsWhenTheDatabaseTakesWritesAgain) {
  store = scores::OpenStore(db, 1);  // one connection, opened during the spell and used after it
  ReadOnlySpell spell(db);
  if (!spell.Began()) GTEST_SKIP() << "cannot make the database read-only here";
  EXPECT_THROW(store->AddToken(Token("SPELL", 1), kNow + 600), scores::StoreError);
  EXPECT_THROW(store->AddToken(Token("SPELL", 2), kNow + 600), scores::StoreError);
  spell.End();
  store->AddToken(Token("SPELL", 3), kNow + 600);
  EXPECT_EQ(store->StoreRecord(Token("SPELL", 3), kNow, Record("after", 1)), TokenUse::Accepted);
  EXPECT_EQ(store->StoreRecord(Token("SPELL", 1), kNow, Record("during", 1)), TokenUse::Unknown);
  EXPECT_EQ(store->RecordCount(), 1);
}

// A submission sent again after its reply was lost (or after a PostgreSQL crash took its
// token's row) is answered as the first was, and stored once; any other record under that
// token is refused as before.
TEST_P(Stores, TheSameRecordSentAgainIsAcceptedAndStoredOnce) {
  struct Case {
    const char* what;
    ScoreRecord again;
    bool tokenRowLost;
    TokenUse expected;
  };
  const ScoreRecord first = Record("first", 500);
  const Case cases[] = {
      {"the same record", first, false, TokenUse::Accepted},
      {"the same record at another time and address", {"first", 500, "opt", kNow + 9, "198.51.100.1"}, false,
       TokenUse::Accepted},
      {"another name", Record("second", 500), false, TokenUse::Used},
      {"another score", Record("first", 501), false, TokenUse::Used},
      {"another options name", {"first", 500, "other", kNow, "192.0.2.1"}, false, TokenUse::Used},
      {"the same record, its token row lost", first, true, TokenUse::Accepted},
      {"another record, its token row lost", Record("second", 500), true, TokenUse::Unknown},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string token = Token("AGAIN", ++number);
    store->AddToken(token, kNow + 600);
    ASSERT_EQ(store->StoreRecord(token, kNow, first), TokenUse::Accepted);
    if (c.tokenRowLost) server_test::ExecSql(db, "DELETE FROM tokens WHERE token = '" + token + "'");
    EXPECT_EQ(store->StoreRecord(token, kNow + 5, c.again), c.expected);
    // In one batch with itself, too.
    EXPECT_EQ(store->StoreRecords({{token, c.again}, {token, c.again}}, kNow + 5),
              (std::vector<TokenUse>{c.expected, c.expected}));
    EXPECT_EQ(store->RecordCount(), number);
  }
}

// The schema of version 1, as a database made by the first release holds it.
std::string VersionOneSchema(const std::string& db) {
  if (scores::IsPostgresUri(db))
    return "CREATE TABLE schema_version (version INTEGER NOT NULL);"
           "INSERT INTO schema_version (version) VALUES (1);"
           "CREATE TABLE scores (id BIGSERIAL PRIMARY KEY, name TEXT NOT NULL, score BIGINT NOT NULL,"
           " options_name TEXT NOT NULL, submitted BIGINT NOT NULL, address TEXT NOT NULL);"
           "CREATE INDEX scores_by_rank ON scores (score DESC, id);"
           "CREATE UNLOGGED TABLE tokens (token TEXT PRIMARY KEY, expires BIGINT NOT NULL,"
           " used BOOLEAN NOT NULL DEFAULT false);"
           "CREATE INDEX tokens_by_expiry ON tokens (expires);";
  return "CREATE TABLE schema_version (version INTEGER NOT NULL);"
         "INSERT INTO schema_version (version) VALUES (1);"
         "CREATE TABLE scores (id INTEGER PRIMARY KEY, name TEXT NOT NULL, score INTEGER NOT NULL,"
         " options_name TEXT NOT NULL, submitted INTEGER NOT NULL, address TEXT NOT NULL);"
         "CREATE INDEX scores_by_rank ON scores (score DESC, id);"
         "CREATE TABLE tokens (token TEXT PRIMARY KEY, expires INTEGER NOT NULL,"
         " used INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID;"
         "CREATE INDEX tokens_by_expiry ON tokens (expires);";
}

// A version 1 database is brought to the newest version with its records and tokens, and a
// version 1 process still running on it keeps storing with its own statements.
TEST_P(Stores, AVersionOneDatabaseIsMigratedAndVersionOneWritesStillWork) {
  store.reset();
  const std::string old = server_test::NewStoreDatabase(GetParam(), folder.Path().string());
  server_test::ExecSql(old, VersionOneSchema(old));
  const std::string t = std::to_string(kNow);
  server_test::ExecSql(old, "INSERT INTO scores (name, score, options_name, submitted, address) VALUES"
                            " ('legacy', 70, 'o', " + t + ", '192.0.2.9');"
                            "INSERT INTO tokens (token, expires) VALUES ('" + Token("OLD", 1) + "', " +
                                std::to_string(kNow + 600) + ")");
  auto migrated = scores::OpenStore(old, 2);
  EXPECT_EQ(migrated->SchemaVersion(), 2);
  ASSERT_EQ(migrated->RecordCount(), 1);
  EXPECT_EQ(migrated->Top(1)[0].Name, "legacy");
  // The token of before the upgrade is good, and its record kept with it.
  EXPECT_EQ(migrated->StoreRecord(Token("OLD", 1), kNow, Record("upgraded", 80)), TokenUse::Accepted);
  EXPECT_EQ(migrated->StoreRecord(Token("OLD", 1), kNow, Record("upgraded", 80)), TokenUse::Accepted);
  EXPECT_EQ(migrated->StoreRecord(Token("OLD", 1), kNow, Record("other", 80)), TokenUse::Used);
  // A version 1 process: its token insert and its record insert, without the new columns.
  const bool pg = scores::IsPostgresUri(old);
  server_test::ExecSql(old, "INSERT INTO tokens (token, expires) VALUES ('" + Token("V1", 1) + "', " +
                                std::to_string(kNow + 600) + ")");
  server_test::ExecSql(old, std::string("UPDATE tokens SET used = ") + (pg ? "true" : "1") + " WHERE token = '" +
                                Token("V1", 1) + "'");
  server_test::ExecSql(old, "INSERT INTO scores (name, score, options_name, submitted, address) VALUES"
                            " ('v1 process', 90, 'o', " + t + ", '192.0.2.9')");
  EXPECT_EQ(migrated->RecordCount(), 3);
  EXPECT_EQ(migrated->Top(1)[0].Name, "v1 process");
  EXPECT_EQ(migrated->StoreRecord(Token("V1", 1), kNow, Record("v1 process", 90)), TokenUse::Used);
  // Opened again, nothing more to do; a newer version is still refused.
  migrated.reset();
  EXPECT_EQ(scores::OpenStore(old, 1)->SchemaVersion(), 2);
  EXPECT_EQ(scores::OpenStore(old, 1)->RecordCount(), 3);
}

TEST(KeyTrims, TheKeysHoldingTheMostLoseTheirsDownToALevel) {
  using scores::KeyTokens;
  struct Case {
    const char* what;
    std::vector<KeyTokens> held;
    int64_t floor;
    int64_t needed;
    std::vector<KeyTokens> trims;  // in the order of the keys holding the most first
    int64_t level;
  };
  const Case cases[] = {
      {"one key", {{"a", 100}}, 0, 30, {{"a", 30}}, 70},
      {"the biggest alone", {{"a", 100}, {"b", 10}, {"c", 1}}, 0, 50, {{"a", 50}}, 50},
      {"down to a shared level", {{"a", 100}, {"b", 60}, {"c", 1}}, 0, 100, {{"a", 70}, {"b", 30}}, 30},
      {"one more from some at the level", {{"a", 10}, {"b", 10}, {"c", 10}, {"q", 1}}, 0, 4,
       {{"a", 2}, {"b", 1}, {"c", 1}}, 8},
      {"everything there is", {{"a", 3}, {"b", 2}}, 0, 9, {{"a", 3}, {"b", 2}}, 0},
      {"a floor that holds", {{"a", 100}, {"b", 60}}, 20, 100, {{"a", 70}, {"b", 30}}, 30},
      {"a floor too high", {{"a", 100}, {"b", 60}}, 50, 100, {}, -1},
      {"nothing needed", {{"a", 100}}, 0, 0, {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int64_t level = -1;
    const auto trims = scores::KeyTrims(c.held, c.floor, c.needed, &level);
    ASSERT_EQ(trims.size(), c.trims.size());
    int64_t total = 0;
    for (size_t i = 0; i < trims.size(); ++i) {
      EXPECT_EQ(trims[i].Key, c.trims[i].Key) << i;
      EXPECT_EQ(trims[i].Count, c.trims[i].Count) << i;
      total += trims[i].Count;
    }
    if (!trims.empty()) {
      EXPECT_EQ(level, c.level);
      EXPECT_LE(total, c.needed);
    }
  }
}

// Many keys flooding the token table, and one key holding one fresh token, made before the
// flood: the bound takes from the keys holding the most, so that token stays usable.
TEST_P(Stores, AFloodFromManyKeysLeavesAQuietKeysTokenAlone) {
  constexpr int64_t kBound = 1000;
  const int64_t most = kBound + scores::TokenBound(kBound).Batch();
  const std::string flooded = server_test::NewStoreDatabase(GetParam(), folder.Path().string());
  auto s = scores::OpenStore(flooded, 4, kBound);
  s->AddToken(Token("QUIET", 1), kNow + 600, "198.51.100.1");
  for (int i = 0; i < 5; ++i) s->AddToken(Token("FEW", i), kNow + 600, "198.51.100.2");
  // 40 keys, each adding 100 tokens, all later than the quiet key's.
  constexpr int kKeys = 40;
  for (int round = 0; round < 100; ++round) {
    std::vector<scores::ScoreStore::NewToken> tokens;
    for (int key = 0; key < kKeys; ++key)
      tokens.push_back({Token("F" + std::to_string(key) + "X", round), "203.0.113." + std::to_string(key)});
    s->AddTokens(tokens, kNow + 600 + round);
    if (round % 10 == 9) {
      ASSERT_LE(TokenCount(flooded), most) << round;
    }
  }
  EXPECT_GE(TokenCount(flooded), kBound - 2 * scores::TokenBound(kBound).Batch());
  EXPECT_EQ(s->StoreRecord(Token("QUIET", 1), kNow, Record("quiet", 1)), TokenUse::Accepted);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s->StoreRecord(Token("FEW", i), kNow, Record("few", i)), TokenUse::Accepted);
  // A flooding key lost its oldest and kept its newest.
  EXPECT_EQ(s->StoreRecord(Token("F7X", 0), kNow, Record("flood", 1)), TokenUse::Unknown);
  EXPECT_EQ(s->StoreRecord(Token("F7X", 99), kNow, Record("flood", 2)), TokenUse::Accepted);
}

TEST_P(Stores, RecordsBeyondTheBoundAreTrimmedLowestAndLatestFirst) {
  struct Case {
    int64_t bound;
    std::vector<int64_t> scores;  // stored in this order
    int64_t trimmed;
    std::vector<std::string> kept;  // the names of the records kept, best first
  };
  const Case cases[] = {
      {3, {50, 10, 70, 10, 90}, 2, {"r4", "r2", "r0"}},
      {3, {10, 10, 10, 10}, 1, {"r0", "r1", "r2"}},  // the latest among equals goes
      {5, {1, 2, 3}, 0, {"r2", "r1", "r0"}},
      {0, {1, 2, 3}, 0, {"r2", "r1", "r0"}},  // no bound
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("bound " + std::to_string(c.bound));
    scores::StoreLimits limits;
    limits.MaxRecords = c.bound;
    const std::string bounded = server_test::NewStoreDatabase(GetParam(), folder.Path().string());
    auto s = scores::OpenStore(bounded, limits);
    for (size_t i = 0; i < c.scores.size(); ++i) {
      s->AddToken(Token("REC", int(i)), kNow + 600);
      ASSERT_EQ(s->StoreRecord(Token("REC", int(i)), kNow, Record("r" + std::to_string(i), c.scores[i])),
                TokenUse::Accepted);
    }
    EXPECT_EQ(s->TrimRecords(), c.trimmed);
    EXPECT_EQ(s->TrimRecords(), 0);
    std::vector<std::string> kept;
    for (const ScoreRecord& r : s->Top(100)) kept.push_back(r.Name);
    EXPECT_EQ(kept, c.kept);
  }
  // Thousands beyond the bound go in several batches.
  scores::StoreLimits limits;
  limits.MaxRecords = 100;
  const std::string many = server_test::NewStoreDatabase(GetParam(), folder.Path().string());
  auto s = scores::OpenStore(many, limits);
  std::vector<scores::ScoreStore::NewToken> tokens;
  std::vector<scores::ScoreStore::Submitted> submissions;
  for (int i = 0; i < 2600; ++i) {
    tokens.push_back({Token("MANY", i), ""});
    submissions.push_back({Token("MANY", i), Record("m" + std::to_string(i), i)});
  }
  s->AddTokens(tokens, kNow + 600);
  s->StoreRecords(submissions, kNow);
  EXPECT_EQ(s->TrimRecords(), 2500);
  EXPECT_EQ(s->RecordCount(), 100);
  EXPECT_EQ(s->Top(100).back().Name, "m2500");
}

// Another connection holds a lock the store needs past the store's timeout: the store's
// request fails in about the timeout, and the next one after the lock is gone succeeds.
// Opening the store (which may migrate) waits for the lock instead.
TEST_P(Stores, ARequestWaitsForALockNoLongerThanTheTimeout) {
  using Clock = std::chrono::steady_clock;
  scores::StoreLimits limits;
  limits.Timeout = std::chrono::milliseconds(500);
  auto s = scores::OpenStore(db, limits);
  s->AddToken(Token("LOCK", 1), kNow + 600);
  const bool pg = scores::IsPostgresUri(db);
  // The lock: PostgreSQL's on the tokens table, SQLite's on writing the file.
  std::unique_ptr<pqxx::connection> pgHolder;
  std::unique_ptr<pqxx::work> pgLock;
  sqlite3* sqliteHolder = nullptr;
  auto lock = [&] {
    if (pg) {
      pgHolder = std::make_unique<pqxx::connection>(db);
      pgLock = std::make_unique<pqxx::work>(*pgHolder);
      pgLock->exec0("LOCK TABLE tokens, schema_version IN ACCESS EXCLUSIVE MODE");
    } else {
      ASSERT_EQ(sqlite3_open(db.c_str(), &sqliteHolder), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(sqliteHolder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
  };
  auto unlock = [&] {
    if (pg) {
      pgLock->abort();
      pgLock.reset();
      pgHolder.reset();
    } else {
      sqlite3_exec(sqliteHolder, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close(sqliteHolder);
      sqliteHolder = nullptr;
    }
  };
  lock();
  const auto began = Clock::now();
  EXPECT_THROW(s->AddToken(Token("LOCK", 2), kNow + 600), scores::StoreError);
  const auto waited = Clock::now() - began;
  EXPECT_GE(waited, 400ms);
  EXPECT_LT(waited, 10s);  // the timeout, not some far longer default
  // Opening a store waits past the timeout for the lock.
  std::thread release([&] {
    std::this_thread::sleep_for(1500ms);
    unlock();
  });
  const auto opening = Clock::now();
  std::unique_ptr<scores::ScoreStore> opened;
  EXPECT_NO_THROW(opened = scores::OpenStore(db, limits));
  EXPECT_GE(Clock::now() - opening, 1s);
  release.join();
  s->AddToken(Token("LOCK", 3), kNow + 600);
  EXPECT_EQ(s->StoreRecord(Token("LOCK", 3), kNow, Record("after", 1)), TokenUse::Accepted);
  EXPECT_EQ(s->StoreRecord(Token("LOCK", 1), kNow, Record("before", 1)), TokenUse::Accepted);
}

TEST_P(Stores, StatsTellTheTokensAndForSqliteTheLogAndTheDisk) {
  for (int i = 0; i < 30; ++i) store->AddToken(Token("STAT", i), kNow + 600);
  const auto stats = store->Stats();
  EXPECT_EQ(stats.Tokens, 30);
  if (scores::IsPostgresUri(db)) {
    EXPECT_EQ(stats.LogBytes, -1);
    EXPECT_EQ(stats.FreeDiskBytes, -1);
  } else {
    EXPECT_EQ(stats.LogBytes, int64_t(std::filesystem::file_size(db + "-wal")));
    EXPECT_GT(stats.FreeDiskBytes, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothStores, Stores, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         server_test::BackendName);

// PostgreSQL ending the store's sessions (a restart, a failover): each operation is tried
// once more on a new connection, and succeeds.
TEST(PostgresStore, EveryOperationOutlivesEndedSessions) {
  TempFolder folder;
  const std::string db = server_test::NewStoreDatabase(Backend::Postgres, folder.Path().string());
  auto store = scores::OpenStore(db, 4);
  store->AddToken(Token("LOST", 0), kNow);
  struct Operation {
    const char* name;
    std::function<void()> run;
  };
  const Operation operations[] = {
      {"AddToken", [&] { store->AddToken(Token("LOST", 1), kNow + 600); }},
      {"StoreRecord",
       [&] { EXPECT_EQ(store->StoreRecord(Token("LOST", 1), kNow, Record("a", 1)), TokenUse::Accepted); }},
      {"Top", [&] { EXPECT_EQ(store->Top(10).size(), 1u); }},
      {"RecordCount", [&] { EXPECT_EQ(store->RecordCount(), 1); }},
      {"PurgeTokens", [&] { EXPECT_EQ(store->PurgeTokens(kNow), 1); }},
  };
  for (const Operation& operation : operations) {
    SCOPED_TRACE(operation.name);
    // Several connections open, every one of them ended: the second try must not take another.
    std::vector<std::thread> users;
    for (int i = 0; i < 4; ++i) users.emplace_back([&] { store->RecordCount(); });
    for (auto& user : users) user.join();
    server_test::EndSessions(db);
    EXPECT_NO_THROW(operation.run());
  }
}

// An SQLite file removed or replaced under a running store: the store would go on writing
// into a file that is gone the next time the server starts, so it refuses every operation
// from then on, the write that found it out included.
TEST(SqliteStore, AFileRemovedOrReplacedFailsEveryLaterOperation) {
  namespace fs = std::filesystem;
  struct Change {
    const char* what;
    std::function<void(const fs::path& file)> apply;
  };
  const Change changes[] = {
      {"file removed", [](const fs::path& file) { fs::remove(file); }},
      {"folder removed", [](const fs::path& file) { fs::remove_all(file.parent_path()); }},
      {"replaced by an empty file",
       [](const fs::path& file) {
         fs::rename(file, file.string() + ".old");
         std::ofstream created(file);
       }},
      {"replaced by a copy",
       [](const fs::path& file) {
         fs::copy_file(file, file.string() + ".copy");
         fs::rename(file.string() + ".copy", file);
       }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    TempFolder folder;
    const fs::path file = folder.Path() / "store" / "scores.sqlite";
    fs::create_directories(file.parent_path());
    auto store = scores::OpenStore(file.string(), 2);
    store->AddToken(Token("FILE", 1), kNow + 600);
    store->AddToken(Token("FILE", 2), kNow + 600);
    ASSERT_EQ(store->StoreRecord(Token("FILE", 1), kNow, Record("before", 1)), TokenUse::Accepted);
    change.apply(file);
    try {
      store->StoreRecord(Token("FILE", 2), kNow, Record("after", 2));
      ADD_FAILURE() << "a record was stored in a file that is gone";
    } catch (const scores::StoreError& e) {
      EXPECT_NE(std::string(e.what()).find("removed or replaced"), std::string::npos) << e.what();
    }
    EXPECT_THROW(store->AddToken(Token("FILE", 3), kNow + 600), scores::StoreError);
    EXPECT_THROW(store->Top(10), scores::StoreError);
    EXPECT_THROW(store->RecordCount(), scores::StoreError);
    EXPECT_THROW(store->PurgeTokens(kNow), scores::StoreError);
  }
}

}  // namespace
