// The query section of the log: queries matched by name, eight properties compared by position,
// then the queries database 1 lacks.
#pragma once

#include "comparison_context.h"
#include "database_engine.h"

namespace dualyn {

bool CompareQueries(ComparisonContext& run, const engine::Database& db1, const engine::Database& db2);
bool FindMissingQueries(ComparisonContext& run, const engine::Database& dbA, const engine::Database& dbB);
bool CompareQueryProperties(ComparisonContext& run, const engine::QueryDef& query1, const engine::QueryDef& query2);

}  // namespace dualyn
