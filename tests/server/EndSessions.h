// Ends the other sessions of a PostgreSQL database at once, as a restart or a failover of the
// database ends them, for the tests of stores that must outlive it.
#pragma once
#include <string>

#include "server/ServerHarness.h"

namespace server_test {

// Returns once the sessions are gone (or ten seconds passed).
inline void EndSessions(const std::string& db) {
  ExecSql(db,
          "DO $$ BEGIN PERFORM pg_terminate_backend(pid, 10000) FROM pg_stat_activity"
          " WHERE datname = current_database() AND pid <> pg_backend_pid(); END $$");
}

}  // namespace server_test
