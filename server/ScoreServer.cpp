// The three requests and what surrounds them: bounded request heads, one log line per request
// on standard error, a per-address limit on submissions, and a stop that lets requests under
// way finish.
#include "ScoreServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "HttpConnection.h"
#include "Submission.h"
#include "WorldPage.h"
#include "payload/Cp1251.h"
#include "payload/ScorePayload.h"

namespace scores {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A request's head must arrive within this time of its first byte, and a reply be taken by
// the client within this time.
constexpr milliseconds kReadTimeout{10000};
constexpr milliseconds kWriteTimeout{10000};
constexpr time_t kKeepAliveSeconds = 5;
constexpr size_t kKeepAliveRequests = 1000;
// No request of the game has a body.
constexpr size_t kMaxBody = 4096;
// What a log line shows of a request target at most.
constexpr size_t kLoggedTarget = 300;

const char* const kPlainText = "text/plain; charset=utf-8";

// What the log line of the request this thread serves needs beyond the request and reply.
struct RequestNote {
  Clock::time_point Start;
  std::string Client;  // the address the reply was made for: the peer, or the proxy's client
  std::string Note;    // why the request was refused or failed
  bool Malformed = false;  // refused by the HTTP library itself: the connection is closed after it
};
thread_local RequestNote t_request;

int64_t UnixNow() { return int64_t(std::time(nullptr)); }

// The text with everything but printable ASCII (and the quote and backslash) as \xNN, so a
// request cannot forge or break a log line.
std::string LogSafe(std::string_view text, size_t limit) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      out += char(byte);
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  if (text.size() > limit) out += "...";
  return out;
}

std::string LogTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  char text[48];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03ldZ", now.tv_nsec / 1000000);
  return text;
}

// One line, written in one call so lines of different threads never mix.
void WriteLogLine(std::string line) {
  line += '\n';
  for (size_t written = 0; written < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += size_t(n);
  }
}

// 2026-11-01T12:00:00.000Z 203.0.113.7 "GET /cgi/version.pl?version&prg=Zarovel" 200 38 0.4ms "note"
void LogRequest(const std::string& client, std::string_view method, std::string_view target, int status,
                size_t bytes, Clock::time_point start, const std::string& note) {
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  char timing[32];
  std::snprintf(timing, sizeof timing, "%.1fms", ms);
  std::string line = LogTime() + " " + LogSafe(client, 64) + " \"" + LogSafe(method, 16) + " " +
                     LogSafe(target, kLoggedTarget) + "\" " + std::to_string(status) + " " + std::to_string(bytes) +
                     " " + timing;
  if (!note.empty()) line += " \"" + LogSafe(note, 400) + "\"";
  WriteLogLine(std::move(line));
}

bool IsIpAddress(const std::string& text) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, text.c_str(), address) == 1 || inet_pton(AF_INET6, text.c_str(), address) == 1;
}

// The client: the connection's peer, or behind a trusted proxy the address the proxy added
// last to X-Forwarded-For (the ones before it are whatever the client claimed).
std::string ClientAddress(const httplib::Request& req, bool trustProxy) {
  const size_t headers = req.get_header_value_count("X-Forwarded-For");
  if (trustProxy && headers > 0) {
    const std::string forwarded = req.get_header_value("X-Forwarded-For", headers - 1);
    const size_t comma = forwarded.rfind(',');
    std::string last = comma == std::string::npos ? forwarded : forwarded.substr(comma + 1);
    const size_t begin = last.find_first_not_of(" \t");
    const size_t end = last.find_last_not_of(" \t");
    last = begin == std::string::npos ? std::string() : last.substr(begin, end - begin + 1);
    if (IsIpAddress(last)) return last;
  }
  return req.remote_addr;
}

void Reply(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(text, kPlainText);
}

// A refusal: the reason goes to the client and into the log line.
void Refuse(httplib::Response& res, int status, const std::string& reason) {
  t_request.Note = reason;
  Reply(res, status, "ERROR|" + reason + "\n");
}

const char* StatusText(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 429: return "Too Many Requests";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

}  // namespace

std::string NewToken() {
  unsigned char bytes[kTokenLength];
  for (size_t got = 0; got < sizeof bytes;) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("no random numbers from the system");
    got += size_t(n);
  }
  std::string token;
  token.reserve(kTokenLength);
  for (const unsigned char b : bytes) token += ScoreAlphabet[b & 31];  // 256 is a multiple of 32: uniform
  return token;
}

// The HTTP library's server with the connection handling of HttpConnection: bounded heads,
// buffered replies, and keep-alive waits that end as soon as the server stops.
class ScoreServer::Http final : public httplib::Server {
 public:
  // The library listens with a backlog of 5 connections: a burst of new connections (a
  // proxy opening its pool, clients arriving together) would find it full and wait for
  // their packets to be sent again. Listening again on the socket sets a longer one.
  bool WidenBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }

 private:
  bool Stopping() const { return svr_sock_ == INVALID_SOCKET; }

  bool process_and_close_socket(socket_t sock) override {
    int on = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    HttpConnection connection(sock, kReadTimeout, kWriteTimeout);
    std::string peer;
    int port = 0;
    connection.get_remote_ip_and_port(peer, port);
    const auto stopping = [this] { return Stopping(); };
    for (size_t served = 0; served < kKeepAliveRequests; ++served) {
      const milliseconds idle = served == 0 ? kReadTimeout : milliseconds(keep_alive_timeout_sec_ * 1000);
      const HttpConnection::Head head = connection.ReadHead(idle, stopping);
      if (head == HttpConnection::Head::TooLong) {
        RefuseHead(connection, peer, 400, "request line longer than " + std::to_string(kMaxRequestLine) + " bytes");
        return true;
      }
      if (head == HttpConnection::Head::HeadTooLong) {
        RefuseHead(connection, peer, 400, "request head longer than " + std::to_string(kMaxRequestHead) + " bytes");
        return true;
      }
      if (head == HttpConnection::Head::Slow) {
        RefuseHead(connection, peer, 408, "request head not complete in time");
        return true;
      }
      if (head != HttpConnection::Head::Ready) break;
      t_request = RequestNote{Clock::now(), peer, {}, false};
      bool clientCloses = false;
      const bool last = served + 1 == kKeepAliveRequests || Stopping();
      const bool written = process_request(connection, last, clientCloses, [](httplib::Request&) {});
      if (!connection.Flush() || !written || clientCloses || last || t_request.Malformed) break;
    }
    connection.Close();
    return true;
  }

  // A request refused before the HTTP library saw it: replied to, logged, and the connection
  // closed once the client has stopped sending.
  void RefuseHead(HttpConnection& connection, const std::string& peer, int status, const std::string& reason) {
    const Clock::time_point start = Clock::now();
    const std::string body = "ERROR|" + reason + "\n";
    const std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                              "\r\nContent-Type: " + kPlainText + "\r\nContent-Length: " + std::to_string(body.size()) +
                              "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
    connection.write(reply.data(), reply.size());
    const std::string_view line = connection.RequestLineStart(kLoggedTarget + 32);
    const size_t space = line.find(' ');
    const std::string_view method = space == std::string_view::npos ? line : line.substr(0, space);
    const std::string_view target = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    LogRequest(peer, method, target, status, body.size(), start, reason);
    connection.DrainAndClose();
  }
};

ScoreServer::ScoreServer(ScoreStore& store, const ServerOptions& options)
    : store_(store), options_(options), limiter_(options.RateLimit), http_(std::make_unique<Http>()) {
  Http& http = *http_;
  const int threads = options_.Threads;
  http.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
  http.set_read_timeout(std::chrono::duration_cast<std::chrono::seconds>(kReadTimeout).count());
  http.set_write_timeout(std::chrono::duration_cast<std::chrono::seconds>(kWriteTimeout).count());
  http.set_keep_alive_timeout(kKeepAliveSeconds);
  http.set_keep_alive_max_count(kKeepAliveRequests);
  http.set_payload_max_length(kMaxBody);
  http.set_tcp_nodelay(true);

  http.Get("/cgi/version.pl", [this](const httplib::Request& req, httplib::Response& res) {
    t_request.Client = ClientAddress(req, options_.TrustProxy);
    try {
      if (req.get_param_value("prg") != "Zarovel") return Refuse(res, 400, "unknown program: prg is not Zarovel");
      if (req.has_param("version")) return Check(res);
      if (req.has_param("hs")) return Submit(req, res);
      if (req.has_param("show")) return Page(req, res);
      Refuse(res, 400, "unknown request: the query names none of version, hs and show");
    } catch (const std::exception& e) {
      t_request.Note = e.what();
      res.set_header("Retry-After", "5");
      Reply(res, 503, "ERROR|the score store is not available\n");
    }
  });
  // The address alone leads to the world score page.
  http.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/cgi/version.pl?prg=Zarovel&show&type=0");
  });
  // Refusals of the library itself (an unknown path, a malformed request) get a text too.
  // After a malformed request the rest of what the client sent cannot be trusted to start a
  // request, so the connection ends.
  http.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        t_request.Note = StatusText(res.status);
        t_request.Malformed = res.status != 404;
        if (t_request.Malformed) res.set_header("Connection", "close");
        Reply(res, res.status, "ERROR|" + std::string(StatusText(res.status)) + "\n");
        return httplib::Server::HandlerResponse::Handled;
      }));
  http.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    LogRequest(t_request.Client, req.method, req.target, res.status, res.body.size(), t_request.Start,
               t_request.Note);
  });
}

ScoreServer::~ScoreServer() {
  Stop();
  if (purger_.joinable()) purger_.join();
}

void ScoreServer::Check(httplib::Response& res) {
  const std::string token = NewToken();
  store_.AddToken(token, UnixNow() + kTokenLifetimeSeconds);
  // The fields after OK: the program, the version of this reply, the token's lifetime in
  // seconds, and the token, which the game reads between the fourth and the fifth "|".
  Reply(res, 200, "OK|Zarovel|1|" + std::to_string(kTokenLifetimeSeconds) + "|" + token + "|\n");
}

void ScoreServer::Submit(const httplib::Request& req, httplib::Response& res) {
  const size_t payloads = req.get_param_value_count("inf");
  if (payloads != 1) return Refuse(res, 400, payloads == 0 ? "no payload: inf is missing" : "more than one inf");
  const std::string& client = t_request.Client;
  int retryAfter = 0;
  if (!limiter_.Allow(client, retryAfter)) {
    res.set_header("Retry-After", std::to_string(retryAfter));
    return Refuse(res, 429, "too many submissions from this address; try again in " + std::to_string(retryAfter) + " s");
  }
  const SubmissionCheck check = CheckSubmission(req.get_param_value("inf"));
  if (!check.Value) return Refuse(res, 400, check.Reason);
  const Submission& s = *check.Value;
  const int64_t now = UnixNow();
  const ScoreRecord record{platform::Cp1251ToUtf8(s.Name), s.Score, platform::Cp1251ToUtf8(s.OptionsName), now, client};
  switch (store_.StoreRecord(s.Token, now, record)) {
    case TokenUse::Accepted: {
      std::lock_guard<std::mutex> lock(page_mutex_);
      page_dropped_ = Clock::now();
      return Reply(res, 200, "OK|stored\n");
    }
    case TokenUse::Unknown: return Refuse(res, 400, "unknown token");
    case TokenUse::Used: return Refuse(res, 400, "token already used");
    case TokenUse::Expired: return Refuse(res, 400, "token expired");
  }
}

void ScoreServer::Page(const httplib::Request& req, httplib::Response& res) {
  if (req.get_param_value("type") != "0") return Refuse(res, 400, "unknown table: type is not 0");
  res.status = 200;
  res.set_header("Cache-Control", "no-cache");
  res.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; img-src data:");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("Referrer-Policy", "no-referrer");
  const std::shared_ptr<const std::string> page = WorldPage();
  res.set_content(*page, "text/html; charset=utf-8");
}

std::shared_ptr<const std::string> ScoreServer::WorldPage() {
  {
    std::lock_guard<std::mutex> lock(page_mutex_);
    if (page_ && page_made_ > page_dropped_ && Clock::now() - page_made_ < kPageFreshFor) return page_;
  }
  // Made outside the lock: a slow store holds up only the requests that need a new page. A
  // page read before this process stored a record is not kept.
  const Clock::time_point made = Clock::now();
  auto page = std::make_shared<const std::string>(WorldPageHtml(store_.Top(kWorldPageRows)));
  std::lock_guard<std::mutex> lock(page_mutex_);
  if (made > page_dropped_ && (!page_ || page_made_ < made)) {
    page_ = page;
    page_made_ = made;
  }
  return page;
}

int ScoreServer::Bind() {
  const int port = options_.Port == 0 ? http_->bind_to_any_port(options_.Host)
                                      : (http_->bind_to_port(options_.Host, options_.Port) ? options_.Port : -1);
  if (port < 0 || !http_->WidenBacklog()) return -1;
  return port;
}

void ScoreServer::Serve() {
  serving_ = true;
  purger_ = std::thread([this] { PurgeLoop(); });
  if (!stopping_) http_->listen_after_bind();
  serving_ = false;
  Stop();
  purger_.join();
}

void ScoreServer::Stop() {
  stopping_ = true;
  purge_wake_.notify_all();
  // The library only stops a server that is already running.
  while (serving_ && !http_->is_running()) std::this_thread::sleep_for(milliseconds(5));
  http_->stop();
}

void ScoreServer::PurgeLoop() {
  std::unique_lock<std::mutex> lock(purge_mutex_);
  while (!stopping_) {
    lock.unlock();
    try {
      const int64_t purged = store_.PurgeTokens(UnixNow());
      if (purged > 0) WriteLogLine(LogTime() + " purged " + std::to_string(purged) + " expired tokens");
    } catch (const std::exception& e) {
      WriteLogLine(LogTime() + " purging expired tokens failed: " + LogSafe(e.what(), 400));
    }
    lock.lock();
    purge_wake_.wait_for(lock, std::chrono::seconds(kPurgeEverySeconds), [this] { return stopping_.load(); });
  }
}

}  // namespace scores
