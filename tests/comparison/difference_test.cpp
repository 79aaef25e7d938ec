// The twins of the lines of difference, checked by hand on golden pairs: the values each line
// stands for (field sizes, SQL texts whole, Booleans, the positions of moved fields), the property
// behind each of the index lines that repeat, and names whole where the log shows "?". Then the
// JSON report: names and values with quotes, backslashes, control characters and characters
// beyond the Basic Multilingual Plane come back from it unchanged, and its schema refuses what it
// does not describe.
#include "comparison_log.h"
#include "difference_report.h"
#include "golden_pair.h"
#include "query_comparison.h"
#include "relation_comparison.h"
#include "table_comparison.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>

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

// Property lists in the engine's order (engine/design.h), with the values that matter here: a
// text field's, with the given size, default value and validation text, the rest fixed.
engine::PropertyList fieldProperties(const std::string& name, const Variant& size, const Variant& defaultValue,
                                     const Variant& validationText)
{
    const Variant no = Variant::boolean(false);
    return {{"Value", Variant()},           {"Attributes", Variant::number(2)}, {"CollatingOrder", Variant::number(1033)},
            {"Type", Variant::number(10)},  {"Name", Variant::text(name)},      {"OrdinalPosition", Variant::number(0)},
            {"Size", size},                 {"SourceField", Variant::text(name)}, {"SourceTable", Variant::text("T")},
            {"ValidateOnSet", no},          {"DataUpdatable", no},              {"ForeignName", Variant()},
            {"DefaultValue", defaultValue}, {"ValidationRule", Variant::text("")}, {"ValidationText", validationText},
            {"Required", no},               {"AllowZeroLength", no}};
}

// A select query's, with its SQL text.
engine::PropertyList queryProperties(const std::string& name, const std::string& sql)
{
    const Variant yes = Variant::boolean(true), zero = Variant::number(0);
    return {{"Name", Variant::text(name)}, {"DateCreated", zero}, {"LastUpdated", zero}, {"Type", zero},
            {"SQL", Variant::text(sql)},   {"Updatable", yes},    {"Connect", Variant::text("")},
            {"ReturnsRecords", yes},       {"ODBCTimeout", Variant::number(60)}, {"RecordsAffected", zero},
            {"MaxRecords", zero}};
}

// A relation on one field pair, the field's name the same on both sides, with its Attributes.
engine::RelationDesign relation(const std::string& name, const std::string& table, const std::string& field,
                                const std::string& foreignTable, double attributes)
{
    return {name, table, foreignTable, {{field, field}},
            {{"Name", Variant::text(name)}, {"Table", Variant::text(table)}, {"ForeignTable", Variant::text(foreignTable)},
             {"Attributes", Variant::number(attributes)}, {"PartialReplica", Variant::boolean(false)}}};
}

// Names and values that JSON has to escape or that take four bytes of UTF-8, through every
// section's twins into the report and back.
TEST(DifferenceReport, NamesAndValuesComeBackFromTheJsonUnchanged)
{
    const std::string odd = "Q\"uote \\back\\slash\ttab\nline\x01\x1F\x7F \u2028 𝄞😀";  // a name, and a value
    const std::string table = "T " + odd, field = "F " + odd, query = "Q " + odd, sql = "SELECT \"" + odd + "\";";
    auto design = [&](bool second) {
        engine::DatabaseDesign d;
        d.name = second ? "/data/b.mdb" : "/data/a.mdb";
        engine::FieldDesign text{field, fieldProperties(field, Variant::number(second ? 40 : 30),
                                                        Variant::text(second ? "" : odd), Variant::text("x"))};
        // Not-a-number is unequal to itself, so it is reported; infinities differ by sign; a Null
        // is never a difference.
        engine::FieldDesign number{"N", fieldProperties("N", Variant::number(NAN), Variant::number(second ? -INFINITY : INFINITY),
                                                        second ? Variant::text("y") : Variant())};
        d.tables.push_back({table, {text, number}, {}});
        if (second) d.tables.push_back({"😀\x1F", {}, {}});
        d.relations.push_back(relation(second ? "R2 " + odd : "R1", table, field, table, second ? 0 : 256));
        d.queries.push_back({query, queryProperties(query, second ? sql + " " : sql)});
        return d;
    };
    testsupport::TempDir dir;
    dualyn::HeadlessWindow window;
    dualyn::ComparisonRun run(window, dir.file("log.txt"));
    run.db1 = std::make_shared<engine::Database>(design(false));
    run.db2 = std::make_shared<engine::Database>(design(true));
    run.strDB1Name = "caf\\xE9\\x0A.mdb";
    run.strDB2Name = "b.mdb";
    run.opened[0] = {"/data/caf\xE9\n.mdb", engine::FileFormat::Jet3};
    run.opened[1] = {"/data/b.mdb", engine::FileFormat::Ace};
    dualyn::CompareTables(run, *run.db1, *run.db2);
    dualyn::CompareRelations(run, *run.db1, *run.db2);
    dualyn::CompareQueries(run, *run.db1, *run.db2);

    std::vector<std::string> shown;
    for (const Difference& d : run.differences) shown.push_back(show(d));
    EXPECT_EQ(shown, (std::vector<std::string>{
        "field property walked=1 table=" + table + " field=" + field + " property=Size@6 30 | 40",
        "field property walked=1 table=" + table + " field=" + field + " property=DefaultValue@12 \"" + odd + "\" | \"\"",
        "field property walked=1 table=" + table + " field=N property=Size@6 nan | nan",
        "field property walked=1 table=" + table + " field=N property=DefaultValue@12 inf | -inf",
        "table missing walked=2 presentIn=2 table=😀\x1F",
        "relation attributes walked=1 relation=" + table + "." + field + " to " + table + " (" + table + "." + field +
            " -> " + table + ") names=R1/R2 " + odd + " property=Attributes@3 256 | 0",
        "query property walked=1 query=" + query + " property=SQL@4 \"" + sql + "\" | \"" + sql + " \"",
    }));

    const std::string json = dualyn::DifferenceReportJson(run);
    EXPECT_EQ(json.find('\x01'), std::string::npos) << "control characters are escaped";
    EXPECT_EQ(goldenpair::schemaProblems(json), "") << json;
    const nlohmann::json report = nlohmann::json::parse(json);

    ASSERT_EQ(report.at("databases").size(), 2u);
    EXPECT_EQ(report["databases"][0], nlohmann::json::parse(R"({"path": "/data/caf\\xE9\\x0A.mdb", "pathEscaped": true,
                                                                "fileName": "caf\\xE9\\x0A.mdb", "format": "Jet 3"})"));
    EXPECT_EQ(report["databases"][1], nlohmann::json::parse(R"({"path": "/data/b.mdb", "pathEscaped": false,
                                                                "fileName": "b.mdb", "format": "ACE"})"));
    EXPECT_EQ(report.at("sections"), nlohmann::json::parse(R"(["tables", "relations", "queries"])"));

    const nlohmann::json& differences = report.at("differences");
    ASSERT_EQ(differences.size(), run.differences.size());
    for (std::size_t i = 0; i < run.differences.size(); ++i) {
        const Difference& d = run.differences[i];
        const nlohmann::json& got = differences[i];
        SCOPED_TRACE("difference " + std::to_string(i));
        EXPECT_EQ(got.at("line"), d.line);
        EXPECT_EQ(got.at("kind"), std::string(dualyn::KindName(d.kind)));
        EXPECT_EQ(got.at("section"), std::string(dualyn::SectionName(dualyn::SectionOf(d.kind))));
        auto name = [](const nlohmann::json& j) {
            return j.is_null() ? std::nullopt : std::optional<std::string>(j.get<std::string>());
        };
        EXPECT_EQ(name(got.at("table")), d.table);
        EXPECT_EQ(name(got.at("field")), d.field);
        EXPECT_EQ(name(got.at("query")), d.query);
        EXPECT_EQ(name(got.at("property")), d.property);
        EXPECT_EQ(got.at("relation").is_null(), !d.relation);
        if (d.relation) {
            EXPECT_EQ(got["relation"].at("description"), d.relation->description);
            EXPECT_EQ(name(got["relation"].at("name2")), d.relation->name2);
        }
    }
    // Values by their kind: texts whole, numbers as numbers, those JSON has none for as words.
    EXPECT_EQ(differences[0]["value1"], nlohmann::json::parse(R"({"type": "number", "value": 30})"));
    EXPECT_TRUE(differences[0]["value1"]["value"].is_number_integer());
    EXPECT_EQ(differences[1]["value1"]["value"], odd);
    EXPECT_EQ(differences[1]["value2"], nlohmann::json::parse(R"({"type": "text", "value": ""})"));
    EXPECT_EQ(differences[2]["value1"]["value"], "NaN");
    EXPECT_EQ(differences[3]["value1"]["value"], "Infinity");
    EXPECT_EQ(differences[3]["value2"]["value"], "-Infinity");
    EXPECT_TRUE(differences[4]["value1"].is_null());
    EXPECT_EQ(differences[4]["presentIn"], 2);
    EXPECT_EQ(differences[6]["value2"]["value"], sql + " ");
    EXPECT_EQ(report.at("counts").at("byKind").at("field property"), 4);
    EXPECT_EQ(report["counts"]["byKind"].at("query missing"), 0);
    EXPECT_EQ(report["counts"].at("ok"), nlohmann::json::parse(R"({"tables": {"fields": 0, "primary keys and indexes": 1},
                                                                    "relations": {"relations": 0}, "queries": {"queries": 0}})"));
}

// A run whose database 2 did not open reports database 1's format, no file names (the run names
// the databases only once both are open), no section and no difference.
TEST(DifferenceReport, ADatabaseThatDidNotOpenHasNoFormat)
{
    std::unique_ptr<goldenpair::GoldenRun> golden = goldenpair::runCase("run-db2-missing");
    const std::string json = dualyn::DifferenceReportJson(*golden->run);
    EXPECT_EQ(goldenpair::schemaProblems(json), "") << json;
    const nlohmann::json report = nlohmann::json::parse(json);
    EXPECT_EQ(report.at("databases"), nlohmann::json::array(
        {{{"path", golden->dir.file("db1.mdb")}, {"pathEscaped", false}, {"fileName", nullptr}, {"format", "Jet 4"}},
         {{"path", golden->dir.file("db2.mdb")}, {"pathEscaped", false}, {"fileName", nullptr}, {"format", nullptr}}}));
    EXPECT_EQ(report.at("sections"), nlohmann::json::array());
    EXPECT_EQ(report.at("differences"), nlohmann::json::array());
    EXPECT_EQ(report.at("counts").at("differences"), 0);
}

// The schema is a real check: documents that break it in one place each are refused.
TEST(DifferenceReport, SchemaRefusesWhatItDoesNotDescribe)
{
    std::unique_ptr<goldenpair::GoldenRun> golden = goldenpair::runCase("run-all-sections");
    const nlohmann::json report = nlohmann::json::parse(dualyn::DifferenceReportJson(*golden->run));
    ASSERT_EQ(goldenpair::schemaProblems(report.dump()), "");
    ASSERT_EQ(report.at("differences").at(0).at("kind"), "field property");

    std::vector<std::pair<std::string, nlohmann::json>> broken;
    auto breakIt = [&](const std::string& what, const std::function<void(nlohmann::json&)>& change) {
        nlohmann::json copy = report;
        change(copy);
        broken.emplace_back(what, copy);
    };
    breakIt("a difference without its line", [](nlohmann::json& j) { j["differences"][0].erase("line"); });
    breakIt("an unknown kind", [](nlohmann::json& j) { j["differences"][0]["kind"] = "table gone"; });
    breakIt("a property line without its value", [](nlohmann::json& j) { j["differences"][0]["value1"] = nullptr; });
    breakIt("a value of the wrong type", [](nlohmann::json& j) { j["differences"][0]["value1"]["type"] = "text"; });
    breakIt("a third database", [](nlohmann::json& j) { j["differences"][0]["walked"] = 3; });
    breakIt("an unknown format", [](nlohmann::json& j) { j["databases"][1]["format"] = "Jet 5"; });
    breakIt("a kind left out of the counts", [](nlohmann::json& j) { j["counts"]["byKind"].erase("query missing"); });
    for (const auto& [what, document] : broken) EXPECT_NE(goldenpair::schemaProblems(document.dump()), "") << what;
}

}  // namespace
