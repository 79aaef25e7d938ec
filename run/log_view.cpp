#include "log_view.h"

#include "comparison_log.h"
#include "text_codec.h"

namespace dualyn {

namespace {

// The headings of the sections, as the log writes them.
std::optional<Section> SectionOfHeading(const std::string& line)
{
    if (line == "TABLE COMPARISONS") return Section::Tables;
    if (line == "RELATION COMPARISONS") return Section::Relations;
    if (line == "QUERIES COMPARISONS") return Section::Queries;
    return std::nullopt;
}

bool StartsWith(const std::string& text, std::string_view start)
{
    return text.size() >= start.size() && std::string_view(text).substr(0, start.size()) == start;
}

bool EndsWith(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && std::string_view(text).substr(text.size() - end.size()) == end;
}

// The log's lines as its bytes hold them, without their CR LF; a last line without one counts.
//     SplitLogLines("a\r\n\r\nb") == {"a", "", "b"}
std::vector<std::string_view> SplitLogLines(std::string_view logBytes)
{
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < logBytes.size();) {  // start: where the next line begins
        std::size_t end = logBytes.find("\r\n", start);
        if (end == std::string_view::npos) end = logBytes.size();
        lines.push_back(logBytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A line of the log's bytes as UTF-8.
std::string DecodeLine(std::string_view raw)
{
    return engine::cp1252ToUtf8(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
}

}  // namespace

std::vector<std::string> DecodeLogLines(std::string_view logBytes)
{
    std::vector<std::string> lines;
    for (std::string_view raw : SplitLogLines(logBytes)) lines.push_back(DecodeLine(raw));
    return lines;
}

LogView ReadLogView(std::string_view logBytes, const RunReport& report)
{
    LogView view;
    const std::vector<std::string_view> raw = SplitLogLines(logBytes);  // the lines' bytes
    view.lines.resize(raw.size());
    view.differenceLines.resize(report.differences.size());

    // The twins first: each at the line the run wrote it to, when the file still holds it there.
    for (std::size_t i = 0; i < report.differences.size(); ++i) {
        const Difference& d = report.differences[i];
        if (!d.logLine || *d.logLine >= raw.size()) continue;
        if (raw[*d.logLine] != toWindows1252(LastLineOfDifference(d))) continue;
        if (view.lines[*d.logLine].difference) continue;  // two twins never share a line
        view.lines[*d.logLine].difference = i;
        view.differenceLines[i] = *d.logLine;
    }

    std::optional<Section> section;            // the section the walk is in
    std::optional<std::size_t> sectionLine;    // its heading's line
    std::optional<std::size_t> tableLine;      // the heading of the table block the walk is in
    for (std::size_t n = 0; n < raw.size(); ++n) {
        LogLine& line = view.lines[n];
        line.text = DecodeLine(raw[n]);
        if (line.difference) {
            line.kind = LogLineKind::Difference;
        } else if (line.text.empty()) {
            line.kind = LogLineKind::Blank;
        } else if (n == 0 && StartsWith(line.text, "Comparison Log for ")) {
            line.kind = LogLineKind::Title;
        } else if (auto heading = SectionOfHeading(line.text)) {
            line.kind = LogLineKind::SectionHeading;
            section = heading;
            sectionLine = n;
            tableLine.reset();
            line.section = section;
            continue;  // a heading folds under nothing
        } else if (section == Section::Tables && StartsWith(line.text, "   COMPARISON LOG FOR ")) {
            line.kind = LogLineKind::TableHeading;
            line.section = section;
            line.parent = sectionLine;
            tableLine = n;
            continue;
        } else if (line.text == "      FIELDS COMPARISON" || line.text == "      PRIMARY KEY AND INDEX COMPARISON") {
            line.kind = LogLineKind::PartHeading;
        } else if (line.text == "         Primary keys and indexes OK" || line.text == "   Relations OK" ||
                   line.text == "   Queries OK" ||
                   (tableLine && StartsWith(line.text, "         ") && EndsWith(line.text, " OK"))) {
            line.kind = LogLineKind::Ok;
        }
        line.section = section;
        line.parent = tableLine ? tableLine : sectionLine;
    }
    return view;
}

std::string LastLineOfDifference(const Difference& d)
{
    const std::size_t lastBreak = d.line.rfind("\r\n");
    return lastBreak == std::string::npos ? d.line : d.line.substr(lastBreak + 2);
}

std::string DescribeDifference(const Difference& d)
{
    const auto only = [&d](const std::string& what) {
        return what + " is only in database " + std::to_string(d.presentIn);
    };
    const std::string table = d.table.value_or("");
    switch (d.kind) {
    case DifferenceKind::TableMissing: return only("Table " + table);
    case DifferenceKind::FieldMissing: return only("Field " + table + "." + d.field.value_or(""));
    case DifferenceKind::FieldOrder: return "Field " + table + "." + d.field.value_or("") + " is at another position";
    case DifferenceKind::FieldProperty:
        return "Field " + table + "." + d.field.value_or("") + ": " + d.property.value_or("") + " differs";
    case DifferenceKind::PrimaryKey:
        if (d.presentIn) return only("The primary key of table " + table);
        return "Table " + table + ": the primary keys have different fields";
    case DifferenceKind::IndexProperty:
        return "Index " + table + "." + d.index.value_or("") + ": " + d.property.value_or("") + " differs";
    case DifferenceKind::IndexMissing: return only("Index " + table + "." + d.index.value_or(""));
    case DifferenceKind::RelationMissing: return only("Relation " + (d.relation ? d.relation->description : ""));
    case DifferenceKind::RelationAttributes:
        return "Relation " + (d.relation ? d.relation->description : "") + ": " + d.property.value_or("") + " differs";
    case DifferenceKind::QueryMissing: return only("Query " + d.query.value_or(""));
    case DifferenceKind::QueryProperty: return "Query " + d.query.value_or("") + ": " + d.property.value_or("") + " differs";
    }
    return "";
}

}  // namespace dualyn
