// The engine end to end: files written by the generator in, the engine's collections, order,
// property lists and values out; and the files it must refuse, each with its reason.
#include "database_engine.h"
#include "database_file.h"
#include "design_codec.h"
#include "design_reader.h"
#include "generated_database.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace engine;
using testsupport::TempDir;

namespace {

class Engine : public ::testing::Test {
protected:
    std::string write(const std::string& description, const std::string& name = "test.mdb")
    {
        return testsupport::writeDatabase(dir_, description, name);
    }

    std::shared_ptr<Database> open(const std::string& description)
    {
        return DBEngine::instance().OpenDatabase(write(description));
    }

    // "Name=value" for each property of the list, value as Variant::describe gives it.
    static std::vector<std::string> listed(const Properties& p)
    {
        std::vector<std::string> out;
        for (std::int16_t i = 0; i < p.Count(); ++i)
            out.push_back(p.Item(i).Name() + "=" + p.Item(i).Value().describe());
        return out;
    }

    template <typename C> static std::vector<std::string> names(const C& collection)
    {
        std::vector<std::string> out;
        for (std::int16_t i = 0; i < collection.Count(); ++i) out.push_back(collection.Item(i).Name());
        return out;
    }

    TempDir dir_;
};

using Strings = std::vector<std::string>;

TEST_F(Engine, TablesInNameOrderWithSystemAndLinkedTables)
{
    auto db = open(R"(
table b
  field x long
table B
  field x long
table a
  field x long
table Ärger
  field x long
table MSysExtra system
  field x long
linked Remote database="C:\x.mdb"
linked odbc connect="ODBC;DSN=y"
)");
    EXPECT_EQ(names(db->TableDefs()), (Strings{"a", "B", "b", "MSysACEs", "MSysExtra", "MSysObjects", "MSysQueries",
                                                "MSysRelationships", "odbc", "Remote", "Ärger"}));
    EXPECT_EQ(db->TableDefs().Item(9).Fields().Count(), 0);  // a linked table's fields are not stored here
    EXPECT_EQ(db->TableDefs().Item(5).Fields().Count(), 17);  // the catalog's own definition is read too
    EXPECT_THROW(db->TableDefs().Item(11), std::out_of_range);
    EXPECT_THROW(db->TableDefs().Item(-1), std::out_of_range);
    EXPECT_TRUE(std::filesystem::path(db->Name()).is_absolute());
    EXPECT_EQ(db->Name(), dir_.file("test.mdb"));
}

TEST_F(Engine, FieldPropertyLists)
{
    auto db = open(R"(
table T
  field ID autonumber
  field Name text(40) Required=yes AllowZeroLength=no DefaultValue="""x""" ValidationRule="<>""y""" ValidationText="not y" Format=">" Description="The name"
  deleted
  field Price currency DefaultValue="0" ColumnWidth=-1
  field Flag yesno
  field Notes memo
  field Blob ole
  field Rep guid
  field Amount decimal(12, 3)
  field Raw binary(8)
  field B byte
  field I integer
  field S single
  field D double
  field W datetime
)");
    Fields fields = db->TableDefs().Item(4).Fields();  // after the four system tables
    ASSERT_EQ(fields.Count(), 14);
    EXPECT_EQ(listed(fields.Item(1).Properties()),
              (Strings{"Value=Null", "Attributes=2", "CollatingOrder=1033", "Type=10", "Name=\"Name\"", "OrdinalPosition=1",
                       "Size=40", "SourceField=\"Name\"", "SourceTable=\"T\"", "ValidateOnSet=False", "DataUpdatable=False",
                       "ForeignName=Null", "DefaultValue=\"\"x\"\"", "ValidationRule=\"<>\"y\"\"", "ValidationText=\"not y\"",
                       "Required=True", "AllowZeroLength=False", "Description=\"The name\"", "Format=\">\""}));
    // Unset properties hold what Access reports for them; the deleted field leaves no gap.
    EXPECT_EQ(listed(fields.Item(2).Properties()),
              (Strings{"Value=Null", "Attributes=3", "CollatingOrder=1033", "Type=5", "Name=\"Price\"", "OrdinalPosition=2",
                       "Size=8", "SourceField=\"Price\"", "SourceTable=\"T\"", "ValidateOnSet=False", "DataUpdatable=False",
                       "ForeignName=Null", "DefaultValue=\"0\"", "ValidationRule=\"\"", "ValidationText=\"\"",
                       "Required=False", "AllowZeroLength=False", "ColumnWidth=-1"}));
    // Type and Size of every kind of field.
    std::map<std::string, std::pair<std::string, std::string>> typeAndSize;
    for (std::int16_t i = 0; i < fields.Count(); ++i) {
        Properties p = fields.Item(i).Properties();
        typeAndSize[fields.Item(i).Name()] = {p.Item(3).Value().describe(), p.Item(6).Value().describe()};
    }
    using TS = std::pair<std::string, std::string>;
    EXPECT_EQ(typeAndSize["ID"], TS("4", "4"));
    EXPECT_EQ(typeAndSize["Flag"], TS("1", "1"));
    EXPECT_EQ(typeAndSize["Notes"], TS("12", "0"));
    EXPECT_EQ(typeAndSize["Blob"], TS("11", "0"));
    EXPECT_EQ(typeAndSize["Rep"], TS("15", "16"));
    EXPECT_EQ(typeAndSize["Amount"], TS("20", "17"));
    EXPECT_EQ(typeAndSize["Raw"], TS("9", "8"));
    EXPECT_EQ(typeAndSize["B"], TS("2", "1"));
    EXPECT_EQ(typeAndSize["I"], TS("3", "2"));
    EXPECT_EQ(typeAndSize["S"], TS("6", "4"));
    EXPECT_EQ(typeAndSize["D"], TS("7", "8"));
    EXPECT_EQ(typeAndSize["W"], TS("8", "8"));
    EXPECT_EQ(fields.Item(0).Properties().Item(1).Value(), Variant::number(0x07));  // an AutoNumber column's flags
    // A system table's columns carry the system flag too.
    TableDef catalog = db->TableDefs().Item(1);
    ASSERT_EQ(catalog.Name(), "MSysObjects");
    EXPECT_EQ(catalog.Fields().Item(0).Properties().Item(1).Value(), Variant::number(0x13));
}

TEST_F(Engine, IndexesAsStoredWithoutTheHiddenRelationshipIndex)
{
    auto db = open(R"(
table Customers
  field ID autonumber
  field Name text
  index PrimaryKey (ID) primary
  index ByName (Name desc, ID) unique ignorenulls
table Orders
  field ID autonumber
  field CustomerID long
  index Zeta (ID) required
  index PrimaryKey (ID) primary
relationship CustomersOrders Customers(ID) -> Orders(CustomerID) enforced
)");
    TableDef customers = db->TableDefs().Item(0);
    ASSERT_EQ(customers.Name(), "Customers");
    EXPECT_EQ(names(customers.Indexes()), (Strings{"PrimaryKey", "ByName"}));
    EXPECT_EQ(customers.Indexes().Item(1).Fields(), "-Name;+ID");
    EXPECT_EQ(listed(customers.Indexes().Item(1).Properties()),
              (Strings{"Name=\"ByName\"", "Foreign=False", "Unique=True", "Clustered=False", "Required=False",
                       "IgnoreNulls=True", "Primary=False", "Fields=\"-Name;+ID\""}));
    EXPECT_EQ(listed(customers.Indexes().Item(0).Properties()),
              (Strings{"Name=\"PrimaryKey\"", "Foreign=False", "Unique=True", "Clustered=False", "Required=True",
                       "IgnoreNulls=False", "Primary=True", "Fields=\"+ID\""}));
    TableDef orders = db->TableDefs().Item(5);
    ASSERT_EQ(orders.Name(), "Orders");
    EXPECT_EQ(names(orders.Indexes()), (Strings{"Zeta", "PrimaryKey", "CustomersOrders"}));
    EXPECT_EQ(listed(orders.Indexes().Item(2).Properties()),
              (Strings{"Name=\"CustomersOrders\"", "Foreign=True", "Unique=False", "Clustered=False", "Required=False",
                       "IgnoreNulls=False", "Primary=False", "Fields=\"+CustomerID\""}));
}

TEST_F(Engine, Relations)
{
    auto db = open(R"(
table P
  field A long
  field B text
  index PrimaryKey (A, B) primary
table F
  field X long
  field Y text
table MSysOne system
  field A long
table MSysTwo system
  field A long
relationship zTwo P(A, B) -> F(X, Y) enforced cascadedelete
relationship aLoose P(A) -> F(X) join=left
relationship Navigation MSysOne(A) -> MSysTwo(A)
relationship Half MSysOne(A) -> F(X)
)");
    Relations relations = db->Relations();
    EXPECT_EQ(names(relations), (Strings{"aLoose", "Half", "zTwo"}));
    Relation two = relations.Item(2);
    EXPECT_EQ(listed(two.Properties()), (Strings{"Name=\"zTwo\"", "Table=\"P\"", "ForeignTable=\"F\"",
                                                 "Attributes=4096", "PartialReplica=False"}));
    EXPECT_EQ(two.ForeignTable(), "F");
    ASSERT_EQ(two.Fields().Count(), 2);
    EXPECT_EQ(two.Fields().Item(1).Name(), "B");
    EXPECT_EQ(two.Fields().Item(1).ForeignName(), "Y");
    EXPECT_EQ(relations.Item(0).Properties().Item(3).Value(), Variant::number(0x01000002));
}

TEST_F(Engine, QueryPropertyLists)
{
    auto db = open(R"(
query "Pass through" passthrough
  connect "ODBC;DSN=x"
  sql "EXEC sp"
  property ReturnsRecords=no
  property ODBCTimeout:integer=30
  property MaxRecords=100
  property LogMessages=yes
query Plain select
  from T
  column "T.A"
query ~sq_hidden select hidden
  from T
)");
    EXPECT_EQ(names(db->QueryDefs()), (Strings{"Pass through", "Plain", "~sq_hidden"}));
    Strings pass = listed(db->QueryDefs().Item(0).Properties());
    ASSERT_EQ(pass.size(), 12u);
    EXPECT_EQ(pass[0], "Name=\"Pass through\"");
    EXPECT_EQ(pass[3], "Type=112");
    EXPECT_EQ(Strings(pass.begin() + 5, pass.end()),
              (Strings{"Updatable=True", "Connect=\"ODBC;DSN=x\"", "ReturnsRecords=False", "ODBCTimeout=30",
                       "RecordsAffected=0", "MaxRecords=100", "LogMessages=True"}));
    Strings plain = listed(db->QueryDefs().Item(1).Properties());
    ASSERT_EQ(plain.size(), 11u);
    EXPECT_EQ(Strings(plain.begin() + 5, plain.end()),
              (Strings{"Updatable=True", "Connect=\"\"", "ReturnsRecords=True", "ODBCTimeout=60", "RecordsAffected=0",
                       "MaxRecords=0"}));
    EXPECT_NE(db->QueryDefs().Item(1).Properties().Item(4).Value().text().find("T.A"), std::string::npos);
    EXPECT_NE(db->QueryDefs().Item(0).Properties().Item(4).Value().text().find("EXEC sp"), std::string::npos);
}

// The tables in which newer Access versions keep attachments are storage, not design.
TEST_F(Engine, AttachmentStorageTablesAreLeftOut)
{
    std::string design = R"(
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
    // The storage table's catalog id is its definition's page, which the design alone fixes.
    auto ids = testsupport::catalogIds(write(design, "probe.mdb"));
    ASSERT_TRUE(ids.count("f_0123456789ABCDEF0123456789ABCDEF_Data"));
    const std::string id = std::to_string(ids["f_0123456789ABCDEF0123456789ABCDEF_Data"]);
    auto db = DBEngine::instance().OpenDatabase(write(design + "  values (\"Files\", 1, 2, 3, " + id + ")\n"));
    EXPECT_EQ(names(db->TableDefs()), (Strings{"Docs", "MSysACEs", "MSysComplexColumns", "MSysObjects", "MSysQueries",
                                                "MSysRelationships"}));
}

// A storage table linked from another file has an id with the high bit set whose low bits may be
// those of a real table's page: the whole id names the storage table, never the real one.
TEST_F(Engine, StorageTableIdsAreMatchedWhole)
{
    // Linked tables are numbered from 0x80000000 on in the order described; enough of them make
    // the last one's low bits the real table's page.
    auto design = [](int links, std::int64_t flatId) {
        std::string text = "table Real\n  field ID long\ntable MSysComplexColumns system\n  field ColumnName text(255)\n"
                           "  field ComplexID long\n  field ComplexTypeObjectID long\n  field ConceptualTableID long\n"
                           "  field FlatTableID long\n  values (\"History\", 1, 2, 3, " + std::to_string(flatId) + ")\n";
        for (int i = 0; i < links; ++i)
            text += "linked f_" + std::to_string(i) + "_VersionHistory database=\"C:\\other.accdb\"\n";
        return text;
    };
    std::map<std::string, std::int64_t> ids;  // catalog ids by name
    int links = 1;
    for (int tries = 0; tries < 4; ++tries) {
        ids = testsupport::catalogIds(write(design(links, 0), "probe.mdb"));
        if (links == ids["Real"] + 1) break;
        links = static_cast<int>(ids["Real"]) + 1;
    }
    const std::string storage = "f_" + std::to_string(links - 1) + "_VersionHistory";
    ASSERT_EQ(ids[storage] & 0x00FFFFFF, ids["Real"]);  // the low bits agree, the ids do not
    auto db = DBEngine::instance().OpenDatabase(write(design(links, ids[storage])));
    Strings tables = names(db->TableDefs());
    EXPECT_NE(std::find(tables.begin(), tables.end(), "Real"), tables.end());
    EXPECT_EQ(std::find(tables.begin(), tables.end(), storage), tables.end());
    EXPECT_EQ(tables.size(), 1u + 5u + static_cast<std::size_t>(links - 1));
}

// Tables, relations and queries sort by their names' Unicode case folding: µ (micro) as Greek μ,
// ſ (long s) as s, K (Kelvin) as k, Å (Angstrom) as å, ẞ as ß, ς as σ, Ά as ά, Ƀ as ƀ; İ and ı
// keep their own places.
TEST_F(Engine, NamesSortByTheirFoldedLetters)
{
    auto db = open(R"(
table µx
  field ſ long
  field K long
  index Ǆ (ſ)
table àx
  field ς long
table Table1
  field Ά long
table ſxr
  field ẞ long
table Kz
  field ID long
table İ
  field ID long
table ı
  field ID long
relationship Rel1 Table1(Ά) -> àx(ς)
relationship ſRel ſxr(ẞ) -> µx(ſ)
query Åq select
  from Table1
  column "*"
query ab select
  from Table1
  column "*"
query Ƀq select
  from Table1
  column "*"
)");
    EXPECT_EQ(names(db->TableDefs()), (Strings{"\u212Az", "MSysACEs", "MSysObjects", "MSysQueries", "MSysRelationships",
                                                "ſxr", "Table1", "àx", "İ", "ı", "µx"}));
    EXPECT_EQ(names(db->Relations()), (Strings{"Rel1", "ſRel"}));
    EXPECT_EQ(names(db->QueryDefs()), (Strings{"ab", "\u212Bq", "Ƀq"}));
    EXPECT_EQ(names(db->TableDefs().Item(10).Fields()), (Strings{"ſ", "\u212A"}));
    EXPECT_EQ(names(db->TableDefs().Item(10).Indexes()), (Strings{"Ǆ"}));
}

// The SQL of queries shaped as Access writes them, read from the file: parameters with their
// sizes and type names, names stored in brackets, a derived table, descending marked "d", rows of
// newer versions for multi-value fields. Nothing but SQL.
TEST_F(Engine, QueriesAsAccessWroteThem)
{
    auto db = open(R"(
table Orders
  field ID long
  field Customer text(5)
query ByCustomer select notyperow version=1
  parameter CustomerID text(5)
  parameter "[Beginning Date]" datetime
  row 2 flag=0 name1="__OrderID"
  from Orders
  column "Orders.ID"
  where "Orders.Customer = CustomerID"
  row 11 name1="d" expression="Orders.ID"
  row 12 flag=2 name1="ByCustomer_1821EB54"
query Counted select version=2
  row 5 name2="C" expression="SELECT Customer, COUNT(*) AS N FROM Orders GROUP BY Customer"
  column "C.N"
)");
    QueryDefs queries = db->QueryDefs();
    ASSERT_EQ(queries.Count(), 2);
    EXPECT_EQ(queries.Item(0).Properties().Item(4).Value(),
              Variant::text("PARAMETERS CustomerID Text ( 5 ), [Beginning Date] DateTime, __OrderID Value;\r\n"
                            "SELECT Orders.ID\r\nFROM Orders\r\nWHERE Orders.Customer = CustomerID\r\n"
                            "ORDER BY Orders.ID DESC;"));
    EXPECT_EQ(queries.Item(0).Properties().Item(3).Value(), Variant::number(0));  // a select query
    EXPECT_EQ(queries.Item(1).Properties().Item(4).Value(),
              Variant::text("SELECT C.N\r\nFROM (SELECT Customer, COUNT(*) AS N FROM Orders GROUP BY Customer) AS C;"));
}

// A calculated field stores its value behind a 23-byte header, which its stored length counts;
// its Size is that of its result.
TEST_F(Engine, CalculatedFieldsHaveTheSizeOfTheirResult)
{
    auto db = open(R"(
table Employees
  field First text(100)
  field Full text(243) calculated Expression="[First] & ""!"""
  field Total long calculated
  field Price currency calculated
  field Ratio double calculated
  field Note memo calculated
  field Flag yesno calculated
)");
    Fields fields = db->TableDefs().Item(0).Fields();
    std::vector<std::string> typeAndSize;  // "Type/Size" of each field
    for (std::int16_t i = 0; i < fields.Count(); ++i)
        typeAndSize.push_back(fields.Item(i).Properties().Item(3).Value().describe() + "/" +
                              fields.Item(i).Properties().Item(6).Value().describe());
    EXPECT_EQ(typeAndSize, (Strings{"10/100", "10/243", "4/4", "5/8", "7/8", "12/0", "1/1"}));
}

// Names beyond the Basic Multilingual Plane keep their surrogate pairs whole wherever they appear:
// a field, an index on it, a relationship and the field's own stored properties.
TEST_F(Engine, NamesBeyondTheBasicPlaneStayWhole)
{
    auto db = open(R"(
table P😀
  field C😀 long Description="smile"
  index PrimaryKey (C😀) primary
table F
  field R😀 long
relationship P😀F P😀(C😀) -> F(R😀) enforced
)");
    TableDef f = db->TableDefs().Item(0), p = db->TableDefs().Item(5);
    ASSERT_EQ(p.Name(), "P😀");
    EXPECT_EQ(names(p.Fields()), Strings{"C😀"});
    EXPECT_EQ(names(f.Fields()), Strings{"R😀"});
    EXPECT_EQ(p.Indexes().Item(0).Fields(), "+C😀");
    EXPECT_EQ(listed(p.Fields().Item(0).Properties()).back(), "Description=\"smile\"");
    EXPECT_EQ(db->Relations().Item(0).Fields().Item(0).Name(), "C😀");
    EXPECT_EQ(db->Relations().Item(0).Fields().Item(0).ForeignName(), "R😀");
}

// A text or binary property stored empty is an empty value, not Null; a Single keeps its exact
// value; a property is found by its name in any letter case.
TEST_F(Engine, StoredValuesAsStored)
{
    auto db = open(R"(
table T
  field A text(5) DefaultValue="" ValidationRule="" ValidationText="" Caption="" Raw:binary=0x Ratio:single=0.1
  field B text(5)
  field C long "required"=yes "defaultvalue"="5"
query Q select
  from T
  column "A"
  property "odbctimeout":integer=30
)");
    Fields fields = db->TableDefs().Item(4).Fields();
    Strings a = listed(fields.Item(0).Properties());
    Strings b = listed(fields.Item(1).Properties());
    EXPECT_EQ(Strings(a.begin() + 12, a.end()),
              (Strings{"DefaultValue=\"\"", "ValidationRule=\"\"", "ValidationText=\"\"", "Required=False",
                       "AllowZeroLength=False", "Caption=\"\"", "Ratio=0.10000000149011612", "Raw=\"0x\""}));
    EXPECT_EQ(b.size(), 17u);  // nothing stored, nothing listed past the fixed positions
    EXPECT_NE(fields.Item(0).Properties().Item(18).Value(), Variant::number(0.1));
    Strings c = listed(fields.Item(2).Properties());
    EXPECT_EQ(Strings(c.begin() + 12, c.end()), (Strings{"DefaultValue=\"5\"", "ValidationRule=\"\"",
                                                         "ValidationText=\"\"", "Required=True", "AllowZeroLength=False"}));
    EXPECT_EQ(db->QueryDefs().Item(0).Properties().Item(8).Value(), Variant::number(30));
}

// Files the engine must refuse, each with the file's name and the reason.
TEST_F(Engine, FilesItRefuses)
{
    std::string good = write("table T\n field F long\n", "good.mdb");
    std::string bytes = testsupport::readFile(good);
    auto variant = [&](const std::string& name, std::string content) {
        testsupport::writeFile(dir_.file(name), content);
        return dir_.file(name);
    };
    auto patched = [&](const std::string& name, std::size_t at, std::uint8_t value) {
        std::string copy = bytes;
        copy[at] = static_cast<char>(copy[at] ^ value);
        return variant(name, copy);
    };
    ::mkfifo(dir_.file("pipe.mdb").c_str(), 0600);
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {dir_.file("missing.mdb"), "the file does not exist"},
        {dir_.path(), "not a file but a folder"},
        {dir_.file("pipe.mdb"), "not a file but a pipe"},
        {variant("empty.mdb", ""), "the file is empty"},
        {variant("text.mdb", "Dear diary,\nthis is not a database.\n"), "not an Access database"},
        {variant("short.mdb", bytes.substr(0, 4096 * 2 + 100)), "damaged: the file is cut short"},
        {variant("version.mdb", [&] { std::string c = bytes; c[0x14] = 9; return c; }()),
         "an Access file format Dualyn does not know (version byte 9)"},
        // A key where a plain file has none: its pages decode into noise.
        {patched("key.mdb", 0x3E, 0x5A), "damaged: page 2, where every Access file keeps its catalog, does not decode"},
        {patched("password.mdb", 0x42, 0x31), "no password given"},
        {patched("catalog.mdb", 2 * 4096, 0x07), "damaged: page 2, where every Access file keeps its catalog, holds no"},
    };
    for (const Case& c : cases) {
        try {
            DBEngine::instance().OpenDatabase(c.path);
            ADD_FAILURE() << "opened " << c.path;
        } catch (const OpenError& e) {
            EXPECT_EQ(e.path(), c.path);
            EXPECT_EQ(e.reason().rfind(c.reason, 0), 0u) << e.what();
        }
    }
}

// A table whose definition is damaged is never left out: opening fails and names it.
TEST_F(Engine, DamagedTableDefinitionNamesTheTable)
{
    std::string path = write("table Good\n field F long\ntable Broken\n field F long\n");
    std::string bytes = testsupport::readFile(path);
    // The generator puts the user tables' definitions after the four system tables' (pages 2-5).
    std::size_t broken = 7 * 4096;
    ASSERT_EQ(bytes[broken], 0x02);
    bytes[broken] = 0x01;
    testsupport::writeFile(path, bytes);
    try {
        DBEngine::instance().OpenDatabase(path);
        ADD_FAILURE() << "opened a file with a damaged table";
    } catch (const OpenError& e) {
        EXPECT_EQ(e.reason().rfind("damaged: the design of table Broken cannot be read", 0), 0u) << e.what();
    }
}

// A system table's map of row pages that names a row its page lacks is refused before libmdb,
// which does not check it, follows it.
TEST_F(Engine, DamagedRowPageMapIsRefused)
{
    std::string path = write("table T\n field F long\n");
    std::string bytes = testsupport::readFile(path);
    const std::size_t mapAddress = 2 * 4096 + 55;  // in the catalog's definition
    bytes[mapAddress] = static_cast<char>(250);     // row 250 of the same map page
    testsupport::writeFile(path, bytes);
    try {
        DBEngine::instance().OpenDatabase(path);
        ADD_FAILURE() << "opened a file whose catalog cannot be found";
    } catch (const OpenError& e) {
        EXPECT_EQ(e.reason().rfind("damaged: the catalog cannot be read: table definition at page 2: its map of row "
                                   "pages: row 250 of page ", 0),
                  0u)
            << e.what();
    }
}

// Truncations at every page and random damage give a design or a clear error, never a crash.
TEST_F(Engine, DamagedFilesGiveAnErrorOrADesign)
{
    std::string path = write(R"(
table T
  field A text(20) Description="x"
  field B long
  index PrimaryKey (B) primary
query Q select
  from T
  column "T.A"
)");
    const std::string bytes = testsupport::readFile(path);
    std::string damaged = dir_.file("damaged.mdb");
    std::uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 60; ++round) {
        std::string copy = bytes;
        if (round < 10) {
            copy.resize(4096 * static_cast<std::size_t>(round + 3));
        } else {
            for (int flips = 0; flips < 8; ++flips) copy[next() % copy.size()] = static_cast<char>(next());
        }
        testsupport::writeFile(damaged, copy);
        try {
            DBEngine::instance().OpenDatabase(damaged);
        } catch (const OpenError& e) {
            EXPECT_EQ(e.path(), damaged);
            EXPECT_FALSE(e.reason().empty());
        }
    }
}

TEST_F(Engine, ReadingChangesNothing)
{
    std::string path = write("table T\n field F long Description=\"d\"\nquery Q select\n from T\n");
    ::chmod(path.c_str(), 0444);  // a read-only file opens as well
    struct stat before {}, after {};
    ::stat(path.c_str(), &before);
    std::string bytes = testsupport::readFile(path);
    auto first = DBEngine::instance().OpenDatabase(path);
    auto second = DBEngine::instance().OpenDatabase(path);
    ::stat(path.c_str(), &after);
    EXPECT_EQ(testsupport::readFile(path), bytes);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(names(first->TableDefs()), names(second->TableDefs()));
    EXPECT_EQ(listed(first->QueryDefs().Item(0).Properties()), listed(second->QueryDefs().Item(0).Properties()));
}

// A file is read page by page as its pages are used: a file with free pages between its tables
// (the generator's "spacious") reads as the same design, a file cut after it was opened gives a
// reason instead of pages of zeros, and pages forgotten between tables read again as they were.
TEST_F(Engine, PagesAreReadAsTheyAreUsed)
{
    std::string design;
    for (int t = 0; t < 40; ++t)
        design += "table T" + std::to_string(t) + "\n field ID long\n field Name text(30) Description=\"n" +
                  std::to_string(t) + "\"\n index PrimaryKey (ID) primary\n";
    const std::string compact = write(design, "compact.mdb");
    const std::string spacious = write("database spacious 5\n" + design, "spacious.mdb");
    EXPECT_GT(std::filesystem::file_size(spacious), std::filesystem::file_size(compact) + 40 * 5 * 4096 - 4096);
    DatabaseFile file = loadDatabaseFile(spacious);
    ASSERT_NE(file.image().loader, nullptr);
    std::string expected = designText(readDesign(compact));
    const std::string compactName = std::filesystem::absolute(compact).string();
    expected.replace(expected.find(compactName), compactName.size(), std::filesystem::absolute(spacious).string());
    EXPECT_EQ(designText(readDesign(file)), expected);

    // The same pages, read again once forgotten.
    const std::vector<std::uint8_t> page2(file.bytes.page(2), file.bytes.page(2) + 4096);
    file.bytes.forgetPagesOver(0);
    EXPECT_TRUE(std::equal(page2.begin(), page2.end(), file.bytes.page(2)));

    // Of a definition's page its start is read first: a definition longer than that start, and
    // pages whose start was read and then wanted whole, read as from the whole file in memory.
    std::string wide = "table W\n";
    for (int f = 0; f < 70; ++f) wide += " field Field" + std::to_string(f) + " long\n";
    const std::string widePath = write(wide + design, "wide.mdb");
    const std::string whole = testsupport::readFile(widePath);
    DatabaseFile onUse = loadDatabaseFile(widePath), held = loadDatabaseFile(widePath);
    held.bytes = FileBytes(std::vector<std::uint8_t>(whole.begin(), whole.end()));
    EXPECT_EQ(designText(readDesign(onUse)), designText(readDesign(held)));
    onUse.bytes.forgetPagesOver(0);
    for (std::uint32_t p = 0; p < whole.size() / 4096; ++p) {
        const std::string_view page(whole.data() + p * std::size_t{4096}, 4096);
        ASSERT_EQ(std::string_view(reinterpret_cast<const char*>(onUse.bytes.pageStart(p, 100)), 100), page.substr(0, 100));
        ASSERT_EQ(std::string_view(reinterpret_cast<const char*>(onUse.bytes.page(p)), 4096), page) << "page " << p;
    }

    // Cut short after opening: the pages past the new end cannot be read, and say so.
    ASSERT_EQ(::truncate(spacious.c_str(), 3 * 4096), 0);
    try {
        readDesign(file);
        ADD_FAILURE() << "a file cut short was read";
    } catch (const OpenError& e) {
        EXPECT_EQ(e.reason(), "the file got shorter while it was read");
        EXPECT_EQ(e.path(), std::filesystem::absolute(spacious).string());
    }
}

// A relative path opens as the absolute path of the file.
TEST_F(Engine, NameIsTheAbsolutePath)
{
    write("table T\n field F long\n", "rel.mdb");
    char* cwd = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    std::shared_ptr<Database> db;
    EXPECT_NO_THROW(db = DBEngine::instance().OpenDatabase("rel.mdb"));
    EXPECT_EQ(::chdir(cwd), 0);
    std::free(cwd);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->Name(), dir_.file("rel.mdb"));
}

// libmdb's environment variables change nothing, and nothing libmdb prints reaches the terminal:
// a damaged file gives one line of error and nothing else.
TEST_F(Engine, NothingDependsOnLibmdbsEnvironmentOrReachesTheTerminal)
{
    std::string path = write(R"(
table 顧客
  field Größe text(10) Description="Maß"
query Q select
  from 顧客
)");
    testsupport::CommandResult plain = testsupport::runCommand(DESIGN_DUMP_PROGRAM, {path});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_NE(plain.out.find("TABLE \"顧客\""), std::string::npos);
    EXPECT_NE(plain.out.find("FIELD \"Größe\""), std::string::npos);
    testsupport::CommandResult unusual = testsupport::runCommand(
        DESIGN_DUMP_PROGRAM, {path}, {},
        {{"MDBICONV", "ISO-8859-1"}, {"MDBOPTS", "debug_all:no_memo"}, {"MDBPATH", ":"}, {"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(unusual.exitCode, 0) << unusual.err;
    EXPECT_EQ(unusual.out, plain.out);
    EXPECT_EQ(unusual.err, "");

    std::string bytes = testsupport::readFile(path);
    for (std::size_t at = 2 * 4096 + 100; at < 2 * 4096 + 400; ++at) bytes[at] = '\x7f';  // the catalog's columns
    testsupport::writeFile(path, bytes);
    testsupport::CommandResult damaged =
        testsupport::runCommand(DESIGN_DUMP_PROGRAM, {path}, {}, {{"MDBOPTS", "debug_all"}});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_EQ(damaged.out, "");
    EXPECT_EQ(damaged.err.rfind(path + ": damaged: ", 0), 0u) << damaged.err;
    EXPECT_EQ(std::count(damaged.err.begin(), damaged.err.end(), '\n'), 1) << damaged.err;
}

}  // namespace
