// The differences of a finished comparison run as one JSON document, for scripts: both databases,
// the sections compared, every line of difference in log order with its exact text and its twin's
// data (compare/difference.h), and counts per kind and of the OK lines. The JSON Schema
// run/dualyn-compare.schema.json (installed as share/dualyn/dualyn-compare.schema.json) describes
// it field by field.
//
//     ComparisonRun run(window, logFile);
//     run.cmdCompare_Click();
//     std::cout << DifferenceReportJson(run) << "\n";
#pragma once

#include <string>

namespace dualyn {

class ComparisonRun;
struct RunReport;

// The document for what run found in its last cmdCompare_Click, as UTF-8 text indented by two
// spaces, without a line end after the closing brace. Names and values are the engine's, whole
// (any Unicode, any control character, escaped as JSON escapes them). A database's path appears
// as engine::printablePath shows it, each byte that is not UTF-8 and each control character as
// \xHH, with "pathEscaped" true when that changed anything. The sections listed are those ticked
// in the run's window, none when a database did not open.
//
//     {"documentVersion": 1, "databases": [{"path": "a.mdb", ...}, ...], "sections": ["tables"],
//      "cancelled": false, "differences": [{"section": "tables", "kind": "field property",
//      "line": "         The fields City have different sizes", ...}], "counts": {...}}
std::string DifferenceReportJson(const ComparisonRun& run);
// The same document for a run's report (run_report.h), as a viewer keeps it after the run.
std::string DifferenceReportJson(const RunReport& report);

}  // namespace dualyn
