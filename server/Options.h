// The command line of zarovel-scores.
#pragma once
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
  int RateLimit = 10;        // submissions per address per minute; 0: no limit
  int CheckRateLimit = 60;   // checks per address per minute; 0: no limit
  int64_t MaxTokens = 100000;  // tokens the store keeps at most; 0: no bound (kDefaultMaxTokens)
  int MaxConnections = 4096;   // open connections in all
  int MaxConnectionsPerAddress = 32;  // open connections per client address
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
