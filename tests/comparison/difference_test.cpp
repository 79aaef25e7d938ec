// The twins of the lines of difference, checked by hand on golden pairs: the values each line
// stands for (field sizes, SQL texts whole, Booleans, the positions of moved fields), the property
// behind each of the index lines that repeat, and names whole where the log shows "?".
#include "comparison_log.h"
#include "golden_pair.h"

#include <gtest/gtest.h>


using dualyn::Difference;
using engine::Variant;

namespace {

// A twin in one line: kind, walked side, the database that has a missing object, the names, the
// property with its position, and both values as Variant::describe gives them.
//     "field property walked=1 table=Props field=SizeOnly property=Size@6 30 | 40"
std::string show(const Difference& d)
{
    std::string s(dualyn::KindName(d.kind));
    s += " walked=" + std::to_string(d.walked);
    if (d.presentIn) s += " presentIn=" + std::to_string(d.presentIn);
    auto name = [&s](const char* label, const std::optional<std::string>& value) {
        if (value) s += std::string(" ") + label + "=" + *value;
    };
    name("table", d.table);
    name("field", d.field);
    name("index", d.index);
    name("query", d.query);
    if (d.relation) {
        const dualyn::RelationNames& r = *d.relation;
        s += " relation=" + r.description + " (" + r.table + "." + r.field + " -> " + r.foreignTable + ") names=" +
             r.name1.value_or("-") + "/" + r.name2.value_or("-");
    }
    if (d.property) s += " property=" + *d.property;
    if (d.position) s += "@" + std::to_string(*d.position);
    if (d.value1 || d.value2)
        s += " " + (d.value1 ? d.value1->describe() : "none") + " | " + (d.value2 ? d.value2->describe() : "none");
    return s;
}

// The twins of a golden case, each in one line.
std::vector<std::string> twinsOf(const std::string& goldenCase)
{
    const std::unique_ptr<goldenpair::GoldenRun> golden = goldenpair::runCase(goldenCase);
    std::vector<std::string> shown;
    for (const Difference& d : golden->run->differences) shown.push_back(show(d));
    return shown;
}

TEST(DifferenceTwins, FieldLinesCarryTheValuesTheyCompared)
{
    const std::string props = "field property walked=1 table=Props ";
    EXPECT_EQ(twinsOf("tables-field-properties"), (std::vector<std::string>{
        // The default value from each side, the second time from database 2's field walk: the
        // values stay database 1's and database 2's.
        "field property walked=1 table=Prices field=Price property=DefaultValue@12 \"0\" | \"1\"",
        "field property walked=2 table=Prices field=Price property=DefaultValue@12 \"0\" | \"1\"",
        "field missing walked=2 presentIn=2 table=Prices field=Note",
        props + "field=TypeOnly property=Type@3 4 | 6",
        props + "field=SizeOnly property=Size@6 30 | 40",
        props + "field=DefaultOnly property=DefaultValue@12 \"0\" | \"100\"",
        props + "field=RuleOnly property=ValidationRule@13 \">0\" | \">=0\"",
        props + "field=TextOnly property=ValidationText@14 \"Too small\" | \"Must be positive\"",
        props + "field=RequiredOnly property=Required@15 True | False",
        props + "field=ZeroLengthOnly property=AllowZeroLength@16 True | False",
        props + "field=Everything property=Type@3 10 | 12",
        props + "field=Everything property=Size@6 10 | 0",
        props + "field=Everything property=DefaultValue@12 \"abc\" | \"ABC\"",
        props + "field=Everything property=ValidationRule@13 \"b\" | \"B\"",
        props + "field=Everything property=ValidationText@14 \"c\" | \"C\"",
        props + "field=Everything property=Required@15 True | False",
        props + "field=Everything property=AllowZeroLength@16 True | False",
        // An empty text is a value, not Null: it differs from "5".
        props + "field=EmptyDefault property=DefaultValue@12 \"\" | \"5\"",
        props + "field=EmptyText property=ValidationText@14 \"Positive only\" | \"\"",
        // The positions compared for a field in another place: A is first in database 1, second in 2.
        "field order walked=1 table=Shifted field=A 0 | 1",
        "field property walked=1 table=Shifted field=B property=Size@6 10 | 20",
        "field order walked=1 table=Shifted field=B 1 | 0",
    }));
}

// Lines that repeat word for word have twins that say which property each one was.
TEST(DifferenceTwins, RepeatedIndexLinesEachNameTheirProperty)
{
    EXPECT_EQ(twinsOf("tables-index-keys"), (std::vector<std::string>{
        "primary key walked=1 table=KeyFields index=PrimaryKey property=Fields \"+ID\" | \"+ID;+Code\"",
        "primary key walked=1 presentIn=1 table=KeyGone index=PrimaryKey",
        "primary key walked=1 table=KeyMoved index=PrimaryKey property=Fields \"+ID\" | \"+Code\"",
        "index property walked=1 table=KeyMoved index=PrimaryKey property=Required@4 True | False",
        "index property walked=1 table=KeyMoved index=PrimaryKey property=Primary@6 True | False",
        "index missing walked=2 presentIn=2 table=KeyOnlyIn2 index=PrimaryKey",
        "index missing walked=2 presentIn=2 table=KeyOnlyIn2 index=ByName",
    }));
    EXPECT_EQ(twinsOf("tables-index-names"), (std::vector<std::string>{
        "index missing walked=1 presentIn=1 table=Cased index=pk",
        "index missing walked=2 presentIn=2 table=Cased index=PK",
        "index missing walked=1 presentIn=1 table=Orders index=CustomersOrders",
        "index missing walked=1 presentIn=1 table=Several index=ByName",
        "index missing walked=2 presentIn=2 table=Several index=ByPhone",
        "index property walked=1 table=ThreeProps index=ByCode property=Unique@2 False | True",
        "index property walked=1 table=ThreeProps index=ByCode property=Required@4 False | True",
        "index property walked=1 table=ThreeProps index=ByCode property=IgnoreNulls@5 False | True",
    }));
}

TEST(DifferenceTwins, QueryAndRelationLinesCarryTheirValuesWhole)
{
    EXPECT_EQ(twinsOf("queries-property-differences"), (std::vector<std::string>{
        "query property walked=1 query=Cleanup property=Type@3 32 | 48",
        "query property walked=1 query=Cleanup property=SQL@4 \"DELETE\r\nFROM Orders\r\nWHERE Amount = 0;\" | "
        "\"UPDATE Orders\r\nSET Amount = 0\r\nWHERE Amount = 0;\"",
        "query property walked=1 query=Cleanup property=Connect@6 \"ODBC;DSN=A\" | \"ODBC;DSN=B\"",
        "query property walked=1 query=Cleanup property=MaxRecords@10 5 | 6",
        "query missing walked=1 presentIn=1 query=Only here",
        "query property walked=1 query=Totals property=SQL@4 \"SELECT ID\r\nFROM Orders\r\nWHERE Amount > 100;\" | "
        "\"SELECT ID\r\nFROM Orders\r\nWHERE amount > 100;\"",
        "query property walked=1 query=Totals property=ReturnsRecords@7 True | False",
        "query property walked=1 query=Totals property=ODBCTimeout@8 30 | 60",
        "query missing walked=2 presentIn=2 query=Extra",
    }));
    const std::string relation = "relation attributes walked=1 relation=";
    EXPECT_EQ(twinsOf("relations-attributes-differ"), (std::vector<std::string>{
        relation + "Authors.AuthorID to Books (Authors.AuthorID -> Books) names=A_Enforced/A_Enforced property=Attributes@3 0 | 2",
        relation + "Books.BookID to Loans (Books.BookID -> Loans) names=B_CascadeDelete/B_CascadeDelete "
                   "property=Attributes@3 4096 | 8192",
        relation + "Readers.ReaderID to Loans (Readers.ReaderID -> Loans) names=C_Join/C_Join "
                   "property=Attributes@3 16777218 | 33554434",
        relation + "Readers.ReaderID to Fines (Readers.ReaderID -> Fines) names=E_CascadeUpdate/E_CascadeUpdate "
                   "property=Attributes@3 256 | 0",
    }));
}

// The log holds names in Windows-1252, "?" for each character it lacks; the twins hold them whole.
TEST(DifferenceTwins, NamesStayWholeWhereTheLogShowsQuestionMarks)
{
    std::unique_ptr<goldenpair::GoldenRun> golden = goldenpair::runCase("names-beyond-windows-1252");
    std::vector<std::string> shown;
    for (const Difference& d : golden->run->differences) shown.push_back(show(d));
    EXPECT_EQ(shown, (std::vector<std::string>{
        "field property walked=1 table=Κλίμα field=Ünits property=Size@6 10 | 20",
        "field property walked=2 table=Κλίμα field=Ünits property=Size@6 10 | 20",
        "field missing walked=2 presentIn=2 table=Κλίμα field=Größe😀",
        "index property walked=1 table=Κλίμα index=索引 property=Unique@2 False | True",
        "table missing walked=2 presentIn=2 table=顧客",
        "relation missing walked=1 presentIn=1 relation=Κλίμα.温度 to 𝄞Music (Κλίμα.温度 -> 𝄞Music) names=Связь/-",
        "query property walked=1 query=Smile 😀 property=SQL@4 \"SELECT Ünits\r\nFROM Κλίμα\r\nWHERE Ünits = 'é😀';\" | "
        "\"SELECT Ünits\r\nFROM Κλίμα\r\nWHERE Ünits = 'ё😀';\"",
        "query missing walked=1 presentIn=1 query=Ёлка",
    }));
    const std::vector<Difference>& twins = golden->run->differences;
    ASSERT_EQ(twins.size(), 8u);
    EXPECT_EQ(twins[4].line, "\r\n   顧客 was not found in db1.mdb");
    EXPECT_EQ(dualyn::toWindows1252(twins[4].line), "\r\n   ?? was not found in db1.mdb");
    EXPECT_EQ(dualyn::toWindows1252(twins[2].line), "         Field Gr\xF6\xDF" "e? was not found in db1.mdb");
    EXPECT_NE(golden->log.find("   ?????.?? to ?Music was not found in db2.mdb\r\n"), std::string::npos) << golden->log;
}

}  // namespace
