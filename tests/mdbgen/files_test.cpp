// The generator's files as an independent reader sees them: the mdbtools commands must list the
// tables, fields, types, indexes, properties and system-table rows exactly as described.
#include "generated_database.h"
#include "jet_protection.h"
#include "raw_definition.h"
#include "run_command.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

using namespace testsupport;

namespace {

using Rows = std::vector<std::vector<std::string>>;
using PropertyBlocks = std::map<std::string, std::map<std::string, std::string>>;

class GeneratedFile : public ::testing::Test {
protected:
    // Writes the description to a file of the temporary folder and returns its path.
    std::string generate(const std::string& description, const std::string& name = "test.mdb")
    {
        return testsupport::writeDatabase(dir_, description, name);
    }

    static std::string tool(const std::string& program, const std::vector<std::string>& args)
    {
        CommandResult r = runCommand(program, args);
        EXPECT_EQ(r.exitCode, 0) << program << ": " << r.err;
        return r.out;
    }

    // The table's rows; binary values are left out ("strip") or written as hex digits ("hex").
    static Rows exportTable(const std::string& file, const std::string& table, const std::string& binary = "strip")
    {
        return parseCsv(tool("mdb-export", {"-H", "-b", binary, file, table}));
    }

    static std::vector<std::string> tables(const std::string& file)
    {
        std::vector<std::string> names;
        std::istringstream in(tool("mdb-tables", {"-S", "-1", file}));
        for (std::string line; std::getline(in, line);) names.push_back(line);
        return names;
    }

    // mdb-prop's blocks ("(none)" for the object's own) with their name: value lines.
    static PropertyBlocks properties(const std::string& file, const std::string& object)
    {
        PropertyBlocks blocks;
        std::istringstream in(tool("mdb-prop", {file, object}));
        std::string block;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("name: ", 0) == 0) {
                block = line.substr(6);
                blocks[block];
            } else if (line.size() > 1 && line[0] == '\t') {
                auto colon = line.find(": ");
                blocks[block][line.substr(1, colon - 1)] = line.substr(colon + 2);
            }
        }
        return blocks;
    }

    // The lines of mdb-schema's CREATE TABLE and index statements, without its banner.
    static std::vector<std::string> schema(const std::string& file, const std::string& table,
                                           const std::string& backend)
    {
        std::vector<std::string> lines;
        std::istringstream in(tool("mdb-schema", {"-T", table, file, backend}));
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line.rfind("--", 0) != 0 && line != "SET client_encoding = 'UTF-8';")
                lines.push_back(line);
        return lines;
    }

    static std::uint32_t tablePage(const std::string& file, const std::string& table)
    {
        for (const auto& row : exportTable(file, "MSysObjects"))
            if (row.at(2) == table && row.at(3) == "1") return static_cast<std::uint32_t>(std::stoul(row.at(0)));
        ADD_FAILURE() << "no catalog row for " << table;
        return 0;
    }

    TempDir dir_;
};

TEST_F(GeneratedFile, ListsTablesWithTheirExactNames)
{
    std::string file = generate(R"(
table Größe
  field Maß text(20)
table 顧客
  field 名前 text
table ThisTableNameIsExactlySixtyFourCharactersLongForTestingLimits064
  field ThisFieldNameIsExactlySixtyFourCharactersLongForTestingLimits064 long
table customers
  field id long
table Customers
  field ID long
  field id long
table MSysAccessObjects system
  field ID long
table MSysUserThing
  field ID long
)");
    EXPECT_EQ(tool("mdb-ver", {file}), "JET4\n");
    EXPECT_EQ(tables(file),
              (std::vector<std::string>{"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships", "Größe",
                                        "顧客", "ThisTableNameIsExactlySixtyFourCharactersLongForTestingLimits064",
                                        "customers", "Customers", "MSysAccessObjects", "MSysUserThing"}));
    EXPECT_EQ(schema(file, "Customers", "access"),
              (std::vector<std::string>{"CREATE TABLE [Customers]", " (", "\t[ID]\t\t\tLong Integer, ",
                                        "\t[id]\t\t\tLong Integer", ");"}));
    EXPECT_EQ(schema(file, "ThisTableNameIsExactlySixtyFourCharactersLongForTestingLimits064", "access").at(2),
              "\t[ThisFieldNameIsExactlySixtyFourCharactersLongForTestingLimits064]\t\t\tLong Integer");
    // System tables are flagged as such in the catalog and in their definition.
    std::map<std::string, std::string> flags;
    for (const auto& row : exportTable(file, "MSysObjects")) flags[row.at(2)] = row.at(7);
    EXPECT_EQ(flags["MSysObjects"], "-2147483648");
    EXPECT_EQ(flags["MSysAccessObjects"], "-2147483648");
    EXPECT_EQ(flags["MSysUserThing"], "0");
    EXPECT_EQ(flags["Größe"], "0");
    std::string bytes = readFile(file);
    EXPECT_EQ(readDefinition(bytes, tablePage(file, "MSysAccessObjects")).tableType, 0x53);
    EXPECT_EQ(readDefinition(bytes, tablePage(file, "MSysUserThing")).tableType, 0x4E);
}

TEST_F(GeneratedFile, FieldTypesSizesAndOrder)
{
    std::string file = generate(R"(
table Everything
  field Flag yesno
  field Small byte
  field Mid integer
  field Big long
  field Auto autonumber
  field Money currency
  field Fl single
  field Db double
  deleted
  field When datetime
  field Name text(77) Required=yes
  field Notes memo
  field Blob ole
  field Rep guid
  field Dec decimal(12, 5)
  field Raw binary(16)
)");
    EXPECT_EQ(schema(file, "Everything", "access"),
              (std::vector<std::string>{"CREATE TABLE [Everything]",
                                        " (",
                                        "\t[Flag]\t\t\tBoolean NOT NULL, ",
                                        "\t[Small]\t\t\tByte, ",
                                        "\t[Mid]\t\t\tInteger, ",
                                        "\t[Big]\t\t\tLong Integer, ",
                                        "\t[Auto]\t\t\tLong Integer, ",
                                        "\t[Money]\t\t\tCurrency, ",
                                        "\t[Fl]\t\t\tSingle, ",
                                        "\t[Db]\t\t\tDouble, ",
                                        "\t[When]\t\t\tDateTime, ",
                                        "\t[Name]\t\t\tText (77) NOT NULL, ",
                                        "\t[Notes]\t\t\tMemo/Hyperlink (255), ",
                                        "\t[Blob]\t\t\tOLE (255), ",
                                        "\t[Rep]\t\t\tReplication ID, ",
                                        "\t[Dec]\t\t\tNumeric (12, 5), ",
                                        "\t[Raw]\t\t\tBinary",
                                        ");"}));
    auto mysql = schema(file, "Everything", "mysql");
    EXPECT_EQ(mysql.at(6), "\t`Auto`\t\t\tint not null auto_increment unique, ");

    // The definition keeps its column entries sorted by name, as Access does, with the numbers
    // that place them: 8 is left free by the deleted field.
    RawDefinition d = readDefinition(readFile(file), tablePage(file, "Everything"));
    ASSERT_EQ(d.columns.size(), 15u);
    EXPECT_EQ(d.columns.front().name, "Auto");
    EXPECT_EQ(d.columns.back().name, "When");
    EXPECT_EQ(d.columns.back().number, 9);
    for (const auto& c : d.columns) {
        if (c.name == "Name") {
            EXPECT_EQ(c.length, 154);
        }
    }
}

TEST_F(GeneratedFile, Indexes)
{
    std::string file = generate(R"(
table Customers
  field ID autonumber
  field Name text
  field City text
  index PrimaryKey (ID) primary
  index ByPlace (City desc, Name) ignorenulls
  index Name (Name) unique required
table Orders
  field ID autonumber
  field CustomerID long
  field Second long
  index Key (ID) primary
  index CustomerID (CustomerID)
relationship CustomersOrders Customers(ID) -> Orders(CustomerID) enforced cascadeupdate cascadenull
relationship Loose Customers(ID) -> Orders(Second)
)");
    EXPECT_EQ(schema(file, "Customers", "mysql"),
              (std::vector<std::string>{"CREATE TABLE `Customers`", " (",
                                        "\t`ID`\t\t\tint not null auto_increment unique, ",
                                        "\t`Name`\t\t\tvarchar (50), ", "\t`City`\t\t\tvarchar (50)", ");",
                                        "ALTER TABLE `Customers` ADD PRIMARY KEY (`ID`);",
                                        "ALTER TABLE `Customers` ADD INDEX `ByPlace` (`City`, `Name`);",
                                        "ALTER TABLE `Customers` ADD UNIQUE INDEX `Name` (`Name`);"}));
    // A primary key of any name.
    EXPECT_EQ(schema(file, "Orders", "mysql").at(6), "ALTER TABLE `Orders` ADD PRIMARY KEY (`ID`);");

    std::string bytes = readFile(file);
    std::uint32_t customersPage = tablePage(file, "Customers"), ordersPage = tablePage(file, "Orders");
    RawDefinition c = readDefinition(bytes, customersPage);
    ASSERT_EQ(c.indexes.size(), 4u);
    EXPECT_EQ(c.indexes[0].kind, 1);
    EXPECT_EQ(c.realIndexes[0].flags, 0x89);  // primary: unique and required
    EXPECT_EQ(c.realIndexes[1].flags, 0x82);  // ignore nulls
    EXPECT_EQ(c.realIndexes[1].columns, (std::vector<std::pair<int, int>>{{2, 2}, {1, 1}}));
    EXPECT_EQ(c.realIndexes[2].flags, 0x89);  // unique and required
    // The enforced relationship: a hidden index on the primary side sharing the primary key's
    // real index, and one named like the relationship on the foreign side sharing the plain
    // index on CustomerID. The loose relationship adds none.
    const RawLogicalIndex& hidden = c.indexes[3];
    EXPECT_EQ(hidden.name, ".rC");
    EXPECT_EQ(hidden.kind, 2);
    EXPECT_EQ(hidden.side, 1);
    EXPECT_EQ(hidden.real, 0u);
    EXPECT_EQ(hidden.otherPage, ordersPage);
    RawDefinition o = readDefinition(bytes, ordersPage);
    ASSERT_EQ(o.indexes.size(), 3u);
    ASSERT_EQ(o.realIndexes.size(), 2u);
    const RawLogicalIndex& foreign = o.indexes[2];
    EXPECT_EQ(foreign.name, "CustomersOrders");
    EXPECT_EQ(foreign.side, 2);
    EXPECT_EQ(foreign.real, 1u);
    EXPECT_EQ(foreign.otherPage, customersPage);
    EXPECT_EQ(static_cast<std::uint32_t>(foreign.otherIndex), hidden.number);
    EXPECT_EQ(static_cast<std::uint32_t>(hidden.otherIndex), foreign.number);
    EXPECT_EQ(foreign.cascadeUpdate, 1);
    EXPECT_EQ(foreign.cascadeDelete, 2);  // cascade to null
    EXPECT_EQ(o.indexes[1].cascadeUpdate, 4);  // what Access keeps in ordinary indexes
}

TEST_F(GeneratedFile, FieldTableAndQueryProperties)
{
    std::string file = generate(R"(
table T
  field A text(10) Required=yes AllowZeroLength=no DefaultValue="""x""" ValidationRule="<>""y""" ValidationText="not y" Description="The A"
  field B long DefaultValue="0" Required=no DecimalPlaces:byte=2 ColumnWidth=-1
  field C double
  field D yesno Format="Yes/No"
  property OrderByOn=no
  property Description="A table"
query Q select
  from T
  property ODBCTimeout:integer=60
  property ReturnsRecords=yes
query R select
  from T
)");
    PropertyBlocks t = properties(file, "T");
    EXPECT_EQ(t, (PropertyBlocks{{"(none)", {{"OrderByOn", "no"}, {"Description", "A table"}}},
                                 {"A",
                                  {{"Required", "yes"},
                                   {"AllowZeroLength", "no"},
                                   {"DefaultValue", "\"x\""},
                                   {"ValidationRule", "<>\"y\""},
                                   {"ValidationText", "not y"},
                                   {"Description", "The A"}}},
                                 {"B", {{"DefaultValue", "0"}, {"Required", "no"}, {"DecimalPlaces", "2"}, {"ColumnWidth", "-1"}}},
                                 {"D", {{"Format", "Yes/No"}}}}));
    EXPECT_EQ(properties(file, "Q"),
              (PropertyBlocks{{"(none)", {{"ODBCTimeout", "60"}, {"ReturnsRecords", "yes"}}}}));
    // A query without properties has no blob at all (mdb-prop would show the previous row's).
    std::map<std::string, std::string> blobs;
    for (const auto& row : exportTable(file, "MSysObjects", "hex")) blobs[row.at(2)] = row.at(14);
    EXPECT_EQ(blobs.at("Q").rfind("4D523200", 0), 0u);  // "MR2\0"
    EXPECT_EQ(blobs.at("R"), "");
}

TEST_F(GeneratedFile, CatalogRows)
{
    std::string file = generate(R"(
table T
  field F long
table H hidden
  field F long
linked L1 database="C:\Data\Other.mdb" foreign=Remote
linked L2 connect="ODBC;DSN=x"
query Q1 crosstab
query ~sq_Hidden select hidden
relationship R T(F) -> T(F)
)");
    std::map<std::string, std::vector<std::string>> rows;
    for (const auto& row : exportTable(file, "MSysObjects")) rows[row.at(2)] = row;
    // Id, ParentId, Name, Type, DateCreate, DateUpdate, Owner, Flags, Database, Connect, ForeignName
    EXPECT_EQ(rows.at("Tables").at(0), "251658241");
    EXPECT_EQ(rows.at("Tables").at(3), "3");
    EXPECT_EQ(rows.at("MSysDb").at(3), "2");
    EXPECT_EQ(rows.at("MSysObjects").at(0), "2");  // its definition is on page 2
    EXPECT_EQ(rows.at("T").at(1), "251658241");
    EXPECT_EQ(rows.at("T").at(7), "0");
    EXPECT_EQ(rows.at("H").at(7), "8");
    EXPECT_EQ(rows.at("L1").at(3), "6");
    EXPECT_EQ(rows.at("L1").at(8), "C:\\Data\\Other.mdb");
    EXPECT_EQ(rows.at("L1").at(10), "Remote");
    EXPECT_EQ(rows.at("L2").at(3), "4");
    EXPECT_EQ(rows.at("L2").at(9), "ODBC;DSN=x");
    EXPECT_EQ(rows.at("L2").at(10), "L2");
    EXPECT_EQ(rows.at("Q1").at(3), "5");
    EXPECT_EQ(rows.at("Q1").at(7), "16");
    EXPECT_EQ(rows.at("~sq_Hidden").at(7), "8");
    EXPECT_EQ(rows.at("R").at(3), "8");
    EXPECT_EQ(rows.at("R").at(1), "251658243");
    // Linked tables and queries are not tables with definitions of their own.
    EXPECT_EQ(tables(file).size(), 6u);
    // The Admin user's rights: one access entry per object but relationships.
    std::map<std::string, std::vector<std::string>> aces;
    for (const auto& row : exportTable(file, "MSysACEs")) aces[row.at(0)] = row;
    EXPECT_EQ(aces.size(), rows.size() - 1);
    EXPECT_EQ(aces.at(rows.at("T").at(0)).at(2), "1048319");
    EXPECT_EQ(aces.at(rows.at("Tables").at(0)).at(3), "1");
    EXPECT_EQ(aces.count(rows.at("R").at(0)), 0u);
}

// mdbtools decodes an encoded file's pages itself (and ignores a Jet 4 password): it must list
// the same tables and rows as in the plain twin, though every page but the header differs.
TEST_F(GeneratedFile, EncodedAndPasswordProtectedFiles)
{
    const std::string design = "table T\n  field F text(10)\n  values (\"x\")\nquery Q select\n  from T\n";
    std::string plain = generate(design, "plain.mdb");
    std::string both = generate("database encoded password \"ab\"\n" + design, "both.mdb");
    EXPECT_EQ(tables(both), tables(plain));
    EXPECT_EQ(exportTable(both, "MSysObjects"), exportTable(plain, "MSysObjects"));
    EXPECT_EQ(exportTable(both, "MSysQueries"), exportTable(plain, "MSysQueries"));
    EXPECT_EQ(exportTable(both, "T"), exportTable(plain, "T"));
    const std::string p = readFile(plain), b = readFile(both);
    ASSERT_EQ(p.size(), b.size());
    for (std::size_t page = 1; page < p.size() / 4096; ++page)
        EXPECT_NE(p.substr(page * 4096, 4096), b.substr(page * 4096, 4096)) << "page " << page;

    std::vector<std::uint8_t> header(b.begin(), b.begin() + 4096);
    engine::toggleHeaderMask(header.data(), engine::FileFormat::Jet4);
    EXPECT_NE(std::memcmp(header.data() + engine::kEncodingKeyAt, "\0\0\0\0", 4), 0);
    // "ab" in UTF-16LE, then zeros, XORed with the creation day 45292 (EC B0 00 00) over and over.
    const std::uint8_t password[8] = {0x61 ^ 0xEC, 0xB0, 0x62, 0x00, 0xEC, 0xB0, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(header.data() + engine::kPasswordAt, password, 8), 0);
    EXPECT_EQ(std::memcmp(header.data() + engine::kPasswordAt + 36, password + 4, 4), 0);
}

TEST_F(GeneratedFile, RelationshipRows)
{
    std::string file = generate(R"(
table P
  field A long
  field B text
  index PrimaryKey (A, B) primary
table F
  field X long
  field Y text
relationship Two P(A, B) -> F(X, Y) enforced cascadeupdate cascadedelete onetoone
relationship Left P(A) -> F(X) join=left
relationship Right P(A) -> F(X) cascadenull join=right
)");
    EXPECT_EQ(exportTable(file, "MSysRelationships"),
              (Rows{{"Two", "4353", "2", "0", "F", "X", "P", "A"},
                    {"Two", "4353", "2", "1", "F", "Y", "P", "B"},
                    {"Left", "16777218", "1", "0", "F", "X", "P", "A"},
                    {"Right", "33562626", "1", "0", "F", "X", "P", "A"}}));
}

TEST_F(GeneratedFile, QueryRows)
{
    std::string longText(5000, 'x');  // a long value over two pages
    std::string description = R"D(
query Sel select
  parameter "Since" datetime
  parameter "Starts" text(12)
  option distinct top=5
  from Customers as C
  join left C Orders "C.ID = Orders.CustomerID"
  column "C.Name" as Who
  where "C.Name <> ""x"""
  groupby "C.Name"
  having "Count(*) > 1"
  orderby "C.Name" desc
query Upd update
  from T
  column "[P]*2" into P
query Ddl ddl
  sql "CREATE TABLE X (A TEXT)"
query Pass passthrough
  connect "ODBC;DSN=y"
  sql "EXEC sp"
query U union
  union "SELECT A FROM T"
  row 2 flag=0 name1="Any" extra=-7
query Long select
  where "A = ')D" + longText + R"D('"
  column "A"
)D";
    std::string file = generate(description);
    Rows rows = exportTable(file, "MSysQueries");
    std::map<std::string, std::string> ids;
    for (const auto& row : exportTable(file, "MSysObjects")) ids[row.at(2)] = row.at(0);
    auto of = [&](const std::string& query) {
        Rows out;
        for (auto row : rows)
            if (row.at(0) == ids.at(query)) {
                row.erase(row.begin(), row.begin() + 3);  // ObjectId, Attribute; Order is binary
                out.push_back(row);
            }
        return out;
    };
    auto attributes = [&](const std::string& query) {
        std::vector<std::string> out;
        for (const auto& row : rows)
            if (row.at(0) == ids.at(query)) out.push_back(row.at(1));
        return out;
    };
    // Name1, Name2, Expression, Flag, LvExtra
    EXPECT_EQ(attributes("Sel"), (std::vector<std::string>{"0", "1", "3", "2", "2", "5", "7", "6", "8", "9", "10", "11", "255"}));
    EXPECT_EQ(of("Sel"), (Rows{{"", "", "", "0", ""},
                              {"", "", "", "1", ""},
                              {"5", "", "", "18", ""},
                              {"Since", "", "", "8", ""},
                              {"Starts", "", "", "10", "12"},  // a Text parameter's size in LvExtra
                              {"Customers", "C", "", "", ""},
                              {"C", "Orders", "C.ID = Orders.CustomerID", "2", ""},
                              {"Who", "", "C.Name", "0", ""},
                              {"", "", "C.Name <> \"x\"", "", ""},
                              {"", "", "C.Name", "0", ""},
                              {"", "", "Count(*) > 1", "", ""},
                              {"D", "", "C.Name", "", ""},
                              {"", "", "", "", ""}}));
    EXPECT_EQ(of("Upd").at(3), (std::vector<std::string>{"", "P", "[P]*2", "0", ""}));
    EXPECT_EQ(of("Ddl").at(1), (std::vector<std::string>{"", "", "CREATE TABLE X (A TEXT)", "7", ""}));
    EXPECT_EQ(of("Pass").at(1), (std::vector<std::string>{"ODBC;DSN=y", "", "EXEC sp", "8", ""}));
    EXPECT_EQ(of("U").at(2), (std::vector<std::string>{"", "X7YZ_____1", "SELECT A FROM T", "", ""}));
    EXPECT_EQ(of("U").at(3), (std::vector<std::string>{"Any", "", "", "0", "-7"}));
    EXPECT_EQ(of("Long").at(2).at(2), "A = '" + longText + "'");
}

// Rows of data, for the tables whose rows a reader needs (such as the list of the hidden tables
// that newer Access versions keep attachments in).
TEST_F(GeneratedFile, DataRows)
{
    std::string file = generate(R"(
table MSysComplexColumns system
  field ColumnName text(255)
  field ComplexID long
  field FlatTableID long
  values ("Attachments", 1, 70)
  values ("Tags", null, 71)
table Everything
  field Flag yesno
  field Small byte
  field Mid integer
  field Big long
  field Money currency
  field Fl single
  field Db double
  field When datetime
  field Name text(5)
  field Notes memo
  field Blob ole
  field Rep guid
  field Raw binary(4)
  values (yes, 255, -32768, 2147483647, 12.3456, 1.5, 2.25, 45292.5, "Größe", "a note", 0x0102, {01020304-0506-0708-090A-0B0C0D0E0F10}, 0xFFEE)
  values (no, null, null, null, null, null, null, null, null, null, null, null, null)
)");
    EXPECT_EQ(exportTable(file, "MSysComplexColumns"), (Rows{{"Attachments", "1", "70"}, {"Tags", "", "71"}}));
    Rows rows = exportTable(file, "Everything", "hex");
    ASSERT_EQ(rows.size(), 2u);
    rows[0][11] = "GUID";  // mdb-export writes the GUID's text form in hex
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "255", "-32768", "2147483647", "12.3456", "1.5", "2.25",
                                                 "01/01/24 12:00:00", "Größe", "a note", "0102", "GUID", "FFEE"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"0", "", "", "", "", "", "", "", "", "", "", "", ""}));
    EXPECT_EQ(readDefinition(readFile(file), tablePage(file, "Everything")).rows, 2u);
}

// The rows of the data pages of the table defined at page tdef, straight from the file's bytes: per
// row its page, its number there, the flags of its row entry and its bytes.
struct RawRow {
    std::uint32_t page = 0;
    unsigned row = 0;
    unsigned flags = 0;  // 0x8000 deleted, 0x4000 moved (the row is a pointer)
    std::string bytes;
};

std::vector<RawRow> rawRows(const std::string& file, std::uint32_t tdef)
{
    auto u16 = [](const unsigned char* p) { return static_cast<unsigned>(p[0] | p[1] << 8); };
    std::vector<RawRow> rows;
    for (std::uint32_t page = 1; (page + 1) * 4096ul <= file.size(); ++page) {
        const auto* p = reinterpret_cast<const unsigned char*>(file.data()) + page * 4096ul;
        if (p[0] != 0x01 || (u16(p + 4) | u16(p + 6) << 16) != tdef) continue;
        for (unsigned row = 0; row < u16(p + 12); ++row) {
            unsigned entry = u16(p + 14 + 2 * row);
            unsigned end = row == 0 ? 4096 : u16(p + 12 + 2 * row) & 0x1FFF;
            rows.push_back({page, row, entry & 0xC000, std::string(p + (entry & 0x1FFF), p + end)});
        }
    }
    return rows;
}

// A stale row stays on its page marked deleted (0x8000) with its bytes. A moved row's place holds
// a 4-byte pointer marked 0x4000 (row number, 3-byte page number) to the row, which lies on a page
// of the same table after the others, marked deleted as Access marks it. An old version that had
// moved keeps its pointer, marked with both flags, and its row where it leads. libmdb reads these
// flags the other way round: mdbtools lists each stale row and each moved row of an old version
// as live, and each moved row once, from where it lives, after the others.
TEST_F(GeneratedFile, StaleAndMovedRows)
{
    std::string file = generate(R"(
table T stale
  field F long Description="old"
table T stale moved
  field F long Description="older"
table T moved
  field F long
  values (1) stale
  values (2) moved
  values (3)
  values (4) stale moved
relationship R T(F) -> T(F) join=left stale
relationship R T(F) -> T(F) moved
query Q select stale
  from Old
query Q select moved
  from T
)");
    const std::string bytes = readFile(file);
    const std::uint32_t t = tablePage(file, "T");
    struct Expected {
        const char* table;
        std::uint32_t page;
        int live, stale, moved, staleMoved;
    };
    // The catalog: its eight rows of containers and system tables, then the old and moved rows of
    // T, Q and R; the query's four rows each way.
    for (const Expected& e : {Expected{"MSysObjects", 2, 8, 3, 3, 1}, Expected{"MSysQueries", 4, 0, 4, 4, 0},
                              Expected{"MSysRelationships", 5, 0, 1, 1, 0}, Expected{"T", t, 1, 1, 1, 1}}) {
        SCOPED_TRACE(e.table);
        std::vector<RawRow> rows = rawRows(bytes, e.page);
        std::map<unsigned, int> flags;  // per flags, rows
        for (const RawRow& r : rows) {
            ++flags[r.flags];
            if (!(r.flags & 0x4000)) continue;
            ASSERT_EQ(r.bytes.size(), 4u);
            const auto* b = reinterpret_cast<const unsigned char*>(r.bytes.data());
            std::uint32_t page = b[1] | b[2] << 8 | b[3] << 16;
            auto target = std::find_if(rows.begin(), rows.end(),
                                       [&](const RawRow& o) { return o.page == page && o.row == b[0]; });
            ASSERT_NE(target, rows.end());
            EXPECT_GT(page, r.page);
            EXPECT_EQ(target->flags, 0x8000u);
            EXPECT_GT(target->bytes.size(), 4u);
        }
        EXPECT_EQ(flags[0], e.live);
        // The old rows, and the moved rows where they live.
        EXPECT_EQ(flags[0x8000], e.stale + e.moved + e.staleMoved);
        EXPECT_EQ(flags[0x4000], e.moved);
        EXPECT_EQ(flags[0xC000], e.staleMoved);
        EXPECT_EQ(readDefinition(bytes, e.page).rows, static_cast<std::uint32_t>(e.live + e.moved));
    }
    EXPECT_EQ(tables(file), (std::vector<std::string>{"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships",
                                                      "T", "T", "T"}));
    EXPECT_EQ(exportTable(file, "T"), (Rows{{"1"}, {"3"}, {"2"}, {"4"}}));
    EXPECT_EQ(exportTable(file, "MSysRelationships"), (Rows{{"R", "16777218", "1", "0", "T", "F", "T", "F"},
                                                            {"R", "2", "1", "0", "T", "F", "T", "F"}}));
    EXPECT_EQ(exportTable(file, "MSysQueries").size(), 8u);
}

// Long values on each side of where they move out of the row (64 bytes), off a single page
// (4080 bytes) and onto a further page of a chain (4076 bytes a page).
TEST_F(GeneratedFile, LongValueSizes)
{
    const std::size_t characters[] = {0, 1, 32, 33, 2040, 2041, 4076, 4077, 6114, 6115, 16000, 30000};
    std::string description;
    for (std::size_t n : characters) {
        description += "query Q" + std::to_string(n) + " ddl\n  sql \"" + std::string(n, 'a' + n % 26) + "\"\n";
        description += "table T" + std::to_string(n) + "\n  field F long Description=\"" +
                       std::string(n, 'A' + n % 26) + "\"\n";
    }
    std::string file = generate(description);
    std::map<std::string, std::string> ids;
    for (const auto& row : exportTable(file, "MSysObjects")) ids[row.at(2)] = row.at(0);
    std::map<std::string, std::string> sql;
    for (const auto& row : exportTable(file, "MSysQueries"))
        if (row.at(1) == "1") sql[row.at(0)] = row.at(5);
    for (std::size_t n : characters) {
        std::string name = std::to_string(n);
        EXPECT_EQ(sql.at(ids.at("Q" + name)), std::string(n, 'a' + n % 26)) << n << " characters";
        // mdb-prop shows at most 16383 characters of a value.
        if (n > 0 && n < 16383) {
            std::string shown = properties(file, "T" + name).at("F").at("Description");
            EXPECT_EQ(shown, std::string(n, 'A' + n % 26)) << n << " characters, shown " << shown.size();
        }
    }
}

// A table of 255 fields needs a definition over two pages.
TEST_F(GeneratedFile, WideTable)
{
    std::string description = "table Wide\n";
    for (int i = 0; i < 255; ++i) description += "  field Column" + std::to_string(i) + " text(100) Description=\"Column number " + std::to_string(i) + "\"\n";
    description += "  index Last (Column254) unique\n";
    std::string file = generate(description);
    RawDefinition d = readDefinition(readFile(file), tablePage(file, "Wide"));
    EXPECT_EQ(d.pages, 3);
    auto lines = schema(file, "Wide", "mysql");
    ASSERT_EQ(lines.size(), 255u + 4u);
    EXPECT_EQ(lines[2], "\t`Column0`\t\t\tvarchar (100), ");
    EXPECT_EQ(lines[256], "\t`Column254`\t\t\tvarchar (100)");
    EXPECT_EQ(lines[258], "ALTER TABLE `Wide` ADD UNIQUE INDEX `Last` (`Column254`);");
    EXPECT_EQ(properties(file, "Wide").at("Column200").at("Description"), "Column number 200");
}

// A catalog over more than 512 pages needs usage maps that point to bitmap pages.
TEST_F(GeneratedFile, LargeCatalog)
{
    std::string description = "table T\n field F long\n";
    const std::string pad(50, 'q');
    for (int i = 0; i < 12000; ++i) description += "query Q" + pad + std::to_string(i) + " select\n";
    std::string file = generate(description);
    Rows catalog = exportTable(file, "MSysObjects");
    EXPECT_EQ(catalog.size(), 4u + 4u + 1u + 12000u);
    EXPECT_EQ(catalog.back().at(2), "Q" + pad + "11999");
    EXPECT_EQ(exportTable(file, "MSysQueries").size(), 12000u * 3u);
}

// The size a benchmark needs: 5,000 tables of 50 fields with indexes, relationships and queries,
// written in seconds and read back whole.
TEST_F(GeneratedFile, FiveThousandTables)
{
    mdbgen::SyntheticDesign design;
    design.tables = 5000;
    design.fieldsPerTable = 50;
    std::string description = mdbgen::syntheticDescription(design);
    auto start = std::chrono::steady_clock::now();
    std::string file = generate(description);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 30.0);
    RecordProperty("seconds", std::to_string(seconds));
    RecordProperty("bytes", std::to_string(std::filesystem::file_size(file)));

    auto names = tables(file);
    ASSERT_EQ(names.size(), 5004u);
    EXPECT_EQ(names.back(), "T4999");
    auto lines = schema(file, "T4999", "mysql");
    ASSERT_EQ(lines.size(), 50u + 6u);
    EXPECT_EQ(lines[50], "\t`F48`\t\t\tvarchar (50), ");
    EXPECT_EQ(lines[51], "\t`F49`\t\t\tint");
    EXPECT_EQ(lines[54], "ALTER TABLE `T4999` ADD INDEX `ByF1` (`F1`);");
    EXPECT_EQ(lines[55], "ALTER TABLE `T4999` ADD CONSTRAINT `T4999_F1_fk` FOREIGN KEY (`F1`) REFERENCES `T4998`(`ID`);");
    EXPECT_EQ(properties(file, "T4999").at("F47").at("Description"), "Notes 4999");
    EXPECT_EQ(exportTable(file, "MSysRelationships").size(), 4999u);
    EXPECT_EQ(exportTable(file, "MSysQueries").size(), 1000u * 5u);
}

// The command-line program: a description it cannot write names its line and leaves no file.
TEST_F(GeneratedFile, CommandLine)
{
    writeFile(dir_.file("good.txt"), "table T\n  field F long\n");
    CommandResult ok = runCommand(MDBGEN_PROGRAM, {dir_.file("good.txt"), dir_.file("good.mdb")});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(tables(dir_.file("good.mdb")).back(), "T");

    CommandResult fromInput = runCommand(MDBGEN_PROGRAM, {"-", dir_.file("stdin.mdb")}, "table S\n field F long\n");
    EXPECT_EQ(fromInput.exitCode, 0) << fromInput.err;
    EXPECT_EQ(tables(dir_.file("stdin.mdb")).back(), "S");

    writeFile(dir_.file("bad.txt"), "table T\n  field F long\n  index I (G)\n");
    CommandResult bad = runCommand(MDBGEN_PROGRAM, {dir_.file("bad.txt"), dir_.file("bad.mdb")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, dir_.file("bad.txt") + ": line 3: index I names field G, which table T lacks\n");

    CommandResult noFolder = runCommand(MDBGEN_PROGRAM, {dir_.file("good.txt"), dir_.file("missing/x.mdb")});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_NE(noFolder.err.find("No such file or directory"), std::string::npos) << noFolder.err;

    CommandResult usage = runCommand(MDBGEN_PROGRAM, {dir_.file("good.txt")});
    EXPECT_EQ(usage.exitCode, 2);

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"bad.txt", "good.mdb", "good.txt", "stdin.mdb"}));
}

}  // namespace

namespace {

// The benchmark's plain and properties shapes, read back with mdbtools: 30 fields, no properties
// or eight on every field, a relationship every tenth table and no query; three free pages after
// each table's definition make the file larger than the same design without them.
TEST_F(GeneratedFile, PlainAndPropertiesShapes)
{
    mdbgen::SyntheticDesign design;
    design.tables = 25;
    design.shape = mdbgen::SyntheticShape::Plain;
    const std::string plainDescription = mdbgen::syntheticDescription(design);
    const std::string plain = generate(plainDescription, "plain.mdb");
    design.shape = mdbgen::SyntheticShape::Properties;
    const std::string withProperties = generate(mdbgen::syntheticDescription(design), "properties.mdb");
    const std::string compact = generate(plainDescription.substr(plainDescription.find('\n') + 1), "compact.mdb");

    EXPECT_EQ(std::filesystem::file_size(plain), std::filesystem::file_size(compact) + 25 * 3 * 4096);
    EXPECT_EQ(schema(plain, "T7", "mysql"), schema(compact, "T7", "mysql"));
    const auto columns = schema(plain, "T7", "mysql");
    EXPECT_EQ(std::count_if(columns.begin(), columns.end(), [](const std::string& l) { return l.rfind("\t`F", 0) == 0; }), 29);
    EXPECT_EQ(exportTable(plain, "MSysRelationships").size(), 2u);  // R10 and R20
    EXPECT_EQ(exportTable(plain, "MSysQueries").size(), 0u);
    EXPECT_TRUE(properties(plain, "T7").count("F1") == 0);

    const auto blocks = properties(withProperties, "T7");
    ASSERT_TRUE(blocks.count("F5"));
    const auto& f5 = blocks.at("F5");
    EXPECT_EQ(f5.at("Caption"), "F5 of T7");
    EXPECT_EQ(f5.at("Format"), "General Number");
    EXPECT_EQ(f5.at("DefaultValue"), "0");
    EXPECT_EQ(f5.at("ColumnWidth"), "1505");
    EXPECT_EQ(f5.at("ColumnOrder"), "6");
    EXPECT_EQ(f5.at("DisplayControl"), "109");
    EXPECT_EQ(f5.at("Description"), "Field 5 of table 7");
    EXPECT_TRUE(f5.count("Required"));
}

}  // namespace
