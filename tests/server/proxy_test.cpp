// The documented deployment: nginx, configured from the example in server/deploy, in front of
// two servers on one store, each trusting X-Forwarded-For from the proxy alone. Through it a
// record is stored under the address the proxy saw, a request hidden in a GET's body is never
// a request, every client gets its own reply, and clients that never finish a request's head
// keep no one else out.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>


#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;

// A port nobody listens on now.
int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  close(s);
  return ntohs(address.sin_port);
}

// One exchange from a loopback address of the client's choosing, read until closed.
std::string ExchangeFrom(const std::string& source, int port, const std::string& bytes) {
  const int s = ConnectFrom(source, port);
  if (s < 0) return {};
  timeval timeout{20, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  std::string text;
  char buffer[16384];
  for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) text.append(buffer, size_t(n));
  close(s);
  return text;
}

// nginx in the foreground with the example's site, its upstreams and port replaced, and any
// other of its lines given in `changes`.
class Nginx {
 public:
  Nginx(const std::filesystem::path& folder, int port, int upstream1, int upstream2,
        const std::vector<std::pair<std::string, std::string>>& changes = {})
      : dir_(folder / "nginx") {
    std::filesystem::create_directories(dir_);
    std::string site = ReadText(std::filesystem::path(ZAROVEL_SOURCE_DIR) / "server/deploy/nginx-zarovel-scores.conf");
    auto replace = [&site](const std::string& from, const std::string& to) {
      const size_t at = site.find(from);
      if (at == std::string::npos) throw std::runtime_error("the example no longer has: " + from);
      site.replace(at, from.size(), to);
    };
    replace("server 127.0.0.1:8081;", "server 127.0.0.1:" + std::to_string(upstream1) + ";");
    replace("server 127.0.0.1:8082;", "server 127.0.0.1:" + std::to_string(upstream2) + ";");
    replace("listen 80;", "listen 127.0.0.1:" + std::to_string(port) + ";");
    for (const auto& [from, to] : changes) replace(from, to);
    const std::string d = dir_.string();
    std::ofstream(dir_ / "nginx.conf") << (geteuid() == 0 ? "user root;\n" : "") << "daemon off;\n"
                                       << "worker_processes 1;\npid " << d << "/nginx.pid;\nerror_log " << d
                                       << "/error.log;\nevents { worker_connections 512; }\nhttp {\naccess_log " << d
                                       << "/access.log;\nclient_body_temp_path " << d << "/body;\nproxy_temp_path "
                                       << d << "/proxy;\nfastcgi_temp_path " << d << "/fastcgi;\nuwsgi_temp_path " << d
                                       << "/uwsgi;\nscgi_temp_path " << d << "/scgi;\n"
                                       << site << "\n}\n";
    pid_ = Spawn({"/usr/sbin/nginx", "-p", d, "-c", d + "/nginx.conf"}, d + "/out.log");
    if (pid_ < 0) throw std::runtime_error("cannot start nginx (the nginx package)");
    for (int attempt = 0; attempt < 500; ++attempt) {
      if (HttpGet(port, "/").Status != 0) return;
      std::this_thread::sleep_for(20ms);
    }
    throw std::runtime_error("nginx did not start:\n" + ReadText(dir_ / "out.log") + ReadText(dir_ / "error.log"));
  }
  ~Nginx() {
    kill(pid_, SIGQUIT);
    if (WaitExit(pid_, 10s) == -1) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
};

// A site as the README lays it out: two servers on one store, trusting the proxy in front,
// behind the example's nginx (with `changes` made to it) on a free port.
struct Site {
  explicit Site(const std::vector<std::pair<std::string, std::string>>& changes = {})
      : db(NewStoreDatabase(Backend::Sqlite, folder.Path().string())),
        one(folder.Path().string(), db, Options()),
        two(folder.Path().string(), db, Options()),
        port(FreePort()),
        nginx(folder.Path(), port, one.Port(), two.Port(), changes) {}
  static std::vector<std::string> Options() { return {"--rate-limit", "0", "--trust-proxy", "127.0.0.1"}; }

  TempFolder folder;
  std::string db;
  ServerProcess one;
  ServerProcess two;
  int port;
  Nginx nginx;
};

TEST(Proxy, TheExampleStoresTheProxysViewAndNeverABodysRequest) {
  Site site;
  const std::string& db = site.db;
  ServerProcess& one = site.one;
  const int port = site.port;
  auto stored = [&db] { return scores::OpenStore(db, 1)->Top(100); };

  // A record through the proxy: the client's forged header is kept only in front of the
  // address the proxy saw.
  const std::string token = FreshToken(port);
  std::string reply = ExchangeFrom("127.0.0.5", port,
                                   "GET " + SubmissionTarget(EncodedRecord("Proxied", 40, token)) +
                                       " HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: 203.0.113.9\r\nConnection: close\r\n\r\n");
  EXPECT_NE(reply.find("OK|stored"), std::string::npos) << reply;
  ASSERT_EQ(stored().size(), 1u);
  EXPECT_EQ(stored()[0].Address, "127.0.0.5");

  // Submissions hidden in GET bodies, by Content-Length and chunked: each is one reply to
  // one request, and nothing is stored.
  for (int i = 0; i < 15; ++i) {
    const std::string hidden = "GET " + SubmissionTarget(EncodedRecord("Hidden", 50 + i, FreshToken(port))) +
                               " HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: 198.51.100.1\r\n\r\n";
    char size[16];
    std::snprintf(size, sizeof size, "%zx", hidden.size());
    const std::string head = "GET " + kPageTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    const std::string body = i % 2 == 0 ? "Content-Length: " + std::to_string(hidden.size()) + "\r\n\r\n" + hidden
                                        : "Transfer-Encoding: chunked\r\n\r\n" + std::string(size) + "\r\n" + hidden +
                                              "\r\n0\r\n\r\n";
    reply = ExchangeFrom("127.0.0.6", port, head + body);
    size_t replies = 0;
    for (size_t at = reply.find("HTTP/1.1 "); at != std::string::npos; at = reply.find("HTTP/1.1 ", at + 1)) ++replies;
    EXPECT_LE(replies, 1u) << reply;
    EXPECT_EQ(reply.find("OK|stored"), std::string::npos) << reply;
  }
  EXPECT_EQ(stored().size(), 1u) << "no hidden submission was stored";

  // Clients asking at once through the shared upstream connections each get their own reply.
  std::vector<std::thread> clients;
  std::atomic<int> own{0};
  for (int c = 0; c < 8; ++c)
    clients.emplace_back([&, c] {
      for (int i = 0; i < 25; ++i) {
        const bool check = (c + i) % 2 == 0;
        const std::string text =
            ExchangeFrom("127.0.0." + std::to_string(10 + c), port,
                         "GET " + (check ? kCheckTarget : kPageTarget) + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        own += (check ? text.find("OK|Zarovel|") != std::string::npos : text.find("</html>") != std::string::npos);
      }
    });
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(own, 200);

  // Straight to a server, the header is a client's word and ignored.
  const std::string direct = FreshToken(one.Port());
  reply = ExchangeFrom("127.0.0.7", one.Port(),
                       "GET " + SubmissionTarget(EncodedRecord("Direct", 60, direct)) +
                           " HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: 203.0.113.9\r\nConnection: close\r\n\r\n");
  EXPECT_NE(reply.find("OK|stored"), std::string::npos) << reply;
  EXPECT_EQ(stored()[0].Address, "127.0.0.7");
}

// Clients that send half a request's head and nothing more, reconnecting whenever nginx cuts
// them, from many addresses at once: nginx never passes a half head on and cuts each at its
// client_header_timeout (made 1 s here, so that the test sees it happen), while a player's
// checks through it are all answered.
TEST(Proxy, HalfHeadsKeepNoPlayerOut) {
  Site site({std::pair<std::string, std::string>("client_header_timeout 10s;", "client_header_timeout 1s;")});
  ServerProcess& one = site.one;
  ServerProcess& two = site.two;
  const int port = site.port;

  const std::string half = "GET " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\n";
  constexpr int kHalves = 300;  // from 127.0.1.1 to 127.0.1.250, a few from some
  std::vector<pollfd> halves(kHalves);
  const auto open = [&](int i) {
    halves[i].fd = ConnectFrom("127.0.1." + std::to_string(1 + i % 250), port);
    halves[i].events = POLLIN;
    if (halves[i].fd >= 0) send(halves[i].fd, half.data(), half.size(), MSG_NOSIGNAL);
  };
  for (int i = 0; i < kHalves; ++i) open(i);

  // The player: a check every 100 ms, each on a connection of its own, from an address of
  // its own; the half heads are cut and come back the while.
  std::atomic<bool> done{false};
  std::vector<std::string> refused;
  int answered = 0;
  std::thread player([&] {
    for (const auto until = std::chrono::steady_clock::now() + 4s; std::chrono::steady_clock::now() < until;) {
      const std::string reply = ExchangeFrom("127.0.0.2", port, "GET " + kCheckTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
      if (reply.rfind("HTTP/1.1 200", 0) == 0 && reply.find("OK|Zarovel|") != std::string::npos)
        ++answered;
      else
        refused.push_back(reply.substr(0, 200));
      std::this_thread::sleep_for(100ms);
    }
    done = true;
  });
  int cut = 0;
  size_t replied = 0;  // bytes nginx sent to a half head: none is a request
  while (!done) {
    if (poll(halves.data(), halves.size(), 50) <= 0) continue;
    for (int i = 0; i < kHalves; ++i) {
      if (halves[i].fd < 0 || halves[i].revents == 0) continue;
      char buffer[1024];
      const ssize_t n = recv(halves[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        replied += size_t(n);
        continue;
      }
      if (n < 0 && errno == EAGAIN) continue;
      close(halves[i].fd);
      ++cut;
      open(i);
    }
  }
  player.join();
  for (const pollfd& h : halves)
    if (h.fd >= 0) close(h.fd);

  RecordProperty("answered", answered);
  RecordProperty("cut", cut);
  EXPECT_TRUE(refused.empty()) << refused.size() << " refused, the first: " << refused.front();
  EXPECT_GE(answered, 20);
  EXPECT_GE(cut, kHalves) << "nginx cut no half head at its client_header_timeout";
  EXPECT_EQ(replied, 0u);
  // The servers saw the player's checks and nothing of the half heads.
  EXPECT_EQ(one.Stop(), 0);
  EXPECT_EQ(two.Stop(), 0);
  const std::string logs = one.Log() + two.Log();
  size_t checks = 0;
  for (size_t at = logs.find("GET " + kCheckTarget); at != std::string::npos; at = logs.find("GET " + kCheckTarget, at + 1))
    ++checks;
  EXPECT_EQ(checks, size_t(answered)) << logs;
}

}  // namespace
