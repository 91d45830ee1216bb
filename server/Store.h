// Where the score server keeps its records and the tokens of its check replies. Two stores
// share this interface: an SQLite file for one machine, and PostgreSQL for several server
// processes (on several machines) that serve one world table.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace scores {

// One stored record. Texts are UTF-8; times are Unix seconds.
struct ScoreRecord {
  std::string Name;         // the name typed on the name entry; may be empty
  int64_t Score = 0;
  std::string OptionsName;  // the player name of the game's Options screen; may be empty
  int64_t Time = 0;         // when it was stored
  std::string Address;      // the client's address
};

// What became of a submission's token.
enum class TokenUse {
  Accepted,  // the token was fresh and unused; it is used now and the record stored
  Unknown,   // never handed out by this store (or purged long ago)
  Used,      // handed out, and already used for a record
  Expired,   // handed out, but its lifetime is over
};

// A store that cannot do what was asked (connection lost, disk full, locked too long).
struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ScoreStore {
 public:
  virtual ~ScoreStore() = default;

  // A token handed out by a check reply, and the key of the client that asked for it: when
  // the token table is full, the keys holding the most tokens lose theirs first.
  struct NewToken {
    std::string Text;
    std::string Key;
  };
  // Keeps newly handed-out tokens that stay valid until `expires` (exclusive), in as few
  // writes as the store can, so a burst of checks costs a commit or two rather than one each.
  virtual void AddTokens(const std::vector<NewToken>& tokens, int64_t expires) = 0;
  void AddToken(std::string_view token, int64_t expires, std::string_view key = "") {
    AddTokens({{std::string(token), std::string(key)}}, expires);
  }
  // Uses each token and stores its record, both or neither, in as few writes as the store
  // can; the outcomes in order. `now` decides whether a token has expired. A store failure
  // fails them all. A record stored keeps its token, so a submission sent again after its
  // reply was lost (or whose token row a PostgreSQL crash took) is Accepted once more, and
  // stored once; a different record under a used token stays Used.
  struct Submitted {
    std::string Token;
    ScoreRecord Record;
  };
  virtual std::vector<TokenUse> StoreRecords(const std::vector<Submitted>& submissions, int64_t now) = 0;
  TokenUse StoreRecord(std::string_view token, int64_t now, const ScoreRecord& record) {
    return StoreRecords({{std::string(token), record}}, now).front();
  }
  // The best `count` records: highest score first, the earlier stored first among equals.
  virtual std::vector<ScoreRecord> Top(int count) = 0;
  virtual int64_t RecordCount() = 0;
  // Forgets the tokens that expired before `now`, used or not; returns how many. Deletes them
  // a batch at a time, each batch its own short transaction, so other writes go on between.
  virtual int64_t PurgeTokens(int64_t now) = 0;
  // Deletes the lowest records (the latest stored among equals) beyond the store's bound on
  // records, a batch at a time like the purge; returns how many.
  virtual int64_t TrimRecords() = 0;
  // What the store holds and how much room it has left; -1 where this store cannot tell.
  struct StoreStats {
    int64_t Tokens = -1;         // tokens in the table (an estimate between counts)
    int64_t LogBytes = -1;       // the SQLite write-ahead log's size
    int64_t FreeDiskBytes = -1;  // free bytes of the SQLite file's file system
  };
  virtual StoreStats Stats() = 0;
  // The version of the schema the store is at (the latest this program knows once opened).
  virtual int SchemaVersion() = 0;
};

// The newest schema version this program creates and migrates to.
inline constexpr int kSchemaVersion = 2;

// How many tokens a store keeps at most, by default: about 170 checks a second for the ten
// minutes a token lives. Checks cost nothing to send, so without a bound a flood of them
// would fill the disk.
inline constexpr int64_t kDefaultMaxTokens = 100000;

// How many records a store keeps at most, by default; beyond it the lowest go.
inline constexpr int64_t kDefaultMaxRecords = 1000000;

// What a store may hold and use.
struct StoreLimits {
  int Connections = 8;                      // connections open at once
  int64_t MaxTokens = kDefaultMaxTokens;    // tokens kept at most; 0: no bound
  int64_t MaxRecords = kDefaultMaxRecords;  // records kept at most (see TrimRecords); 0: no bound
  // How long a request waits for the store (a lock another process holds, a slow statement)
  // before it fails with StoreError. Opening the store, which may migrate, waits as long as
  // it needs.
  std::chrono::milliseconds Timeout{2000};
};

// Opens (and creates or migrates, when needed) the store named by `db`: a PostgreSQL
// connection URI ("postgresql://..." or "postgres://...") or else the path of an SQLite file.
// The token table holds not many more than MaxTokens tokens: beyond it the used ones go
// first, then the oldest of the keys holding the most. Throws StoreError.
std::unique_ptr<ScoreStore> OpenStore(const std::string& db, const StoreLimits& limits);
std::unique_ptr<ScoreStore> OpenStore(const std::string& db, int connections, int64_t maxTokens = kDefaultMaxTokens);

// How a store keeps its token table near a bound without counting the table on every check.
// Each process remembers the table's size when it last counted it, and counts the tokens it
// added since. When the two together pass the bound, or anyway after Batch() additions (which
// notices what other processes added), the adder counts the table again and, when it holds
// more than the bound, deletes tokens down to Batch() below it (the used ones, then by
// KeyTrims); so the next Batch() additions need no deleting, and it costs about one count
// and one trim per Batch() checks. Processes sharing a database may each add up to a batch
// before they count: the table holds at most a batch per process more than the bound.
// How many tokens a key holds, or is to lose.
struct KeyTokens {
  std::string Key;
  int64_t Count = 0;
};

class TokenBound {
 public:
  explicit TokenBound(int64_t maxTokens);
  // After adding tokens: when this caller's turn has come (one caller at a time), runs
  // `countAndTrim`, which counts the table, deletes Excess() of its oldest tokens and returns
  // how many are left. Its failure is thrown on, and the next caller counts again.
  void Added(int64_t tokens, const std::function<int64_t()>& countAndTrim);
  // How many of the oldest tokens go when the table holds `count`: none up to the bound.
  int64_t Excess(int64_t count) const;
  // A purge deleted `count` tokens.
  void Purged(int64_t count);
  int64_t Batch() const { return batch_; }
  // The table's size as last counted plus what this process added since; -1 before the
  // first count.
  int64_t Estimate() const;
  // Which keys lose how many of their oldest tokens so that `needed` go (KeyTrims).
  // `heldOver(floor)` reads the keys holding more than `floor` tokens, with their counts: first
  // over half the level the last trim kept, which is enough unless many more keys came, and
  // then, when it was not, over none.
  std::vector<KeyTokens> KeysToTrim(int64_t needed, const std::function<std::vector<KeyTokens>(int64_t)>& heldOver);

 private:
  const int64_t max_;
  const int64_t batch_;
  std::atomic<int64_t> counted_;   // the table's size when last counted (less what was purged)
  std::atomic<int64_t> added_{0};  // tokens this process added since
  std::atomic<bool> busy_{false};  // a caller is counting
  std::atomic<bool> counted_once_{false};
  std::atomic<int64_t> last_level_{0};  // the level the last trim of the tokens kept
};

// Which tokens go when `needed` must go, taken from the keys holding the most: the highest
// level L is found at which deleting each key's oldest tokens beyond L frees enough, so a key
// holding L or fewer loses none, and one holding more keeps L or L + 1. `held` names the keys
// holding more than `floor` tokens (every such key) with their counts; the answer is each
// key's loss. Empty when L would be below `floor`, so keys not in `held` would have to lose
// tokens too: asked again with a lower floor (at floor 0 every key is in `held`). `level`,
// when given, is set to L, a floor for the next time.
std::vector<KeyTokens> KeyTrims(std::vector<KeyTokens> held, int64_t floor, int64_t needed, int64_t* level = nullptr);

bool IsPostgresUri(std::string_view db);

// Deletes `wanted` rows in short batches, each its own write, so other writes go on between:
// `deleteSome(n)` deletes up to n (at most `batch`) and says how many it did. Stops early
// when a batch deletes none; how many went in all.
int64_t DeleteInBatches(int64_t wanted, int64_t batch, const std::function<int64_t(int64_t)>& deleteSome);

}  // namespace scores
