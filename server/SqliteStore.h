// The embedded store: one SQLite file in write-ahead-log mode.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Store.h"

namespace scores {

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path, const StoreLimits& limits);

}  // namespace scores
