// The relation section on designs built in code, for what generated files cannot show: what the
// description is made of, values the engine never serves from a file (a Null, a differing
// PartialReplica), a pending cancel (the run never starts the section with one), the results the
// run ignores, and an engine error in the middle of the section. The log lines themselves are
// checked by the golden logs (tests/golden/relations-*).
#include "comparison_run.h"
#include "headless_window.h"
#include "relation_comparison.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace testsupport;
using engine::Variant;

namespace {

// A relation as the engine serves it: primary table(fields) -> foreign table(foreign fields),
// with its property list at positions 0 to 4.
engine::RelationDesign relation(const std::string& name, const std::string& table, std::vector<engine::RelationField> fields,
                                const std::string& foreignTable, Variant attributes, bool partialReplica = false)
{
    engine::PropertyList properties = {{"Name", Variant::text(name)},
                                       {"Table", Variant::text(table)},
                                       {"ForeignTable", Variant::text(foreignTable)},
                                       {"Attributes", std::move(attributes)},
                                       {"PartialReplica", Variant::boolean(partialReplica)}};
    return {name, table, foreignTable, std::move(fields), std::move(properties)};
}

// Relations with one field pair each, told apart by table and attributes.
engine::RelationDesign simple(const std::string& table, double attributes = 0)
{
    return relation(table + "Rel", table, {{"ID", "ParentID"}}, "Child", Variant::number(attributes));
}

engine::Database database(const std::string& name, std::vector<engine::RelationDesign> relations)
{
    engine::DatabaseDesign design;
    design.name = "/data/" + name;
    design.relations = std::move(relations);
    return engine::Database(design);
}

const std::string kHeader = "\r\n\r\nRELATION COMPARISONS\r\n";

// A run whose log is an empty file in its own folder, naming its databases a.mdb and b.mdb.
struct Fixture {
    TempDir dir;
    dualyn::HeadlessWindow window;
    dualyn::ComparisonRun run{window, dir.file("ComparisonLog.txt")};
    Fixture()
    {
        writeFile(run.strLogFile, "");
        run.strDB1Name = "a.mdb";
        run.strDB2Name = "b.mdb";
    }
    std::string log() const { return readFile(run.strLogFile); }
};

TEST(RelationComparison, DescriptionIsTableFirstFieldAndForeignTable)
{
    // The name, the second field pair and the foreign field names play no part.
    engine::RelationDesign d = relation("WrittenBy", "Authors", {{"AuthorID", "WriterID"}, {"Edition", "Edition"}}, "Books",
                                        Variant::number(0));
    EXPECT_EQ(dualyn::DescribeRelation(database("d.mdb", {d}).Relations().Item(0)), "Authors.AuthorID to Books");
}

TEST(RelationComparison, OnlyTheAttributesAreComparedAndNamedByDatabaseOne)
{
    Fixture f;
    // Other names, foreign fields and PartialReplica, a Null against a number: no difference.
    engine::RelationDesign a = relation("A", "T", {{"ID", "TID"}}, "U", Variant::number(2), false);
    engine::RelationDesign b = relation("B", "T", {{"ID", "Other"}}, "U", Variant::number(2), true);
    engine::RelationDesign null = relation("N", "T", {{"ID", "TID"}}, "U", Variant());
    engine::Database db = database("x.mdb", {a, b, null, relation("C", "V", {{"Key", "VKey"}}, "W", Variant::number(0x1002))});
    const engine::Relation relationA = db.Relations().Item(0), relationB = db.Relations().Item(1);
    const engine::Relation relationNull = db.Relations().Item(2), relationOther = db.Relations().Item(3);
    EXPECT_TRUE(dualyn::CompareRelationProperties(f.run, relationA, relationB));
    EXPECT_TRUE(dualyn::CompareRelationProperties(f.run, relationNull, relationA));
    EXPECT_EQ(f.log(), "");

    EXPECT_FALSE(dualyn::CompareRelationProperties(f.run, relationOther, relationA));
    EXPECT_EQ(f.log(), "\r\n   V.Key to W is different\r\n");
}

TEST(RelationComparison, ResultsTellWhetherAnythingWasReported)
{
    Fixture f;
    engine::Database one = database("one.mdb", {simple("P"), simple("Q")});
    engine::Database same = database("same.mdb", {simple("P"), simple("Q")});
    engine::Database extra = database("extra.mdb", {simple("P"), simple("Q"), simple("R")});
    EXPECT_TRUE(dualyn::FindMissingRelations(f.run, one, extra));
    EXPECT_FALSE(dualyn::FindMissingRelations(f.run, extra, one));
    EXPECT_EQ(f.log(), "\r\n   R.ID to Child was not found in a.mdb\r\n");

    Fixture g;
    EXPECT_TRUE(dualyn::CompareRelations(g.run, one, same));
    EXPECT_FALSE(dualyn::CompareRelations(g.run, one, extra));
    EXPECT_EQ(g.log(), kHeader + "   Relations OK\r\n" + kHeader + "\r\n   R.ID to Child was not found in a.mdb\r\n");
}

// A cancel pending when the section starts: each side's walk stops after its first relation, the
// reverse pass still runs, and no OK line is written when relations were left unvisited.
TEST(RelationComparison, PendingCancelStopsEachWalkAfterOneRelation)
{
    struct Case {
        const char* what;
        std::vector<engine::RelationDesign> db1, db2;
        std::string lines;  // after the heading
        bool result;
    };
    const std::vector<Case> cases = {
        {"nothing unvisited", {simple("P")}, {simple("P")}, "   Relations OK\r\n", true},
        {"db1's walk cut short", {simple("P"), simple("Q")}, {simple("P"), simple("Q")}, "", false},
        {"db2's walk cut short", {simple("P")}, {simple("P"), relation("Z", "P", {{"ID", "Other"}}, "Child", Variant::number(0))},
         "", false},
        {"missing both ways",
         {simple("X"), simple("Y")},
         {simple("P"), simple("Q")},
         "\r\n   X.ID to Child was not found in b.mdb\r\n\r\n   P.ID to Child was not found in a.mdb\r\n",
         false},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.run.blnCancel = true;
        EXPECT_EQ(dualyn::CompareRelations(f.run, database("a.mdb", c.db1), database("b.mdb", c.db2)), c.result) << c.what;
        EXPECT_EQ(f.log(), kHeader + c.lines) << c.what;
        EXPECT_TRUE(f.window.calls.empty()) << c.what << ": the section leaves the window alone";
    }
}

// A relation without fields makes the engine throw; nothing catches it here.
TEST(RelationComparison, EngineErrorEndsTheSectionKeepingItsLines)
{
    Fixture f;
    engine::Database db1 = database("a.mdb", {simple("A"), relation("B", "B", {}, "Child", Variant::number(0))});
    engine::Database db2 = database("b.mdb", {});
    EXPECT_THROW(dualyn::CompareRelations(f.run, db1, db2), std::out_of_range);
    EXPECT_EQ(f.log(), kHeader + "\r\n   A.ID to Child was not found in b.mdb\r\n");
}

// Database 2's relations are looked at only as far as a search needs: one that cannot be
// described stops the run when a search first has to pass it, after every line before that.
TEST(RelationComparison, EngineErrorInDatabaseTwoComesWhereASearchReachesIt)
{
    Fixture f;
    engine::Database db1 = database("a.mdb", {simple("A", 2), simple("C")});
    engine::Database db2 = database("b.mdb", {simple("A", 0), relation("B", "B", {}, "Child", Variant::number(0)), simple("C")});
    EXPECT_THROW(dualyn::CompareRelations(f.run, db1, db2), std::out_of_range);
    EXPECT_EQ(f.log(), kHeader + "\r\n   A.ID to Child is different\r\n");
}

}  // namespace
