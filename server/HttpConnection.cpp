#include "HttpConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace scores {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a wait between requests looks whether the server is stopping.
constexpr milliseconds kStopCheck{100};
// Replies are written in one piece when they fit, and sent on at this size when they do not.
constexpr size_t kWriteChunk = 64 * 1024;
// What a refused client may still send, and for how long, before the connection is cut.
constexpr size_t kDrainBytes = 64 * 1024 * 1024;
constexpr milliseconds kDrainTime{2000};

int Millis(milliseconds ms) { return int(std::max<int64_t>(0, ms.count())); }

void AddressOf(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  }
  ip = text;
  // An IPv4 client of an IPv6 socket is shown as the IPv4 address it is.
  if (ip.rfind("::ffff:", 0) == 0 && ip.find('.') != std::string::npos) ip = ip.substr(7);
}

}  // namespace

HttpConnection::HttpConnection(int socket, milliseconds readTimeout, milliseconds writeTimeout)
    : socket_(socket), read_timeout_(readTimeout), write_timeout_(writeTimeout) {}

bool HttpConnection::WaitReadable(milliseconds timeout) const {
  pollfd waiting{socket_, POLLIN, 0};
  int ready;
  do {
    ready = poll(&waiting, 1, Millis(timeout));
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

ssize_t HttpConnection::Receive() {
  if (in_pos_ == in_.size()) {
    in_.clear();
    in_pos_ = 0;
  } else if (in_pos_ > kMaxRequestHead) {
    in_.erase(0, in_pos_);
    in_pos_ = 0;
  }
  char buffer[16384];
  ssize_t got;
  do {
    got = recv(socket_, buffer, sizeof buffer, 0);
  } while (got < 0 && errno == EINTR);
  if (got > 0) in_.append(buffer, size_t(got));
  return got;
}

HttpConnection::Head HttpConnection::ReadHead(milliseconds idle, const std::function<bool()>& stopping) {
  const Clock::time_point idleUntil = Clock::now() + idle;
  Clock::time_point headUntil{};
  for (;;) {
    // Empty lines before a request line are passed over, as HTTP asks of a server.
    while (in_pos_ < in_.size() && (in_[in_pos_] == '\r' || in_[in_pos_] == '\n')) ++in_pos_;
    const std::string_view buffered = std::string_view(in_).substr(in_pos_);
    const size_t lineEnd = buffered.find('\n');
    if ((lineEnd == std::string_view::npos ? buffered.size() : lineEnd + 1) > kMaxRequestLine) return Head::TooLong;
    if (lineEnd != std::string_view::npos) {
      // The head ends with an empty line: "\n\r\n" or "\n\n".
      size_t end = buffered.find("\n\r\n", lineEnd);
      if (end != std::string_view::npos) end += 3;
      const size_t bare = buffered.find("\n\n", lineEnd);
      if (bare != std::string_view::npos && (end == std::string_view::npos || bare + 2 < end)) end = bare + 2;
      if (end != std::string_view::npos && end <= kMaxRequestHead) return Head::Ready;
      if (end != std::string_view::npos || buffered.size() > kMaxRequestHead) return Head::HeadTooLong;
    }
    if (!Flush()) return Head::Closed;
    const bool begun = !buffered.empty();
    const Clock::time_point now = Clock::now();
    if (!begun) {
      if (stopping()) return Head::Idle;
      if (now >= idleUntil) return Head::Idle;
      if (!WaitReadable(std::min<milliseconds>(kStopCheck, std::chrono::duration_cast<milliseconds>(idleUntil - now) + milliseconds(1))))
        continue;
    } else {
      if (headUntil == Clock::time_point{}) headUntil = now + read_timeout_;
      if (now >= headUntil) return Head::Slow;
      if (!WaitReadable(std::chrono::duration_cast<milliseconds>(headUntil - now) + milliseconds(1))) continue;
    }
    if (Receive() <= 0) return begun ? Head::Slow : Head::Closed;
  }
}

std::string_view HttpConnection::RequestLineStart(size_t limit) const {
  std::string_view line = std::string_view(in_).substr(in_pos_);
  line = line.substr(0, std::min(line.find_first_of("\r\n"), limit));
  return line;
}

bool HttpConnection::is_readable() const { return in_pos_ < in_.size() || WaitReadable(read_timeout_); }

bool HttpConnection::is_writable() const {
  pollfd waiting{socket_, POLLOUT, 0};
  return poll(&waiting, 1, Millis(write_timeout_)) > 0 && (waiting.revents & (POLLERR | POLLHUP)) == 0;
}

ssize_t HttpConnection::read(char* ptr, size_t size) {
  if (in_pos_ == in_.size()) {
    // The client may wait for what was written so far (100 Continue) before sending more.
    if (!Flush()) return -1;
    if (!WaitReadable(read_timeout_)) return -1;
    const ssize_t got = Receive();
    if (got <= 0) return got;
  }
  const size_t n = std::min(size, in_.size() - in_pos_);
  std::memcpy(ptr, in_.data() + in_pos_, n);
  in_pos_ += n;
  return ssize_t(n);
}

ssize_t HttpConnection::write(const char* ptr, size_t size) {
  out_.append(ptr, size);
  if (out_.size() >= kWriteChunk && !Flush()) return -1;
  return ssize_t(size);
}

bool HttpConnection::Flush() {
  size_t sent = 0;
  while (sent < out_.size()) {
    const ssize_t put = send(socket_, out_.data() + sent, out_.size() - sent, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && is_writable()) continue;
    if (put <= 0) {
      out_.clear();
      return false;
    }
    sent += size_t(put);
  }
  out_.clear();
  return true;
}

void HttpConnection::DrainAndClose() {
  Flush();
  shutdown(socket_, SHUT_WR);
  const Clock::time_point until = Clock::now() + kDrainTime;
  size_t drained = 0;
  char buffer[16384];
  while (drained < kDrainBytes) {
    const Clock::time_point now = Clock::now();
    if (now >= until || !WaitReadable(std::chrono::duration_cast<milliseconds>(until - now) + milliseconds(1))) break;
    const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    drained += size_t(got);
  }
  Close();
}

void HttpConnection::Close() {
  if (socket_ < 0) return;
  Flush();
  shutdown(socket_, SHUT_RDWR);
  close(socket_);
  socket_ = -1;
}

void HttpConnection::get_remote_ip_and_port(std::string& ip, int& port) const {
  LookUp(getpeername, remote_ip_, remote_port_);
  ip = remote_ip_;
  port = remote_port_;
}

void HttpConnection::get_local_ip_and_port(std::string& ip, int& port) const {
  LookUp(getsockname, local_ip_, local_port_);
  ip = local_ip_;
  port = local_port_;
}

void HttpConnection::LookUp(int (*end)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
  if (port >= 0) return;
  port = 0;
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (end(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) AddressOf(address, ip, port);
}

}  // namespace scores
