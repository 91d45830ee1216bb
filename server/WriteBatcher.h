// Checks and submissions wait here for the store, and go to it together: a thread takes
// everything waiting and writes the tokens in one call and the records in another. A burst
// costs a commit or two rather than one each, and a request waiting for the store holds no
// thread of its own. Two threads take turns, so one batch gathers while the last one commits.
#pragma once
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Store.h"

namespace scores {

class WriteBatcher {
 public:
  // Called on the batcher's thread: the error is empty when the write went through.
  using TokenDone = std::function<void(std::exception_ptr)>;
  using RecordDone = std::function<void(TokenUse, std::exception_ptr)>;

  explicit WriteBatcher(ScoreStore& store);
  // Finishes what waits, then stops.
  ~WriteBatcher();
  WriteBatcher(const WriteBatcher&) = delete;
  WriteBatcher& operator=(const WriteBatcher&) = delete;

  // `key`: the client key that asked for the token (see ScoreStore::NewToken).
  void AddToken(std::string token, std::string key, int64_t expires, TokenDone done);
  void StoreRecord(ScoreStore::Submitted submission, int64_t now, RecordDone done);

 private:
  struct Token {
    std::string Text;
    std::string Key;
    int64_t Expires;
    TokenDone Done;
  };
  struct Record {
    ScoreStore::Submitted Submission;
    int64_t Now;
    RecordDone Done;
  };
  void Loop();
  void WriteTokens(std::vector<Token>& tokens);
  void WriteRecords(std::vector<Record>& records);

  // The most of each kind in one write, so one write never holds the store for long.
  static constexpr size_t kMostInOneWrite = 256;
  static constexpr int kThreads = 2;

  ScoreStore& store_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Token> tokens_;
  std::vector<Record> records_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace scores
