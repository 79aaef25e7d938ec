// The relation section of the log: relations matched by their description (table, first field,
// foreign table), their compared value, then the relations database 1 lacks.
#pragma once

#include "comparison_context.h"
#include "database_engine.h"

#include <string>

namespace dualyn {

bool CompareRelations(ComparisonContext& run, const engine::Database& db1, const engine::Database& db2);
bool FindMissingRelations(ComparisonContext& run, const engine::Database& dbA, const engine::Database& dbB);
std::string DescribeRelation(const engine::Relation& relation);
bool CompareRelationProperties(ComparisonContext& run, const engine::Relation& relation1, const engine::Relation& relation2);

}  // namespace dualyn
