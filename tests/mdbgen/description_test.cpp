// The description format: what each statement makes of the design, how property values are
// typed and encoded, and which descriptions are refused with which line named.
#include "jet4_writer.h"
#include "schema_text.h"

#include <gtest/gtest.h>

using namespace mdbgen;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A description that must be refused, naming this line and saying this.
struct Refusal {
    const char* text;
    int line;
    const char* message;
};

// Runs each description through step, which must throw a DescriptionError as the case says.
template <std::size_t N, typename Step> void expectRefusals(const Refusal (&cases)[N], Step step)
{
    for (const Refusal& c : cases) {
        try {
            step(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const DescriptionError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text;
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << e.what();
        }
    }
}

TEST(Description, TablesFieldsAndIndexes)
{
    Database db = parseDescription(R"(
# comment line
table "Order Details"   # a name with a space
  field ID autonumber
  field Name text(20) nocompression Required=yes
  field Code text
  deleted 2
  field Price decimal(10, 3)
  field Tag guid autonumber
  field Blob binary(16)
  index PrimaryKey (ID) primary
  index ByName (Name desc, Code ASC) unique ignorenulls required
  property OrderByOn=no
table MSysExtra system
  field X long
)");
    ASSERT_EQ(db.tables.size(), 2u);
    const Table& t = db.tables[0];
    EXPECT_EQ(t.name, "Order Details");
    EXPECT_EQ(t.line, 3);
    ASSERT_EQ(t.fields.size(), 6u);
    EXPECT_TRUE(t.fields[0].autoNumber);
    EXPECT_EQ(t.fields[0].type, DataType::Long);
    EXPECT_EQ(t.fields[1].size, 20);
    EXPECT_FALSE(t.fields[1].compressedUnicode);
    EXPECT_EQ(t.fields[2].size, 50);
    // Two numbers are left by deleted fields: Price is column 5, not 3.
    EXPECT_EQ(t.fields[3].columnNumber, 5);
    EXPECT_EQ(t.columnNumbersUsed, 8);
    EXPECT_EQ(t.fields[3].precision, 10);
    EXPECT_EQ(t.fields[3].scale, 3);
    EXPECT_TRUE(t.fields[4].autoNumber);
    EXPECT_EQ(t.fields[4].type, DataType::Guid);
    EXPECT_EQ(t.fields[5].size, 16);
    ASSERT_EQ(t.indexes.size(), 2u);
    EXPECT_TRUE(t.indexes[0].primary);
    const Index& byName = t.indexes[1];
    ASSERT_EQ(byName.columns.size(), 2u);
    EXPECT_TRUE(byName.columns[0].descending);
    EXPECT_FALSE(byName.columns[1].descending);
    EXPECT_TRUE(byName.unique && byName.ignoreNulls && byName.required && !byName.primary);
    ASSERT_EQ(t.properties.size(), 1u);
    EXPECT_TRUE(db.tables[1].system);
}

TEST(Description, RelationshipsAndLinks)
{
    Database db = parseDescription(R"(
relationship R1 A(X, Y) -> B(P, Q) enforced cascadeupdate cascadedelete onetoone join=right
relationship R2 A(X) -> B(P) cascadenull join=left
linked L1 database="C:\x.mdb" foreign=Other
linked L2 connect="ODBC;DSN=x"
)");
    ASSERT_EQ(db.relationships.size(), 2u);
    const Relationship& r = db.relationships[0];
    EXPECT_EQ(r.primaryFields, (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(r.foreignFields, (std::vector<std::string>{"P", "Q"}));
    EXPECT_TRUE(r.enforced && r.cascadeUpdate && r.cascadeDelete && r.oneToOne && !r.cascadeNull);
    EXPECT_EQ(r.join, JoinType::RightOuter);
    EXPECT_FALSE(db.relationships[1].enforced);
    EXPECT_TRUE(db.relationships[1].cascadeNull);
    EXPECT_EQ(db.relationships[1].join, JoinType::LeftOuter);
    ASSERT_EQ(db.linkedTables.size(), 2u);
    EXPECT_EQ(db.linkedTables[0].database, "C:\\x.mdb");
    EXPECT_EQ(db.linkedTables[0].foreignName, "Other");
    EXPECT_EQ(db.linkedTables[1].connect, "ODBC;DSN=x");
    EXPECT_EQ(db.linkedTables[1].foreignName, "L2");  // the link's own name when not given
}

// The rows a query keeps: the type row first, then the options row, then the rest as written.
TEST(Description, QueryRows)
{
    Database db = parseDescription(R"(
query Q maketable
  from A as X
  column "X.N" as M into T flag=2
  option distinct top=10 percent
  target Archive
  where "X.N > ""a"""
  orderby "X.N" desc
  union "SELECT 1"
  union "SELECT 2"
  row 42 flag=7 name1="n1" expression="e" extra=3
  parameter "Name" text(12)
  parameter Plain text
query P passthrough hidden
  connect "ODBC;"
  sql "SELECT 1"
)");
    ASSERT_EQ(db.queries.size(), 2u);
    const auto& rows = db.queries[0].rows;
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[0].attribute, 1);
    EXPECT_EQ(rows[0].flag, 2);  // make-table
    EXPECT_EQ(rows[0].name1, "Archive");
    EXPECT_EQ(rows[1].attribute, 3);
    EXPECT_EQ(rows[1].flag, 2 | 16 | 32);
    EXPECT_EQ(rows[1].name1, "10");
    EXPECT_EQ(rows[2].attribute, 5);
    EXPECT_EQ(rows[2].name2, "X");
    EXPECT_EQ(rows[3].attribute, 6);
    EXPECT_EQ(rows[3].name1, "M");
    EXPECT_EQ(rows[3].name2, "T");
    EXPECT_EQ(rows[3].flag, 2);
    EXPECT_EQ(rows[4].expression, "X.N > \"a\"");
    EXPECT_FALSE(rows[4].flag.has_value());
    EXPECT_EQ(rows[5].name1, "D");
    EXPECT_EQ(rows[6].name2, "X7YZ_____1");
    EXPECT_EQ(rows[7].name2, "X7YZ_____2");
    EXPECT_EQ(rows[7].expression, "SELECT 2");
    EXPECT_EQ(rows[8].attribute, 42);
    EXPECT_EQ(rows[8].flag, 7);
    EXPECT_EQ(rows[8].extra, 3);
    EXPECT_EQ(rows[9].flag, 10);  // a Text parameter with its size in LvExtra
    EXPECT_EQ(rows[9].extra, 12);
    EXPECT_FALSE(rows[10].extra.has_value());
    const Query& p = db.queries[1];
    EXPECT_TRUE(p.hidden);
    ASSERT_EQ(p.rows.size(), 1u);
    EXPECT_EQ(p.rows[0].flag, 8);
    EXPECT_EQ(p.rows[0].name1, "ODBC;");
    EXPECT_EQ(p.rows[0].expression, "SELECT 1");
}

TEST(Description, PropertyTypesAndBytes)
{
    struct Case {
        const char* text;
        DataType type;
        bool ddl;
        Bytes value;
    };
    const Case cases[] = {
        {"Required=yes", DataType::YesNo, true, {0xFF}},
        {"AllowZeroLength=False", DataType::YesNo, true, {0x00}},
        {"DefaultValue=\"0\"", DataType::Memo, true, {'0', 0}},
        {"ValidationRule=\">1\"", DataType::Text, true, {'>', 0, '1', 0}},
        {"Description=\"é\"", DataType::Memo, false, {0xE9, 0}},
        {"Format=\"yes\"", DataType::Text, false, {'y', 0, 'e', 0, 's', 0}},
        {"ColumnWidth=-1", DataType::Long, false, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"Scale=1.5", DataType::Double, false, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
        {"DecimalPlaces:byte=2", DataType::Byte, false, {2}},
        {"ODBCTimeout:integer=60", DataType::Integer, false, {60, 0}},
        {"Price:currency=1.5", DataType::Currency, false, {0x98, 0x3A, 0, 0, 0, 0, 0, 0}},
        {"Blob:binary=0x01ff", DataType::Binary, false, {0x01, 0xFF}},
        {"Id:guid={01020304-0506-0708-090A-0B0C0D0E0F10}", DataType::Guid, false,
         {4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"Emoji=\"\xF0\x9F\x98\x80\"", DataType::Text, false, {0x3D, 0xD8, 0x00, 0xDE}},
    };
    for (const Case& c : cases) {
        Database db = parseDescription(std::string("table T\n field F long ") + c.text + "\n");
        const Property& p = db.tables[0].fields[0].properties.at(0);
        EXPECT_EQ(p.type, c.type) << c.text;
        EXPECT_EQ(p.ddl, c.ddl) << c.text;
        EXPECT_EQ(p.value, c.value) << c.text;
    }
}

// Each refused description names the line that is wrong and what is wrong with it.
TEST(Description, ErrorsNameTheLine)
{
    const Refusal cases[] = {
        {"table T\n  field F long\n  colour red\n", 3, "unknown keyword 'colour' in a table"},
        {"table T secret\n", 1, "unknown table option 'secret'"},
        {"\nfield F long\n", 2, "'field' must follow a table"},
        {"table T\n field F texte\n", 2, "unknown field type 'texte'"},
        {"table T\n field F text(0)\n", 2, "expected a size from 1 to 255, not '0'"},
        {"table T\n field F text(256)\n", 2, "from 1 to 255"},
        {"table T\n field F long(4)\n", 2, "a long field has no size"},
        {"table T\n field F text autonumber\n", 2, "only long and guid fields can be AutoNumber"},
        {"table \"T\n", 1, "a quoted text is not closed"},
        {"table \"\"\n", 1, "the table name is empty"},
        {"table T\n field F long Required=maybe\n", 2, "needs quotes"},
        {"table T\n field F long DecimalPlaces:byte=300\n", 2, "is not a Byte"},
        {"table T\n field F long X:colour=1\n", 2, "unknown property type 'colour'"},
        {"table T\n field F long Required\n", 2, "expected '=' after the property name"},
        {"table T\n index I (F) clustered\n", 2, "unknown index option 'clustered'"},
        {"table T\n index I F\n", 2, "expected '(' before the index's fields"},
        {"table T12345678901234567890123456789012345678901234567890123456789012345\n", 1,
         "longer than 64 characters"},
        {"table T\xC3\n", 1, "not valid UTF-8"},
        {"relationship R A(X, Y) -> B(P)\n", 1, "the same number of fields"},
        {"relationship R A(X) B(P)\n", 1, "expected '->'"},
        {"relationship R A(X) -> B(P) join=outer\n", 1, "join is inner, left or right"},
        {"linked L foreign=X\n", 1, "needs either database= or connect="},
        {"query Q pivot\n", 1, "unknown query type 'pivot'"},
        {"query Q select\n join outer A B \"x\"\n", 2, "a join is inner, left or right"},
        {"query Q select\n field F long\n", 2, "unknown keyword 'field' in a query"},
        {"query Q select\n option fast\n", 2, "unknown query option 'fast'"},
        {"query Q select\n parameter P long(4)\n", 2, "only a text parameter has a size"},
        {"query Q select\n parameter P text(0)\n", 2, "expected a size from 1 to 255, not '0'"},
        {"query Q select\n row 2 extra=x\n", 2, "expected an LvExtra value"},
        {"query Q select fast\n", 1, "unexpected 'fast' after the query's type (expected hidden, notyperow, version=N, moved or stale)"},
        {"table T moved moved\n", 1, "moved is given twice"},
        {"relationship R A(X) -> B(P) stale stale\n", 1, "stale is given twice"},
        {"table T\n field F long\n values (1) stale moved stale\n", 3, "stale is given twice"},
        {"table T\n field F long\n values (1) gone\n", 3, "unexpected 'gone'"},
        {"table T stale\n field F long\n index I (F)\n", 3,
         "a stale table is an old catalog row: its indexes are the live table's"},
        {"table T stale\n field F long\n values (1)\n", 3, "a stale table is an old catalog row: it holds no rows"},
        {"database\n", 1, "expected encoded, password or spacious after database"},
        {"database spacious 0\n", 1, "a number of free pages"},
        {"database spacious 2\ndatabase spacious 2\n", 2, "the database is already spacious"},
        {"database encrypted\n", 1, "unknown database option 'encrypted'"},
        {"table T\ndatabase encoded\ndatabase encoded\n", 3, "the database is already encoded"},
        {"database password a\ndatabase password b\n", 2, "the database password is already given"},
        {"database password \"\"\n", 1, "the database password is empty"},
        {"database password \"123456789012345678901\"\n", 1, "longer than 20 characters"},
        {"database encoded\n field F long\n", 2, "'field' must follow a table"},
    };
    expectRefusals(cases, [](const char* text) { parseDescription(text); });
}

// Rows as Access leaves them after rewriting them: moved to another page, or an old version left
// behind marked deleted, or both. An object's state is a word on its first line, a data row's
// after it.
TEST(Description, MovedAndStaleRows)
{
    Database db = parseDescription(R"(
table T stale hidden
  field F long Description="old"
table T moved
  field F long
  values (1) stale
  values (2) MOVED
  values (3)
  values (4) moved stale
relationship R T(F) -> T(F) moved join=left
relationship R T(F) -> T(F) stale
relationship R T(F) -> T(F) stale moved
query Q select stale
  from Old
query Q select hidden moved
  from T
query P select
)");
    ASSERT_EQ(db.tables.size(), 2u);
    EXPECT_EQ(db.tables[0].state, RowState::Stale);
    EXPECT_TRUE(db.tables[0].hidden);
    EXPECT_EQ(db.tables[1].state, RowState::Moved);
    ASSERT_EQ(db.tables[1].rows.size(), 4u);
    EXPECT_EQ(db.tables[1].rows[0].state, RowState::Stale);
    EXPECT_EQ(db.tables[1].rows[1].state, RowState::Moved);
    EXPECT_EQ(db.tables[1].rows[2].state, RowState::Live);
    EXPECT_EQ(db.tables[1].rows[3].state, RowState::StaleMoved);
    ASSERT_EQ(db.relationships.size(), 3u);
    EXPECT_EQ(db.relationships[0].state, RowState::Moved);
    EXPECT_EQ(db.relationships[0].join, JoinType::LeftOuter);
    EXPECT_EQ(db.relationships[1].state, RowState::Stale);
    EXPECT_EQ(db.relationships[2].state, RowState::StaleMoved);
    ASSERT_EQ(db.queries.size(), 3u);
    EXPECT_EQ(db.queries[0].state, RowState::Stale);
    EXPECT_EQ(db.queries[1].state, RowState::Moved);
    EXPECT_TRUE(db.queries[1].hidden);
    EXPECT_EQ(db.queries[2].state, RowState::Live);
    // A stale table or query is an old row of a live one of its name, whose name it shares.
    EXPECT_NO_THROW(writeJet4(db));
}

// Texts that go to the query system table's Text(255) columns must fit them.
TEST(Description, QueryTextsFitTheirColumns)
{
    const std::string fits(255, 'x'), tooLong(256, 'x');
    std::string connect = "query Q passthrough\n connect \"" + tooLong + "\"\n";
    std::string name1 = "query Q select\n\n row 6 name1=\"" + tooLong + "\"\n";
    std::string top = "query Q select\n option top=" + tooLong + "\n";
    const Refusal cases[] = {
        {connect.c_str(), 2, "the connect string is longer than 255 characters"},
        {name1.c_str(), 3, "name1 is longer than 255 characters"},
        {top.c_str(), 2, "the TOP value is longer than 255 characters"},
    };
    expectRefusals(cases, [](const char* text) { parseDescription(text); });
    Database db = parseDescription("query Q passthrough\n connect \"" + fits + "\"\n row 6 name2=\"" + fits + "\"\n");
    EXPECT_EQ(db.queries[0].rows[0].name1, fits);
    EXPECT_EQ(db.queries[0].rows[1].name2, fits);
}

// Designs that parse but that no Access file can hold are refused by the writer, naming the line.
TEST(Description, DesignErrorsNameTheLine)
{
    // Nine full Text(255) values take 4590 bytes; a page holds rows of 4080.
    std::string wideRow = "table T\n", values;
    for (int i = 0; i < 9; ++i) {
        wideRow += " field F" + std::to_string(i) + " text(255)\n";
        values += (i ? ", \"" : "\"") + std::string(255, 'x') + "\"";
    }
    wideRow += " values (" + values + ")\n";
    const Refusal cases[] = {
        {wideRow.c_str(), 11, "the row does not fit on a page"},
        {"table T\n field F long\ntable T\n field G long\n", 3, "the name is already used on line 1"},
        {"table T\n field F long\nquery T select\n", 3, "the name is already used on line 1"},
        {"table MSysObjects\n field F long\n", 1, "MSysObjects is a system table the generator always writes"},
        {"table T\n", 1, "table T has no fields"},
        {"table T\n field F long\n field F text\n", 3, "two fields named F"},
        {"table T\n field F long\n index I (G)\n", 3, "index I names field G, which table T lacks"},
        {"table T\n field F memo\n index I (F)\n", 3, "a memo or OLE field cannot be indexed"},
        {"table T\n field F long\n index I (F)\n index I (F)\n", 4, "two indexes named I"},
        {"table T\n field F long\n index P (F) primary\n index Q (F) primary\n", 4, "two primary keys"},
        {"table T\n field F long\nrelationship R T(F) -> U(F)\n", 3, "names table U, which the design lacks"},
        {"table T\n field F long\nrelationship R T(G) -> T(F)\n", 3, "names field G, which table T lacks"},
        {"table T\n field F long\ntable U\n field F long\nrelationship R T(F) -> U(F) enforced\n", 5,
         "table T has no unique index on its related fields"},
        {"relationship R A(X) -> B(X)\nrelationship R A(X) -> B(X)\n", 2, "two relationships named R"},
        {"table T\n field F long\n field G text(3)\n values (1)\n", 4, "table T has 2 fields, but the row gives 1 values"},
        {"table T\n field F long\n field G text(3)\n values (1, \"abcd\")\n", 4,
         "table T, field G: the text is longer than the field's 3 characters"},
        {"table T\n field F long\n values (1.5)\n", 3, "table T, field F: '1.5' is not a Long"},
        {"table T\n field F decimal\n values (1)\n", 3, "Decimal values are not supported in rows"},
        {"table T\n field F binary(1)\n values (0x0102)\n", 3, "longer than the field's 1 bytes"},
        {"table T stale\n field F long\n", 1, "stale table T: the design has no live table T whose old row it is"},
        {"table T stale\n field F long\nquery T select\n", 1, "stale table T: the design has no live table T"},
        {"table T\n field F long\nquery Q select stale\n", 3,
         "stale query Q: the design has no live query Q whose old rows they are"},
        {"table T\n field F long\ntable T moved\n field F long\n", 3, "the name is already used on line 1"},
        {"table T\n field F long\nrelationship R T(F) -> T(F)\nrelationship R T(F) -> T(F) moved\n", 4,
         "there are two relationships named R"},
    };
    expectRefusals(cases, [](const char* text) { writeJet4(parseDescription(text)); });
}

// Designs built in code get the checks the parser makes of a description.
TEST(Description, DesignsBuiltInCodeAreChecked)
{
    auto refused = [](Database db) {
        try {
            writeJet4(db);
        } catch (const DescriptionError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    Database db;
    db.tables.push_back(Table{});
    db.tables[0].name = "T";
    db.tables[0].fields.resize(2);
    db.tables[0].fields[0].name = "A";
    db.tables[0].fields[1].name = "B";  // both numbered 0
    EXPECT_EQ(refused(db), "table T, field B: column number 0 is taken or out of range");
    db.tables[0].fields[1].columnNumber = 1;
    db.tables[0].fields[1].type = DataType::Text;
    EXPECT_EQ(refused(db), "table T, field B: the size must be from 1 to 255");
    db.tables[0].fields[1].size = 10;
    EXPECT_EQ(refused(db), "accepted");
}

// Names that differ only in letter case are different names, as they are to Access's readers.
// A design built in code may carry any password: the writer refuses what Access would not keep.
TEST(Description, DatabasePasswordsBuiltInCodeAreChecked)
{
    Database db = parseDescription("table T\n field F long\n");
    db.password = std::string("a\0b", 3);
    EXPECT_THROW(writeJet4(db), DescriptionError);
    db.password = "\xC3";
    EXPECT_THROW(writeJet4(db), DescriptionError);
    db.password = "€€€€€€€€€€€€€€€€€€€€";  // twenty characters, sixty bytes
    EXPECT_NO_THROW(writeJet4(db));
}

TEST(Description, NamesDifferingInCaseAreAccepted)
{
    Database db = parseDescription("table a\n field x long\n field X long\ntable A\n field x long\n");
    EXPECT_NO_THROW(writeJet4(db));
}

TEST(Description, SameDesignSameBytes)
{
    for (const char* text : {"table T\n field F text Description=\"d\"\n index I (F)\nquery Q select\n from T\n",
                             "table T stale\n field F long\ntable T moved\n field F long\n values (1) stale\n"
                             "query Q select stale\nquery Q select moved\n from T\n",
                             "database encoded password \"p\"\ntable T\n field F long\n"}) {
        Bytes a = writeJet4(parseDescription(text));
        Bytes b = writeJet4(parseDescription(text));
        EXPECT_EQ(a, b);
        EXPECT_EQ(a.size() % 4096, 0u);
    }
}

}  // namespace
