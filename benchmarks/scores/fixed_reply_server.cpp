// The yardstick of the score server's benchmark: the same HTTP layer answering every request
// at once with a fixed body of a given size, so that what the real server adds (the query,
// the limits, the store) shows as a ratio.
//
//   fixed_reply_server PORT BYTES
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "HttpServer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fixed_reply_server PORT BYTES\n");
    return 2;
  }
  const auto body = std::make_shared<const std::string>(size_t(std::atol(argv[2])), 'x');
  scores::HttpLimits limits;
  scores::HttpServer server(limits, [body](scores::HttpRequest, scores::HttpRespond respond) {
    scores::HttpReply reply;
    reply.Body = body;
    respond(std::move(reply));
  });
  const int port = server.Bind("127.0.0.1", std::atoi(argv[1]));
  if (port < 0) return 1;
  std::fprintf(stderr, "listening on 127.0.0.1:%d\n", port);
  std::signal(SIGPIPE, SIG_IGN);
  server.Run();
  return 0;
}
