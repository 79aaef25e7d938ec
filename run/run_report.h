// What a finished comparison run found, kept apart from the run so that a viewer or a report can
// hold it after the run has released its databases and started again: both databases, the
// sections compared, every line of difference's twin (compare/difference.h), the OK lines
// counted, the log's path and when the run ended.
//
//     RunReport report = ReportOf(run);   // right after run.cmdCompare_Click wrote the log
//     report.differences.size();          // its lines of difference
#pragma once

#include "difference.h"
#include "design.h"
#include "variant.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dualyn {

class ComparisonRun;

struct RunReport {
    struct Database {
        std::string path;                         // as the path box gave it (bytes, maybe not UTF-8)
        std::optional<engine::FileFormat> format; // set once it opened
        std::string fileName;                     // the name the log's lines use; empty unless both opened
    };
    std::array<Database, 2> databases{};
    std::vector<Section> sections{};              // those compared, in log order; none when a database failed
    bool cancelled = false;
    std::vector<Difference> differences{};        // in log order
    std::map<OkKind, std::size_t> okCounts{};     // a kind never written is absent
    std::string logFile{};
    std::chrono::system_clock::time_point ended{};

    // The OK lines of kind; 0 when none was written.
    std::size_t OkCount(OkKind kind) const;
    // The lines of difference of kind, or of every kind in section.
    std::size_t DifferenceCount(DifferenceKind kind) const;
    std::size_t DifferenceCount(Section section) const;
};

// The report of run's last cmdCompare_Click, ended now. The sections are those ticked in the
// run's window, none unless both databases opened.
RunReport ReportOf(const ComparisonRun& run);

// A value as a person reads it: "Null", "True", "False", a number as short as it reads back
// ("40", "0.5"), a text as it is. A value that is a field's type also gets its name.
//     ValueForPeople(Variant::number(40)) == "40"
//     ValueForPeople(Variant::number(10), true) == "10 (Text)"
std::string ValueForPeople(const engine::Variant& value, bool fieldType = false);

// The values of d as a person reads them, database 1's and database 2's; empty texts when d
// compared none.
std::array<std::string, 2> ValuesForPeople(const Difference& d);

// The time as local time, "2026-12-06 22:41:07".
std::string LocalTimeText(std::chrono::system_clock::time_point time);

}  // namespace dualyn
