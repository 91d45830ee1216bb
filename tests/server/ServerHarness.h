// What the score server's tests start and stop: the built zarovel-scores on 127.0.0.1 at a
// free port, a throwaway PostgreSQL cluster of their own, a plain HTTP client, and the
// game's own encoding of a score request.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pqxx/pqxx>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Store.h"
#include "payload/ScorePayload.h"

extern char** environ;

namespace server_test {

using namespace std::chrono_literals;

// The text of a file, or nothing.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts a program with its standard output appended to `output`, and its standard error
// to `errors` (or to `output` too).
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& output, const std::string& errors = "") {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (errors.empty())
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  else
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

// The exit code of a started program; -1 when it did not end within `timeout` (or was
// killed by a signal).
inline int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 || std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(20ms);
  }
}

// Runs a program to its end (at most two minutes); its exit code, -1 when it did not end.
inline int RunProgram(const std::vector<std::string>& argv, const std::string& output, const std::string& errors = "") {
  const pid_t pid = Spawn(argv, output, errors);
  if (pid < 0) return -1;
  const int code = WaitExit(pid, 120s);
  if (code == -1) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return code;
}

// A PostgreSQL cluster of the test's own: made by initdb in a temporary folder, listening
// only on a Unix socket in that folder, stopped and removed with the value. A test running
// as root runs the server as the postgres user, which refuses to run as root.
class PostgresCluster {
 public:
  PostgresCluster() {
    char folder[] = "/tmp/zarovel-pg-XXXXXX";
    if (mkdtemp(folder) == nullptr) throw std::runtime_error("no temporary folder");
    dir_ = folder;
    if (geteuid() == 0) {
      const passwd* postgres = getpwnam("postgres");
      if (postgres == nullptr) throw std::runtime_error("no postgres user (the postgresql package makes it)");
      if (chown(dir_.c_str(), postgres->pw_uid, postgres->pw_gid) != 0) throw std::runtime_error("chown failed");
      as_postgres_ = {"runuser", "-u", "postgres", "--"};
    }
    const std::string bin = BinFolder();
    const std::string log = dir_ + "/setup.log";
    if (Run({bin + "/initdb", "-D", dir_ + "/data", "-U", "postgres", "--auth=trust", "--no-locale", "-E", "UTF8", "-N"},
            log) != 0)
      throw std::runtime_error("initdb failed:\n" + ReadText(log));
    if (Run({bin + "/pg_ctl", "-D", dir_ + "/data", "-l", dir_ + "/server.log", "-w", "-t", "120", "-o",
             "-k " + dir_ + " -c listen_addresses= -F", "start"},
            log) != 0)
      throw std::runtime_error("pg_ctl start failed:\n" + ReadText(log) + ReadText(dir_ + "/server.log"));
    started_ = true;
  }
  ~PostgresCluster() {
    if (started_) Run({BinFolder() + "/pg_ctl", "-D", dir_ + "/data", "-m", "immediate", "-w", "stop"}, dir_ + "/setup.log");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  // The URI of a database of the cluster.
  std::string Uri(const std::string& database) const {
    return "postgresql:///" + database + "?host=" + dir_ + "&port=5432&user=postgres";
  }
  // A new, empty database; its URI.
  std::string NewDatabase() {
    const std::string name = "zarovel" + std::to_string(++databases_);
    pqxx::connection c(Uri("postgres"));
    pqxx::nontransaction w(c);
    w.exec0("CREATE DATABASE " + name);
    return Uri(name);
  }

 private:
  // The programs of the newest PostgreSQL the postgresql package installed.
  static std::string BinFolder() {
    int newest = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
      const int version = std::atoi(entry.path().filename().c_str());
      if (version > newest && std::filesystem::exists(entry.path() / "bin/pg_ctl")) newest = version;
    }
    if (newest == 0) throw std::runtime_error("no PostgreSQL server installed (the postgresql package)");
    return "/usr/lib/postgresql/" + std::to_string(newest) + "/bin";
  }
  int Run(std::vector<std::string> argv, const std::string& log) {
    argv.insert(argv.begin(), as_postgres_.begin(), as_postgres_.end());
    return RunProgram(argv, log);
  }

  std::string dir_;
  std::vector<std::string> as_postgres_;
  bool started_ = false;
  int databases_ = 0;
};

// A statement run directly on a store's database, behind the server's back.
inline void ExecSql(const std::string& db, const std::string& sql) {
  if (scores::IsPostgresUri(db)) {
    pqxx::connection c(db);
    pqxx::nontransaction w(c);
    w.exec0(sql);
    return;
  }
  sqlite3* handle = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
  sqlite3_busy_timeout(handle, 30000);
  char* error = nullptr;
  const int result = sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(handle);
  ASSERT_EQ(result, SQLITE_OK) << message;
}

// The built zarovel-scores, started on 127.0.0.1 at a port the system picks; stopped with
// SIGTERM when the value goes, unless the test stopped it. `launcher` runs it (such as
// prlimit with its arguments), in the same process.
class ServerProcess {
 public:
  ServerProcess(const std::string& folder, const std::string& db, const std::vector<std::string>& extra = {},
                const std::vector<std::string>& launcher = {}) {
    static int started = 0;
    log_ = folder + "/server" + std::to_string(++started) + ".log";
    std::vector<std::string> argv = launcher;
    for (const std::string& arg : {std::string(ZAROVEL_SCORES), std::string("--listen"), std::string("127.0.0.1:0"),
                                   std::string("--db"), db})
      argv.push_back(arg);
    argv.insert(argv.end(), extra.begin(), extra.end());
    pid_ = Spawn(argv, log_);
    if (pid_ < 0) throw std::runtime_error("cannot start " + std::string(ZAROVEL_SCORES));
    const std::string marker = "listening on 127.0.0.1:";
    const auto until = std::chrono::steady_clock::now() + 60s;
    for (;;) {
      const std::string text = ReadText(log_);
      const size_t at = text.find(marker);
      if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
        port_ = std::stoi(text.substr(at + marker.size()));
        return;
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("zarovel-scores ended at start:\n" + text);
      }
      if (std::chrono::steady_clock::now() >= until) {
        Kill();
        throw std::runtime_error("zarovel-scores did not start listening:\n" + text);
      }
      std::this_thread::sleep_for(20ms);
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) Stop();
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Sends SIGTERM and waits for the end; the exit code (-1 when it had to be killed).
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    const int code = WaitExit(pid_, 60s);
    if (code == -1) Kill();
    pid_ = -1;
    return code;
  }
  int Port() const { return port_; }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Log() const { return ReadText(log_); }

 private:
  void Kill() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  std::string log_;
  pid_t pid_ = -1;
  int port_ = 0;
};

struct HttpReply {
  int Status = 0;    // 0: no reply
  std::string Head;  // status line and headers
  std::string Body;
};

// Sends the bytes on a connection of its own and reads until the server closes it (or a
// minute passes without a byte); everything that came back.
inline std::string Exchange(int port, const std::string& bytes) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{60, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string text;
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    for (size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = send(s, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;  // a refusal may come before the whole request is taken
      sent += size_t(n);
    }
    char buffer[16384];
    for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) text.append(buffer, size_t(n));
  }
  close(s);
  return text;
}

// A connection to 127.0.0.1:port from a loopback address of the caller's choosing (the
// tests' other clients come from 127.0.0.2 and up); -1 when it failed.
inline int ConnectFrom(const std::string& source, int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, source.c_str(), &from.sin_addr);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(s);
    return -1;
  }
  return s;
}

// One request on a connection of its own: "GET target HTTP/1.1" with a Host header, the
// extra header lines given, and "Connection: close"; the whole reply read.
inline HttpReply HttpGet(int port, const std::string& target, const std::string& extraHeaders = "") {
  const std::string text =
      Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "Connection: close\r\n\r\n");
  HttpReply reply;
  const size_t headEnd = text.find("\r\n\r\n");
  if (text.rfind("HTTP/1.", 0) != 0 || headEnd == std::string::npos) return reply;
  reply.Status = std::stoi(text.substr(9, 3));
  reply.Head = text.substr(0, headEnd);
  reply.Body = text.substr(headEnd + 4);
  return reply;
}

// The query the game sends for a record, encoded by the game's own code.
inline std::string SubmissionTarget(const std::string& encoded) {
  return "/cgi/version.pl?hs&prg=Zarovel&inf=" + encoded;
}
inline std::string Encoded(const std::string& payload) { return Base32Text(BitString(payload)); }
// Zeros added as the game adds them: the text's length made a multiple of 5.
inline std::string Padded(std::string payload) {
  while (payload.size() % 5 != 0) payload += '0';
  return payload;
}
inline std::string EncodedRecord(const std::string& nameCp1251, uint32_t score, const std::string& token,
                                 const std::string& optionsName = "") {
  return Encoded(ScoreRequest(nameCp1251, score, token, optionsName));
}

inline const std::string kCheckTarget = "/cgi/version.pl?version&prg=Zarovel";
inline const std::string kPageTarget = "/cgi/version.pl?prg=Zarovel&show&type=0";

// A fresh token from the server's check reply (as the game reads it).
inline std::string FreshToken(int port) {
  const HttpReply check = HttpGet(port, kCheckTarget);
  EXPECT_EQ(check.Status, 200) << check.Body;
  return ServerToken(check.Body);
}

// Which store a test runs on; each store test runs on both.
enum class Backend { Sqlite, Postgres };

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Sqlite ? "SQLite" : "PostgreSQL";
}

// A new empty store database of the backend: an SQLite file in `folder`, or a database in a
// PostgreSQL cluster started on first use and kept for the rest of the test program.
inline std::string NewStoreDatabase(Backend backend, const std::string& folder) {
  static std::unique_ptr<PostgresCluster> cluster;
  static int files = 0;
  if (backend == Backend::Sqlite) return folder + "/scores" + std::to_string(++files) + ".sqlite";
  if (!cluster) cluster = std::make_unique<PostgresCluster>();  // stopped when the program ends
  return cluster->NewDatabase();
}

}  // namespace server_test
