// The table section of the log: tables of database 1 looked up by name in database 2, each
// common table's fields and keys and indexes compared, then the tables database 1 lacks.
#pragma once

#include "comparison_context.h"
#include "database_engine.h"

namespace dualyn {

bool CompareTables(ComparisonContext& run, const engine::Database& db1, const engine::Database& db2);
bool FindMissingTables(ComparisonContext& run, const engine::Database& db2, const engine::Database& db1);

}  // namespace dualyn
