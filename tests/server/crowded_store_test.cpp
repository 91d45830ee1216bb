// The running server when its store is crowded or stuck: a token a player took survives a
// flood of checks from many client keys that overfills a small token table, and a
// PostgreSQL lock held past --db-timeout answers 503 in about that time while the world page
// made last is still served.
#include <gtest/gtest.h>

#include <atomic>
#include <pqxx/pqxx>

#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;
using Clock = std::chrono::steady_clock;

// Checks as fast as one connection takes them, each from a client key of its own named in
// X-Forwarded-For (the test's trusted proxy), until the value goes.
class CheckFlood {
 public:
  explicit CheckFlood(int port) : port_(port), thread_([this] { Run(); }) {}
  ~CheckFlood() {
    stop_ = true;
    thread_.join();
  }
  int Answered() const { return answered_; }

 private:
  void Run() {
    for (int n = 0; !stop_; ++n) {
      // 198.18.0.0/15 holds 131,072 addresses: a key each.
      const std::string client = "198." + std::to_string(18 + (n >> 16 & 1)) + "." + std::to_string(n >> 8 & 255) +
                                 "." + std::to_string(n & 255);
      if (HttpGet(port_, kCheckTarget, "X-Forwarded-For: " + client + "\r\n").Status == 200) ++answered_;
    }
  }
  const int port_;
  std::atomic<bool> stop_{false};
  std::atomic<int> answered_{0};
  std::thread thread_;
};

TEST(CrowdedStore, APlayersTokenOutlivesAManyKeyFloodOfChecks) {
  TempFolder folder;
  const std::string db = NewStoreDatabase(Backend::Sqlite, folder.Path().string());
  ServerProcess server(folder.Path().string(), db, {"--max-tokens", "300", "--trust-proxy", "127.0.0.1"});
  const std::string player = "X-Forwarded-For: 203.0.113.50\r\n";
  const HttpReply check = HttpGet(server.Port(), kCheckTarget, player);
  ASSERT_EQ(check.Status, 200);
  {
    // A minute between the player's check and submission, as a slow name entry takes,
    // while thousands of keys take tokens: many times the table's bound.
    CheckFlood flood(server.Port());
    std::this_thread::sleep_for(60s);
    std::printf("%d tokens handed out to other keys meanwhile\n", flood.Answered());
    EXPECT_GT(flood.Answered(), 3000);
  }
  const HttpReply stored =
      HttpGet(server.Port(), SubmissionTarget(EncodedRecord("Patient", 4242, ServerToken(check.Body))), player);
  EXPECT_EQ(stored.Status, 200) << stored.Body;
  EXPECT_EQ(stored.Body, "OK|stored\n");
}

TEST(CrowdedStore, APostgresLockPastTheTimeoutIs503AndTheLastPageIsStillServed) {
  TempFolder folder;
  const std::string db = NewStoreDatabase(Backend::Postgres, folder.Path().string());
  ServerProcess server(folder.Path().string(), db, {"--db-timeout", "2"});
  const int port = server.Port();
  ASSERT_EQ(HttpGet(port, SubmissionTarget(EncodedRecord("Before", 100, FreshToken(port)))).Status, 200);
  const std::string page = HttpGet(port, kPageTarget).Body;
  ASSERT_NE(page.find(">Before<"), std::string::npos);
  // A record stored since the page was made: the next page request would read the store.
  ASSERT_EQ(HttpGet(port, SubmissionTarget(EncodedRecord("After", 200, FreshToken(port)))).Status, 200);
  const std::string token = FreshToken(port);

  pqxx::connection locker(db);
  pqxx::work lock(locker);
  lock.exec0("LOCK TABLE scores IN ACCESS EXCLUSIVE MODE");
  auto timed = [](auto request) {
    const auto start = Clock::now();
    const HttpReply reply = request();
    return std::make_pair(reply, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start));
  };
  const auto [submitted, submitWait] =
      timed([&] { return HttpGet(port, SubmissionTarget(EncodedRecord("Locked", 300, token))); });
  const auto [served, pageWait] = timed([&] { return HttpGet(port, kPageTarget); });
  const auto [again, againWait] = timed([&] { return HttpGet(port, kPageTarget); });
  std::printf("submission %d after %lld ms, page %d after %lld ms, again after %lld ms\n", submitted.Status,
              static_cast<long long>(submitWait.count()), served.Status, static_cast<long long>(pageWait.count()),
              static_cast<long long>(againWait.count()));
  EXPECT_EQ(submitted.Status, 503) << submitted.Body;
  EXPECT_GE(submitWait, 1500ms);
  EXPECT_LT(submitWait, 10s) << "the timeout, not the lock, ends the wait";
  EXPECT_EQ(served.Status, 200);
  EXPECT_EQ(served.Body, page) << "the last page made, though a record was stored since";
  EXPECT_LT(pageWait, 10s);
  EXPECT_EQ(again.Body, page);
  lock.abort();

  // The lock gone, the token the locked submission did not spend stores the record.
  const HttpReply after = HttpGet(port, SubmissionTarget(EncodedRecord("Locked", 300, token)));
  EXPECT_EQ(after.Status, 200) << after.Body;
  std::string fresh;
  for (const auto until = Clock::now() + 10s; Clock::now() < until; std::this_thread::sleep_for(200ms)) {
    fresh = HttpGet(port, kPageTarget).Body;
    if (fresh.find(">Locked<") != std::string::npos) break;
  }
  EXPECT_NE(fresh.find(">After<"), std::string::npos);
  EXPECT_NE(fresh.find(">Locked<"), std::string::npos);
}

}  // namespace
