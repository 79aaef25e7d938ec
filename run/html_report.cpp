#include "html_report.h"

#include "log_view.h"
#include "printable_path.h"
#include "run_report.h"
#include "text_diff.h"

namespace dualyn {

namespace {

// The page's style: quiet, readable in light and dark, long texts kept as they are.
constexpr std::string_view kStyle = R"(body{font-family:sans-serif;margin:1.5em;line-height:1.4}
table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #8888;padding:.2em .6em;text-align:left;vertical-align:top}
pre{margin:0;white-space:pre-wrap;font-family:monospace}.line{font-family:monospace;white-space:pre}
mark{background:#ffc066;color:inherit;text-decoration:underline}
.difference{margin:1em 0;padding:.5em .8em;border-left:4px solid #d9822b}
@media (prefers-color-scheme:dark){body{background:#1e1e1e;color:#ddd}mark{background:#9a5a10}})";

// A database's line of the header: "Database 1: /path/a.mdb (Jet 4)".
std::string DatabaseItem(const RunReport& report, int database)
{
    const RunReport::Database& db = report.databases[database - 1];
    std::string item = "<li>Database " + std::to_string(database) + ": <code>" +
                       EscapeHtml(engine::printablePath(db.path)) + "</code>";
    if (db.format) item += " (" + std::string(engine::formatName(*db.format)) + ")";
    return item + "</li>\n";
}

// The counts: lines of difference per section and kind, then the OK lines.
std::string CountsTable(const RunReport& report)
{
    std::string html = "<table><tr><th>Section</th><th>Kind</th><th>Lines</th></tr>\n";
    for (DifferenceKind kind : kDifferenceKinds) {
        const std::size_t count = report.DifferenceCount(kind);
        if (count == 0) continue;
        html += "<tr><td>" + std::string(SectionName(SectionOf(kind))) + "</td><td>" + std::string(KindName(kind)) +
                "</td><td>" + std::to_string(count) + "</td></tr>\n";
    }
    for (OkKind kind : kOkKinds) {
        const std::size_t count = report.OkCount(kind);
        if (count == 0) continue;
        html += "<tr><td>" + std::string(SectionName(SectionOf(kind))) + "</td><td>OK: " +
                std::string(OkKindName(kind)) + "</td><td>" + std::to_string(count) + "</td></tr>\n";
    }
    return html + "</table>\n";
}

// A value in a cell, as it is, line by line, its changed words (text_diff.h) marked.
std::string ValueCell(const std::vector<DiffLine>& lines, bool endsWithLineEnd)
{
    std::string html = "<td><pre>";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) html += "\n";
        for (const DiffSegment& segment : lines[i].segments)
            html += segment.changed ? "<mark>" + EscapeHtml(segment.text) + "</mark>" : EscapeHtml(segment.text);
    }
    return html + (endsWithLineEnd ? "\n" : "") + "</pre></td>";
}

// One line of difference: what it says, the log's line, the objects and both values, or what the
// database that has a missing object holds.
std::string DifferenceBlock(const Difference& d, std::size_t number)
{
    std::string html = "<div class=\"difference\" id=\"d" + std::to_string(number) + "\">\n<p><b>" +
                       std::to_string(number) + ". " + EscapeHtml(DescribeDifference(d)) + "</b> (" +
                       std::string(SectionName(SectionOf(d.kind))) + ", " + std::string(KindName(d.kind)) +
                       ")</p>\n<p class=\"line\">" + EscapeHtml(LastLineOfDifference(d)) + "</p>\n";
    if (d.value1 || d.value2) {
        const std::array<std::string, 2> values = ValuesForPeople(d);
        const TextDiff diff = DiffTexts(values[0], values[1]);
        html += "<table><tr><th></th><th>Database 1</th><th>Database 2</th></tr>\n<tr><th>" +
                EscapeHtml(d.property.value_or("Value")) + "</th>" + ValueCell(diff.lines1, diff.endsWithLineEnd1) + ValueCell(diff.lines2, diff.endsWithLineEnd2) +
                "</tr></table>\n";
    }
    if (!d.presentContent.empty())
        html += "<p>Database " + std::to_string(d.presentIn) + " has:</p>\n<pre>" + EscapeHtml(d.presentContent) +
                "</pre>\n";
    return html + "</div>\n";
}

}  // namespace

std::string EscapeHtml(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string DifferenceReportHtml(const RunReport& report)
{
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
        "<title>Dualyn comparison report</title>\n<style>\n" + std::string(kStyle) + "\n</style>\n</head>\n<body>\n"
        "<h1>Dualyn comparison report</h1>\n<ul>\n" + DatabaseItem(report, 1) + DatabaseItem(report, 2) +
        "<li>Run ended: " + LocalTimeText(report.ended) + (report.cancelled ? " (cancelled)" : "") + "</li>\n" +
        "<li>Log: <code>" + EscapeHtml(engine::printablePath(report.logFile)) + "</code></li>\n</ul>\n";
    html += "<h2>Counts</h2>\n<p>" + std::to_string(report.differences.size()) + " lines of difference.</p>\n" +
            CountsTable(report);
    html += "<h2>Differences</h2>\n";
    if (report.differences.empty()) html += "<p>None.</p>\n";
    for (std::size_t i = 0; i < report.differences.size(); ++i) html += DifferenceBlock(report.differences[i], i + 1);
    return html + "</body>\n</html>\n";
}

}  // namespace dualyn
