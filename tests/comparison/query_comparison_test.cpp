// The query section on designs built in code, for what generated files cannot hold: differing
// values at the positions that are not compared (a file's dates are fixed, its names match),
// property names that differ between the two sides, and a progress bar that does not start at 0.
// The log lines themselves are checked by the golden logs (tests/golden/queries-*).
#include "comparison_run.h"
#include "headless_window.h"
#include "query_comparison.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testsupport;

namespace {

// A query's property list as the engine serves it, positions 0 to 10, with the values given
// and names as the engine gives them, each followed by suffix.
engine::PropertyList queryProperties(const std::vector<engine::Variant>& values, const std::string& suffix = "")
{
    static const char* names[] = {"Name", "DateCreated", "LastUpdated", "Type", "SQL", "Updatable",
                                  "Connect", "ReturnsRecords", "ODBCTimeout", "RecordsAffected", "MaxRecords"};
    engine::PropertyList list;
    for (std::size_t i = 0; i < values.size(); ++i)
        list.push_back({(i < 11 ? names[i] : "Extra" + std::to_string(i)) + suffix, values[i]});
    return list;
}

engine::Database database(const std::string& name, std::vector<engine::QueryDesign> queries)
{
    engine::DatabaseDesign design;
    design.name = "/data/" + name;
    design.queries = std::move(queries);
    return engine::Database(design);
}

using engine::Variant;
const Variant kNull;
Variant num(double v) { return Variant::number(v); }
Variant txt(const std::string& v) { return Variant::text(v); }

TEST(QueryComparison, OnlyPositionsThreeToTenAreComparedAndNamedByDatabaseOne)
{
    TempDir dir;
    dualyn::HeadlessWindow window;
    dualyn::ComparisonRun run(window, dir.file("ComparisonLog.txt"));
    writeFile(run.strLogFile, "");

    // Positions 0 to 2 and 11 differ, position 6 holds a Null against a text: nothing to report.
    engine::QueryDesign outside1{"Q", queryProperties({txt("Q"), num(1), num(2), num(0), txt("SELECT 1;"), Variant::boolean(true),
                                                       kNull, Variant::boolean(true), num(60), num(0), num(0), txt("a")})};
    engine::QueryDesign outside2{"Q", queryProperties({txt("q"), num(9), num(9), num(0), txt("SELECT 1;"), num(-1),
                                                       txt("ODBC;"), num(-1), num(60), num(0), num(0), txt("b")})};
    engine::Database outside = database("o.mdb", {outside1, outside2});
    EXPECT_TRUE(dualyn::CompareQueryProperties(run, outside.QueryDefs().Item(0), outside.QueryDefs().Item(1)));
    EXPECT_EQ(readFile(run.strLogFile), "");

    // The first and the last compared positions differ; each line names database 1's property.
    engine::QueryDesign edge1{"Q", queryProperties({txt("Q"), num(1), num(1), num(0), txt("SELECT 1;"), Variant::boolean(true),
                                                    txt(""), Variant::boolean(true), num(60), num(0), num(0)})};
    engine::QueryDesign edge2{"Q", queryProperties({txt("Q"), num(1), num(1), num(48), txt("SELECT 1;"), Variant::boolean(true),
                                                    txt(""), Variant::boolean(true), num(60), num(0), num(7)},
                                                   "Two")};
    engine::Database edge = database("e.mdb", {edge1, edge2});
    EXPECT_FALSE(dualyn::CompareQueryProperties(run, edge.QueryDefs().Item(0), edge.QueryDefs().Item(1)));
    EXPECT_EQ(readFile(run.strLogFile),
              "\r\n   Q has a different Type setting\r\n\r\n   Q has a different MaxRecords setting\r\n");
}

TEST(QueryComparison, ProgressStartsWhereTheBarIsAndStopsAtItsMaximum)
{
    TempDir dir;
    dualyn::HeadlessWindow window;
    window.progressValue = 2;  // left there by an earlier section
    dualyn::ComparisonRun run(window, dir.file("ComparisonLog.txt"));
    run.strDB1Name = "a.mdb";
    run.strDB2Name = "b.mdb";
    auto same = [](const std::string& name) {
        return engine::QueryDesign{name, queryProperties({txt(name), num(1), num(1), num(0), txt("SELECT 1;"),
                                                          Variant::boolean(true), txt(""), Variant::boolean(true),
                                                          num(60), num(0), num(0)})};
    };
    engine::Database db1 = database("a.mdb", {same("A"), same("B"), same("C")});
    engine::Database db2 = database("b.mdb", {same("A"), same("B"), same("C")});

    EXPECT_TRUE(dualyn::CompareQueries(run, db1, db2));
    EXPECT_EQ(window.calls, (std::vector<std::string>{
                                "SetProgressMax 3",
                                "SetStatus Comparing table A", "ProcessPendingEvents", "SetProgressValue 3",
                                "SetStatus Comparing table B", "ProcessPendingEvents",
                                "SetStatus Comparing table C", "ProcessPendingEvents",
                                "SetProgressValue 0"}));
    EXPECT_EQ(readFile(run.strLogFile), "\r\n\r\nQUERIES COMPARISONS\r\n   Queries OK\r\n");
}

}  // namespace
