#include "comparison_context.h"

namespace dualyn {

namespace {

// The CR LF pairs in text: the empty lines a line written to the log starts with (or holds).
//     LineBreaksIn("\r\n   Old was not found in b.mdb") == 1
std::size_t LineBreaksIn(const std::string& text)
{
    std::size_t breaks = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++breaks;
    return breaks;
}

}  // namespace

void ComparisonContext::WriteDifference(Difference twin)
{
    if (countsLogLines_) twin.logLine = logLinesWritten_ + LineBreaksIn(twin.line);
    WriteLog(twin.line);
    differences.push_back(std::move(twin));
}

void ComparisonContext::CountLogLines(const std::string& text) const
{
    logLinesWritten_ += 1 + LineBreaksIn(text);
}

void ComparisonContext::WriteOk(OkKind kind, const std::string& line)
{
    WriteLog(line);
    ++okCounts[kind];
}

}  // namespace dualyn
