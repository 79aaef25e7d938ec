#include "difference_report.h"

#include "comparison_run.h"
#include "printable_path.h"
#include "run_report.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>

namespace dualyn {

namespace {

using Json = nlohmann::ordered_json;  // keys in the order written, as the schema lists them

// The document's own version: raised when a field changes its meaning or goes.
constexpr int kDocumentVersion = 1;

// A value as compared: {"type": "number", "value": 30}. A whole number up to 2^53 is a JSON
// integer, another finite number a JSON number, NaN and the infinities the strings "NaN",
// "Infinity" and "-Infinity" (JSON has no numbers for them); a Null {"type": "null", "value":
// null}. No value at all (the line compared none) is null.
Json ValueJson(const std::optional<engine::Variant>& value)
{
    if (!value) return nullptr;
    const engine::Variant& v = *value;
    if (v.isNull()) return Json{{"type", "null"}, {"value", nullptr}};
    if (v.isBoolean()) return Json{{"type", "boolean"}, {"value", v.boolean()}};
    if (v.isText()) return Json{{"type", "text"}, {"value", v.text()}};
    const double n = v.number();
    Json number;  // the value as JSON holds it
    if (std::isnan(n))
        number = "NaN";
    else if (std::isinf(n))
        number = n > 0 ? "Infinity" : "-Infinity";
    else if (std::trunc(n) == n && std::fabs(n) <= 9007199254740992.0 && !(n == 0 && std::signbit(n)))
        number = static_cast<std::int64_t>(n);
    else
        number = n;
    return Json{{"type", "number"}, {"value", number}};
}

// An optional text as JSON: the text, or null.
Json TextOrNull(const std::optional<std::string>& text)
{
    return text ? Json(*text) : Json(nullptr);
}

// A relation's names as a line of difference gives them, or null for a line not about one.
Json RelationJson(const std::optional<RelationNames>& relation)
{
    if (!relation) return nullptr;
    return Json{{"description", relation->description}, {"table", relation->table},
                {"field", relation->field},             {"foreignTable", relation->foreignTable},
                {"name1", TextOrNull(relation->name1)}, {"name2", TextOrNull(relation->name2)}};
}

// One line of difference: its section, kind and exact text, then its twin's data; every key is
// there, null where the line has nothing to say.
Json DifferenceJson(const Difference& d)
{
    return Json{{"section", SectionName(SectionOf(d.kind))},
                {"kind", KindName(d.kind)},
                {"line", d.line},
                {"walked", d.walked},
                {"presentIn", d.presentIn ? Json(d.presentIn) : Json(nullptr)},
                {"table", TextOrNull(d.table)},
                {"field", TextOrNull(d.field)},
                {"index", TextOrNull(d.index)},
                {"query", TextOrNull(d.query)},
                {"relation", RelationJson(d.relation)},
                {"property", TextOrNull(d.property)},
                {"position", d.position ? Json(*d.position) : Json(nullptr)},
                {"value1", ValueJson(d.value1)},
                {"value2", ValueJson(d.value2)}};
}

// Database 1 or 2 of the run: its path as given, whether showing it needed escapes, the file name
// the log's lines use for it (null unless both databases opened, as the run names them only
// then) and its format (null when it did not open).
Json DatabaseJson(const RunReport::Database& database, bool bothOpened)
{
    const std::string shown = engine::printablePath(database.path);
    return Json{{"path", shown},
                {"pathEscaped", shown != database.path},
                {"fileName", bothOpened ? Json(database.fileName) : Json(nullptr)},
                {"format", database.format ? Json(engine::formatName(*database.format)) : Json(nullptr)}};
}

// The number of lines of difference, of each kind of them (every kind, 0 too), and of each kind
// of OK line by section.
Json CountsJson(const RunReport& report)
{
    Json byKind = Json::object();
    for (DifferenceKind kind : kDifferenceKinds) byKind[std::string(KindName(kind))] = report.DifferenceCount(kind);
    Json ok = Json::object();
    for (Section section : kSections) ok[std::string(SectionName(section))] = Json::object();
    for (OkKind kind : kOkKinds)
        ok[std::string(SectionName(SectionOf(kind)))][std::string(OkKindName(kind))] = report.OkCount(kind);
    return Json{{"differences", report.differences.size()}, {"byKind", byKind}, {"ok", ok}};
}

}  // namespace

std::string DifferenceReportJson(const RunReport& report)
{
    const bool bothOpened = report.databases[0].format && report.databases[1].format;
    Json sections = Json::array();
    for (Section section : report.sections) sections.push_back(SectionName(section));
    Json differences = Json::array();
    for (const Difference& d : report.differences) differences.push_back(DifferenceJson(d));
    Json document{{"documentVersion", kDocumentVersion},
                  {"databases", Json::array({DatabaseJson(report.databases[0], bothOpened),
                                             DatabaseJson(report.databases[1], bothOpened)})},
                  {"sections", sections},
                  {"cancelled", report.cancelled},
                  {"differences", differences},
                  {"counts", CountsJson(report)}};
    return document.dump(2);
}

std::string DifferenceReportJson(const ComparisonRun& run)
{
    return DifferenceReportJson(ReportOf(run));
}

}  // namespace dualyn
