// Picks the store a --db value names.
#include "Store.h"

#include "PostgresStore.h"
#include "SqliteStore.h"

namespace scores {

bool IsPostgresUri(std::string_view db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ScoreStore> OpenStore(const std::string& db, int connections) {
  if (IsPostgresUri(db)) return OpenPostgresStore(db, connections);
  return OpenSqliteStore(db, connections);
}

}  // namespace scores
