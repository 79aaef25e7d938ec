// The primary key and index lines of a common table's block: indexes matched by name, the primary
// keys' fields, the indexes' properties, then the indexes table 1 lacks.
#pragma once

#include "comparison_context.h"
#include "table_info.h"

namespace dualyn {

bool CompareIndexes(ComparisonContext& run, const TableInfo& rec1, const TableInfo& rec2);
bool FindMissingIndexes(ComparisonContext& run, const TableInfo& recA, const TableInfo& recB);

}  // namespace dualyn
