// A small HTTP server for tests: listens on 127.0.0.1 at a free port and answers each of its
// next connections in turn with a canned reply, sent at once, dripped a byte at a time, or
// never (the connection is held until the client gives up). It keeps what it was asked.
#pragma once
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

struct CannedReply {
  std::string Bytes;   // status line, headers and body as sent
  int DripMs = 0;      // > 0: one byte, then this long a pause, until done or the client leaves
  bool Stall = false;  // read the request and answer nothing until the client leaves
};

// The reply bytes of a plain HTTP/1.1 answer.
inline std::string HttpReplyText(const std::string& status, const std::string& body, bool withLength = true,
                                 const std::string& extraHeaders = "") {
  std::string reply = "HTTP/1.1 " + status + "\r\nConnection: close\r\nContent-Type: text/plain\r\n" + extraHeaders;
  if (withLength) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return reply + "\r\n" + body;
}

class CannedServer {
 public:
  explicit CannedServer(std::vector<CannedReply> replies) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      ADD_FAILURE() << "no listening socket";
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, replies = std::move(replies)] {
      for (const CannedReply& reply : replies) Serve(reply);
    });
  }
  // Plain replies, sent at once.
  explicit CannedServer(const std::vector<std::string>& replies) : CannedServer(Plain(replies)) {}
  ~CannedServer() {
    Join();
    close(listener_);
  }
  CannedServer(const CannedServer&) = delete;
  CannedServer& operator=(const CannedServer&) = delete;

  // Waits until every reply is served; Requests and Heads are complete afterwards.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  int Port() const { return port_; }
  // The request lines received, one per connection, and the whole request heads.
  std::vector<std::string> Requests;
  std::vector<std::string> Heads;

 private:
  static std::vector<CannedReply> Plain(const std::vector<std::string>& replies) {
    std::vector<CannedReply> plain;
    for (const std::string& r : replies) plain.push_back({r});
    return plain;
  }

  // True once the client has closed its end (or after `ms` without news).
  static bool ClientLeft(int client, int ms) {
    pollfd waiting{client, POLLIN, 0};
    if (poll(&waiting, 1, ms) != 1) return false;
    char byte = 0;
    return recv(client, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
  }

  void Serve(const CannedReply& reply) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 20000) != 1) return;  // never hang the suite when no client comes
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, size_t(got));
    }
    Requests.push_back(request.substr(0, request.find("\r\n")));
    Heads.push_back(request.substr(0, request.find("\r\n\r\n")));
    if (reply.Stall) {
      for (int waited = 0; waited < 20000 && !ClientLeft(client, 100); waited += 100) {
      }
    } else {
      const size_t step = reply.DripMs > 0 ? 1 : reply.Bytes.size();
      for (size_t sent = 0; sent < reply.Bytes.size();) {
        const ssize_t put = send(client, reply.Bytes.data() + sent, std::min(step, reply.Bytes.size() - sent), MSG_NOSIGNAL);
        if (put <= 0) break;  // the client gave up
        sent += size_t(put);
        if (reply.DripMs > 0 && ClientLeft(client, reply.DripMs)) break;
      }
    }
    close(client);
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};
