// The query section of the log. Queries are matched by exact name; a query found in both
// databases has the eight properties at positions 3 to 10 of its property list compared; queries
// that either database lacks are reported; an OK line closes the section when nothing was.
//
//     QUERIES COMPARISONS                            (after two empty lines)
//        Totals has a different SQL setting           (each of these after one empty line)
//        Old report was not found in b.mdb
//        New report was not found in a.mdb
//
// or, when everything matched:
//
//     QUERIES COMPARISONS
//        Queries OK
//
// Each line of difference goes to the log with its twin (difference.h): the query, and for a
// property that differs its name, its position and both values (the SQL text whole).
#include "query_comparison.h"

#include "object_summary.h"
#include "value_compare.h"

#include <cstdint>

namespace dualyn {

namespace {

// The positions of a query's property list that are compared: Type, SQL, Updatable, Connect,
// ReturnsRecords, ODBCTimeout, RecordsAffected and MaxRecords (engine/design.h).
constexpr std::int16_t kFirstComparedProperty = 3;
constexpr std::int16_t kLastComparedProperty = 10;

// The status text while a query of database 1 is handled; the table section shows the same
// words, so the user sees one wording for whatever is being compared.
//     StatusFor("Totals") == "Comparing table Totals"
std::string StatusFor(const std::string& queryName)
{
    return "Comparing table " + queryName;
}

// The line for a query that the database named dbName lacks, after one empty line.
//     MissingLine("Totals", "b.mdb") == "\r\n   Totals was not found in b.mdb"
std::string MissingLine(const std::string& queryName, const std::string& dbName)
{
    return "\r\n   " + queryName + " was not found in " + dbName;
}

// Advances the progress bar by one, but never beyond its maximum: the maximum is read first,
// then the position, and the position is read again for the step.
void StepProgress(RunWindow& window)
{
    float maximum = window.GetProgressMax();
    if (maximum > window.GetProgressValue()) window.SetProgressValue(window.GetProgressValue() + 1);
}

}  // namespace

// Writes the whole query section: the heading, then for each query of db1 in the engine's order
// its differences or its absence from db2, then the queries db1 lacks, then "   Queries OK" when
// nothing was reported. The status line names each query of db1 in turn and the progress bar
// counts them; Cancel is seen once per query, after it has been handled. A cancel that leaves
// queries of db1 unvisited also withholds the OK line, since those were never compared; the
// reverse pass runs in every case. The bar is set back to 0 at the end. Returns true exactly
// when the OK line was written.
bool CompareQueries(ComparisonContext& run, const engine::Database& db1, const engine::Database& db2)
{
    bool allMatched = true;  // nothing reported so far
    bool result = false;
    bool cutShort = false;   // a cancel left queries of db1 unvisited

    run.WriteLog("\r\n\r\nQUERIES COMPARISONS");
    run.window.SetProgressMax(static_cast<float>(db1.QueryDefs().Count()));

    const std::int16_t count1 = db1.QueryDefs().Count();
    for (std::int16_t i = 0; i < count1; ++i) {
        run.window.SetStatus(StatusFor(db1.QueryDefs().Item(i).Name()));
        run.window.ProcessPendingEvents();  // where a click on Cancel gets in

        // The first query of db2 with the same exact name is the match.
        const int j = db2.QueryDefs().PositionOf(db1.QueryDefs().Item(i).Name());
        if (j >= 0) {
            bool same = CompareQueryProperties(run, db1.QueryDefs().Item(i), db2.QueryDefs().Item(static_cast<std::int16_t>(j)));
            if (allMatched) allMatched = same;
        } else {
            const std::string name = db1.QueryDefs().Item(i).Name();
            run.WriteDifference({.kind = DifferenceKind::QueryMissing,
                                 .line = MissingLine(name, run.strDB2Name),
                                 .walked = 1,
                                 .presentIn = 1,
                                 .query = name,
                                 .presentContent = QuerySql(db1.QueryDefs().Item(i))});
            allMatched = false;
        }

        if (run.blnCancel) {
            cutShort = i + 1 < count1;
            break;  // this query was handled, but the bar does not count it
        }
        StepProgress(run.window);
    }

    bool noneMissing = FindMissingQueries(run, db2, db1);
    if (noneMissing && allMatched && !cutShort) {
        run.WriteOk(OkKind::Queries, "   Queries OK");
        result = true;
    }
    run.window.SetProgressValue(0);
    return result;
}

// Writes, after one empty line each, "   Q was not found in " + the file name of database 1 for
// every query Q of dbA whose name no query of dbB has exactly (letter case counts). Called with
// database 2 as dbA, so the lacking database is always database 1. Runs to its end whatever
// Cancel says and leaves the status line and the progress bar alone. Returns true when it wrote
// no line.
bool FindMissingQueries(ComparisonContext& run, const engine::Database& dbA, const engine::Database& dbB)
{
    bool result = true;
    const std::int16_t countA = dbA.QueryDefs().Count();
    for (std::int16_t i = 0; i < countA; ++i) {
        const std::string name = dbA.QueryDefs().Item(i).Name();
        if (dbB.QueryDefs().PositionOf(name) < 0) {
            run.WriteDifference({.kind = DifferenceKind::QueryMissing,
                                 .line = MissingLine(name, run.strDB1Name),
                                 .walked = 2,
                                 .presentIn = 2,
                                 .query = name,
                                 .presentContent = QuerySql(dbA.QueryDefs().Item(i))});
            result = false;
        }
    }
    return result;
}

// Compares the properties at positions 3 to 10 of two same-named queries, query1 from database
// 1, and writes one line, after one empty line, for every pair of values that differ (a Null on
// either side never does), in position order, named by query1's property:
//     "\r\n   Totals has a different ODBCTimeout setting"
// Returns true when no pair differs.
bool CompareQueryProperties(ComparisonContext& run, const engine::QueryDef& query1, const engine::QueryDef& query2)
{
    bool result = true;
    const engine::Properties properties1 = query1.Properties(), properties2 = query2.Properties();
    for (std::int16_t p = kFirstComparedProperty; p <= kLastComparedProperty; ++p) {
        const engine::Variant value1 = properties1.Item(p).Value();
        const engine::Variant value2 = properties2.Item(p).Value();
        if (ValuesDiffer(value1, value2)) {
            result = false;
            const std::string name = query1.Name(), property = properties1.Item(p).Name();
            run.WriteDifference({.kind = DifferenceKind::QueryProperty,
                                 .line = "\r\n   " + name + " has a different " + property + " setting",
                                 .walked = 1,
                                 .query = name,
                                 .property = property,
                                 .position = p,
                                 .value1 = value1,
                                 .value2 = value2});
        }
    }
    return result;
}

}  // namespace dualyn
