// The embedded store: one SQLite file in write-ahead-log mode.
#pragma once
#include <memory>
#include <string>

#include "Store.h"

namespace scores {

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, int connections);

}  // namespace scores
