// The golden pairs of tests/golden run as the golden test runs them, and what the tests of the
// differences' twins and their JSON report check them against: the log's lines of difference
// told apart from its frame, headings and OK lines by their wording alone, and the report's
// validation by the JSON Schema with Debian's python3-jsonschema.
#pragma once

#include "comparison_run.h"
#include "headless_window.h"
#include "run_command.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace goldenpair {

// The golden cases: the folders of tests/golden, sorted.
std::vector<std::string> cases();

// One golden pair, written and compared: its databases in dir, the run and the log it wrote.
struct GoldenRun {
    testsupport::TempDir dir;
    dualyn::HeadlessWindow window;
    std::unique_ptr<dualyn::ComparisonRun> run;
    std::string log;  // the log's bytes, with the folder of the databases as {DIR}
};

// Writes the databases of the golden case of that name as its run.txt says, and runs the
// comparison on them. Throws std::runtime_error on a setting run.txt does not know.
std::unique_ptr<GoldenRun> runCase(const std::string& name);

// The log's contents as the texts handed to WriteLog: each line with as many "\r\n" before it as
// empty lines stand before it. "a\r\n\r\nb\r\n" gives {"a", "\r\nb"}.
std::vector<std::string> writtenTexts(const std::string& log);

// What a log holds besides its frame (the first line, the headings): its lines of difference in
// order, as handed to WriteLog, and its OK lines by kind, told apart by their wording alone.
struct LogFindings {
    std::vector<std::string> differences;
    std::map<dualyn::OkKind, std::size_t> ok;
};
LogFindings findingsOf(const std::string& log);

// The twins' lines as the log file holds them (Windows-1252).
std::vector<std::string> logLinesOf(const std::vector<dualyn::Difference>& twins);

// Validates json against run/dualyn-compare.schema.json (draft 2020-12, the schema itself checked
// first) with python3-jsonschema: "" when valid, otherwise what the validator said.
std::string schemaProblems(const std::string& json);

}  // namespace goldenpair
