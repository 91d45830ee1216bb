// One client connection as the HTTP library reads and writes it, with the limits the library
// itself does not set: a request's head (its request line and headers) is read here first,
// and one longer than a few KiB is refused before any of it is parsed or kept.
#pragma once
#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace scores {

// The longest request line (method, target, version) accepted.
inline constexpr size_t kMaxRequestLine = 4096;
// The longest request head (request line and headers) accepted.
inline constexpr size_t kMaxRequestHead = 16384;

class HttpConnection final : public httplib::Stream {
 public:
  HttpConnection(int socket, std::chrono::milliseconds readTimeout, std::chrono::milliseconds writeTimeout);

  enum class Head {
    Ready,        // a whole head is buffered
    Closed,       // the client closed the connection (or it failed) between requests
    Idle,         // no request came in time, or the server is stopping
    TooLong,      // the request line is longer than kMaxRequestLine
    HeadTooLong,  // the head is longer than kMaxRequestHead
    Slow,         // a head begun but not finished within the read time-out
  };
  // Reads until the next request's head is buffered. Waits `idle` for its first byte, in
  // short steps that end early once `stopping` says so.
  Head ReadHead(std::chrono::milliseconds idle, const std::function<bool()>& stopping);
  // The start of the buffered request line, at most `limit` bytes, for the log.
  std::string_view RequestLineStart(size_t limit) const;
  // Sends what the library wrote; false when the client is gone.
  bool Flush();
  // After a refusal: no more replies; reads and drops what the client still sends for a
  // short while, so that it reads the refusal instead of a reset connection.
  void DrainAndClose();
  void Close();

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return socket_; }

 private:
  bool WaitReadable(std::chrono::milliseconds timeout) const;
  // Fills ip and port with one end's address (getpeername or getsockname), once.
  void LookUp(int (*end)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const;
  // Reads what is there into the input buffer: bytes read, 0 at the end, -1 on an error.
  ssize_t Receive();

  int socket_;
  std::chrono::milliseconds read_timeout_;
  std::chrono::milliseconds write_timeout_;
  std::string in_;
  size_t in_pos_ = 0;
  std::string out_;
  // The two ends' addresses, looked up once for all the connection's requests.
  mutable std::string remote_ip_;
  mutable int remote_port_ = -1;
  mutable std::string local_ip_;
  mutable int local_port_ = -1;
};

}  // namespace scores
