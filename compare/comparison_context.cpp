#include "comparison_context.h"

namespace dualyn {

void ComparisonContext::WriteDifference(Difference twin)
{
    if (countsLogLines_) {
        std::size_t breaks = 0;  // the empty lines the text starts with (or holds)
        for (std::size_t at = twin.line.find("\r\n"); at != std::string::npos; at = twin.line.find("\r\n", at + 2))
            ++breaks;
        twin.logLine = logLinesWritten_ + breaks;
    }
    WriteLog(twin.line);
    differences.push_back(std::move(twin));
}

void ComparisonContext::CountLogLines(const std::string& text) const
{
    ++logLinesWritten_;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++logLinesWritten_;
}

void ComparisonContext::WriteOk(OkKind kind, const std::string& line)
{
    WriteLog(line);
    ++okCounts[kind];
}

}  // namespace dualyn
