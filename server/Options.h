// The command line of zarovel-scores.
#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scores {

struct ServerOptions {
  std::string Host = "127.0.0.1";
  int Port = 8080;
  std::string Db;            // an SQLite file or a postgresql:// URI; empty: scores.sqlite beside the program
  int Threads = 4;           // threads that read the world page's records from the store
  int DbConnections = 8;     // database connections of this process
  // Submissions per client key and minute: 60 players behind one address (a school, a café,
  // a carrier's NAT) each send theirs within a minute. 0: no limit.
  int RateLimit = 60;
  int CheckRateLimit = 60;   // checks per client key per minute; 0: no limit
  int64_t MaxTokens = 100000;  // tokens the store keeps at most; 0: no bound (kDefaultMaxTokens)
  int64_t MaxRecords = 1000000;  // records the store keeps at most; 0: no bound (kDefaultMaxRecords)
  // Open connections in all. An idle connection or a half-sent head costs the server about
  // 7 KiB of memory (measured with 4,000) and a descriptor, so 4,096 of them cost some 28 MiB:
  // what a small host spares, within the 8,192 descriptors its service unit allows.
  int MaxConnections = 4096;
  int MaxConnectionsPerAddress = 32;  // per client key, while more than half the cap is open
  int Ipv6Prefix = 64;                // the leading bits of an IPv6 address that make a client key
  // How long a request waits for the store before it is answered 503: within the 2.5 s the
  // game waits for a reply.
  std::chrono::milliseconds DbTimeout{2000};
  // The reverse proxies whose X-Forwarded-For names the client; empty: trust none.
  std::vector<std::string> TrustedProxies;
};

struct ParsedOptions {
  std::optional<ServerOptions> Options;  // empty when the program should not serve
  std::string Message;                   // help, or what was wrong
  int ExitCode = 0;
};

// Reads the arguments after the program's name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

// Splits "HOST:PORT", "[IPV6]:PORT" or ":PORT" (all addresses); false when malformed.
bool ParseListen(const std::string& text, std::string& host, int& port);

extern const char* const kUsage;

}  // namespace scores
