// Query SQL rebuilt from design rows built in code: each query type's form, nested joins, options,
// parameters, the row order rule, the shapes Access writes, and that different designs give
// different texts.
#include "query_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using engine::QueryRow;
using engine::queryText;

// The rows of one query, added as they would be stored: each row gets the next order of its
// attribute. A null name or expression is an absent value.
struct Design {
    Design() { add(0, 0); }

    Design& add(int attribute, std::optional<int> flag, const char* name1 = nullptr,
                const char* name2 = nullptr, const char* expression = nullptr) {
        QueryRow row;
        row.attribute = attribute;
        row.flag = flag;
        if (name1) row.name1 = name1;
        if (name2) row.name2 = name2;
        if (expression) row.expression = expression;
        row.order = ++orders[attribute];
        rows.push_back(row);
        return *this;
    }
    Design& type(int type, const char* target = nullptr, const char* text = nullptr) {
        return add(1, type, target, nullptr, text);
    }
    Design& parameter(const char* name, int typeCode, std::optional<std::int64_t> size = {}) {
        add(2, typeCode, name);
        rows.back().extra = size;
        return *this;
    }
    Design& options(int bits, const char* top = nullptr) { return add(3, bits, top); }
    Design& source(const char* table, const char* alias = nullptr) { return add(5, {}, table, alias); }
    Design& derived(const char* subquery, const char* alias) { return add(5, {}, nullptr, alias, subquery); }
    Design& part(const char* text) { return add(5, {}, nullptr, "X7YZ_____1", text); }
    Design& column(const char* expression, const char* alias = nullptr, const char* target = nullptr,
                   int role = 0) {
        return add(6, role, alias, target, expression);
    }
    Design& join(const char* left, const char* right, int joinType, const char* on) {
        return add(7, joinType, left, right, on);
    }
    Design& where(const char* condition) { return add(8, {}, nullptr, nullptr, condition); }
    Design& groupBy(const char* expression, int role = 0) { return add(9, role, nullptr, nullptr, expression); }
    Design& having(const char* condition) { return add(10, {}, nullptr, nullptr, condition); }
    Design& orderBy(const char* expression, bool descending = false, const char* mark = "D") {
        return add(11, {}, descending ? mark : nullptr, nullptr, expression);
    }
    std::string text() const { return queryText(rows); }

    std::vector<QueryRow> rows;
    std::map<int, std::uint32_t> orders;  // the last order given to each attribute
};

// The lines of an expected text, joined with CR LF.
std::string sql(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
    return text;
}

struct FormCase {
    const char* what;
    Design design;
    std::string expected;
};

TEST(QueryText, EachQueryTypeInItsForm) {
    const FormCase cases[] = {
        {"select: left join nested in an inner join of two conditions, DESC",
         Design().type(1).options(2).source("Table1").source("Table2").source("Table3")
             .column("Table1.*").column("Table2.col1")
             .join("Table1", "Table3", 2, "Table1.a = Table3.a")
             .join("Table3", "Table2", 1, "Table3.a = Table2.a").join("Table3", "Table2", 1, "Table3.a = Table2.b")
             .where("Table2.col2 = 'x'").orderBy("Table2.col1", true).orderBy("Table1.col1"),
         sql({"SELECT DISTINCT Table1.*, Table2.col1",
              "FROM (Table1 LEFT JOIN Table3 ON Table1.a = Table3.a) INNER JOIN Table2 ON "
              "(Table3.a = Table2.a) AND (Table3.a = Table2.b)",
              "WHERE Table2.col2 = 'x'", "ORDER BY Table2.col1 DESC, Table1.col1;"})},
        {"make-table: right join of an alias to a join, grouping",
         Design().type(2, "New Table").options(0).source("T2").source("T1").source("T1", "Other")
             .column("Max(T2.a)", "MaxOfa").column("T2.b")
             .join("T2", "T1", 1, "T2.a = T1.a").join("T1", "Other", 3, "T1.b = Other.b")
             .groupBy("T2.b").having("Max(T2.a) > 1"),
         sql({"SELECT Max(T2.a) AS MaxOfa, T2.b INTO [New Table]",
              "FROM (T2 INNER JOIN T1 ON T2.a = T1.a) RIGHT JOIN T1 AS Other ON T1.b = Other.b",
              "GROUP BY T2.b", "HAVING Max(T2.a) > 1;"})},
        {"append: target fields, tables no join takes come first",
         Design().type(3, "Table3").source("Table3").source("Table1").source("Table2")
             .column("[Table1].[a]", nullptr, "a").column("[Table2].[b]", nullptr, "[my b]")
             .join("Table1", "Table2", 1, "Table1.id = Table2.id"),
         sql({"INSERT INTO Table3 (a, [my b])", "SELECT [Table1].[a], [Table2].[b]",
              "FROM Table3, Table1 INNER JOIN Table2 ON Table1.id = Table2.id;"})},
        {"update with parameters",
         Design().type(4).parameter("User Name", 10).parameter("n", 4).options(8).source("T")
             .column("\"foo\"", nullptr, "T.a").column("[User Name]", nullptr, "[T].[b]").where("T.n = n"),
         sql({"PARAMETERS [User Name] Text, n Long;", "UPDATE DISTINCTROW T",
              "SET T.a = \"foo\", [T].[b] = [User Name]", "WHERE T.n = n;"})},
        {"delete", Design().type(5).options(1).source("T").column("T.a").where("T.a > 1"),
         sql({"DELETE *, T.a", "FROM T", "WHERE T.a > 1;"})},
        {"data definition", Design().type(7, nullptr, "CREATE TABLE T (a CHAR);"), "CREATE TABLE T (a CHAR);"},
        {"pass-through", Design().type(8, "ODBC;DSN=x", "EXEC p"), sql({"EXEC p"})},
        {"union of a UNION ALL, ordered",
         Design().type(9).options(1).part("Select a from T\r\nUNION\r\nSelect b from U\r\n").part("Select c from V")
             .orderBy("a"),
         sql({"Select a from T", "UNION", "Select b from U", "UNION ALL Select c from V", "ORDER BY a;"})},
        {"UNION, owner access", Design().type(9).options(2 | 4).part("Select a from T ").part("Select b from U"),
         sql({"Select a from T UNION Select b from U", "WITH OWNERACCESS OPTION;"})},
        {"TOP n PERCENT, DISTINCTROW, all fields, bracketed names",
         Design().type(1).options(1 | 8 | 16 | 32, "25").source("Order Details", "2nd").source("Größe")
             .column("x", "Sum of x"),
         sql({"SELECT DISTINCTROW TOP 25 PERCENT *, x AS [Sum of x]", "FROM [Order Details] AS [2nd], Größe;"})},
    };
    for (const FormCase& c : cases) EXPECT_EQ(c.design.text(), c.expected) << c.what;
}

// The crosstab of the sample files: value, row headings and pivot told apart by their flags.
Design crosstab() {
    return Design().type(6).source("Table1").source("Table2").source("Table2", "Table2_1")
        .column("Count([Table2].[col2])", "CountOfcol2", nullptr, 0).column("Table2_1.col1", nullptr, nullptr, 2)
        .column("Avg(Table2_1.col2)", "AvgOfcol2", nullptr, 2).column("[Table1].[col1]", nullptr, nullptr, 1)
        .join("Table1", "Table2", 1, "[Table1].[col1]=[Table2].[col1]")
        .join("Table2", "Table2_1", 1, "[Table2].[col1]=Table2_1.col3")
        .where("Table2_1.col1 Is Not Null").groupBy("Table2_1.col1", 2).groupBy("[Table1].[col1]", 1)
        .orderBy("Table2_1.col1");
}

TEST(QueryText, CrosstabWritesTransformSelectAndPivot) {
    EXPECT_EQ(crosstab().text(),
              sql({"TRANSFORM Count([Table2].[col2]) AS CountOfcol2",
                   "SELECT Table2_1.col1, Avg(Table2_1.col2) AS AvgOfcol2",
                   "FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 AS "
                   "Table2_1 ON [Table2].[col1]=Table2_1.col3",
                   "WHERE Table2_1.col1 Is Not Null", "GROUP BY Table2_1.col1", "ORDER BY Table2_1.col1",
                   "PIVOT [Table1].[col1];"}));
}

TEST(QueryText, RowsInAnyOrderGiveTheSameText) {
    const Design design = crosstab();
    std::vector<QueryRow> shuffled = design.rows;
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        ASSERT_EQ(queryText(shuffled), design.text()) << "round " << round;
    }
    // Rows sharing an order (a damaged file) still come out the same way whatever their input order.
    for (QueryRow& row : shuffled) row.order = 1;
    const std::string firstText = queryText(shuffled);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        ASSERT_EQ(queryText(shuffled), firstText) << "round " << round;
    }
}

TEST(QueryText, ParameterTypesHaveTheirSqlWords) {
    Design design = Design().type(1);
    for (int code : {1, 2, 3, 5, 6, 7, 8, 9, 11, 12, 15, 16, 0, 42}) design.parameter("p", code);
    design.parameter("t", 10, 5).parameter("u", 10, 0).parameter("v", 10);
    EXPECT_EQ(design.text(), sql({"PARAMETERS p Bit, p Byte, p Short, p Currency, p IEEESingle, p IEEEDouble, "
                                  "p DateTime, p Binary, p LongBinary, p Memo, p Guid, p Decimal, p Value, p Value, "
                                  "t Text ( 5 ), u Text, v Text;",
                                  "SELECT;"}));
}

// Queries as Access writes them, each shape from a real file: the text is SQL and nothing else.
TEST(QueryText, ShapesAccessWrites) {
    const FormCase cases[] = {
        {"no type row (older versions): a select query; the start row's flag is the writer's version",
         Design().add(0, 2).source("Customers").column("Customers.City"),
         sql({"SELECT Customers.City", "FROM Customers;"})},
        {"ORDER BY marked descending in lower case",
         Design().type(1).source("Products").column("Products.UnitPrice").orderBy("Products.UnitPrice", true, "d")
             .orderBy("Products.Name", true, "D"),
         sql({"SELECT Products.UnitPrice", "FROM Products", "ORDER BY Products.UnitPrice DESC, Products.Name DESC;"})},
        {"a derived table: its subquery in FROM",
         Design().type(1).derived("SELECT idSportif, COUNT(*) as NbSportsJ FROM Jouer GROUP BY idSportif", "J")
             .source("Sportifs", "S").column("S.Nom").join("S", "J", 1, "S.id = J.idSportif"),
         sql({"SELECT S.Nom",
              "FROM Sportifs AS S INNER JOIN (SELECT idSportif, COUNT(*) as NbSportsJ FROM Jouer GROUP BY idSportif) "
              "AS J ON S.id = J.idSportif;"})},
        {"names stored with their brackets are bracketed once",
         Design().type(1).parameter("[Beginning Date]", 8).parameter("Forms![Sales by Year]!EndingDate", 8)
             .parameter("Plain Name", 10, 30).source("Orders"),
         sql({"PARAMETERS [Beginning Date] DateTime, Forms![Sales by Year]!EndingDate DateTime, "
              "[Plain Name] Text ( 30 );",
              "SELECT", "FROM Orders;"})},
        {"a crosstab whose column heading lists its values: no GROUP BY of it, no alias in PIVOT",
         Design().type(6).source("Orders").column("Sum(Orders.Amount)", "Total", nullptr, 0)
             .column("Orders.Product", nullptr, nullptr, 2)
             .column("\"Qtr \" & DatePart(\"q\",[OrderDate]) In (\"Qtr 1\",\"Qtr 2\")", "Expr1", nullptr, 1)
             .groupBy("Orders.Product", 2).groupBy("\"Qtr \" & DatePart(\"q\",[OrderDate])", 1),
         sql({"TRANSFORM Sum(Orders.Amount) AS Total", "SELECT Orders.Product", "FROM Orders",
              "GROUP BY Orders.Product", "PIVOT \"Qtr \" & DatePart(\"q\",[OrderDate]) In (\"Qtr 1\",\"Qtr 2\");"})},
        {"rows of newer versions for multi-value fields are no SQL",
         Design().type(1).source("Customers").column("Customers.Attachments").add(12, 2, "qry_1821EB54")
             .add(13, 1, "qryParent").add(14, {}, nullptr, nullptr, "Customers.Attachments.FileData"),
         sql({"SELECT Customers.Attachments", "FROM Customers;"})},
        {"tables of another database, in FROM and as a make-table target",
         Design().type(2, "Archive").add(4, {}, "C:\\Data\\Old.mdb").source("Orders").column("*"),
         sql({"SELECT * INTO Archive", "FROM Orders IN 'C:\\Data\\Old.mdb';"})},
        {"an ODBC source and a target in another file",
         Design().type(3, "Copy").add(4, {}, nullptr, nullptr, "ODBC;DSN=Sales").source("dbo_Orders")
             .column("dbo_Orders.ID", nullptr, "ID"),
         sql({"INSERT INTO Copy (ID)", "SELECT dbo_Orders.ID", "FROM dbo_Orders IN '' [ODBC;DSN=Sales];"})},
        {"an append of values",
         Design().type(3, "Log").column("1", nullptr, "Level", 0x8000).column("\"started\"", nullptr, "Message", 0x8000),
         sql({"INSERT INTO Log (Level, Message)", "VALUES (1, \"started\");"})},
    };
    for (const FormCase& c : cases) EXPECT_EQ(c.design.text(), c.expected) << c.what;
    // A make-table target whose type row names another database.
    Design remoteTarget = Design().add(1, 2, "Archive", "C:\\Old.mdb").source("Orders").column("Orders.ID");
    EXPECT_EQ(remoteTarget.text(), sql({"SELECT Orders.ID INTO Archive IN 'C:\\Old.mdb'", "FROM Orders;"}));
}

// Two designs that differ in one stored value.
struct DesignPair {
    const char* difference;
    Design first;
    Design second;
};

Design joined(int joinType, const char* alias = nullptr) {
    return Design().type(1).source("A").source("B", alias).column("A.x").join("A", alias ? alias : "B", joinType, "c");
}

TEST(QueryText, DifferentDesignsGiveDifferentTexts) {
    const DesignPair pairs[] = {
        {"alias", joined(1), joined(1, "B2")},
        {"inner or left join", joined(1), joined(2)},
        {"left or right join", joined(2), joined(3)},
        {"join direction", joined(2), Design().type(1).source("A").source("B").column("A.x").join("B", "A", 2, "c")},
        {"parameter type", Design().type(1).parameter("p", 4), Design().type(1).parameter("p", 3)},
        {"parameter size", Design().type(1).parameter("p", 10, 5), Design().type(1).parameter("p", 10, 6)},
        {"order direction", Design().type(1).source("A").orderBy("A.x"), Design().type(1).source("A").orderBy("A.x", true)},
        {"UNION or UNION ALL", Design().type(9).options(1).part("a ").part("b"), Design().type(9).options(2).part("a ").part("b")},
        {"column alias", Design().type(1).column("x", "y"), Design().type(1).column("x")},
        {"pass-through text", Design().type(8, "ODBC;", "q"), Design().type(8, "ODBC;", "q2")},
        {"unknown join type", joined(1), joined(9)},
        {"derived table's subquery", Design().type(1).derived("SELECT a FROM T", "J"),
         Design().type(1).derived("SELECT b FROM T", "J")},
        {"source database", joined(1), joined(1).add(4, {}, "C:\\other.mdb")},
        {"crosstab pivot", crosstab(), Design(crosstab()).add(6, 1, nullptr, nullptr, "z")},
    };
    for (const DesignPair& pair : pairs) {
        EXPECT_NE(pair.first.text(), pair.second.text()) << pair.difference << ": " << pair.first.text();
    }
}

// Whatever the rows, the text is SQL: no row is ever written as a comment, and rows that are
// absent or damaged where they are expected still give a text.
TEST(QueryText, OnlySqlWhateverTheRows) {
    EXPECT_EQ(Design().type(1).source("A").column("A.x").join("A", "Ghost", 1, "A.id = Ghost.id").add(12, 3, "n")
                  .add(13, {}).add(77, 1, "x").text(),
              sql({"SELECT A.x", "FROM A INNER JOIN Ghost ON A.id = Ghost.id;"}));
    EXPECT_EQ(Design().source("A").text(), sql({"SELECT", "FROM A;"}));
    EXPECT_EQ(Design().type(2).add(5, {}).add(6, {}).add(7, 1).add(9, {}).text(),
              sql({"SELECT INTO []", "FROM []", "GROUP BY ;"}));
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        Design design;
        for (int i = 0; i < 12; ++i) {
            const int attributes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 255};
            design.add(attributes[random() % 16], static_cast<int>(random() % 12), random() % 2 ? "n" : nullptr,
                       random() % 2 ? "m" : nullptr, random() % 2 ? "e" : nullptr);
        }
        const std::string text = design.text();
        EXPECT_EQ(text.find("--"), std::string::npos) << text;
    }
}

}  // namespace
