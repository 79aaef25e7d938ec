// What the golden logs of the table section cannot show: the names of the compared field
// properties, and the field and index comparisons called while a cancel is pending (in a run the
// table walk stops before it calls them again).
#include "comparison_log.h"
#include "comparison_run.h"
#include "database_engine.h"
#include "field_properties.h"
#include "field_comparison.h"
#include "headless_window.h"
#include "index_comparison.h"
#include "jet4_writer.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

TEST(PropertyDescription, NamesTheSevenComparedPositionsAndNoOther)
{
    EXPECT_EQ(dualyn::PropertyDescription(3), "types");
    EXPECT_EQ(dualyn::PropertyDescription(6), "sizes");
    EXPECT_EQ(dualyn::PropertyDescription(12), "default values");
    EXPECT_EQ(dualyn::PropertyDescription(13), "validation rules");
    EXPECT_EQ(dualyn::PropertyDescription(14), "validation texts");
    EXPECT_EQ(dualyn::PropertyDescription(15), "Required settings");
    EXPECT_EQ(dualyn::PropertyDescription(16), "AllowZeroLength settings");
    for (std::int16_t position : {-1, 0, 2, 4, 5, 7, 11, 17, 32767})
        EXPECT_EQ(dualyn::PropertyDescription(position), "") << "position " << position;
}

// Both databases: Same and Linked alike on both sides; Gaps with no field or index in common.
constexpr const char* kDatabase1 = R"(
table Same
  field A long
  field B text(10)
  index PrimaryKey (A) primary
  index ByB (B)
table Gaps
  field X long
  field Y long
  index ByX (X)
linked Linked database="C:\Other.mdb"
)";
constexpr const char* kDatabase2 = R"(
table Same
  field A long
  field B text(10)
  index PrimaryKey (A) primary
  index ByB (B)
table Gaps
  field V long
  field W long
  index ByV (V)
  index ByW (W)
linked Linked database="C:\Other.mdb"
)";

class PendingCancel : public ::testing::Test {
protected:
    PendingCancel()
    {
        db1_ = open("db1.mdb", kDatabase1);
        db2_ = open("db2.mdb", kDatabase2);
        run_.strDB1Name = "db1.mdb";
        run_.strDB2Name = "db2.mdb";
    }

    // The log lines CompareFields (or, with indexes, CompareIndexes) writes for the table of
    // that name, with the cancel flag as given.
    std::string compare(const std::string& table, bool cancel, bool indexes = false)
    {
        dualyn::EmptyLog(run_.strLogFile);
        run_.blnCancel = cancel;
        dualyn::TableInfo rec1{"db1.mdb", find(*db1_, table)}, rec2{"db2.mdb", find(*db2_, table)};
        if (indexes)
            dualyn::CompareIndexes(run_, rec1, rec2);
        else
            dualyn::CompareFields(run_, rec1, rec2, true);
        return testsupport::readFile(run_.strLogFile);
    }

private:
    std::shared_ptr<engine::Database> open(const std::string& name, const char* description)
    {
        mdbgen::writeJet4File(mdbgen::parseDescription(description), dir_.file(name));
        return engine::DBEngine::instance().OpenDatabase(dir_.file(name));
    }

    static engine::TableDef find(const engine::Database& db, const std::string& name)
    {
        for (std::int16_t i = 0; i < db.TableDefs().Count(); ++i)
            if (db.TableDefs().Item(i).Name() == name) return db.TableDefs().Item(i);
        throw std::runtime_error("no table " + name);
    }

    TempDir dir_;
    dualyn::HeadlessWindow window_;
    dualyn::ComparisonRun run_{window_, dir_.file("ComparisonLog.txt")};
    std::shared_ptr<engine::Database> db1_, db2_;
};

TEST_F(PendingCancel, WithholdsTheOkLineFromAWalkItCutShort)
{
    // Without a cancel the tables match...
    EXPECT_EQ(compare("Same", false), "         Same OK\r\n");
    EXPECT_EQ(compare("Same", false, true), "         Primary keys and indexes OK\r\n");
    // ...but a cancel stops the property walk of A and the field walk after it, and the search
    // for missing indexes after PrimaryKey: nothing proves ByB or B alike.
    EXPECT_EQ(compare("Same", true), "");
    EXPECT_EQ(compare("Same", true, true), "");
}

TEST_F(PendingCancel, KeepsTheOkLineOfAWalkThatReachedItsEnd)
{
    // A table without fields or indexes has nothing a cancel could leave out.
    EXPECT_EQ(compare("Linked", true), "         Linked OK\r\n");
    EXPECT_EQ(compare("Linked", true, true), "         Primary keys and indexes OK\r\n");
}

TEST_F(PendingCancel, ReportsWhatItExaminedBeforeStopping)
{
    EXPECT_EQ(compare("Gaps", false),
              "         Field X was not found in db2.mdb\r\n"
              "         Field Y was not found in db2.mdb\r\n");
    EXPECT_EQ(compare("Gaps", true), "         Field X was not found in db2.mdb\r\n");
    // The walk over table 1's indexes does not stop; the search for the ones it lacks does.
    EXPECT_EQ(compare("Gaps", true, true),
              "            ByX is indexed in db1.mdb but not in db2.mdb\r\n"
              "      ByV is indexed in db2.mdb but not in db1.mdb\r\n");
}

// Two one-table databases, the log one walk over their tables writes.
class WalkOfOneTable : public ::testing::Test {
protected:
    // walk(run, rec1, rec2) with database 1's table and database 2's.
    template <class Walk>
    std::string log(const engine::Database& db1, const engine::Database& db2, const Walk& walk)
    {
        dualyn::EmptyLog(run_.strLogFile);
        dualyn::TableInfo rec1{"1.mdb", db1.TableDefs().Item(0), 1}, rec2{"2.mdb", db2.TableDefs().Item(0), 2};
        walk(run_, rec1, rec2);
        return testsupport::readFile(run_.strLogFile);
    }

private:
    TempDir dir_;
    dualyn::HeadlessWindow window_;
    dualyn::ComparisonRun run_{window_, dir_.file("ComparisonLog.txt")};
};

// Two tables stored alike are alike, unless two of their fields share a name: the walk finds
// the second at the first one's position, out of order (a file the generator cannot write, but
// a damaged one can hold).
TEST_F(WalkOfOneTable, FieldsStoredAlikeMatchUnlessTwoShareAName)
{
    auto database = [](const std::string& path, std::vector<std::string> names) {
        engine::TableDesign table{"T", {}, {}};
        for (std::size_t i = 0; i < names.size(); ++i) {
            engine::FieldFacts f;
            f.name = names[i];
            f.type = 4;
            f.size = 4;
            f.collatingOrder = 1033;
            f.position = i;
            table.fields.push_back({names[i], engine::fieldProperties(f, "T")});
        }
        return engine::Database(engine::DatabaseDesign{path, {table}, {}, {}});
    };
    auto compare = [this](const engine::Database& db1, const engine::Database& db2) {
        return log(db1, db2, [](auto& run, auto& rec1, auto& rec2) { dualyn::CompareFields(run, rec1, rec2, true); });
    };
    EXPECT_EQ(compare(database("/1.mdb", {"A", "B"}), database("/2.mdb", {"A", "B"})), "         T OK\r\n");
    EXPECT_EQ(compare(database("/1.mdb", {"A", "A"}), database("/2.mdb", {"A", "A"})),
              "         Field A is not in the same order in the tables.\r\n");
    // Names up to seven bytes long are told apart by their bytes, longer ones by a hash: both
    // find a name twice.
    EXPECT_EQ(compare(database("/1.mdb", {"Postcode", "Postcode"}), database("/2.mdb", {"Postcode", "Postcode"})),
              "         Field Postcode is not in the same order in the tables.\r\n");
    // Lists shorter than the walk reads are not taken for alike: the walk says they are short.
    auto shortLists = [](const std::string& path, std::size_t properties) {
        engine::FieldFacts f;
        f.name = "A";
        engine::PropertyList list = engine::fieldProperties(f, "T");
        list.resize(properties);
        engine::TableDesign table{"T", {{"A", list}, {"B", engine::fieldProperties(f, "T")}}, {}};
        return engine::Database(engine::DatabaseDesign{path, {table}, {}, {}});
    };
    EXPECT_EQ(compare(shortLists("/1.mdb", 17), shortLists("/2.mdb", 17)), "         T OK\r\n");
    EXPECT_THROW(compare(shortLists("/1.mdb", 16), shortLists("/2.mdb", 16)), std::out_of_range);
}

// The same for indexes: the walk finds the second of two indexes named alike at the first one's
// position and compares it with that one.
TEST_F(WalkOfOneTable, IndexesStoredAlikeMatchUnlessTwoShareAName)
{
    auto database = [](const std::string& path, std::vector<std::pair<std::string, bool>> indexes) {
        engine::TableDesign table{"T", {}, {}};
        for (const auto& [name, unique] : indexes) {
            engine::PropertyList p = {
                {"Name", engine::Variant::text(name)},       {"Foreign", engine::Variant::boolean(false)},
                {"Unique", engine::Variant::boolean(unique)}, {"Clustered", engine::Variant::boolean(false)},
                {"Required", engine::Variant::boolean(false)}, {"IgnoreNulls", engine::Variant::boolean(false)},
                {"Primary", engine::Variant::boolean(false)}, {"Fields", engine::Variant::text("+A")},
            };
            table.indexes.push_back(engine::IndexDesign{name, "+A", std::move(p)});
        }
        return engine::Database(engine::DatabaseDesign{path, {table}, {}, {}});
    };
    auto compare = [this](const engine::Database& db1, const engine::Database& db2) {
        return log(db1, db2, [](auto& run, auto& rec1, auto& rec2) { dualyn::CompareIndexes(run, rec1, rec2); });
    };
    EXPECT_EQ(compare(database("/1.mdb", {{"X", true}, {"Y", false}}), database("/2.mdb", {{"X", true}, {"Y", false}})),
              "         Primary keys and indexes OK\r\n");
    EXPECT_EQ(compare(database("/1.mdb", {{"X", true}, {"Y", false}}), database("/2.mdb", {{"X", true}, {"Y", true}})),
              "            Y is indexed differently in 2.mdb\r\n");
    EXPECT_EQ(compare(database("/1.mdb", {{"X", true}, {"X", false}}), database("/2.mdb", {{"X", true}, {"X", false}})),
              "            X is indexed differently in 2.mdb\r\n");
}

}  // namespace
