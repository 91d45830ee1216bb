#include "WriteBatcher.h"

#include <algorithm>

namespace scores {

WriteBatcher::WriteBatcher(ScoreStore& store) : store_(store) {
  for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { Loop(); });
}

WriteBatcher::~WriteBatcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void WriteBatcher::AddToken(std::string token, std::string key, int64_t expires, TokenDone done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tokens_.push_back({std::move(token), std::move(key), expires, std::move(done)});
  }
  wake_.notify_one();
}

void WriteBatcher::StoreRecord(ScoreStore::Submitted submission, int64_t now, RecordDone done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({std::move(submission), now, std::move(done)});
  }
  wake_.notify_one();
}

void WriteBatcher::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !tokens_.empty() || !records_.empty(); });
    if (tokens_.empty() && records_.empty()) return;  // stopping, and nothing waits
    auto take = [](auto& waiting) {
      const size_t n = std::min(waiting.size(), kMostInOneWrite);
      std::vector<typename std::decay_t<decltype(waiting)>::value_type> taken(
          std::make_move_iterator(waiting.begin()), std::make_move_iterator(waiting.begin() + long(n)));
      waiting.erase(waiting.begin(), waiting.begin() + long(n));
      return taken;
    };
    auto tokens = take(tokens_);
    auto records = take(records_);
    lock.unlock();
    if (!tokens.empty()) WriteTokens(tokens);
    if (!records.empty()) WriteRecords(records);
    lock.lock();
  }
}

void WriteBatcher::WriteTokens(std::vector<Token>& tokens) {
  // Tokens of one batch share their expiry to the second, mostly; a batch per expiry.
  for (size_t start = 0; start < tokens.size();) {
    size_t end = start;
    std::vector<ScoreStore::NewToken> added;
    for (; end < tokens.size() && tokens[end].Expires == tokens[start].Expires; ++end)
      added.push_back({tokens[end].Text, tokens[end].Key});
    std::exception_ptr error;
    try {
      store_.AddTokens(added, tokens[start].Expires);
    } catch (...) {
      error = std::current_exception();
    }
    for (size_t i = start; i < end; ++i) tokens[i].Done(error);
    start = end;
  }
}

void WriteBatcher::WriteRecords(std::vector<Record>& records) {
  for (size_t start = 0; start < records.size();) {
    size_t end = start;
    std::vector<ScoreStore::Submitted> submissions;
    while (end < records.size() && records[end].Now == records[start].Now)
      submissions.push_back(records[end++].Submission);
    std::vector<TokenUse> uses;
    std::exception_ptr error;
    try {
      uses = store_.StoreRecords(submissions, records[start].Now);
    } catch (...) {
      error = std::current_exception();
    }
    for (size_t i = start; i < end; ++i)
      records[i].Done(error ? TokenUse::Unknown : uses[i - start], error);
    start = end;
  }
}

}  // namespace scores
