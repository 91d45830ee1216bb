// Command-line options.
#include "Options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>

namespace scores {

const char* const kUsage =
    "Usage: zarovel-scores [OPTIONS]\n"
    "Serves Zarovel's world score table: the check and score requests the game sends and the\n"
    "world score page, all under /cgi/version.pl.\n"
    "\n"
    "  --listen HOST:PORT   address to listen on (default 127.0.0.1:8080); [::1]:8080 for IPv6,\n"
    "                       0.0.0.0:8080 for every IPv4 interface, port 0 for any free port\n"
    "  --db FILE            SQLite database file (default: scores.sqlite beside the program)\n"
    "  --db postgresql://USER@HOST/DATABASE\n"
    "                       PostgreSQL database, which several server processes may share\n"
    "  --db-timeout SECONDS how long a request waits for the store before it is answered 503\n"
    "                       (default 2; PostgreSQL's statement and lock timeouts, SQLite's busy\n"
    "                       wait; the migration at start waits as long as it needs)\n"
    "  --rate-limit N       score submissions allowed per client and minute, in a burst of up\n"
    "                       to N (default 60; 0 turns the limit off)\n"
    "  --check-rate-limit N checks (the token requests before a submission) allowed per client\n"
    "                       and minute, in a burst of up to N (default 60; 0: no limit)\n"
    "  --max-tokens N       tokens the store keeps at most; beyond it the used ones go first, then\n"
    "                       those of the clients holding the most (default 100000; 0: no bound)\n"
    "  --max-records N      records the store keeps at most; the lowest scores go beyond it\n"
    "                       (default 1000000; 0: no bound)\n"
    "  --max-connections N  open connections in all (default 4096, and never more than the\n"
    "                       descriptor limit less 128). At the cap a new connection closes one\n"
    "                       not being answered, of the client holding the most connections:\n"
    "                       first one that never had a 2xx or 3xx reply, oldest first\n"
    "  --max-connections-per-address N\n"
    "                       open connections per client while more than half the cap is open\n"
    "                       (default 32); a client over it closes its own to make room\n"
    "  --ipv6-prefix N      the leading bits of an IPv6 address that make one client for every\n"
    "                       limit (default 64: a /64 is one client; 1 to 128). IPv4 addresses\n"
    "                       are clients of their own\n"
    "  --threads N          threads that read the world page's records from the database\n"
    "                       (default 4). Connections are served by an event loop on a few\n"
    "                       threads of its own, where an idle one costs no thread, and checks\n"
    "                       and submissions go to the database in batches from one thread\n"
    "  --db-connections N   database connections this process opens at most (default 8)\n"
    "  --trust-proxy ADDRESS[,ADDRESS...]\n"
    "                       the reverse proxies in front: from these peers only, the client is\n"
    "                       the last address of the X-Forwarded-For header, and their\n"
    "                       connections are exempt from the per-client caps\n"
    "  --help               this text\n"
    "\n"
    "The log goes to standard error: a line per request, at most 10 a second of each kind, a\n"
    "summary of what was left out, and a line of figures a minute. SIGTERM or SIGINT stops the\n"
    "server cleanly.\n";

namespace {

bool ParseInt(const std::string& text, int low, int high, int& value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

// Seconds with up to three decimals, such as "2" or "0.5".
bool ParseSeconds(const std::string& text, std::chrono::milliseconds low, std::chrono::milliseconds high,
                  std::chrono::milliseconds& value) {
  const size_t dot = text.find('.');
  int whole = 0;
  int thousandths = 0;
  if (!ParseInt(text.substr(0, dot), 0, 1000000, whole)) return false;
  if (dot != std::string::npos) {
    const std::string fraction = text.substr(dot + 1);
    if (fraction.empty() || fraction.size() > 3 || !ParseInt(fraction, 0, 999, thousandths)) return false;
    for (size_t i = fraction.size(); i < 3; ++i) thousandths *= 10;
  }
  const std::chrono::milliseconds parsed(int64_t(whole) * 1000 + thousandths);
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

ParsedOptions Fail(const std::string& message) { return {std::nullopt, message + "\n" + kUsage, 2}; }

// "10.0.0.5,10.0.0.6": IPv4 or IPv6 addresses separated by commas.
bool ParseAddresses(const std::string& text, std::vector<std::string>& addresses) {
  std::vector<std::string> parsed;
  for (size_t start = 0; start <= text.size();) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string address = text.substr(start, comma - start);
    unsigned char bytes[sizeof(in6_addr)];
    if (inet_pton(AF_INET, address.c_str(), bytes) != 1 && inet_pton(AF_INET6, address.c_str(), bytes) != 1)
      return false;
    parsed.push_back(address);
    start = comma + 1;
  }
  addresses = std::move(parsed);
  return true;
}

}  // namespace

bool ParseListen(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string h = text.substr(0, colon);
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') {
    h = h.substr(1, h.size() - 2);
  } else if (h.find(':') != std::string::npos) {
    return false;  // an IPv6 address needs its brackets
  }
  if (h.empty()) h = "0.0.0.0";
  int p = 0;
  if (!ParseInt(text.substr(colon + 1), 0, 65535, p)) return false;
  host = h;
  port = p;
  return true;
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ServerOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") return {std::nullopt, kUsage, 0};
    if (arg == "--trust-proxy") {
      if (!value(text) || !ParseAddresses(text, options.TrustedProxies))
        return Fail("--trust-proxy wants the addresses of the proxies in front, such as 127.0.0.1 or "
                    "10.0.0.5,10.0.0.6: X-Forwarded-For is trusted from them alone");
    } else if (arg == "--listen") {
      if (!value(text) || !ParseListen(text, options.Host, options.Port))
        return Fail("--listen wants HOST:PORT, such as 127.0.0.1:8080");
    } else if (arg == "--db") {
      if (!value(options.Db) || options.Db.empty()) return Fail("--db wants a file or a postgresql:// URI");
    } else if (arg == "--rate-limit") {
      if (!value(text) || !ParseInt(text, 0, 1000000, options.RateLimit))
        return Fail("--rate-limit wants a whole number of submissions a minute");
    } else if (arg == "--check-rate-limit") {
      if (!value(text) || !ParseInt(text, 0, 1000000, options.CheckRateLimit))
        return Fail("--check-rate-limit wants a whole number of checks a minute");
    } else if (arg == "--max-tokens") {
      int tokens = 0;
      if (!value(text) || !ParseInt(text, 0, 1000000000, tokens)) return Fail("--max-tokens wants 0 to 1000000000");
      options.MaxTokens = tokens;
    } else if (arg == "--max-records") {
      int records = 0;
      if (!value(text) || !ParseInt(text, 0, 1000000000, records)) return Fail("--max-records wants 0 to 1000000000");
      options.MaxRecords = records;
    } else if (arg == "--ipv6-prefix") {
      if (!value(text) || !ParseInt(text, 1, 128, options.Ipv6Prefix)) return Fail("--ipv6-prefix wants 1 to 128");
    } else if (arg == "--db-timeout") {
      using std::chrono::milliseconds;
      if (!value(text) || !ParseSeconds(text, milliseconds(100), milliseconds(600000), options.DbTimeout))
        return Fail("--db-timeout wants seconds from 0.1 to 600, such as 2 or 0.5");
    } else if (arg == "--max-connections") {
      if (!value(text) || !ParseInt(text, 1, 1000000, options.MaxConnections))
        return Fail("--max-connections wants 1 to 1000000");
    } else if (arg == "--max-connections-per-address") {
      if (!value(text) || !ParseInt(text, 1, 1000000, options.MaxConnectionsPerAddress))
        return Fail("--max-connections-per-address wants 1 to 1000000");
    } else if (arg == "--threads") {
      if (!value(text) || !ParseInt(text, 1, 4096, options.Threads)) return Fail("--threads wants 1 to 4096");
    } else if (arg == "--db-connections") {
      if (!value(text) || !ParseInt(text, 1, 1024, options.DbConnections))
        return Fail("--db-connections wants 1 to 1024");
    } else {
      return Fail("unknown argument: " + arg);
    }
  }
  return {options, {}, 0};
}

}  // namespace scores
