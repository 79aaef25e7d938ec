// The query section of the log: queries matched by name, eight properties compared by position,
// then the queries database 1 lacks.
#pragma once

#include "comparison_run.h"

namespace dualyn {

bool CompareQueries(ComparisonRun& run, const engine::Database& db1, const engine::Database& db2);
bool FindMissingQueries(ComparisonRun& run, const engine::Database& dbA, const engine::Database& dbB);
bool CompareQueryProperties(ComparisonRun& run, const engine::QueryDef& query1, const engine::QueryDef& query2);

}  // namespace dualyn
