// What a database holds of a table or query that the other database lacks, as text for a reader:
// a missing object's line of difference carries it in its twin (Difference::presentContent), so
// that whoever reads the difference sees what is on the side that has the object.
//
//     SummarizeTable(customers) ==
//         "Fields:\n  ID: Long Integer, auto-increment\n  City: Text, size 40\n"
//         "Indexes:\n  PrimaryKey (primary key): +ID\n"
//     QuerySql(totals) == "SELECT Sum(Amount) FROM Orders;"
#pragma once

#include "database_engine.h"

#include <string>

namespace dualyn {

// The table's fields in their order, each with its type, its size where the type has one, and
// whether it must be filled in; then its indexes with their fields ("+" ascending, "-"
// descending), the primary key and unique ones said so. Lines end with "\n".
std::string SummarizeTable(const engine::TableDef& table);

// The query's SQL text as stored; empty when it has none.
std::string QuerySql(const engine::QueryDef& query);

// The name a field's type code has in Access ("Text" for 10, "Long Integer" for 4), or
// "type N" for a code Access does not use.
std::string FieldTypeName(const engine::Variant& type);

}  // namespace dualyn
