// The differential test's own rulings, each on a small case: the order of names, the values and
// SQL texts the engine must serve for the points the random designs aim at, and that the log
// check fails on a log that leaves a difference out or reports one that is not there.
#include "expected_design.h"
#include "log_check.h"
#include "schema_text.h"

#include <gtest/gtest.h>

using namespace difftest;

namespace {

TEST(Oracle, NamesInTheOrderOfTheirSimpleCaseFolding)
{
    // Folded alike, ties by the exact name (UTF-16 units): ſ is s, the Kelvin sign k, ẞ ß, Ά ά,
    // µ μ, Σ and ς σ, the Angstrom sign å; İ and ı fold to nothing else; 😀 (a surrogate pair)
    // comes before fullwidth Ａ unit by unit.
    const std::vector<std::string> ordered = {"A", "a", "ka",     "\u212Aa", "kb", "sa", "ſa", "sb", "z",  "ß", "ẞ",
                                              "Å", "å", "\u212B", "İ",       "ı",  "ƀ",  "Ƀ",  "ǅ",  "ǆ",  "Ά", "ά",
                                              "µ", "μ", "Σ",      "ς",       "σ",  "Ж",  "ж",  "😀",  "Ａ", "ａ"};
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_TRUE(nameBefore(ordered[i], ordered[i + 1])) << ordered[i] << " before " << ordered[i + 1];
        EXPECT_FALSE(nameBefore(ordered[i + 1], ordered[i])) << ordered[i + 1] << " after " << ordered[i];
    }
}

const FieldModel& fieldOf(const DesignModel& d, const std::string& table, const std::string& field)
{
    for (const auto& t : d.tables)
        if (t.name == table)
            for (const auto& f : t.fields)
                if (f.name == field) return f;
    throw std::runtime_error("no field " + field);
}

const Value& valueOf(const ValueList& list, const std::string& name)
{
    for (const auto& v : list)
        if (v.name == name) return v.value;
    throw std::runtime_error("no property " + name);
}

std::string sqlOf(const DesignModel& d, const std::string& query)
{
    for (const auto& q : d.queries)
        if (q.name == query) return valueOf(q.properties, "SQL").text;
    throw std::runtime_error("no query " + query);
}

TEST(Oracle, ValuesAndSqlOfTheCasesAimedAt)
{
    const DesignModel d = expectedDesign(mdbgen::parseDescription(R"D(
table T
  field "C😀" long
  field E text(5) DefaultValue="" Blob:binary=0x Scale:single=0.1 Required:integer=-1
  field L long "required"=yes
query Q select
  parameter "[Forms]![F]![C]" text(5)
  row 2 flag=0 name1="Any"
  row 5 name2="Sub" expression="SELECT a FROM T"
  column "Sub.a"
  row 11 name1="d" expression="Sub.a"
query X crosstab
  from T
  column "Count(T.E)" as N flag=0
  column "T.E" flag=2
  column "T.C" flag=1
  groupby "T.E" flag=2
  groupby "(T.C)" flag=1
)D"));
    const FieldModel& e = fieldOf(d, "T", "E");
    EXPECT_EQ(e.properties[12].value.describe(), "\"\"");           // an empty text, not Null
    EXPECT_EQ(valueOf(e.properties, "Blob").describe(), "\"0x\"");  // an empty binary
    float single = 0.1f;
    EXPECT_EQ(valueOf(e.properties, "Scale").number, static_cast<double>(single));  // exact, not 0.1
    EXPECT_NE(valueOf(e.properties, "Scale").number, 0.1);
    EXPECT_EQ(e.properties[15].value.describe(), "-1");  // as stored: an Integer
    EXPECT_EQ(fieldOf(d, "T", "C😀").name, "C😀");
    const FieldModel& l = fieldOf(d, "T", "L");
    EXPECT_EQ(l.properties[15].value.describe(), "True");  // "required" is Required
    EXPECT_EQ(l.properties.size(), 17u);                   // and not another property
    EXPECT_EQ(sqlOf(d, "Q"),
              "PARAMETERS [Forms]![F]![C] Text ( 5 ), Any Value;\r\nSELECT Sub.a\r\n"
              "FROM (SELECT a FROM T) AS Sub\r\nORDER BY Sub.a DESC;");
    EXPECT_EQ(sqlOf(d, "X"), "TRANSFORM Count(T.E) AS N\r\nSELECT T.E\r\nFROM T\r\nGROUP BY T.E\r\nPIVOT T.C;");
}

// A log of table T as the comparison writes it, with one line in T's fields block.
std::string logOfT(const std::string& db1, const std::string& db2, const std::string& fieldLine)
{
    return "Comparison Log for /x/" + db1 + " and /x/" + db2 +
           "\r\n\r\nTABLE COMPARISONS\r\n\r\n   COMPARISON LOG FOR T\r\n\r\n"
           "      FIELDS COMPARISON\r\n         " +
           fieldLine +
           "\r\n\r\n"
           "      PRIMARY KEY AND INDEX COMPARISON\r\n         Primary keys and indexes OK\r\n\r\n\r\n"
           "RELATION COMPARISONS\r\n   Relations OK\r\n\r\n\r\nQUERIES COMPARISONS\r\n   Queries OK\r\n";
}

TEST(Oracle, LogCheckFailsOnAMissedOrAFalseDifference)
{
    const DesignModel a = expectedDesign(mdbgen::parseDescription("table T\n field F text(10)\n field G long\n"));
    const DesignModel b = expectedDesign(mdbgen::parseDescription("table T\n field F text(20)\n field G long\n"));
    Counts counts;
    const std::string sizesOfF = "The fields F have different sizes", sizesOfG = "The fields G have different sizes";
    EXPECT_TRUE(checkPairLogs(logOfT("a.mdb", "b.mdb", sizesOfF), logOfT("b.mdb", "a.mdb", sizesOfF), a, b, "a.mdb",
                              "b.mdb", counts)
                    .empty());
    EXPECT_EQ(counts["log differences"], 1);

    std::vector<Mismatch> wrong = checkPairLogs(logOfT("a.mdb", "b.mdb", sizesOfG), logOfT("b.mdb", "a.mdb", sizesOfG),
                                                a, b, "a.mdb", "b.mdb", counts);
    ASSERT_EQ(wrong.size(), 3u);  // F missed, G reported in each log
    EXPECT_EQ(wrong[0].category, "log: a difference not reported");
    EXPECT_EQ(wrong[0].object, "table \"T\" field \"F\"");
    EXPECT_EQ(wrong[1].category, "log: a line for no difference");
    EXPECT_EQ(wrong[1].object, "table \"T\" field \"G\"");

    EXPECT_TRUE(checkSameFileLog(logOfT("a.mdb", "a.mdb", "T OK"), a, "a.mdb").empty());
    std::vector<Mismatch> self = checkSameFileLog(logOfT("a.mdb", "a.mdb", sizesOfF), a, "a.mdb");
    ASSERT_EQ(self.size(), 2u);  // a line of difference, and no OK line for T's fields
    EXPECT_EQ(self[0].category, "log: the same file differs from itself");
    EXPECT_EQ(self[1].category, "log: the same file lacks an OK line");
}

}  // namespace
