// The three requests and what surrounds them: the client's address (behind a trusted proxy
// too), per-address limits on checks and submissions, writes to the store in batches, the
// single-flight world page, and the minute purge of expired tokens.
#include "ScoreServer.h"

#include <sys/random.h>

#include <algorithm>
#include <boost/asio/post.hpp>
#include <cerrno>
#include <ctime>

#include "ClientKey.h"
#include "Log.h"
#include "Submission.h"
#include "WorldPage.h"
#include "payload/Cp1251.h"
#include "payload/ScorePayload.h"

namespace scores {
namespace {

const char* const kPageTarget = "/cgi/version.pl?prg=Zarovel&show&type=0";

int64_t UnixNow() { return int64_t(std::time(nullptr)); }

std::shared_ptr<const std::string> Text(std::string text) { return std::make_shared<const std::string>(std::move(text)); }

HttpReply Reply(int status, std::string text) {
  HttpReply reply;
  reply.Status = status;
  reply.Headers = {{"Cache-Control", "no-store"}};
  reply.Body = Text(std::move(text));
  return reply;
}

// A refusal: the reason goes to the client and into the log line.
HttpReply Refusal(int status, const std::string& reason) {
  HttpReply reply = Reply(status, "ERROR|" + reason + "\n");
  reply.Note = reason;
  return reply;
}

HttpReply TooMany(const std::string& what, int retryAfter) {
  HttpReply reply =
      Refusal(429, "too many " + what + " from this address; try again in " + std::to_string(retryAfter) + " s");
  reply.Headers.emplace_back("Retry-After", std::to_string(retryAfter));
  return reply;
}

// The store failed: the client may try again shortly; the log says why.
HttpReply StoreFailed(std::exception_ptr error) {
  HttpReply reply = Reply(503, "ERROR|the score store is not available\n");
  reply.Headers.emplace_back("Retry-After", "5");
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    reply.Note = e.what();
  } catch (...) {
    reply.Note = "unknown failure";
  }
  return reply;
}

// The fields after OK: the program, the version of this reply, the token's lifetime in
// seconds, and the token, which the game reads between the fourth and the fifth "|".
std::string CheckReply(const std::string& token) {
  return "OK|Zarovel|1|" + std::to_string(kTokenLifetimeSeconds) + "|" + token + "|\n";
}

HttpReply PageReply(std::shared_ptr<const std::string> page) {
  HttpReply reply;
  reply.ContentType = "text/html; charset=utf-8";
  reply.Headers = {{"Cache-Control", "no-cache"},
                   {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; img-src data:"},
                   {"X-Content-Type-Options", "nosniff"},
                   {"Referrer-Policy", "no-referrer"}};
  reply.Body = std::move(page);
  return reply;
}

HttpLimits LimitsOf(const ServerOptions& options) {
  HttpLimits limits;
  limits.MaxConnections = options.MaxConnections;
  limits.MaxConnectionsPerAddress = options.MaxConnectionsPerAddress;
  limits.Ipv6Prefix = options.Ipv6Prefix;
  limits.Uncapped = options.TrustedProxies;
  return limits;
}

}  // namespace

std::string NewToken() {
  // The score alphabet in the order of its bytes, so that the time part sorts as it counts.
  static const char kSorted[] = "123456789ABCDEFGHJKLMNPQRSTUVWXY";
  static_assert(sizeof kSorted - 1 == 32);
  unsigned char bytes[kTokenLength - kTokenTimeChars];
  for (size_t got = 0; got < sizeof bytes;) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("no random numbers from the system");
    got += size_t(n);
  }
  std::string token;
  token.reserve(kTokenLength);
  // The seconds, in four places of 32 (they come round every twelve days): the tokens of one
  // moment sort together, so the store writes a new batch into a page or two of its table
  // instead of one page a token.
  const auto seconds = uint64_t(UnixNow());
  for (size_t place = kTokenTimeChars; place-- > 0;) token += kSorted[(seconds >> (5 * place)) & 31];
  for (const unsigned char b : bytes) token += ScoreAlphabet[b & 31];  // 256 is a multiple of 32: uniform
  return token;
}

ScoreServer::ScoreServer(ScoreStore& store, const ServerOptions& options)
    : store_(store),
      options_(options),
      submissions_(options.RateLimit),
      checks_(options.CheckRateLimit),
      http_(LimitsOf(options), [this](HttpRequest request, HttpRespond respond) {
        Handle(std::move(request), std::move(respond));
      }),
      store_threads_(size_t(std::max(1, options.Threads))),
      writes_(store) {
  for (const std::string& proxy : options.TrustedProxies) trusted_proxies_.insert(NormalAddress(proxy));
}

ScoreServer::~ScoreServer() {
  Stop();
  store_threads_.join();
  if (purger_.joinable()) purger_.join();
}

void ScoreServer::Handle(HttpRequest request, HttpRespond respond) {
  const Query query(request.Target);
  const std::string client = ClientAddress(request);
  const std::string key = ClientKey(client, options_.Ipv6Prefix);
  // Every reply names the client it was made for, for the log line.
  HttpRespond answer = [this, client, respond = std::move(respond)](HttpReply reply) {
    if (reply.Status == 429) ++limited_;
    if (reply.Status == 503) ++unavailable_;
    reply.Client = client;
    respond(std::move(reply));
  };
  const bool head = request.Method == "HEAD";
  if (query.Path() == "/") {
    // The address alone leads to the world score page.
    HttpReply reply = Reply(302, "");
    reply.Headers.emplace_back("Location", kPageTarget);
    return answer(std::move(reply));
  }
  if (query.Path() != "/cgi/version.pl") return answer(Refusal(404, "Not Found"));
  if (query.Value("prg") != "Zarovel") return answer(Refusal(400, "unknown program: prg is not Zarovel"));
  if (query.Has("version")) return Check(key, head, std::move(answer));
  if (query.Has("hs")) {
    // A submission spends a token and stores a record: never for a HEAD, which asks only
    // what a GET would answer.
    if (head) {
      HttpReply refused = Refusal(405, "a submission is a GET");
      refused.Headers.emplace_back("Allow", "GET");
      return answer(std::move(refused));
    }
    return Submit(query, client, key, std::move(answer));
  }
  if (query.Has("show")) return Page(query, std::move(answer));
  answer(Refusal(400, "unknown request: the query names none of version, hs and show"));
}

void ScoreServer::OnStore(HttpRespond respond, std::function<HttpReply()> work) {
  boost::asio::post(store_threads_, [respond = std::move(respond), work = std::move(work)] {
    HttpReply reply;
    try {
      reply = work();
    } catch (...) {
      reply = StoreFailed(std::current_exception());
    }
    respond(std::move(reply));
  });
}

void ScoreServer::Check(const std::string& key, bool head, HttpRespond respond) {
  // The headers of a check reply, of the same length: a token is always kTokenLength long.
  if (head) return respond(Reply(200, CheckReply(std::string(kTokenLength, '-'))));
  int retryAfter = 0;
  if (!checks_.Allow(key, retryAfter)) return respond(TooMany("checks", retryAfter));
  std::string token;
  try {
    token = NewToken();
  } catch (...) {
    return respond(StoreFailed(std::current_exception()));
  }
  std::string text = CheckReply(token);
  writes_.AddToken(std::move(token), key, UnixNow() + kTokenLifetimeSeconds,
                   [respond = std::move(respond), text = std::move(text)](std::exception_ptr error) {
                     respond(error ? StoreFailed(error) : Reply(200, text));
                   });
}

void ScoreServer::Submit(const Query& query, const std::string& client, const std::string& key,
                         HttpRespond respond) {
  const size_t payloads = query.Count("inf");
  if (payloads != 1) return respond(Refusal(400, payloads == 0 ? "no payload: inf is missing" : "more than one inf"));
  int retryAfter = 0;
  if (!submissions_.Allow(key, retryAfter)) return respond(TooMany("submissions", retryAfter));
  const SubmissionCheck check = CheckSubmission(query.Value("inf"));
  if (!check.Value) return respond(Refusal(400, check.Reason));
  const Submission& s = *check.Value;
  const int64_t now = UnixNow();
  ScoreStore::Submitted submitted{
      s.Token, {platform::Cp1251ToUtf8(s.Name), s.Score, platform::Cp1251ToUtf8(s.OptionsName), now, client}};
  writes_.StoreRecord(std::move(submitted), now,
                      [this, respond = std::move(respond)](TokenUse use, std::exception_ptr error) {
                        respond(error ? StoreFailed(error) : Stored(use));
                      });
}

HttpReply ScoreServer::Stored(TokenUse use) {
  switch (use) {
    case TokenUse::Accepted: {
      std::lock_guard<std::mutex> lock(page_mutex_);
      page_dropped_ = Clock::now();
      return Reply(200, "OK|stored\n");
    }
    case TokenUse::Unknown: return Refusal(400, "unknown token");
    case TokenUse::Used: return Refusal(400, "token already used");
    case TokenUse::Expired: return Refusal(400, "token expired");
  }
  return Refusal(400, "unknown token");
}

void ScoreServer::Page(const Query& query, HttpRespond respond) {
  if (query.Value("type") != "0") return respond(Refusal(400, "unknown table: type is not 0"));
  if (auto ready = ReadyPage()) return respond(PageReply(std::move(ready)));
  OnStore(std::move(respond), [this] { return PageReply(WorldPage()); });
}

std::string ScoreServer::ClientAddress(const HttpRequest& request) const {
  // Behind a trusted proxy, the client is the address the proxy added last to
  // X-Forwarded-For (the ones before it are whatever the client claimed). From any other
  // peer the header is the client's own word, and ignored.
  if (request.ForwardedFor.empty() || trusted_proxies_.count(NormalAddress(request.Peer)) == 0) return request.Peer;
  const std::string& forwarded = request.ForwardedFor.back();
  const size_t comma = forwarded.rfind(',');
  std::string last = comma == std::string::npos ? forwarded : forwarded.substr(comma + 1);
  const size_t begin = last.find_first_not_of(" \t");
  const size_t end = last.find_last_not_of(" \t");
  last = begin == std::string::npos ? std::string() : last.substr(begin, end - begin + 1);
  const std::string address = NormalAddress(last);
  return address.empty() ? request.Peer : address;
}

std::shared_ptr<const std::string> ScoreServer::ReadyPage() {
  std::lock_guard<std::mutex> lock(page_mutex_);
  if (page_ && Clock::now() < store_failed_until_) return page_;
  if (!page_ || page_made_ <= page_dropped_) return nullptr;
  if (Clock::now() - page_made_ < kPageFreshFor || page_making_) return page_;
  return nullptr;
}

std::shared_ptr<const std::string> ScoreServer::WorldPage() {
  std::unique_lock<std::mutex> lock(page_mutex_);
  for (;;) {
    const bool current = page_ && page_made_ > page_dropped_;
    if (current && (Clock::now() - page_made_ < kPageFreshFor || page_making_)) return page_;
    if (Clock::now() < store_failed_until_) {
      if (page_) return page_;
      throw StoreError("the score store could not be read a moment ago");
    }
    if (!page_making_) break;
    // Another request is making the page, and the last one misses a record this process
    // stored: wait for it (or, when it began before the record, for it to end and begin anew).
    page_made_wake_.wait(lock);
  }
  page_making_ = true;
  const Clock::time_point since = Clock::now();
  lock.unlock();
  std::shared_ptr<const std::string> page;
  try {
    page = Text(WorldPageHtml(store_.Top(kWorldPageRows)));
  } catch (const std::exception& e) {
    // The store is stuck or failing: the last page made is served for a while, and those
    // waiting for this one take it, rather than each waiting for the store in turn.
    LogStore(std::string("the world page could not be made: ") + e.what());
    lock.lock();
    page_making_ = false;
    store_failed_until_ = Clock::now() + kPageFreshFor;
    page_made_wake_.notify_all();
    if (page_) return page_;
    throw;
  }
  lock.lock();
  page_making_ = false;
  // A page read before this process stored a record is not kept.
  if (since > page_dropped_ && (!page_ || page_made_ < since)) {
    page_ = page;
    page_made_ = since;
  }
  page_made_wake_.notify_all();
  return page;
}

int ScoreServer::Bind() { return http_.Bind(options_.Host, options_.Port); }

std::string ScoreServer::Limits() const {
  char timeout[32];
  std::snprintf(timeout, sizeof timeout, "%g", double(options_.DbTimeout.count()) / 1000);
  return "max-connections " + std::to_string(http_.MaxConnections()) + ", max-connections-per-address " +
         std::to_string(options_.MaxConnectionsPerAddress) + ", rate-limit " + std::to_string(options_.RateLimit) +
         ", check-rate-limit " + std::to_string(options_.CheckRateLimit) + ", max-tokens " +
         std::to_string(options_.MaxTokens) + ", max-records " + std::to_string(options_.MaxRecords) +
         ", db-timeout " + timeout + " s, ipv6-prefix " + std::to_string(options_.Ipv6Prefix);
}

void ScoreServer::Serve() {
  purger_ = std::thread([this] { PurgeLoop(); });
  http_.Run();
  Stop();
  purger_.join();
}

void ScoreServer::Stop() {
  stopping_ = true;
  {
    std::lock_guard<std::mutex> lock(purge_mutex_);
    purge_wake_.notify_all();
  }
  http_.Stop();
}

void ScoreServer::PurgeLoop() {
  std::unique_lock<std::mutex> lock(purge_mutex_);
  while (!stopping_) {
    lock.unlock();
    try {
      const int64_t purged = store_.PurgeTokens(UnixNow());
      if (purged > 0) WriteLogLine(LogTime() + " purged " + std::to_string(purged) + " expired tokens");
      const int64_t dropped = store_.TrimRecords();
      if (dropped > 0) WriteLogLine(LogTime() + " dropped the " + std::to_string(dropped) + " lowest records beyond " +
                                    std::to_string(options_.MaxRecords));
    } catch (const std::exception& e) {
      LogStore(std::string("the minute's purge failed: ") + e.what());
    }
    lock.lock();
    purge_wake_.wait_for(lock, std::chrono::seconds(kPurgeEverySeconds), [this] { return stopping_.load(); });
    if (!stopping_) {
      lock.unlock();
      LogStats();
      lock.lock();
    }
  }
}

void ScoreServer::LogStats() {
  const Counted now{http_.Evictions(), limited_.load(), unavailable_.load()};
  ScoreStore::StoreStats stats;
  try {
    stats = store_.Stats();
  } catch (const std::exception&) {
    // Unknown figures stay -1; the store's trouble shows in the 503s.
  }
  WriteLogLine(LogTime() + " STATS connections " + std::to_string(http_.Connections()) + " evictions " +
               std::to_string(now.Evictions - counted_.Evictions) + " refused-429 " +
               std::to_string(now.Limited - counted_.Limited) + " refused-503 " +
               std::to_string(now.Unavailable - counted_.Unavailable) + " tokens " + std::to_string(stats.Tokens) +
               " wal-bytes " + std::to_string(stats.LogBytes) + " free-bytes " + std::to_string(stats.FreeDiskBytes));
  counted_ = now;
}

}  // namespace scores
