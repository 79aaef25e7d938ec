// A comparison log read back for a viewer: the file's lines decoded from Windows-1252, each with
// what it is (a heading, a line of difference, an OK line ...), where it folds, and for each line
// of difference its twin in the run's report. The text stays exactly the file's: the view adds to
// it, never changes it.
//
//     LogView view = ReadLogView(logBytes, report);
//     view.lines[7].text          == "         The fields Name have different sizes"
//     view.lines[7].kind          == LogLineKind::Difference
//     view.lines[7].difference    == 0     // report.differences[0] is its twin
//     view.lines[7].parent        == 4     // folds under "   COMPARISON LOG FOR Customers"
#pragma once

#include "run_report.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dualyn {

enum class LogLineKind {
    Title,           // "Comparison Log for A and B"
    Blank,
    SectionHeading,  // "TABLE COMPARISONS", "RELATION COMPARISONS", "QUERIES COMPARISONS"
    TableHeading,    // "   COMPARISON LOG FOR Customers"
    PartHeading,     // "      FIELDS COMPARISON", "      PRIMARY KEY AND INDEX COMPARISON"
    Difference,      // a line of difference with its twin
    Ok,              // "         Customers OK", "   Relations OK" ...
    Other,           // anything else the file holds
};

struct LogLine {
    std::string text;                       // UTF-8, decoded; without the line end
    LogLineKind kind = LogLineKind::Other;
    std::optional<Section> section;         // the section the line is in; none before the first
    std::optional<std::size_t> parent;      // the heading it folds under: its section's, or its table's
    std::optional<std::size_t> difference;  // for a line of difference: its twin in the report
};

struct LogView {
    std::vector<LogLine> lines;
    // For each of the report's differences, its line; none when the file does not hold the line
    // where the run wrote it (the log was changed since).
    std::vector<std::optional<std::size_t>> differenceLines;
};

// The view of a log's bytes (Windows-1252, lines ended by CR LF; a last line without one counts)
// with the twins of report. A twin is given its line only when that line holds exactly the
// twin's text as the log writes it, so a log changed after the run shows as it is, with the
// lines that no longer match left as Other.
LogView ReadLogView(std::string_view logBytes, const RunReport& report);

// The log's lines decoded: "\x93x\x94\r\n" gives {"“x”"}.
std::vector<std::string> DecodeLogLines(std::string_view logBytes);

// The text of d's line without the empty lines it starts with.
//     LastLineOfDifference({.line = "\r\n   Old was not found in b.mdb"}) == "   Old was not found in b.mdb"
std::string LastLineOfDifference(const Difference& d);

// What d says in words for a reader, from its twin: "Customers.City: Size differs",
// "Table Orders is only in database 2".
std::string DescribeDifference(const Difference& d);

}  // namespace dualyn
