#include "comparison_context.h"

namespace dualyn {

void ComparisonContext::WriteDifference(Difference twin)
{
    WriteLog(twin.line);
    differences.push_back(std::move(twin));
}

void ComparisonContext::WriteOk(OkKind kind, const std::string& line)
{
    WriteLog(line);
    ++okCounts[kind];
}

}  // namespace dualyn
