// The SQL text of a query, rebuilt from the design rows that its query system table keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// One design row of a query (MSysQueries): Attribute, Flag, Name1, Name2, Expression, and the
// Order column read as a big-endian number. Absent values are empty.
struct QueryRow {
    int attribute = 0;
    std::optional<int> flag;
    std::optional<std::string> name1;
    std::optional<std::string> name2;
    std::optional<std::string> expression;
    std::uint32_t order = 0;
};

// The query's SQL in the form Access shows it: PARAMETERS ...; first where there are
// parameters, SELECT ... on one line, FROM ... with its joins on the next, then WHERE, GROUP BY,
// HAVING, ORDER BY, ending with ";"; action, crosstab, union, pass-through and data-definition
// queries in their own forms. Rows may come in any order: they are taken by attribute, then by
// order. A pass-through query's connect string is not part of its text (the query's Connect
// property holds it). Everything else stored goes into the text, so two different designs never give the same text:
// what the SQL form has no place for (an unknown attribute, a join naming no source table, a
// damaged row) follows the statement on note lines starting with "-- ".
std::string queryText(const std::vector<QueryRow>& rows);

}  // namespace engine
