// A finished run's differences as one self-contained HTML page for people: both databases, when
// the run ended, the counts, and every line of difference with what it is about and both values
// (long texts such as SQL line by line, the changed words marked). The page loads nothing and
// runs nothing: its style is inline and its policy forbids scripts and every outside source.
// Every name, value and path is escaped, so a table named "<b>x</b>" shows as those characters.
//
//     std::ofstream("report.html") << DifferenceReportHtml(ReportOf(run));
#pragma once

#include <string>
#include <string_view>

namespace dualyn {

struct RunReport;

// The page, UTF-8.
std::string DifferenceReportHtml(const RunReport& report);

// text with &, <, >, " and ' written as HTML character references.
//     EscapeHtml("<b>") == "&lt;b&gt;"
std::string EscapeHtml(std::string_view text);

}  // namespace dualyn
