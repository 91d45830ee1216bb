// zarovel-scores: the world score table's server. Opens the store, listens, and serves until
// SIGTERM or SIGINT; then finishes the requests under way and exits 0.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "Options.h"
#include "ScoreServer.h"
#include "Store.h"

namespace {

// scores.sqlite in the folder of the program itself.
std::string DefaultDatabase() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "scores.sqlite";
  return (self.parent_path() / "scores.sqlite").string();
}

// A database as the log may show it: a PostgreSQL URI without its password.
std::string Shown(const std::string& db) {
  if (!scores::IsPostgresUri(db)) return db;
  const size_t scheme = db.find("://") + 3;
  const size_t at = db.find('@', scheme);
  const size_t colon = db.find(':', scheme);
  if (at == std::string::npos || colon == std::string::npos || colon > at) return db;
  return db.substr(0, colon) + ":***" + db.substr(at);
}

}  // namespace

int main(int argc, char** argv) {
  const scores::ParsedOptions parsed = scores::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.Options) {
    (parsed.ExitCode == 0 ? std::cout : std::cerr) << parsed.Message;
    return parsed.ExitCode;
  }
  scores::ServerOptions options = *parsed.Options;
  if (options.Db.empty()) options.Db = DefaultDatabase();

  // The signals that stop the server are taken by one thread that waits for them; every
  // other thread (those made later inherit this mask) never sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<scores::ScoreStore> store;
  try {
    store = scores::OpenStore(options.Db, {.Connections = options.DbConnections,
                                           .MaxTokens = options.MaxTokens,
                                           .MaxRecords = options.MaxRecords,
                                           .Timeout = options.DbTimeout});
  } catch (const std::exception& e) {
    std::cerr << "zarovel-scores: " << e.what() << "\n";
    return 1;
  }
  scores::ScoreServer server(*store, options);
  const int port = server.Bind();
  if (port < 0) {
    std::cerr << "zarovel-scores: cannot listen on " << options.Host << ":" << options.Port << "\n";
    return 1;
  }
  const std::string host = options.Host.find(':') != std::string::npos ? "[" + options.Host + "]" : options.Host;
  std::cerr << "zarovel-scores: listening on " << host << ":" << port << ", store " << Shown(options.Db)
            << " (schema version " << store->SchemaVersion() << "); limits: " << server.Limits() << std::endl;

  std::atomic<bool> signalled{false};
  std::thread stopper([&server, &signalled, stopSignals] {
    int received = 0;
    sigwait(&stopSignals, &received);
    if (!signalled.exchange(true)) std::cerr << "zarovel-scores: stopping on signal " << received << std::endl;
    server.Stop();
  });
  server.Serve();
  // Serving ends by itself only when the listening socket failed: wake the waiting thread.
  if (!signalled.exchange(true)) kill(getpid(), SIGTERM);
  stopper.join();
  std::cerr << "zarovel-scores: stopped" << std::endl;
  return 0;
}
