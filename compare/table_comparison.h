// The table section of the log: tables of database 1 looked up by name in database 2, each
// common table's fields and keys and indexes compared, then the tables database 1 lacks.
#pragma once

#include "comparison_context.h"
#include "database_engine.h"

namespace dualyn {

// From this many tables of database 1 on, the second half of them is compared on a thread of its
// own while the first half is: what it writes reaches the log in the same order all the same.
inline constexpr int kTablesWorthAHelper = 64;

bool CompareTables(ComparisonContext& run, const engine::Database& db1, const engine::Database& db2,
                   int tablesWorthAHelper = kTablesWorthAHelper);
bool FindMissingTables(ComparisonContext& run, const engine::Database& db2, const engine::Database& db1);

}  // namespace dualyn
