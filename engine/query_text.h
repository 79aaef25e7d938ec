// The SQL text of a query, rebuilt from the design rows that its query system table keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// One design row of a query (MSysQueries): Attribute, Flag, Name1, Name2, Expression, LvExtra
// (a Text parameter's size), and the Order column read as a big-endian number. Absent values are
// empty.
struct QueryRow {
    int attribute = 0;
    std::optional<int> flag;
    std::optional<std::string> name1;
    std::optional<std::string> name2;
    std::optional<std::string> expression;
    std::optional<std::int64_t> extra;
    std::uint32_t order = 0;
};

// The query's SQL as Access's SQL view shows it, and nothing else: PARAMETERS ...; first where
// there are parameters, SELECT ... on one line, FROM ... with its joins (and IN for a source in
// another database) on the next, then WHERE, GROUP BY, HAVING, ORDER BY, ending with ";"; action,
// crosstab, union, pass-through and data-definition queries in their own forms. Rows may come in
// any order: they are taken by attribute, then by their Order column. A query without a type row
// is a select query, as older Access versions write most of them. What is no part of the SQL view
// is left out: the start row's flag (the version of Access that wrote the query), a pass-through
// query's connect string (its Connect property holds it), the rows Access 2007 and later add
// (attributes 12 to 14: a version flag, and the links between a query and the hidden query that
// expands its multi-value and attachment fields), union parts' generated names.
std::string queryText(const std::vector<QueryRow>& rows);

}  // namespace engine
