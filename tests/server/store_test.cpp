// The two stores behind one interface, each test run on an SQLite file and on a real
// PostgreSQL server (a cluster the test starts itself): tokens that are used once and
// expire, records in rank order, the versioned schema, and several users of one database.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Store.h"
#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using scores::ScoreRecord;
using scores::TokenUse;
using server_test::Backend;

constexpr int64_t kNow = 1793491200;

ScoreRecord Record(const std::string& name, int64_t score, int64_t time = kNow) {
  return {name, score, "opt", time, "192.0.2.1"};
}

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

INSTANTIATE_TEST_SUITE_P(BothStores, Stores, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         server_test::BackendName);

}  // namespace
