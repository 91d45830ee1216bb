// Command-line options.
#include "Options.h"

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
    "  --rate-limit N       score submissions allowed per client address and minute (default 10;\n"
    "                       0 turns the limit off)\n"
    "  --threads N          connections served at once (default 64)\n"
    "  --db-connections N   database connections this process opens at most (default 8)\n"
    "  --trust-proxy        behind a reverse proxy: the client is the last address of the\n"
    "                       X-Forwarded-For header the proxy sets\n"
    "  --help               this text\n"
    "\n"
    "One line per request goes to standard error. SIGTERM or SIGINT stops the server cleanly.\n";

namespace {

bool ParseInt(const std::string& text, int low, int high, int& value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

ParsedOptions Fail(const std::string& message) { return {std::nullopt, message + "\n" + kUsage, 2}; }

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
      options.TrustProxy = true;
    } else if (arg == "--listen") {
      if (!value(text) || !ParseListen(text, options.Host, options.Port))
        return Fail("--listen wants HOST:PORT, such as 127.0.0.1:8080");
    } else if (arg == "--db") {
      if (!value(options.Db) || options.Db.empty()) return Fail("--db wants a file or a postgresql:// URI");
    } else if (arg == "--rate-limit") {
      if (!value(text) || !ParseInt(text, 0, 1000000, options.RateLimit))
        return Fail("--rate-limit wants a whole number of submissions a minute");
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
