// Deleted and moved rows of the system tables, as Access leaves them: a row rewritten when it no
// longer fits leaves its old version on the page marked deleted, or moves to another page with a
// pointer in its old place. The engine must read every live row exactly once and nothing else:
// each design below reads exactly as the same design written without the old and moved rows.
#include "database_engine.h"
#include "database_file.h"
#include "generated_database.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace engine;
using testsupport::TempDir;

namespace {

using Strings = std::vector<std::string>;

class SystemRows : public ::testing::Test {
protected:
    std::shared_ptr<Database> open(const std::string& description, const std::string& name = "test.mdb")
    {
        return DBEngine::instance().OpenDatabase(testsupport::writeDatabase(dir_, description, name));
    }

    // The whole design as text: every table, field, index, relation and query with its properties.
    static std::string describe(const Database& db)
    {
        std::string out;
        auto properties = [&out](const Properties& p) {
            for (std::int16_t i = 0; i < p.Count(); ++i)
                out += " " + p.Item(i).Name() + "=" + p.Item(i).Value().describe();
            out += "\n";
        };
        for (std::int16_t t = 0; t < db.TableDefs().Count(); ++t) {
            TableDef table = db.TableDefs().Item(t);
            out += "TABLE " + table.Name() + "\n";
            for (std::int16_t i = 0; i < table.Fields().Count(); ++i) {
                out += "  FIELD " + table.Fields().Item(i).Name();
                properties(table.Fields().Item(i).Properties());
            }
            for (std::int16_t i = 0; i < table.Indexes().Count(); ++i) {
                out += "  INDEX " + table.Indexes().Item(i).Name();
                properties(table.Indexes().Item(i).Properties());
            }
        }
        for (std::int16_t r = 0; r < db.Relations().Count(); ++r) {
            Relation relation = db.Relations().Item(r);
            out += "RELATION " + relation.Name();
            for (std::int16_t i = 0; i < relation.Fields().Count(); ++i)
                out += " " + relation.Fields().Item(i).Name() + "->" + relation.Fields().Item(i).ForeignName();
            properties(relation.Properties());
        }
        for (std::int16_t q = 0; q < db.QueryDefs().Count(); ++q) {
            out += "QUERY " + db.QueryDefs().Item(q).Name();
            properties(db.QueryDefs().Item(q).Properties());
        }
        return out;
    }

    // The design read from the description, which must be the design read from plain, the same
    // design without old or moved rows.
    std::shared_ptr<Database> openAndCompare(const std::string& description, const std::string& plain)
    {
        auto db = open(description);
        EXPECT_EQ(describe(*db), describe(*open(plain, "plain.mdb")));
        return db;
    }

    template <typename C> static Strings names(const C& collection)
    {
        Strings out;
        for (std::int16_t i = 0; i < collection.Count(); ++i) out.push_back(collection.Item(i).Name());
        return out;
    }

    // The value of the named property, as Variant::describe gives it.
    static std::string property(const Properties& p, const std::string& name)
    {
        for (std::int16_t i = 0; i < p.Count(); ++i)
            if (p.Item(i).Name() == name) return p.Item(i).Value().describe();
        return "(none)";
    }

    TempDir dir_;
};

const Strings kSystemTables = {"MSysACEs", "MSysObjects", "MSysQueries", "MSysRelationships"};

Strings withSystemTables(Strings names)
{
    names.insert(names.end(), kSystemTables.begin(), kSystemTables.end());
    std::sort(names.begin(), names.end());
    return names;
}

// A table whose catalog row was written anew, with the old row left on its page marked deleted:
// the table is read once, with its new properties, whether its old or its new row had moved.
TEST_F(SystemRows, RewrittenCatalogRowIsReadOnceWithTheNewProperties)
{
    struct Case {
        const char* what;
        const char* description;
    };
    const Case cases[] = {
        {"properties changed twice: the row no longer fitted, the old one stays with the old default",
         "table Keyed stale\n  field ID long DefaultValue=\"1\"\ntable Keyed\n  field ID long DefaultValue=\"2\"\n"},
        {"the new row moved to another page, found through its pointer; the old one deleted in place",
         "table Keyed stale\n  field ID long DefaultValue=\"1\" Description=\"old\"\n"
         "table Keyed moved\n  field ID long DefaultValue=\"2\"\n"},
        {"a row that had moved, then was written anew: its pointer deleted, the moved row left where it lives",
         "table Keyed stale moved\n  field ID long DefaultValue=\"1\" Description=\"first\"\n"
         "table Keyed\n  field ID long DefaultValue=\"2\"\n"},
    };
    for (const Case& c : cases) {
        auto db = openAndCompare(c.description, "table Keyed\n  field ID long DefaultValue=\"2\"\n");
        EXPECT_EQ(names(db->TableDefs()), withSystemTables({"Keyed"})) << c.what;
        const Properties field = db->TableDefs().Item(0).Fields().Item(0).Properties();
        EXPECT_EQ(property(field, "DefaultValue"), "\"2\"") << c.what;
        EXPECT_EQ(property(field, "Description"), "(none)") << c.what;
    }
}

// Moved catalog rows of tables and queries: each read once, through its pointer.
TEST_F(SystemRows, MovedCatalogRowsAreReadOnce)
{
    const std::string rest = R"(
table B
  field ID long
  index PrimaryKey (ID) primary
query Q select
  from A
  column "A.ID"
  property Description="q"
)";
    auto db = openAndCompare("table A moved\n  field ID long Description=\"moved\"\n" + rest,
                             "table A\n  field ID long Description=\"moved\"\n" + rest);
    EXPECT_EQ(names(db->TableDefs()), withSystemTables({"A", "B"}));
    EXPECT_EQ(property(db->TableDefs().Item(0).Fields().Item(0).Properties(), "Description"), "\"moved\"");
    EXPECT_EQ(names(db->QueryDefs()), (Strings{"Q"}));
}

// Many moved and old rows: the moved rows fill overflow pages of their own, and every pointer
// leads to its row on one of them.
TEST_F(SystemRows, ManyMovedAndOldCatalogRows)
{
    std::string description, plain;
    Strings expected;
    for (int i = 0; i < 300; ++i) {
        std::string name = "T" + std::to_string(1000 + i);
        std::string table = "  field F long Description=\"" + std::string(40, 'a' + i % 26) + "\"\n";
        if (i % 3 == 0) description += "table " + name + " stale\n  field F long Description=\"old\"\n";
        description += "table " + name + (i % 2 ? " moved\n" : "\n") + table;
        plain += "table " + name + "\n" + table;
        expected.push_back(name);
    }
    auto db = openAndCompare(description, plain);
    EXPECT_EQ(names(db->TableDefs()), withSystemTables(expected));
}

// A relationship's rows: its old version (two field pairs, another join) left deleted after the
// live row, and a moved relationship with an old version that had moved too, each read once.
TEST_F(SystemRows, OldAndMovedRelationshipRowsAreReadOnce)
{
    const std::string tables = R"(
table P
  field ID long
  field X long
  index PrimaryKey (ID, X) primary
table F
  field PID long
  field Y long
)";
    auto db = openAndCompare(tables + R"(
relationship R P(ID) -> F(PID) join=left
relationship R P(ID, X) -> F(PID, Y) join=right stale
relationship M P(ID) -> F(Y) moved
relationship M P(X) -> F(PID) stale moved
)",
                             tables + "relationship R P(ID) -> F(PID) join=left\nrelationship M P(ID) -> F(Y)\n");
    EXPECT_EQ(names(db->Relations()), (Strings{"M", "R"}));
    Relation r = db->Relations().Item(1);
    ASSERT_EQ(r.Fields().Count(), 1);
    EXPECT_EQ(r.Fields().Item(0).ForeignName(), "PID");
    EXPECT_EQ(property(r.Properties(), "Attributes"), std::to_string(0x01000002));
    EXPECT_EQ(db->Relations().Item(0).Fields().Item(0).ForeignName(), "Y");
}

// A query rewritten: its old design rows and old catalog row left deleted, its new catalog row and
// design rows moved; another query moved, with an old version that had moved too. Read once, with
// the new design only.
TEST_F(SystemRows, OldAndMovedQueryRowsAreReadOnce)
{
    const std::string live = R"(
query Q select
  from T
  column "T.A"
  where "T.A > 1"
  property Description="new"
)";
    auto db = openAndCompare(R"(
table T
  field A long
query Q select stale
  from Old
  column "Old.B"
  orderby "Old.B"
  property Description="old"
query Q select moved
  from T
  column "T.A"
  where "T.A > 1"
  property Description="new"
query Other select moved
  from T
  column "T.A"
query Other select stale moved
  from T
  column "T.A"
  groupby "T.A"
)",
                             "table T\n  field A long\n" + live + "query Other select\n  from T\n  column \"T.A\"\n");
    EXPECT_EQ(names(db->QueryDefs()), (Strings{"Other", "Q"}));
    Properties q = db->QueryDefs().Item(1).Properties();
    EXPECT_EQ(property(q, "SQL"), "\"SELECT T.A\r\nFROM T\r\nWHERE T.A > 1;\"");
    EXPECT_EQ(property(q, "Description"), "\"new\"");
}

// MSysComplexColumns names the tables that keep attachments, which are storage, not design. Its old
// rows naming a table of the design (one left in place, one where it had moved) no longer do; a
// moved row still does.
TEST_F(SystemRows, OldAndMovedRowsOfTheListOfAttachmentTables)
{
    const std::string design = R"(
table Docs
  field ID long
table f_0123456789ABCDEF0123456789ABCDEF_Data
  field Payload ole
table MSysComplexColumns system
  field ColumnName text(255)
  field ComplexID long
  field ComplexTypeObjectID long
  field ConceptualTableID long
  field FlatTableID long
)";
    // A catalog id is its table definition's page, which the design alone fixes.
    auto ids = testsupport::catalogIds(open(design, "probe.mdb")->Name());
    ASSERT_TRUE(ids.count("Docs") && ids.count("f_0123456789ABCDEF0123456789ABCDEF_Data"));
    const std::string docs = std::to_string(ids["Docs"]);
    const std::string storage = std::to_string(ids["f_0123456789ABCDEF0123456789ABCDEF_Data"]);
    auto db = open(design + "  values (\"Old\", 1, 2, 3, " + docs + ") stale\n" +
                   "  values (\"Older\", 1, 2, 3, " + docs + ") stale moved\n" +
                   "  values (\"Files\", 1, 2, 3, " + storage + ") moved\n");
    EXPECT_EQ(names(db->TableDefs()), withSystemTables({"Docs", "MSysComplexColumns"}));
}

// A pointer that leads nowhere is damage, named with the table, the row and where it leads.
TEST_F(SystemRows, APointerLeadingNowhereIsRefused)
{
    std::string path = testsupport::writeDatabase(dir_, "table T moved\n  field F long\n");
    std::string bytes = testsupport::readFile(path);
    // The catalog's rows are on page 9: after the header, the file's map, the five table
    // definitions, the page of usage maps and the page of long values.
    const std::size_t page = 9 * 4096;
    ASSERT_EQ(bytes[page], 0x01);
    ASSERT_EQ(bytes[page + 4], 0x02);  // rows of the catalog, defined at page 2
    unsigned count = static_cast<unsigned char>(bytes[page + 12]);
    std::size_t pointer = 0;
    for (unsigned row = 0; row < count; ++row) {
        unsigned entry = static_cast<unsigned char>(bytes[page + 14 + 2 * row]) |
                         static_cast<unsigned char>(bytes[page + 15 + 2 * row]) << 8;
        if (entry & 0x4000) pointer = page + (entry & 0x1FFF);
    }
    ASSERT_NE(pointer, 0u);
    bytes[pointer + 1] = static_cast<char>(0x9F);  // page 0x869F instead of the next one
    bytes[pointer + 2] = static_cast<char>(0x86);
    testsupport::writeFile(path, bytes);
    try {
        DBEngine::instance().OpenDatabase(path);
        ADD_FAILURE() << "opened a file whose catalog row leads nowhere";
    } catch (const OpenError& e) {
        EXPECT_EQ(e.reason(), "damaged: the catalog cannot be read: the rows of table MSysObjects: row 8 of page 9 "
                              "moved to row 0 of page 34463, but page 34463 is not in the file");
    }
}

}  // namespace
