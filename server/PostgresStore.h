// The shared store: one PostgreSQL database that any number of server processes use at once.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Store.h"

namespace scores {

std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri, const StoreLimits& limits);

}  // namespace scores
