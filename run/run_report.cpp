#include "run_report.h"

#include "comparison_run.h"
#include "object_summary.h"

#include <ctime>
#include <iterator>

namespace dualyn {

std::size_t RunReport::OkCount(OkKind kind) const
{
    const auto counted = okCounts.find(kind);
    return counted == okCounts.end() ? 0 : counted->second;
}

std::size_t RunReport::DifferenceCount(DifferenceKind kind) const
{
    std::size_t count = 0;
    for (const Difference& d : differences) count += d.kind == kind;
    return count;
}

std::size_t RunReport::DifferenceCount(Section section) const
{
    std::size_t count = 0;
    for (const Difference& d : differences) count += SectionOf(d.kind) == section;
    return count;
}

RunReport ReportOf(const ComparisonRun& run)
{
    RunReport report;
    const bool bothOpened = run.opened[0].format && run.opened[1].format;
    for (int i = 0; i < 2; ++i) {
        report.databases[i].path = run.opened[i].path;
        report.databases[i].format = run.opened[i].format;
        if (bothOpened) report.databases[i].fileName = i == 0 ? run.strDB1Name : run.strDB2Name;
    }
    if (bothOpened) {
        const CheckBox boxes[] = {CheckBox::chkTables, CheckBox::chkRelations, CheckBox::chkQueries};
        for (std::size_t i = 0; i < std::size(boxes); ++i)
            if (run.window.IsTicked(boxes[i])) report.sections.push_back(kSections[i]);
    }
    report.cancelled = run.blnCancel;
    report.differences = run.differences;
    report.okCounts = run.okCounts;
    report.logFile = run.strLogFile;
    report.ended = std::chrono::system_clock::now();
    return report;
}

std::string ValueForPeople(const engine::Variant& value, bool fieldType)
{
    if (value.isNull()) return "Null";
    if (value.isBoolean()) return value.boolean() ? "True" : "False";
    if (value.isText()) return value.text();
    std::string shown = value.describe();
    if (fieldType) shown += " (" + FieldTypeName(value) + ")";
    return shown;
}

std::array<std::string, 2> ValuesForPeople(const Difference& d)
{
    const bool fieldType = d.kind == DifferenceKind::FieldProperty && d.property == "Type";
    return {d.value1 ? ValueForPeople(*d.value1, fieldType) : std::string(),
            d.value2 ? ValueForPeople(*d.value2, fieldType) : std::string()};
}

std::string LocalTimeText(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];  // "2026-12-06 22:41:07" and its end
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace dualyn
