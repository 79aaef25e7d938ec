// The SQL text of a described query as Access's SQL view shows it, worked out from its design
// rows alone. Lines end with CR LF; the statement ends with ";" (data-definition and
// pass-through queries show their stored text as it is):
//
//     PARAMETERS [Forms]![Main]![Start] DateTime, Who Text ( 10 ), Anything Value;
//     SELECT DISTINCT T.a, Count(T.b) AS [Sum of b] INTO [New Table]
//     FROM (T INNER JOIN U ON (T.a = U.a) AND (T.c = U.c)) LEFT JOIN (SELECT x FROM V) AS W ON U.a = W.x
//     WHERE T.a > 0
//     GROUP BY T.a
//     HAVING Count(*) > 1
//     ORDER BY T.a DESC;
//
// A name already in brackets is not bracketed again; an ORDER BY row with "D" or "d" is
// descending; a parameter of type 0 is a Value, a Text parameter with a size shows it; a derived
// table (a source row with SQL and an alias but no table) is written in parentheses; a crosstab
// writes its row headings' GROUP BY rows, not the pivot's. Only the shapes the random designs
// use are covered: anything else throws UnsupportedQuery naming what.
#pragma once

#include "schema.h"

#include <stdexcept>
#include <string>

namespace difftest {

class UnsupportedQuery : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string expectedSql(const mdbgen::Query& query);

}  // namespace difftest
