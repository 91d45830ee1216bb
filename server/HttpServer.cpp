// Connections on Boost.Beast and Boost.Asio: every read and write under a deadline that no
// trickle of bytes extends, heads parsed within their limits, and nothing answered but the
// replies written here. A request with a body, or one that cannot be read, ends its
// connection, so no byte after it is ever taken for another request.
#include "HttpServer.h"

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <optional>
#include <thread>
#include <unordered_set>

#include "ClientKey.h"
#include "ConnectionTable.h"

namespace scores {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using std::chrono::milliseconds;

// What a refused client may still send, and for how long, before the connection is cut:
// read and dropped, so that it reads the refusal instead of a reset connection.
constexpr size_t kDrainBytes = 64 * 1024 * 1024;
constexpr milliseconds kDrainTime{2000};
// How long a failed accept (no descriptor left) waits before the next.
constexpr milliseconds kAcceptRetry{50};
// Connections closed to make room are closed by their own loops, a moment later. While this
// many still hold their descriptors, accepting pauses briefly so the loops catch up, rather
// than running out of descriptors under a crowd that reconnects as fast as it is cut.
constexpr size_t kMostClosing = 64;
constexpr milliseconds kCatchUp{2};
// Descriptors kept for the store, the log and the listening socket beyond the connections.
constexpr rlim_t kSpareDescriptors = 128;
// Empty lines allowed before a request line (a client may end its last request with a
// stray CRLF); more are no request at all.
constexpr size_t kMaxEmptyLines = 8;

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 414: return "URI Too Long";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

std::string AddressText(const tcp::endpoint& endpoint) {
  asio::ip::address address = endpoint.address();
  // An IPv4 client of an IPv6 socket is shown as the IPv4 address it is.
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  return address.to_string();
}

// The request target in origin form: an absolute-form target ("http://host/path?query"),
// which a server must accept, loses its scheme and host; the host is not ours to check.
std::string OriginForm(std::string_view target) {
  for (const std::string_view scheme : {"http://", "https://"}) {
    if (target.size() < scheme.size()) continue;
    bool same = true;
    for (size_t i = 0; i < scheme.size(); ++i)
      same = same && std::tolower(static_cast<unsigned char>(target[i])) == scheme[i];
    if (!same) continue;
    const std::string_view rest = target.substr(scheme.size());
    const size_t path = rest.find_first_of("/?");
    if (path == std::string_view::npos) return "/";
    return (rest[path] == '?' ? "/" : "") + std::string(rest.substr(path));
  }
  return std::string(target);
}

// Raises the limit of open descriptors to what the system allows; the limit then.
rlim_t RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur;
}

}  // namespace

// The loops' state. Each thread runs a loop of its own, and a connection lives on one loop,
// so its handlers never run at once and need no strand. The connections refer to this
// state; the table outlives the loops, since the connections a stopped loop still holds
// leave it as the loop is destroyed.
struct HttpServer::Impl {
  Impl(HttpLimits l, HttpHandler h)
      : limits(std::move(l)),
        handler(std::move(h)),
        table(size_t(std::max(1, limits.MaxConnections)), size_t(std::max(1, limits.MaxConnectionsPerAddress))) {
    for (const std::string& address : limits.Uncapped) uncapped.insert(NormalAddress(address));
    for (int i = 0; i < std::max(1, limits.Threads); ++i) {
      loops.push_back(std::make_unique<asio::io_context>(1));
      work.push_back(asio::make_work_guard(*loops.back()));
    }
    acceptor.emplace(*loops.front());
  }

  void Accept();
  // The loops take new connections in turn.
  asio::io_context& NextLoop() { return *loops[next_loop++ % loops.size()]; }

  HttpLimits limits;
  HttpHandler handler;
  ConnectionTable table;
  std::unordered_set<std::string> uncapped;  // the trusted proxies, as NormalAddress writes them
  std::vector<std::unique_ptr<asio::io_context>> loops;
  std::optional<tcp::acceptor> acceptor;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> work;
  size_t next_loop = 0;
  std::atomic<bool> stopping{false};
};

namespace {

// One client connection, on one loop: its handlers never run at once.
class Session final : public TableConnection, public std::enable_shared_from_this<Session> {
 public:
  Session(HttpServer::Impl& server, tcp::socket socket, std::string peer)
      : server_(server), stream_(std::move(socket)), head_timer_(stream_.get_executor()), peer_(std::move(peer)) {}
  ~Session() override { server_.table.Leave(this); }

  void Start() { WaitForRequest(server_.limits.FirstByte); }
  auto Executor() { return stream_.get_executor(); }

  void CloseSoon() override {
    asio::post(stream_.get_executor(), [self = shared_from_this()] { self->Close(); });
  }

 private:
  using Phase = ConnectionTable::Phase;

  // Waits for a request to begin; empty lines before it are passed over. The deadline is
  // set once: empty lines do not extend it.
  void WaitForRequest(milliseconds idle) {
    if (server_.stopping) return Close();
    server_.table.SetPhase(this, Phase::Idle);
    empty_lines_ = 0;
    stream_.expires_after(idle);
    ReadFirstBytes();
  }

  void ReadFirstBytes() {
    DropEmptyLines();
    if (empty_lines_ > kMaxEmptyLines)
      return Refuse(400, "more than " + std::to_string(kMaxEmptyLines) + " empty lines before the request line");
    if (buffer_.size() > 0) return ReadHead();
    stream_.async_read_some(buffer_.prepare(4096),
                            [self = shared_from_this()](beast::error_code error, size_t bytes) {
                              // A kept-alive connection that ends quietly is nothing to note;
                              // one that never asked anything is.
                              if (error == beast::error::timeout && self->served_ == 0)
                                LogConnection(self->peer_, "no request in time");
                              if (error) return self->Close();
                              self->buffer_.commit(bytes);
                              self->ReadFirstBytes();
                            });
  }

  void DropEmptyLines() {
    const auto* data = static_cast<const char*>(buffer_.data().data());
    size_t n = 0;
    for (; n < buffer_.size() && (data[n] == '\r' || data[n] == '\n'); ++n)
      if (data[n] == '\n') ++empty_lines_;
    buffer_.consume(n);
  }

  void ReadHead() {
    server_.table.SetPhase(this, Phase::Reading);
    start_ = LogClock::now();
    parser_.emplace();
    parser_->header_limit(std::uint32_t(kMaxRequestHead));
    head_late_ = false;
    // The stream's own deadline would close the socket; this one only stops the read, so
    // the client still gets its 408.
    stream_.expires_never();
    head_timer_.expires_after(server_.limits.Head);
    head_timer_.async_wait([self = shared_from_this()](beast::error_code error) {
      if (error) return;
      self->head_late_ = true;
      self->stream_.cancel();
    });
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code error, size_t headBytes) {
                              self->head_timer_.cancel();
                              self->OnHead(error, headBytes);
                            });
  }

  void OnHead(beast::error_code error, size_t headBytes) {
    // A head that came whole as its deadline passed is served all the same.
    if (error && head_late_) {
      LogConnection(peer_, "request head not complete in time");
      return Refuse(408, "request head not complete in time");
    }
    // Over the limit, the request line is too long when it has not ended within its own limit.
    // (The parser takes the line off the buffer when the head came in one piece, and leaves
    // it there when the head came in several.)
    if (error == http::error::header_limit)
      return parser_->get().target().empty() && !RequestLineEnded() ? RefuseLineTooLong() : RefuseHeadTooLong();
    if (error == http::error::end_of_stream || error == asio::error::operation_aborted ||
        error == asio::error::connection_reset || error == asio::error::eof)
      return Close();
    if (error) return Refuse(400, "malformed request");

    server_.table.SetPhase(this, Phase::Serving);
    const auto& head = parser_->get();
    method_ = std::string(head.method_string());
    target_ = std::string(head.target());
    if (method_.size() + target_.size() + 10 > kMaxRequestLine) return RefuseLineTooLong();
    // The parser's own limit may let a head that came in one piece run past it.
    if (headBytes > kMaxRequestHead) return RefuseHeadTooLong();
    if (head.method() != http::verb::get && head.method() != http::verb::head)
      return Refuse(405, "method not allowed: only GET and HEAD", {{"Allow", "GET, HEAD"}});
    if ((parser_->content_length() && *parser_->content_length() > 0) || parser_->chunked() ||
        head.count(http::field::transfer_encoding) != 0)
      return Refuse(400, "a " + method_ + " request has no body");
    const size_t hosts = head.count(http::field::host);
    if (head.version() >= 11 && hosts == 0) return Refuse(400, "an HTTP/1.1 request without Host");
    if (hosts > 1) return Refuse(400, "more than one Host header");
    if (hosts == 1 && head[http::field::host].find_first_of(" \t") != beast::string_view::npos)
      return Refuse(400, "a Host header with a space in it");
    const std::string target = OriginForm(target_);
    if (target.empty() || target.front() != '/') return Refuse(400, "malformed request target");

    ++served_;
    keep_alive_ = head.keep_alive() && served_ < server_.limits.MaxRequestsPerConnection;
    HttpRequest request{method_, target, peer_, {}, start_};
    const auto forwarded = head.equal_range("X-Forwarded-For");
    for (auto field = forwarded.first; field != forwarded.second; ++field)
      request.ForwardedFor.emplace_back(field->value());
    server_.handler(std::move(request),
                    [self = shared_from_this(), work = asio::make_work_guard(stream_.get_executor())](HttpReply reply) {
                      // At once when answered on the connection's own loop, else queued to it.
                      asio::dispatch(self->stream_.get_executor(), [self, reply = std::move(reply)]() mutable {
                        self->Write(std::move(reply), false);
                      });
                    });
  }

  std::string_view Buffered() const {
    return std::string_view(static_cast<const char*>(buffer_.data().data()), buffer_.size());
  }
  std::string_view FirstLine() const { return Buffered().substr(0, Buffered().find("\r\n")); }
  bool RequestLineEnded() const {
    const size_t end = Buffered().find("\r\n");
    return end != std::string_view::npos && end + 2 <= kMaxRequestLine;
  }

  void RefuseLineTooLong() {
    Refuse(414, "request line longer than " + std::to_string(kMaxRequestLine) + " bytes");
  }
  void RefuseHeadTooLong() {
    Refuse(431, "request head longer than " + std::to_string(kMaxRequestHead) + " bytes");
  }

  // A request refused here: logged with what is known of it, answered, and the connection
  // closed once the client has stopped sending.
  void Refuse(int status, const std::string& reason, std::vector<std::pair<std::string, std::string>> headers = {}) {
    server_.table.SetPhase(this, Phase::Serving);
    if (method_.empty() && parser_ && !parser_->get().target().empty()) {
      method_ = std::string(parser_->get().method_string());
      target_ = std::string(parser_->get().target());
    } else if (method_.empty()) {
      const std::string_view line = FirstLine().substr(0, 340);
      const size_t space = line.find(' ');
      method_ = std::string(line.substr(0, space));
      if (space != std::string_view::npos) {
        const std::string_view rest = line.substr(space + 1);
        const size_t version = rest.rfind(" HTTP/");
        target_ = std::string(version == std::string_view::npos ? rest : rest.substr(0, version));
      }
    }
    HttpReply reply;
    reply.Status = status;
    reply.Headers = std::move(headers);
    reply.Headers.emplace_back("Cache-Control", "no-store");
    reply.Body = std::make_shared<const std::string>("ERROR|" + reason + "\n");
    reply.Note = reason;
    Write(std::move(reply), true);
  }

  void Write(HttpReply reply, bool refusal) {
    if (refusal) keep_alive_ = false;
    if (server_.stopping) keep_alive_ = false;
    reply_ = std::move(reply);
    if (!reply_.Body) reply_.Body = std::make_shared<const std::string>();
    LogRequest(reply_.Client.empty() ? peer_ : reply_.Client, method_, target_, reply_.Status, reply_.Body->size(),
               start_, reply_.Note);
    server_.table.Replied(this, reply_.Status);
    head_ = "HTTP/1.1 " + std::to_string(reply_.Status) + " " + ReasonPhrase(reply_.Status) +
            "\r\nContent-Type: " + reply_.ContentType + "\r\nContent-Length: " + std::to_string(reply_.Body->size()) +
            "\r\n";
    for (const auto& [name, value] : reply_.Headers) head_ += name + ": " + value + "\r\n";
    if (!keep_alive_) head_ += "Connection: close\r\n";
    head_ += "\r\n";
    const bool withBody = method_ != "HEAD";
    const std::array<asio::const_buffer, 2> buffers = {asio::buffer(head_),
                                                       asio::buffer(*reply_.Body, withBody ? reply_.Body->size() : 0)};
    const size_t bytes = head_.size() + (withBody ? reply_.Body->size() : 0);
    stream_.expires_after(server_.limits.ReplyBase +
                          milliseconds(bytes * 1000 / std::max<size_t>(1, server_.limits.ReplyBytesPerSecond)));
    asio::async_write(stream_, buffers, [self = shared_from_this(), refusal](beast::error_code error, size_t) {
      self->OnWritten(error, refusal);
    });
  }

  void OnWritten(beast::error_code error, bool refusal) {
    if (error == beast::error::timeout) LogConnection(peer_, "reply not taken in time");
    if (error) return Close();
    if (refusal) return Drain();
    if (!keep_alive_) return Close();
    method_.clear();
    target_.clear();
    reply_ = {};
    WaitForRequest(server_.limits.KeepAlive);
  }

  void Drain() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    buffer_.clear();
    scratch_.resize(16384);
    stream_.expires_after(kDrainTime);
    DrainSome();
  }

  void DrainSome() {
    stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](beast::error_code error, size_t bytes) {
      self->drained_ += bytes;
      if (error || self->drained_ >= kDrainBytes) return self->Close();
      self->DrainSome();
    });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    head_timer_.cancel();
    server_.table.Leave(this);
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  HttpServer::Impl& server_;
  beast::tcp_stream stream_;
  asio::steady_timer head_timer_;
  bool head_late_ = false;
  std::string peer_;
  beast::flat_buffer buffer_{kMaxRequestHead + 4096};
  std::optional<http::request_parser<http::empty_body>> parser_;
  LogClock::time_point start_;
  std::string method_;
  std::string target_;
  HttpReply reply_;
  std::string head_;
  size_t served_ = 0;
  size_t empty_lines_ = 0;  // before the request line now awaited
  bool keep_alive_ = false;
  bool closed_ = false;
  size_t drained_ = 0;
  std::vector<char> scratch_;  // what a refused client still sends is read into this, and dropped
};

}  // namespace

void HttpServer::Impl::Accept() {
  acceptor->async_accept(NextLoop(), [self = this](beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !self->acceptor->is_open()) return;
    if (error) {
      // Most likely no descriptor is left: wait a moment rather than spin.
      LogConnection("-", "not accepted: " + error.message());
      auto timer = std::make_shared<asio::steady_timer>(*self->loops.front(), kAcceptRetry);
      timer->async_wait([self, timer](beast::error_code) { self->Accept(); });
      return;
    }
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    const auto remote = socket.remote_endpoint(ignored);
    const std::string peer = ignored ? std::string("?") : AddressText(remote);
    auto session = std::make_shared<Session>(*self, std::move(socket), peer);
    // A trusted proxy's connections count under its own address and are exempt from the
    // per-key cap and the fair share; every other peer counts under its client key.
    const std::string normal = NormalAddress(peer);
    const bool exempt = self->uncapped.count(normal) != 0;
    const std::string key = exempt ? normal : ClientKey(peer, self->limits.Ipv6Prefix);
    if (self->table.Admit(session.get(), session, key, exempt)) {
      asio::post(session->Executor(), [session] { session->Start(); });
    } else {
      LogConnection(key, "refused: too many connections, none of them free to close");
    }
    if (self->table.Closing() < kMostClosing) return self->Accept();
    auto timer = std::make_shared<asio::steady_timer>(*self->loops.front(), kCatchUp);
    timer->async_wait([self, timer](beast::error_code) { self->Accept(); });
  });
}

HttpServer::HttpServer(HttpLimits limits, HttpHandler handler)
    : impl_(std::make_unique<Impl>(std::move(limits), std::move(handler))) {}

HttpServer::~HttpServer() {
  Stop();
}

int HttpServer::Bind(const std::string& host, int port) {
  // The cap must leave descriptors over: a connection accepted with none left could not be
  // admitted, and nothing would be evicted for it.
  const rlim_t descriptors = RaiseDescriptorLimit();
  const rlim_t spare = descriptors > kSpareDescriptors * 2 ? kSpareDescriptors : descriptors / 2;
  if (rlim_t(impl_->limits.MaxConnections) > descriptors - spare)
    impl_->limits.MaxConnections = int(std::max<rlim_t>(1, descriptors - spare));
  impl_->table.SetMaxConnections(size_t(impl_->limits.MaxConnections));
  beast::error_code error;
  const auto address = asio::ip::make_address(host, error);
  if (error) return -1;
  const tcp::endpoint endpoint(address, asio::ip::port_type(port));
  tcp::acceptor& acceptor = *impl_->acceptor;
  acceptor.open(endpoint.protocol(), error);
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) return -1;
  return acceptor.local_endpoint().port();
}

size_t HttpServer::MaxConnections() const { return impl_->table.MaxConnections(); }
size_t HttpServer::Connections() const { return impl_->table.Count(); }
uint64_t HttpServer::Evictions() const { return impl_->table.Evictions(); }

void HttpServer::Run() {
  if (!impl_->stopping) impl_->Accept();
  std::vector<std::thread> others;
  for (size_t i = 1; i < impl_->loops.size(); ++i) others.emplace_back([this, i] { impl_->loops[i]->run(); });
  impl_->loops.front()->run();
  for (std::thread& t : others) t.join();
}

void HttpServer::Stop() {
  if (impl_->stopping.exchange(true)) return;
  asio::post(*impl_->loops.front(), [impl = impl_.get()] {
    beast::error_code ignored;
    impl->acceptor->close(ignored);
    impl->table.CloseUnserved();
    for (auto& guard : impl->work) guard.reset();
  });
}

}  // namespace scores
