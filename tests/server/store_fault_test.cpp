// The built server on a store that fails under it: an SQLite file made read-only for a while
// and then writable again, an SQLite file or its folder removed or replaced while the server
// runs, and PostgreSQL ending the server's sessions. The server answers 503 while the store
// cannot keep a record, never "OK|stored" for one it lost, and recovers without a restart
// when the store does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>

#include "server/EndSessions.h"
#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;
namespace fs = std::filesystem;

// The built server run by nobody, whom file permissions bind as they do not bind root: a copy
// of the program in `folder`, which is made that user's, with its store in there too. Run by
// anyone but root, it runs as that user.
class UnprivilegedServer {
 public:
  UnprivilegedServer(const fs::path& folder, const std::string& db) : log_((folder / "server.log").string()) {
    const fs::path program = folder / "zarovel-scores";
    fs::copy_file(ZAROVEL_SCORES, program, fs::copy_options::overwrite_existing);
    std::vector<std::string> argv;
    if (geteuid() == 0) {
      const passwd* nobody = getpwnam("nobody");
      if (nobody == nullptr) throw std::runtime_error("no user nobody");
      if (chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) throw std::runtime_error("chown failed");
      argv = {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid), "--regid=" + std::to_string(nobody->pw_gid),
              "--clear-groups", "--"};
    }
    for (const std::string& arg : {program.string(), std::string("--listen"), std::string("127.0.0.1:0"),
                                   std::string("--db"), db, std::string("--rate-limit"), std::string("0")})
      argv.push_back(arg);
    pid_ = Spawn(argv, log_);
    if (pid_ < 0) throw std::runtime_error("cannot start " + program.string());
    const std::string marker = "listening on 127.0.0.1:";
    for (const auto until = std::chrono::steady_clock::now() + 60s;;) {
      const std::string text = ReadText(log_);
      const size_t at = text.find(marker);
      if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
        port_ = std::stoi(text.substr(at + marker.size()));
        return;
      }
      if (WaitExit(pid_, 0ms) != -1 || std::chrono::steady_clock::now() >= until) {
        Stop();
        throw std::runtime_error("zarovel-scores did not start listening:\n" + text);
      }
      std::this_thread::sleep_for(20ms);
    }
  }
  ~UnprivilegedServer() { Stop(); }
  UnprivilegedServer(const UnprivilegedServer&) = delete;
  UnprivilegedServer& operator=(const UnprivilegedServer&) = delete;

  int Port() const { return port_; }
  std::string Log() const { return ReadText(log_); }
  // setpriv runs the server in its own place, so the signal reaches the server itself.
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int code = WaitExit(pid_, 60s);
    if (code == -1) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    return code;
  }

 private:
  std::string log_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// The store's file and the log files beside it, made read-only or writable.
void SetWritable(const std::string& db, bool writable) {
  for (const std::string& file : {db, db + "-wal", db + "-shm"}) {
    if (fs::exists(file)) {
      ASSERT_EQ(chmod(file.c_str(), writable ? 0644 : 0444), 0) << file;
    }
  }
}

// The status of a check request, and at most `tries` of them until one answers `status`.
int CheckUntil(int port, int status, int tries) {
  int got = 0;
  for (int i = 0; i < tries; ++i) {
    got = HttpGet(port, kCheckTarget).Status;
    if (got == status) break;
    std::this_thread::sleep_for(100ms);
  }
  return got;
}

TEST(StoreFaults, AnSqliteFileMadeReadOnlyFailsChecksUntilItIsWritableAgain) {
  TempFolder folder;
  const std::string db = folder.Dir() + "scores.sqlite";
  UnprivilegedServer server(folder.Path(), db);
  const std::string before = FreshToken(server.Port());

  SetWritable(db, false);
  for (int i = 0; i < 3; ++i) {
    const HttpReply check = HttpGet(server.Port(), kCheckTarget);
    EXPECT_EQ(check.Status, 503) << check.Body;
    EXPECT_EQ(check.Body.rfind("ERROR|", 0), 0u) << check.Body;
  }
  const HttpReply refused = HttpGet(server.Port(), SubmissionTarget(EncodedRecord("during", 10, before)));
  EXPECT_EQ(refused.Status, 503) << refused.Body;

  // Writable again: within a few seconds, and without a restart, the store takes writes.
  SetWritable(db, true);
  EXPECT_EQ(CheckUntil(server.Port(), 200, 50), 200) << server.Log();
  const HttpReply stored = HttpGet(server.Port(), SubmissionTarget(EncodedRecord("after", 20, before)));
  EXPECT_EQ(stored.Body, "OK|stored\n");
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(server.Log().find("read-only"), std::string::npos) << server.Log();
  const auto top = scores::OpenStore(db, 1)->Top(10);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].Name, "after");
}

TEST(StoreFaults, NoRecordIsAcknowledgedAfterTheSqliteFileIsRemovedOrReplaced) {
  struct Change {
    const char* what;
    void (*apply)(const fs::path& file);
  };
  const Change changes[] = {
      {"folder removed", [](const fs::path& file) { fs::remove_all(file.parent_path()); }},
      {"file replaced by a copy",
       [](const fs::path& file) {
         fs::copy_file(file, file.string() + ".copy");
         fs::rename(file.string() + ".copy", file);
       }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    TempFolder folder;  // the server's log stays here; the store is in a folder of its own
    const fs::path file = folder.Path() / "store" / "scores.sqlite";
    fs::create_directories(file.parent_path());
    std::vector<std::string> acknowledged;  // names answered "OK|stored" after the change
    {
      ServerProcess server(folder.Path().string(), file.string(), {"--rate-limit", "0"});
      const HttpReply first =
          HttpGet(server.Port(), SubmissionTarget(EncodedRecord("before", 5, FreshToken(server.Port()))));
      ASSERT_EQ(first.Body, "OK|stored\n");
      std::vector<std::string> tokens;
      for (int i = 0; i < 3; ++i) tokens.push_back(FreshToken(server.Port()));

      change.apply(file);
      for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string name = "after" + std::to_string(i);
        const HttpReply reply =
            HttpGet(server.Port(), SubmissionTarget(EncodedRecord(name, 100 + uint32_t(i), tokens[i])));
        EXPECT_EQ(reply.Status, 503) << reply.Body;
        if (reply.Body == "OK|stored\n") acknowledged.push_back(name);
      }
      EXPECT_EQ(HttpGet(server.Port(), kCheckTarget).Status, 503);
      EXPECT_EQ(server.Stop(), 0);
      EXPECT_NE(server.Log().find("removed or replaced"), std::string::npos) << server.Log();
    }
    EXPECT_TRUE(acknowledged.empty());

    // Started again on the path, the server finds every record it acknowledged.
    fs::create_directories(file.parent_path());
    ServerProcess again(folder.Path().string(), file.string(), {"--rate-limit", "0"});
    const HttpReply page = HttpGet(again.Port(), kPageTarget);
    ASSERT_EQ(page.Status, 200);
    for (const std::string& name : acknowledged) EXPECT_NE(page.Body.find(">" + name + "<"), std::string::npos) << name;
  }
}

// The database ends every session of the server at once (a restart, a failover, an
// administrator): the next request is served on a new connection all the same.
TEST(StoreFaults, RequestsOutlivePostgresEndingTheServersSessions) {
  TempFolder folder;
  const std::string db = NewStoreDatabase(Backend::Postgres, folder.Path().string());
  ServerProcess server(folder.Path().string(), db, {"--rate-limit", "0"});
  // Requests at once, so the server holds several connections, every one of them ended below.
  std::vector<std::thread> clients;
  std::atomic<int> served{0};
  for (int i = 0; i < 6; ++i)
    clients.emplace_back([&] { served += HttpGet(server.Port(), kCheckTarget).Status == 200; });
  for (auto& client : clients) client.join();
  ASSERT_EQ(served, 6);

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string token = FreshToken(server.Port());
    EndSessions(db);
    const HttpReply check = HttpGet(server.Port(), kCheckTarget);
    EXPECT_EQ(check.Status, 200) << check.Body;
    EndSessions(db);
    const HttpReply stored =
        HttpGet(server.Port(), SubmissionTarget(EncodedRecord("round" + std::to_string(round), 10, token)));
    EXPECT_EQ(stored.Body, "OK|stored\n");
    EndSessions(db);
    EXPECT_EQ(HttpGet(server.Port(), kPageTarget).Status, 200);
  }
  EXPECT_EQ(scores::OpenStore(db, 1)->RecordCount(), 3);
}

}  // namespace
