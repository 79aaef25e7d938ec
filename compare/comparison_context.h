// What the comparisons share with the run that calls them: the log they write their lines to, the
// two databases' file names that the lines name, the cancel flag they test, and the window whose
// status line and progress bar they move. The run (run/comparison_run.h) provides it.
//
//     CompareTables(context, *db1, *db2);   // writes through context.WriteLog, stops on blnCancel
#pragma once

#include "run_window.h"

#include <string>

namespace dualyn {

class ComparisonContext {
public:
    explicit ComparisonContext(RunWindow& window) : window(window) {}
    virtual ~ComparisonContext() = default;
    ComparisonContext(const ComparisonContext&) = delete;
    ComparisonContext& operator=(const ComparisonContext&) = delete;

    // Appends one line to the comparison log.
    virtual void WriteLog(const std::string& line) const = 0;

    std::string strDB1Name;  // shown in log lines: bytes that are no UTF-8 as \xHH (printable_path.h)
    std::string strDB2Name;
    bool blnCancel = false;  // set by Cancel; each comparison stops at its next test of it
    RunWindow& window;
};

}  // namespace dualyn
