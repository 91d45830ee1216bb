// The stores under floods that would outgrow them: the SQLite log stays short while checks
// and reads never pause, and is cut to almost nothing soon after; PostgreSQL's token table
// does not pile up dead rows; and a PostgreSQL connection lost right after the server sent
// its COMMIT leaves one record stored, acknowledged "OK|stored".
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;
using Clock = std::chrono::steady_clock;

constexpr int64_t kNow = 1793491200;

std::string Token(const std::string& prefix, int64_t number) {
  const std::string digits = std::to_string(number);
  return prefix + std::string(20 - prefix.size() - digits.size(), '0') + digits;
}

int64_t FileSize(const std::string& path) {
  struct stat s {};
  return stat(path.c_str(), &s) == 0 ? int64_t(s.st_size) : 0;
}

// Checks from many keys for a while, each a few tokens to a write as the server's batches
// are, with readers of the records never pausing: the log stays within 64 MB throughout,
// and is back under 4 MB within 10 s of the end.
TEST(SqliteLog, StaysShortUnderAFloodOfChecksAndIsCutSoonAfter) {
  TempFolder folder;
  const std::string db = folder.Dir() + "scores.sqlite";
  auto store = scores::OpenStore(db, 8);
  {
    std::vector<scores::ScoreStore::NewToken> tokens;
    std::vector<scores::ScoreStore::Submitted> records;
    for (int i = 0; i < 2000; ++i) {
      tokens.push_back({Token("REC", i), ""});
      records.push_back({Token("REC", i), {"r" + std::to_string(i), i, "", kNow, "192.0.2.1"}});
    }
    store->AddTokens(tokens, kNow + 600);
    store->StoreRecords(records, kNow);
  }
  std::atomic<bool> stop{false};
  std::atomic<int64_t> added{0}, reads{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < 3; ++w) {
    threads.emplace_back([&, w] {
      for (int64_t round = 0; !stop; ++round) {
        std::vector<scores::ScoreStore::NewToken> tokens;
        for (int i = 0; i < 64; ++i)
          tokens.push_back({Token("W" + std::to_string(w) + "X", round * 64 + i), "198.51." + std::to_string(round % 200) +
                                                                                     "." + std::to_string(i)});
        store->AddTokens(tokens, kNow + 600 + round / 100);
        added += 64;
      }
    });
  }
  for (int r = 0; r < 3; ++r) {
    threads.emplace_back([&] {
      while (!stop) {
        EXPECT_EQ(store->Top(100).size(), 100u);
        ++reads;
      }
    });
  }
  int64_t longest = 0;
  const auto floodEnds = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < floodEnds) {
    longest = std::max(longest, FileSize(db + "-wal"));
    std::this_thread::sleep_for(20ms);
  }
  stop = true;
  for (auto& t : threads) t.join();
  const auto ended = Clock::now();
  int64_t log = FileSize(db + "-wal");
  while (log >= (4 << 20) && Clock::now() - ended < 10s) {
    std::this_thread::sleep_for(50ms);
    log = FileSize(db + "-wal");
  }
  const double after = std::chrono::duration<double>(Clock::now() - ended).count();
  std::printf("flood of 15 s: %lld tokens added, %lld reads; longest log %.1f MB; %.1f MB %.1f s after\n",
              (long long)added.load(), (long long)reads.load(), double(longest) / (1 << 20), double(log) / (1 << 20),
              after);
  EXPECT_GT(added, 100000) << "too small a flood to tell";
  EXPECT_LE(longest, int64_t(64) << 20);
  EXPECT_LT(log, 4 << 20);
  // The store works on after it, and its stats tell the log's length.
  EXPECT_EQ(store->Stats().LogBytes, FileSize(db + "-wal"));
  EXPECT_EQ(store->Top(1).size(), 1u);
}

// 150,000 tokens through a table bound to 20,000, trimmed and purged as they come: dead
// rows are vacuumed away, so the table with its indexes stays within 4 times what its live
// rows take packed.
TEST(PostgresTokens, TheTableDoesNotPileUpDeadRowsUnderAFlood) {
  TempFolder folder;
  const std::string db = NewStoreDatabase(Backend::Postgres, folder.Path().string());
  auto store = scores::OpenStore(db, 4, 20000);
  int64_t number = 0;
  for (int round = 0; round < 600; ++round) {
    std::vector<scores::ScoreStore::NewToken> tokens;
    for (int i = 0; i < 250; ++i) tokens.push_back({Token("PG", ++number), "203.0.113." + std::to_string(i % 200)});
    store->AddTokens(tokens, kNow + round);
    if (round % 40 == 39) store->PurgeTokens(kNow + round - 100);
  }
  pqxx::connection c(db);
  pqxx::nontransaction w(c);
  w.exec0("CREATE TABLE tokens_packed AS SELECT * FROM tokens");
  w.exec0("ALTER TABLE tokens_packed ADD PRIMARY KEY (token)");
  w.exec0("CREATE INDEX ON tokens_packed (expires)");
  w.exec0("CREATE INDEX ON tokens_packed (client_key, expires)");
  w.exec0("CREATE INDEX ON tokens_packed (expires) WHERE used");
  const int64_t live = w.exec1("SELECT count(*) FROM tokens")[0].as<int64_t>();
  const int64_t size = w.exec1("SELECT pg_total_relation_size('tokens')")[0].as<int64_t>();
  const int64_t packed = w.exec1("SELECT pg_total_relation_size('tokens_packed')")[0].as<int64_t>();
  std::printf("%lld tokens added, %lld live: table and indexes %.1f MB, packed %.1f MB (%.2f times)\n",
              (long long)number, (long long)live, double(size) / (1 << 20), double(packed) / (1 << 20),
              double(size) / double(packed));
  EXPECT_LE(live, 20000 + scores::TokenBound(20000).Batch());
  EXPECT_LE(size, 4 * packed);
}

// A TCP proxy in front of the test cluster's Unix socket that, once armed, cuts the client's
// connection right after it forwards a COMMIT to the database, so the client never hears
// whether it went through. The database side is kept until the database answers, so the
// commit is done by then.
class CommitCutter {
 public:
  explicit CommitCutter(std::string socketPath) : socket_(std::move(socketPath)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("the proxy cannot listen");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~CommitCutter() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    acceptor_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& t : relays_) t.join();
  }

  int Port() const { return port_; }
  void Arm() { armed_ = true; }
  int Cuts() const { return cuts_; }

 private:
  void Accept() {
    for (;;) {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      if (stopping_) {
        close(client);
        return;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      relays_.emplace_back([this, client] { Relay(client); });
    }
  }

  static bool SendAll(int fd, const char* data, size_t size) {
    for (size_t sent = 0; sent < size;) {
      const ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += size_t(n);
    }
    return true;
  }

  void Relay(int client) {
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_.c_str());
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(server);
      close(client);
      return;
    }
    // The client's bytes are read as the protocol's messages: the first (the start-up
    // message) has no type byte, each later one a type byte and then its length.
    std::string pending;
    bool started = false;
    bool cut = false;
    char buffer[65536];
    while (!stopping_) {
      pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(fds, 2, 200) < 0) break;
      if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = recv(server, buffer, sizeof buffer, 0);
        if (n <= 0 || !SendAll(client, buffer, size_t(n))) break;
      }
      if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        pending.append(buffer, size_t(n));
        size_t whole = 0;  // the bytes of whole messages
        for (;;) {
          const size_t head = started ? 1 : 0;
          if (pending.size() < whole + head + 4) break;
          uint32_t length = 0;
          std::memcpy(&length, pending.data() + whole + head, 4);
          length = ntohl(length);
          if (pending.size() < whole + head + length) break;
          const bool commit = started && pending[whole] == 'Q' && pending.compare(whole + 5, 6, "COMMIT") == 0;
          whole += head + length;
          started = true;
          if (commit && armed_.exchange(false)) {
            cut = true;
            break;
          }
        }
        if (!SendAll(server, pending.data(), whole)) break;
        pending.erase(0, whole);
        if (cut) break;
      }
    }
    close(client);
    if (cut) {
      // The database's answer to the COMMIT, which the client never gets.
      pollfd answer{server, POLLIN, 0};
      poll(&answer, 1, 5000);
      ++cuts_;
    }
    close(server);
  }

  std::string socket_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> armed_{false};
  std::atomic<int> cuts_{0};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> relays_;
};

// The server's COMMIT of a submission reaches the database, and its connection is lost
// before the answer comes back: the server tries again on a new connection, finds the
// record stored under the submission's token, and answers "OK|stored"; one record is stored.
TEST(PostgresCommit, ASubmissionWhoseCommitAnswerWasLostIsAnsweredStoredOnce) {
  TempFolder folder;
  const std::string db = NewStoreDatabase(Backend::Postgres, folder.Path().string());
  // postgresql:///NAME?host=DIR&port=5432&user=postgres
  const size_t name = db.find("///") + 3;
  const std::string database = db.substr(name, db.find('?') - name);
  const size_t host = db.find("host=") + 5;
  const std::string dir = db.substr(host, db.find('&', host) - host);
  CommitCutter proxy(dir + "/.s.PGSQL.5432");
  const std::string viaProxy = "postgresql://postgres@127.0.0.1:" + std::to_string(proxy.Port()) + "/" + database +
                               "?sslmode=disable&gssencmode=disable";
  ServerProcess server(folder.Path().string(), viaProxy, {"--rate-limit", "0", "--check-rate-limit", "0"});
  const std::string token = FreshToken(server.Port());
  const std::string target = SubmissionTarget(EncodedRecord("once", 4242, token));

  proxy.Arm();
  const HttpReply stored = HttpGet(server.Port(), target);
  EXPECT_EQ(stored.Body, "OK|stored\n") << server.Log();
  EXPECT_EQ(proxy.Cuts(), 1);
  // Sent again, the same: stored, and still once.
  EXPECT_EQ(HttpGet(server.Port(), target).Body, "OK|stored\n");
  const HttpReply other = HttpGet(server.Port(), SubmissionTarget(EncodedRecord("twice", 4243, token)));
  EXPECT_EQ(other.Status, 400);
  EXPECT_NE(other.Body.find("used"), std::string::npos) << other.Body;
  EXPECT_EQ(server.Stop(), 0);
  const auto top = scores::OpenStore(db, 1)->Top(10);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].Name, "once");
  EXPECT_EQ(top[0].Score, 4242);
}

}  // namespace
