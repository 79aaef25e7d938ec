// What the comparisons share with the run that calls them: the log they write their lines to, the
// two databases' file names that the lines name, the cancel flag they test, the window whose
// status line and progress bar they move, and what they found: each line of difference's twin
// (difference.h) in log order, and the OK lines counted. The run (run/comparison_run.h) provides it.
//
//     CompareTables(context, *db1, *db2);   // writes through context.WriteLog, stops on blnCancel
//     context.differences.size();           // the lines of difference it wrote
#pragma once

#include "difference.h"
#include "run_window.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace dualyn {

class ComparisonContext {
public:
    explicit ComparisonContext(RunWindow& window) : window(window) {}
    virtual ~ComparisonContext() = default;
    ComparisonContext(const ComparisonContext&) = delete;
    ComparisonContext& operator=(const ComparisonContext&) = delete;

    // Appends one line to the comparison log.
    virtual void WriteLog(const std::string& line) const = 0;

    // Writes twin.line to the log (WriteLog), then keeps twin as the next of differences. A line
    // that WriteLog refuses with an error has no twin.
    void WriteDifference(Difference twin);

    // Writes an OK line to the log (WriteLog), then counts it under kind.
    //     WriteOk(OkKind::Relations, "   Relations OK");  // okCounts[OkKind::Relations] + 1
    void WriteOk(OkKind kind, const std::string& line);

    std::string strDB1Name;  // shown in log lines: bytes that are no UTF-8 as \xHH (printable_path.h)
    std::string strDB2Name;
    bool blnCancel = false;  // set by Cancel; each comparison stops at its next test of it
    RunWindow& window;

    std::vector<Difference> differences;       // the twins of the lines of difference, in log order
    std::map<OkKind, std::size_t> okCounts;    // OK lines written, by kind; a kind never written is absent

protected:
    // Counts the lines that text adds to the log (each CR LF in it starts one more): a context
    // whose WriteLog writes a log from its start calls it for every line written, and the twins
    // then know their line in the file (Difference::logLine).
    void CountLogLines(const std::string& text) const;
    void ForgetLogLines() { logLinesWritten_ = 0; countsLogLines_ = true; }

private:
    mutable std::size_t logLinesWritten_ = 0;  // lines the log holds, when counted
    bool countsLogLines_ = false;              // set once a run counts from the log's start
};

}  // namespace dualyn
